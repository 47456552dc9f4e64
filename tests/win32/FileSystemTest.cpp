#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "EngineError.h"
#include "TestFiles.h"
#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef DeleteFile

namespace {

using testing_win32::Exists;
using testing_win32::MakeFolder;
using testing_win32::ReadBytes;
using testing_win32::SetReadOnly;
using testing_win32::TempFolder;
using testing_win32::WriteBytes;

constexpr std::uint32_t kReadOnly = 1;
constexpr std::uint32_t kDirectory = 16;

// The description a failure must carry: "call(path): " and the system's text
// for the error, with no line break left at its end.
void ExpectFailure(const std::function<void()>& action, const std::string& call,
                   const std::string& path, DWORD error) {
  try {
    action();
    ADD_FAILURE() << call << " on " << path << " did not fail";
  } catch (const engine::EngineError& failure) {
    EXPECT_EQ(std::string(failure.what()),
              call + "(" + path + "): " + engine::SystemErrorText(error));
  }
}

// Keeps a file open, as another process of the host might, for one test.
class OtherHolder {
 public:
  OtherHolder(const std::string& path, DWORD access, DWORD share)
      : h_(CreateFileA(path.c_str(), access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr)) {}
  ~OtherHolder() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  OtherHolder(const OtherHolder&) = delete;
  OtherHolder& operator=(const OtherHolder&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

class Win32FileSystemTest : public ::testing::Test {
 protected:
  TempFolder dir_{"fs"};
  engine::Win32FileSystem fs_;
};

TEST_F(Win32FileSystemTest, AttributesTellFoldersReadOnlyAndNormalFiles) {
  const std::string folder = dir_ / "sub";
  const std::string readOnly = dir_ / "ro.dat";
  const std::string normal = dir_ / "n.dat";
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(WriteBytes(readOnly, "x"));
  ASSERT_TRUE(SetReadOnly(readOnly, true));
  ASSERT_TRUE(WriteBytes(normal, ""));

  EXPECT_NE(fs_.GetAttributes(folder) & kDirectory, 0u);
  EXPECT_EQ(fs_.GetAttributes(readOnly) & (kReadOnly | kDirectory), kReadOnly);
  EXPECT_EQ(fs_.GetAttributes(normal) & (kReadOnly | kDirectory), 0u);
}

TEST_F(Win32FileSystemTest, AttributesOfNothingFail) {
  ExpectFailure([&] { fs_.GetAttributes(dir_ / "missing.dat"); }, "GetFileAttributesA",
                dir_ / "missing.dat", ERROR_FILE_NOT_FOUND);
  ExpectFailure([&] { fs_.GetAttributes(dir_ / "missing\\x.dat"); }, "GetFileAttributesA",
                dir_ / "missing\\x.dat", ERROR_PATH_NOT_FOUND);
  // An empty path is "not found" in one of two ways, depending on the system.
  try {
    fs_.GetAttributes("");
    ADD_FAILURE() << "an empty path has attributes";
  } catch (const engine::EngineError& failure) {
    EXPECT_EQ(std::string(failure.what()).rfind("GetFileAttributesA(): ", 0), 0u)
        << failure.what();
  }
}

TEST_F(Win32FileSystemTest, DeletesAFile) {
  const std::string path = dir_ / "stale.hda";
  ASSERT_TRUE(WriteBytes(path, "old"));
  fs_.DeleteFile(path);
  EXPECT_FALSE(Exists(path));
}

TEST_F(Win32FileSystemTest, DeleteFailuresLeaveTheFileAndSaySo) {
  const std::string missing = dir_ / "missing.hda";
  const std::string folder = dir_ / "folder";
  const std::string readOnly = dir_ / "ro.hda";
  const std::string locked = dir_ / "locked.hda";
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(WriteBytes(readOnly, "r"));
  ASSERT_TRUE(SetReadOnly(readOnly, true));
  ASSERT_TRUE(WriteBytes(locked, "l"));
  OtherHolder holder(locked, GENERIC_READ, FILE_SHARE_READ);  // no delete sharing
  ASSERT_TRUE(holder.ok());

  ExpectFailure([&] { fs_.DeleteFile(missing); }, "DeleteFileA", missing, ERROR_FILE_NOT_FOUND);
  ExpectFailure([&] { fs_.DeleteFile(folder); }, "DeleteFileA", folder, ERROR_ACCESS_DENIED);
  ExpectFailure([&] { fs_.DeleteFile(readOnly); }, "DeleteFileA", readOnly, ERROR_ACCESS_DENIED);
  ExpectFailure([&] { fs_.DeleteFile(locked); }, "DeleteFileA", locked, ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(Exists(folder));
  EXPECT_TRUE(Exists(readOnly));
  EXPECT_TRUE(Exists(locked));
}

TEST_F(Win32FileSystemTest, ReadsAFileToItsEndInPieces) {
  std::string content;
  for (int i = 0; i < 5000; ++i) content += static_cast<char>(i % 251);
  const std::string path = dir_ / "request.dat";
  ASSERT_TRUE(WriteBytes(path, content));

  auto file = fs_.OpenForReading(path);
  std::string read;
  char buffer[777];
  for (std::size_t n; (n = file->Read(buffer, sizeof buffer)) > 0;) read.append(buffer, n);
  EXPECT_EQ(read, content);
  EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);  // stays at the end
}

TEST_F(Win32FileSystemTest, ReadingAnEmptyFileEndsAtOnce) {
  const std::string path = dir_ / "empty.dat";
  ASSERT_TRUE(WriteBytes(path, ""));
  char buffer[16];
  EXPECT_EQ(fs_.OpenForReading(path)->Read(buffer, sizeof buffer), 0u);
}

TEST_F(Win32FileSystemTest, ReadingWhatIsNoFileFails) {
  const std::string missing = dir_ / "missing.dat";
  ExpectFailure([&] { fs_.OpenForReading(missing); }, "CreateFileA", missing,
                ERROR_FILE_NOT_FOUND);
  // A folder can't be read as a file: either opening or reading it fails.
  EXPECT_THROW(
      {
        auto file = fs_.OpenForReading(dir_.path());
        char buffer[16];
        file->Read(buffer, sizeof buffer);
      },
      engine::EngineError);
}

TEST_F(Win32FileSystemTest, ReadingDoesNotLockOthersOut) {
  const std::string path = dir_ / "shared.dat";
  ASSERT_TRUE(WriteBytes(path, "abc"));
  auto file = fs_.OpenForReading(path);
  OtherHolder writer(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_TRUE(writer.ok());
}

TEST_F(Win32FileSystemTest, WriteNewFileCreatesOrReplacesWhole) {
  const std::string path = dir_ / "result.hda";
  fs_.WriteNewFile(path, "first version, longer\r\n");
  EXPECT_EQ(ReadBytes(path), "first version, longer\r\n");
  fs_.WriteNewFile(path, "short\r\n");
  EXPECT_EQ(ReadBytes(path), "short\r\n");
  fs_.WriteNewFile(path, "");
  EXPECT_EQ(ReadBytes(path), "");
}

TEST_F(Win32FileSystemTest, WriteNewFileFailuresWriteNothing) {
  const std::string noFolder = dir_ / "missing\\result.hda";
  const std::string busy = dir_ / "busy.hda";
  ASSERT_TRUE(WriteBytes(busy, "kept"));
  OtherHolder holder(busy, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(holder.ok());

  ExpectFailure([&] { fs_.WriteNewFile(noFolder, "x"); }, "CreateFileA", noFolder,
                ERROR_PATH_NOT_FOUND);
  ExpectFailure([&] { fs_.WriteNewFile(busy, "x"); }, "CreateFileA", busy,
                ERROR_SHARING_VIOLATION);
  ExpectFailure([&] { fs_.WriteNewFile(dir_.path(), "x"); }, "CreateFileA", dir_.path(),
                ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Exists(noFolder));
  EXPECT_EQ(ReadBytes(busy), "kept");
}

TEST_F(Win32FileSystemTest, WritingAndAppendingLeaveAReadOnlyFileAlone) {
  const std::string readOnly = dir_ / "ro.hda";
  ASSERT_TRUE(WriteBytes(readOnly, "kept"));
  ASSERT_TRUE(SetReadOnly(readOnly, true));
  ExpectFailure([&] { fs_.WriteNewFile(readOnly, "x"); }, "CreateFileA", readOnly,
                ERROR_ACCESS_DENIED);
  for (bool shared : {true, false}) {
    ExpectFailure([&] { fs_.AppendToFile(readOnly, "x", shared); }, "CreateFileA", readOnly,
                  ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(ReadBytes(readOnly), "kept");
}

TEST_F(Win32FileSystemTest, AppendCreatesThenAppends) {
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared" : "exclusive");
    const std::string path = dir_ / (shared ? "s.log" : "x.log");
    fs_.AppendToFile(path, "one\r\n", shared);
    fs_.AppendToFile(path, "two\r\n", shared);
    EXPECT_EQ(ReadBytes(path), "one\r\ntwo\r\n");
  }
}

// Another process holds the log open. The shared append gets in beside any
// holder that lets others write; the exclusive one only when nobody holds it.
TEST_F(Win32FileSystemTest, SharedAndExclusiveAppendBesideAnotherHolder) {
  const struct {
    const char* holder;
    DWORD access;
    DWORD share;
    bool sharedAppends;
  } cases[] = {
      {"reader sharing all", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {"writer sharing all", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
       true},
      {"reader sharing reads", GENERIC_READ, FILE_SHARE_READ, false},
      {"writer sharing nothing", GENERIC_WRITE, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.holder);
    const std::string path = dir_ / "templog.txt";
    ASSERT_TRUE(WriteBytes(path, "start\r\n"));
    {
      OtherHolder holder(path, c.access, c.share);
      ASSERT_TRUE(holder.ok());
      if (c.sharedAppends) {
        EXPECT_NO_THROW(fs_.AppendToFile(path, "shared\r\n", true));
      } else {
        ExpectFailure([&] { fs_.AppendToFile(path, "shared\r\n", true); }, "CreateFileA", path,
                      ERROR_SHARING_VIOLATION);
      }
      ExpectFailure([&] { fs_.AppendToFile(path, "exclusive\r\n", false); }, "CreateFileA", path,
                    ERROR_SHARING_VIOLATION);
    }
    EXPECT_EQ(ReadBytes(path), c.sharedAppends ? "start\r\nshared\r\n" : "start\r\n");
  }
}

TEST_F(Win32FileSystemTest, AppendLandsAtTheEndAfterAnotherWriter) {
  const std::string path = dir_ / "templog.txt";
  ASSERT_TRUE(WriteBytes(path, "a\r\n"));
  HANDLE other = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  fs_.AppendToFile(path, "b\r\n", true);
  // The other writer appends at what was the end when it looked.
  SetFilePointer(other, 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(other, "c\r\n", 3, &written, nullptr);
  fs_.AppendToFile(path, "d\r\n", true);
  CloseHandle(other);
  EXPECT_EQ(ReadBytes(path), "a\r\nb\r\nc\r\nd\r\n");
}

TEST_F(Win32FileSystemTest, AppendFailuresSaySo) {
  const std::string noFolder = dir_ / "missing\\templog.txt";
  for (bool shared : {true, false}) {
    ExpectFailure([&] { fs_.AppendToFile(noFolder, "x", shared); }, "CreateFileA", noFolder,
                  ERROR_PATH_NOT_FOUND);
    ExpectFailure([&] { fs_.AppendToFile(dir_.path(), "x", shared); }, "CreateFileA",
                  dir_.path(), ERROR_ACCESS_DENIED);
  }
  EXPECT_FALSE(Exists(noFolder));
}

std::string Format(bool date, const SYSTEMTIME& when) {
  char text[256] = {};
  if (date) {
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, text, sizeof text);
  } else {
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &when, nullptr, text, sizeof text);
  }
  return text;
}

// The regional short date, one blank, the regional long time: nothing more
// (no terminating NUL carried along, no second blank).
TEST_F(Win32FileSystemTest, TimestampIsShortDateBlankLongTime) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    SYSTEMTIME before;
    SYSTEMTIME after;
    GetLocalTime(&before);
    const std::string stamp = fs_.LocalTimestamp();
    GetLocalTime(&after);
    if (before.wSecond != after.wSecond || before.wDay != after.wDay) continue;  // ticked over
    EXPECT_EQ(stamp, Format(true, before) + " " + Format(false, before));
    EXPECT_EQ(stamp.find('\0'), std::string::npos);
    EXPECT_NE(stamp.find(std::to_string(before.wYear)), std::string::npos);
    return;
  }
  FAIL() << "the clock ticked over on every attempt";
}

TEST(Win32SystemErrorText, HasNoLineBreakAndNamesUnknownCodes) {
  const std::string known = engine::SystemErrorText(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(known.empty());
  EXPECT_EQ(known.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(engine::SystemErrorText(0x2000FFFF), "error 536936447");
  EXPECT_EQ(engine::DescribeFailure("CreateFileA", "C:\\x", ERROR_FILE_NOT_FOUND),
            "CreateFileA(C:\\x): " + known);
}

}  // namespace
