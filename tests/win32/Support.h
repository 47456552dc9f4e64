#pragma once

// Processes started as a host starts them, temporary folders, the stand-in of
// tools/standin. After the engine's headers: <windows.h> renames their methods.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "Fakes.h"
#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/win32/Utf16.h"
#include "Started.h"
#include "standin/StandinProtocol.h"

namespace win {

using engine::testing::FailureOf, engine::testing::ReadAll;
using Lines = std::vector<std::string>;
using Settings = std::vector<std::pair<std::string, std::string>>;
enum class Handles { Pipe, Null };

// A program started as a host starts it (host::Start), ended if running at the end.
class Process : public host::Started {
 public:
  Process(const std::string& exe, std::string commandLine, const std::string& folder = "",
          Handles handles = Handles::Pipe, std::string desktop = "") {
    if (!host::Start(exe, std::move(commandLine), folder, handles == Handles::Pipe,
                     std::move(desktop), *this))
      throw std::runtime_error("could not start " + exe);
  }
  ~Process() {
    Terminate();
    for (HANDLE h : {info.hThread, info.hProcess, output}) CloseHandle(h);
  }
  bool Wait(DWORD ms = 60000) { return WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0; }
  bool EndsNormally() {  // by itself, with the platform's normal exit code
    DWORD code = 1;
    return Wait() && GetExitCodeProcess(info.hProcess, &code) && code == 0;
  }
  void Terminate() {
    if (!Wait(0) && TerminateProcess(info.hProcess, 1)) Wait(10000);
  }
  // What it wrote, peeked in one piece: reading to the pipe's end could wait on a server that
  // COM started for the program, which may hold a copy of its output after it ended.
  std::string Output() {
    std::string bytes(1 << 20, '\0');
    DWORD n = 0;
    PeekNamedPipe(output, bytes.data(), bytes.size(), &n, nullptr, nullptr);
    return bytes.substr(0, n);
  }
};

// Files and folders by the wide calls in the "\\?\" form, so that paths past 259 characters
// are reached too: the tests' paths are absolute, with backslashes only. A failure to set
// one up throws, failing the test that needed it.
inline std::wstring Wide(const std::string& p) { return L"\\\\?\\" + engine::AnsiToWide(p); }
inline void Check(bool done, const std::string& what) {
  if (!done) throw std::runtime_error("could not " + what);
}
inline void Write(const std::string& path, const std::string& bytes) {
  Check(bool(std::ofstream(Wide(path).c_str(), std::ios::binary) << bytes), "write " + path);
}
inline std::string Read(const std::string& path) {
  std::ifstream file(Wide(path).c_str(), std::ios::binary);
  return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<unreadable>";
}
inline void MakeFolder(const std::string& p) {
  Check(CreateDirectoryW(Wide(p).c_str(), 0), "make " + p);
}
inline void SetAttributes(const std::string& path, DWORD attributes) {
  Check(SetFileAttributesW(Wide(path).c_str(), attributes), "set attributes of " + path);
}
// The rows of a table test, each labelled first, so that a failure names its rule.
template <class... Columns>
using Rows = std::initializer_list<std::tuple<const char*, Columns...>>;
inline Lines List(const std::string& folder) {  // sorted
  Lines names;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((Wide(folder) + L"\\*").c_str(), &entry);
  for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &entry)) {
    if (*entry.cFileName != L'.') names.push_back(engine::WideToAnsi(entry.cFileName));
  }
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}
inline void RemoveTree(const std::string& path) {
  for (const std::string& name : List(path)) RemoveTree(path + "\\" + name);
  SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileW(Wide(path).c_str())) RemoveDirectoryW(Wide(path).c_str());
}

// A new temporary folder, removed whole at the end (and first: a crash left it).
struct TempFolder {
  TempFolder() {
    static int count = 0;
    char temp[MAX_PATH + 1] = {};
    path = std::string(temp, GetTempPathA(sizeof temp, temp)) + "ce-" +
           std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
    RemoveTree(path);
    MakeFolder(path);
  }
  ~TempFolder() { RemoveTree(path); }
  std::string operator/(const std::string& name) const { return path + "\\" + name; }
  std::string path;
};

// The stand-in journaling into a folder of its own, named in the registry as a host does (a server
// that COM starts on Windows doesn't get our environment). Each server must end by itself once
// released, unless started to stay.
class Standin {
 public:
  Standin() { EXPECT_EQ(standin::SetFolder(folder_.path), ERROR_SUCCESS); }
  ~Standin() {
    standin::EndServers(folder_.path, stay_, 20000, [](unsigned long pid) {
      ADD_FAILURE() << "the stand-in " << pid << " did not end";
    });
    EXPECT_EQ(standin::ClearFolder(), ERROR_SUCCESS);
  }
  // Started by hand, as when a user has the application open; ready once listed.
  void Start(bool stay = false) {
    stay_ = stay;
    const std::string exe = STANDIN_EXE;
    started_ =
        std::make_unique<Process>(exe, "\"" + exe + (stay ? "\" /stay" : "\""), "", Handles::Null);
    for (int waited = 0; Servers().empty(); waited += 10) {
      ASSERT_FALSE(started_->Wait(10) || waited > 20000) << "the stand-in did not get ready";
    }
  }
  // The control file: these keys and values, in this order (none with an empty value).
  void Control(const Settings& settings) {
    std::string text;
    for (const auto& [key, value] : settings)
      text += value.empty() ? "" : key + "=" + value + "\r\n";
    Write(folder_ / standin::kControlFile, text);
  }
  int BusyLeft() const {  // of the busy answers that the control asked for
    const std::string key = standin::key::kBusy + std::string("=");
    for (const std::string& line : standin::Lines(folder_.path, standin::kControlFile))
      if (line.starts_with(key)) return std::stoi(line.substr(key.size()));
    return -1;
  }
  Lines Servers() const { return standin::Lines(folder_.path, standin::kPidsFile); }
  // The journal's lines without the serving process's id, the same on each.
  Lines Calls() const {
    Lines calls = standin::Lines(folder_.path, standin::kJournalFile);
    for (std::string& call : calls) {
      EXPECT_EQ(call.substr(0, call.find(' ')), Servers().at(0)) << call;
      call.erase(0, call.find(' ') + 1);
    }
    return calls;
  }

 private:
  TempFolder folder_;
  bool stay_ = false;
  std::unique_ptr<Process> started_;
};

}  // namespace win
