#include <gtest/gtest.h>

#include <string>

#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// Swaps this process's standard output for the length of a test.
class StandardOutputSwap {
 public:
  explicit StandardOutputSwap(HANDLE replacement) : saved_(GetStdHandle(STD_OUTPUT_HANDLE)) {
    SetStdHandle(STD_OUTPUT_HANDLE, replacement);
  }
  ~StandardOutputSwap() { SetStdHandle(STD_OUTPUT_HANDLE, saved_); }
  StandardOutputSwap(const StandardOutputSwap&) = delete;
  StandardOutputSwap& operator=(const StandardOutputSwap&) = delete;

 private:
  HANDLE saved_;
};

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  Pipe() { CreatePipe(&read, &write, nullptr, 1 << 16); }
  ~Pipe() {
    if (read) CloseHandle(read);
    if (write) CloseHandle(write);
  }
  // Everything written so far (the write end is closed first).
  std::string Drain() {
    CloseHandle(write);
    write = nullptr;
    std::string bytes;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
  }
};

TEST(Win32Console, WritesTheBytesUnchanged) {
  Pipe pipe;
  {
    StandardOutputSwap swap(pipe.write);
    engine::Win32Console console;
    console.Write("Loading hda\n");
    console.Write(std::string("a\0b\r\n\xE9", 6));
    console.Write("");
  }
  EXPECT_EQ(pipe.Drain(), std::string("Loading hda\na\0b\r\n\xE9", 18));
}

TEST(Win32Console, FetchesTheStandardOutputOnEveryWrite) {
  Pipe first;
  Pipe second;
  engine::Win32Console console;
  {
    StandardOutputSwap swap(first.write);
    console.Write("one\n");
  }
  {
    StandardOutputSwap swap(second.write);
    console.Write("two\n");
  }
  EXPECT_EQ(first.Drain(), "one\n");
  EXPECT_EQ(second.Drain(), "two\n");
}

// A windowless process started without captured output has no usable standard
// output; the line is lost and nothing fails.
TEST(Win32Console, WithoutAStandardOutputWritesNothingAndRaisesNothing) {
  HANDLE closedPipeEnd = nullptr;
  {
    Pipe gone;
    closedPipeEnd = gone.write;
  }  // both ends closed: a stale handle value
  Pipe readerGone;
  CloseHandle(readerGone.read);
  readerGone.read = nullptr;  // writes into it fail: nobody reads

  const HANDLE handles[] = {nullptr, INVALID_HANDLE_VALUE, closedPipeEnd, readerGone.write};
  engine::Win32Console console;
  for (HANDLE h : handles) {
    SCOPED_TRACE(reinterpret_cast<std::uintptr_t>(h));
    StandardOutputSwap swap(h);
    EXPECT_NO_THROW(console.Write("lost\n"));
  }
}

}  // namespace
