// The Win32 platform layer in this process: what the logic's fakes take for
// granted about the command line, the console, files and processes.

#include <cstring>
#include <utility>

#include "platform/win32/Win32Platform.h"

#include "Support.h"
#undef DeleteFile

namespace {

using namespace win;
using Pair = std::pair<std::string, std::string>;

std::string Self() {
  char path[MAX_PATH + 1] = {};
  return std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
}

// What follows the program's name (which ends at a blank or control character
// outside quotes) and the blanks after it, unsplit, quotes kept.
TEST(Win32CommandText, IsEverythingAfterTheNameAndItsBlanks) {
  for (const auto& [line, text] : std::initializer_list<Pair>{
           {R"("C:\Program Files\engine.exe" C:\r.dat)", R"(C:\r.dat)"},
           {R"("C:\version 8\engine.exe")", ""},
           {R"("C:\a b\engine.exe" "C:\x y\r.dat")", R"("C:\x y\r.dat")"},
           {"engine.exe   ", ""},
           {"engine.exe \t a   b\tc   ", "a   b\tc   "},
           {R"(C:\"a b"\engine.exe version)", "version"},
           {R"("C:\a b\engine.exe"x version)", "version"},
           {R"("C:\a b\engine.exe version)", ""},
           {R"(engine.exe "")", R"("")"},
           {R"(engine.exe "C:\x y\r.dat)", R"("C:\x y\r.dat)"},
           {"C:\\\xC4rger\\\xE9ngine.exe C:\\d\xE9j\xE0.dat", "C:\\d\xE9j\xE0.dat"},
           {"engine.exe\x01x", "x"},
           {"", ""}}) {
    EXPECT_EQ(engine::ExtractCommandText(line), text) << line;
  }
}

// The same in processes started as a host starts the engine: this program, as
// a probe (see main), prints the command text it was given.
TEST(Win32CommandText, OfAProcessIsExactlyWhatItsStarterPassed) {
  SetEnvironmentVariableA("WIN32_TESTS_PROBE", "1");
  for (const auto& [line, text] : std::initializer_list<Pair>{
           {"\"" + Self() + "\"\t \"C:\\x y\\r.dat\"  ", "\"C:\\x y\\r.dat\"  "},
           {"pr\"o b\"e.exe d\xE9j\xE0 version", "d\xE9j\xE0 version"}}) {
    Process probe(Self(), line);
    EXPECT_TRUE(probe.Wait() && probe.Output() == "[" + text + "]") << line;
  }
  SetEnvironmentVariableA("WIN32_TESTS_PROBE", nullptr);
}

// Bytes go out unchanged to whatever the standard output is at the time of the
// write; a missing one loses them, and nothing fails.
TEST(Win32Console, WritesTheBytesToTheStandardOutputOfTheMoment) {
  HANDLE read[2], write[2];
  ASSERT_TRUE(CreatePipe(&read[0], &write[0], nullptr, 0) && CreatePipe(&read[1], &write[1], 0, 0));
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  const std::string bytes("Loading hda\na\0b\r\n\xE9", 18);
  for (auto [out, text] : {std::pair{write[0], bytes},
                           {write[0], ""},
                           {write[1], "two\n"},
                           {nullptr, "x"},
                           {INVALID_HANDLE_VALUE, "x"}}) {
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    engine::Win32Console().Write(text);
  }
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  char buffer[64];
  for (auto [i, text] : {std::pair{0, bytes}, {1, "two\n"}}) {
    DWORD n = 0;
    CloseHandle(write[i]);
    EXPECT_TRUE(ReadFile(read[i], buffer, sizeof buffer, &n, nullptr) &&
                std::string(buffer, n) == text);
  }
}

class Win32FileSystem : public ::testing::Test {
 protected:
  // "call(path): " and the system's reason: the shape of every refusal.
  static std::string Refusal(const char* call, const std::string& path, DWORD error) {
    return std::string(call) + "(" + path + "): " + engine::SystemErrorText(error);
  }
  TempFolder dir_;
  engine::Win32FileSystem fs_;
};

TEST_F(Win32FileSystem, RefusalsLeaveFilesAloneAndSayWhy) {
  const std::string none = dir_ / "none", deep = dir_ / "none\\r.hda", folder = dir_ / "sub",
                    readOnly = dir_ / "ro.hda", locked = dir_ / "locked.hda";
  ASSERT_TRUE(MakeFolder(folder) && Write(readOnly, "kept") && SetReadOnly(readOnly) &&
              Write(locked, "kept"));
  // Held as by another process: reading, and sharing only reading.
  HANDLE holder =
      CreateFileA(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, 0);
  auto write = [&](std::string path) { return [&fs = fs_, path] { fs.WriteNewFile(path, "x"); }; };
  auto append = [&](std::string path, bool shared) {
    return [&fs = fs_, path, shared] { fs.AppendToFile(path, "x", shared); };
  };
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { fs_.GetAttributes(none); }, Refusal("GetFileAttributesA", none, ERROR_FILE_NOT_FOUND)},
      {[&] { fs_.GetAttributes(deep); }, Refusal("GetFileAttributesA", deep, ERROR_PATH_NOT_FOUND)},
      {[&] { fs_.DeleteFile(none); }, Refusal("DeleteFileA", none, ERROR_FILE_NOT_FOUND)},
      {[&] { fs_.DeleteFile(folder); }, Refusal("DeleteFileA", folder, ERROR_ACCESS_DENIED)},
      {[&] { fs_.DeleteFile(readOnly); }, Refusal("DeleteFileA", readOnly, ERROR_ACCESS_DENIED)},
      {[&] { fs_.DeleteFile(locked); }, Refusal("DeleteFileA", locked, ERROR_SHARING_VIOLATION)},
      {[&] { fs_.OpenForReading(none); }, Refusal("CreateFileA", none, ERROR_FILE_NOT_FOUND)},
      {write(deep), Refusal("CreateFileA", deep, ERROR_PATH_NOT_FOUND)},
      {write(folder), Refusal("CreateFileA", folder, ERROR_ACCESS_DENIED)},
      {write(locked), Refusal("CreateFileA", locked, ERROR_SHARING_VIOLATION)},
      // Read-only files are refused on every system, by Wine run as root too.
      {write(readOnly), Refusal("CreateFileA", readOnly, ERROR_ACCESS_DENIED)},
      {append(readOnly, true), Refusal("CreateFileA", readOnly, ERROR_ACCESS_DENIED)},
      {append(deep, false), Refusal("CreateFileA", deep, ERROR_PATH_NOT_FOUND)},
      {append(folder, false), Refusal("CreateFileA", folder, ERROR_ACCESS_DENIED)},
  };
  for (const auto& [action, refusal] : cases) EXPECT_EQ(FailureOf(action), refusal);
  CloseHandle(holder);
  EXPECT_EQ(Read(readOnly) + Read(locked), "keptkept");
  EXPECT_EQ(List(dir_.path()), (Lines{"locked.hda", "ro.hda", "sub"}));
  EXPECT_EQ(engine::SystemErrorText(0x2000FFFF), "error 536936447");
  EXPECT_EQ(engine::SystemErrorText(ERROR_FILE_NOT_FOUND).find_first_of("\r\n"), std::string::npos);

  EXPECT_EQ(fs_.GetAttributes(folder) & 17, 16u);
  EXPECT_EQ(fs_.GetAttributes(readOnly) & 17, 1u);
  // The ANSI calls reach a file named by 259 characters, and none by far more.
  const auto named = [&](std::size_t length) {
    std::string padding = (length - locked.size()) % 2 ? "\\sub\\.." : "";
    while (locked.size() + padding.size() < length) padding += "\\.";
    return dir_.path() + padding + "\\locked.hda";
  };
  EXPECT_EQ(fs_.GetAttributes(named(259)) & 17, 0u);
  EXPECT_NE(FailureOf([&] { fs_.GetAttributes(named(300)); }), "no failure");
}

TEST_F(Win32FileSystem, ReadsWholeFilesInPiecesWithoutLockingOthersOut) {
  std::string content;
  for (int i = 0; i < 5000; ++i) content += static_cast<char>(i % 251);
  ASSERT_TRUE(Write(dir_ / "r.dat", content) && Write(dir_ / "empty.dat", ""));
  auto file = fs_.OpenForReading(dir_ / "r.dat");
  HANDLE writer =
      CreateFileA((dir_ / "r.dat").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "the reader locks writers out";
  CloseHandle(writer);
  std::string read;
  char buffer[777];
  for (std::size_t n; (n = file->Read(buffer, sizeof buffer)) > 0;) read.append(buffer, n);
  EXPECT_EQ(read, content);
  EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(fs_.OpenForReading(dir_ / "empty.dat")->Read(buffer, sizeof buffer), 0u);
  EXPECT_NE(FailureOf([&] { fs_.OpenForReading(dir_.path())->Read(buffer, 9); }), "no failure");
}

TEST_F(Win32FileSystem, WritesReplaceWholeFilesAndAppendsLandAtTheEnd) {
  for (const char* text : {"first version, longer", "short", ""})
    fs_.WriteNewFile(dir_ / "r.hda", text);
  EXPECT_EQ(Read(dir_ / "r.hda"), "");
  // Another writer appends between two of ours: each lands at the end.
  const std::string log = dir_ / "templog.txt";
  HANDLE other = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, CREATE_NEW, 0, nullptr);
  DWORD n = 0;
  fs_.AppendToFile(log, "a\r\n", true);
  EXPECT_TRUE(SetFilePointer(other, 0, nullptr, FILE_END) &&
              WriteFile(other, "b\r\n", 3, &n, nullptr));
  fs_.AppendToFile(log, "c\r\n", true);
  CloseHandle(other);
  fs_.AppendToFile(log, "d\r\n", false);
  EXPECT_EQ(Read(log), "a\r\nb\r\nc\r\nd\r\n");
  // The short date, a blank, the long time (with seconds) and no NUL.
  const std::string stamp = fs_.LocalTimestamp();
  EXPECT_TRUE(std::count(stamp.begin(), stamp.end(), ':') == 2 && stamp.find('\0') == stamp.npos &&
              stamp.find(' ') < stamp.find(':'))
      << stamp;
  // Beside a holder of the log, a shared append gets in when the holder
  // shares writing, an exclusive one never.
  for (DWORD share : {FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_SHARE_READ}) {
    ASSERT_TRUE(Write(log, ""));
    HANDLE holder =
        CreateFileA(log.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    const std::string refusal = Refusal("CreateFileA", log, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(FailureOf([&] { fs_.AppendToFile(log, "shared", true); }),
              share & FILE_SHARE_WRITE ? "no failure" : refusal);
    EXPECT_EQ(FailureOf([&] { fs_.AppendToFile(log, "exclusive", false); }), refusal);
    CloseHandle(holder);
    EXPECT_EQ(Read(log), share & FILE_SHARE_WRITE ? "shared" : "");
  }
}

// What the census relies on, tried on this very process.
TEST(Win32Processes, EnumerateOpenAndNameProcessesAsTheCensusNeeds) {
  engine::Win32Processes processes;
  std::vector<std::uint32_t> pids(4096);
  std::uint32_t bytes = 0, needed = 0;
  ASSERT_TRUE(processes.EnumProcesses(pids.data(), 4096 * 4, &bytes) && bytes < 4096 * 4);
  EXPECT_EQ(std::count(pids.begin(), pids.begin() + bytes / 4, GetCurrentProcessId()), 1);
  EXPECT_TRUE(processes.EnumProcesses(pids.data(), 4, &bytes) && bytes == 4)
      << "a full buffer is its size";
  for (bool inherit : {false, true}) {
    const engine::ProcessHandle self = processes.OpenProcess(0x410, inherit, GetCurrentProcessId());
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(self), &flags));
    EXPECT_EQ((flags & HANDLE_FLAG_INHERIT) != 0, inherit);
    engine::ModuleHandle modules[64] = {};
    needed = 0;
    ASSERT_TRUE(processes.EnumProcessModules(self, modules, sizeof modules, &needed) && needed > 0);
    EXPECT_EQ(modules[0], reinterpret_cast<engine::ModuleHandle>(GetModuleHandleA(nullptr)));
    char name[260];
    std::memset(name, ' ', sizeof name);
    const std::uint32_t length = processes.GetModuleFileNameEx(self, modules[0], name, sizeof name);
    EXPECT_EQ(std::string(name, length + 1), Self() + '\0');
    EXPECT_LE(processes.GetModuleFileNameEx(self, modules[0], name, 4), 4u);
    processes.CloseHandle(self);
    EXPECT_FALSE(GetHandleInformation(reinterpret_cast<HANDLE>(self), &flags)) << "still open";
  }
  engine::ModuleHandle modules[4];
  char name[260];
  EXPECT_EQ(processes.OpenProcess(0x410, false, 0xFFFFFFF1u), 0u);  // ids are multiples of 4
  EXPECT_FALSE(processes.EnumProcessModules(0, modules, sizeof modules, &needed));
  EXPECT_EQ(processes.GetModuleFileNameEx(0, 0, name, sizeof name), 0u);
}

}  // namespace

// Started with WIN32_TESTS_PROBE set, this program is the probe of the command
// text tests instead.
int main(int argc, char** argv) {
  if (GetEnvironmentVariableA("WIN32_TESTS_PROBE", nullptr, 0) > 0) {
    engine::Win32Console().Write("[" + engine::Win32Processes().CommandText() + "]");
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  std::printf("conversion-engine.exe was started %d times\n", win::engineLaunches);
  return status;
}
