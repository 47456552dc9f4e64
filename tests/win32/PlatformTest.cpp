// The Win32 platform layer in this process: what the logic's fakes take for
// granted about the command line, the console, files and processes.

#include <tuple>
#include <utility>

#include "platform/win32/Win32Platform.h"

#include "Support.h"
#undef DeleteFile

namespace {

using namespace win;

// What follows the program's name (which ends at a blank or control character
// outside quotes) and the blanks after it, unsplit, quotes kept.
TEST(Win32CommandText, IsEverythingAfterTheNameAndReachesTheConsoleUnchanged) {
  for (const auto& [line, text] : std::initializer_list<std::pair<std::string, std::string>>{
           {R"("C:\Program Files\engine.exe" "C:\x y\r.dat")", R"("C:\x y\r.dat")"},
           {R"("C:\version 8\engine.exe")", ""},
           {"engine.exe \t a   b\tc   ", "a   b\tc   "},
           {R"(C:\"a b"\engine.exe version)", "version"},
           {R"("C:\a b\engine.exe version)", ""},
           {R"(engine.exe "" "C:\x y\r.dat)", R"("" "C:\x y\r.dat)"},
           {"C:\\\xC4rger\\\xE9ngine.exe C:\\d\xE9j\xE0.dat", "C:\\d\xE9j\xE0.dat"},
           {"engine.exe\x01x", "x"},
           {"", ""}}) {
    EXPECT_EQ(engine::ExtractCommandText(line), text) << line;
  }
  // The same in a process started as a host starts one: this program, as a probe
  // (see main), prints it through the console, unchanged, to the output of the moment.
  SetEnvironmentVariableA("WIN32_TESTS_PROBE", "1");
  Process probe(_pgmptr, "pr\"o b\"e.exe\t d\xE9j\xE0 \"x y\"  ");
  SetEnvironmentVariableA("WIN32_TESTS_PROBE", nullptr);
  EXPECT_TRUE(probe.Wait() && probe.Output() == std::string("[d\xE9j\xE0 \"x y\"  ]\0\r\n", 17));
}

HANDLE Hold(const std::string& path, DWORD access, DWORD share) {  // as another process would
  return CreateFileA(path.c_str(), access, share, nullptr, OPEN_ALWAYS, 0, nullptr);
}

// Refusals leave files alone and say why: "call(path): " and the system's reason.
// Reads don't lock others out; appends land at the end, beside another writer too.
TEST(Win32FileSystem, RefusesSayingWhyReadsInPiecesWritesWholeAppendsAtTheEnd) {
  TempFolder dir;
  engine::Win32FileSystem fs;
  // 'a'ttributes, 'd'elete, 'r'ead, 'w'rite, 's'hared or e'x'clusive append.
  const auto Try = [&](char op, const std::string& path) {
    return FailureOf([&] {
      if (op == 'a') fs.GetAttributes(path);
      if (op == 'd') fs.DeleteFile(path);
      if (op == 'r') fs.OpenForReading(path);
      if (op == 'w') fs.WriteNewFile(path, "x");
      if (op == 's' || op == 'x') fs.AppendToFile(path, "x", op == 's');
    });
  };
  const std::string none = dir / "none", deep = dir / "none\\r.hda", folder = dir / "sub",
                    readOnly = dir / "ro.hda", locked = dir / "locked.hda",
                    log = dir / "templog.txt";
  ASSERT_TRUE(MakeFolder(folder) && Write(readOnly, "kept") && SetReadOnly(readOnly) &&
              Write(locked, "kept"));
  HANDLE holders[] = {Hold(locked, GENERIC_READ, FILE_SHARE_READ),
                      Hold(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE)};
  // Per file, the calls refused and why; read-only files even under Wine as root.
  const std::tuple<std::string, std::string, DWORD> cases[] = {
      {none, "adr", ERROR_FILE_NOT_FOUND},       {deep, "awx", ERROR_PATH_NOT_FOUND},
      {folder, "dwx", ERROR_ACCESS_DENIED},      {readOnly, "dws", ERROR_ACCESS_DENIED},
      {locked, "dwsx", ERROR_SHARING_VIOLATION}, {log, "x", ERROR_SHARING_VIOLATION}};
  for (const auto& [path, ops, error] : cases) {
    for (char op : ops) {
      auto call = op == 'a' ? "GetFileAttributesA" : op == 'd' ? "DeleteFileA" : "CreateFileA";
      EXPECT_EQ(Try(op, path), call + ("(" + path + "): ") + engine::SystemErrorText(error)) << op;
    }
  }
  EXPECT_EQ(Read(readOnly) + Read(locked), "keptkept");
  EXPECT_EQ(List(dir.path), (Lines{"locked.hda", "ro.hda", "sub", "templog.txt"}));
  EXPECT_EQ(engine::SystemErrorText(0x2000FFFF), "error 536936447");
  EXPECT_EQ(engine::SystemErrorText(ERROR_FILE_NOT_FOUND).find_first_of("\r\n"), std::string::npos);
  DWORD written = 0;
  fs.AppendToFile(log, "a\r\n", true);
  EXPECT_TRUE(SetFilePointer(holders[1], 0, nullptr, FILE_END) &&
              WriteFile(holders[1], "b\r\n", 3, &written, nullptr));
  fs.AppendToFile(log, "c\r\n", true);
  for (HANDLE holder : holders) CloseHandle(holder);
  fs.AppendToFile(log, "d\r\n", false);
  fs.AppendToFile(dir / "new.log", "e", true);  // the first append creates the file
  EXPECT_EQ(Read(dir / "new.log"), "e");
  auto file = fs.OpenForReading(log);
  HANDLE writer = Hold(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "the reader locks writers out";
  CloseHandle(writer);
  std::string read;
  char buffer[5];
  for (std::size_t n; (n = file->Read(buffer, sizeof buffer)) > 0;) read.append(buffer, n);
  EXPECT_EQ(read, "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(fs.GetAttributes(folder) & 17, 16u);
  EXPECT_EQ(fs.GetAttributes(readOnly) & 17, 1u);
  // The ANSI calls reach a file named by 259 characters, and none by more.
  const std::string longest = dir / std::string(258 - dir.path.size(), 'n');
  ASSERT_TRUE(Write(longest, ""));
  EXPECT_EQ(fs.GetAttributes(longest) & 17, 0u);
  EXPECT_NE(Try('a', folder + "\\.." + longest.substr(dir.path.size())), "no failure");
  EXPECT_NE(FailureOf([&] { fs.OpenForReading(dir.path)->Read(buffer, 1); }), "no failure");
  for (const char* text : {"first version", ""}) fs.WriteNewFile(dir / "r.hda", text);
  EXPECT_EQ(fs.OpenForReading(dir / "r.hda")->Read(buffer, sizeof buffer), 0u);
  const std::string stamp = fs.LocalTimestamp();  // date, blank, time with seconds; no NUL
  EXPECT_TRUE(std::ranges::count(stamp, ':') == 2 && stamp.find('\0') == stamp.npos &&
              stamp.find(' ') < stamp.find(':'))
      << stamp;
}

// What the census relies on, tried on this very process.
TEST(Win32Processes, EnumerateOpenAndNameProcessesAsTheCensusNeeds) {
  engine::Win32Processes processes;
  std::uint32_t pids[4096], bytes = 0, needed = 0;
  ASSERT_TRUE(processes.EnumProcesses(pids, sizeof pids, &bytes) && bytes < sizeof pids);
  EXPECT_EQ(std::count(pids, pids + bytes / 4, GetCurrentProcessId()), 1);
  EXPECT_TRUE(processes.EnumProcesses(pids, 4, &bytes) && bytes == 4) << "full: not its size";
  engine::ModuleHandle modules[64] = {};
  std::string name(260, ' ');
  const engine::ProcessHandle self = processes.OpenProcess(0x410, false, GetCurrentProcessId());
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(self), &flags) && flags == 0);
  ASSERT_TRUE(processes.EnumProcessModules(self, modules, sizeof modules, &needed) && needed > 0);
  EXPECT_EQ(modules[0], reinterpret_cast<engine::ModuleHandle>(GetModuleHandleA(nullptr)));
  const std::uint32_t length = processes.GetModuleFileNameEx(self, modules[0], name.data(), 260);
  EXPECT_EQ(name.substr(0, length + 1), std::string(_pgmptr) + '\0');
  EXPECT_LE(processes.GetModuleFileNameEx(self, modules[0], name.data(), 4), 4u);
  processes.CloseHandle(self);
  EXPECT_FALSE(GetHandleInformation(reinterpret_cast<HANDLE>(self), &flags)) << "still open";
  EXPECT_EQ(processes.OpenProcess(0x410, false, 0xFFFFFFF1u), 0u);  // ids are multiples of 4
  EXPECT_FALSE(processes.EnumProcessModules(0, modules, sizeof modules, &needed));
  EXPECT_EQ(processes.GetModuleFileNameEx(0, 0, name.data(), 260), 0u);
}

}  // namespace

// With WIN32_TESTS_PROBE set, the command text's probe: it writes with no standard
// output, then an invalid one, which lose the bytes quietly, then with its own.
int main(int argc, char** argv) {
  if (GetEnvironmentVariableA("WIN32_TESTS_PROBE", nullptr, 0) > 0) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    for (HANDLE handle : {HANDLE{}, INVALID_HANDLE_VALUE, out}) {
      SetStdHandle(STD_OUTPUT_HANDLE, handle);
      const std::string text = engine::Win32Processes().CommandText();
      engine::Win32Console().Write("[" + text + "]" + std::string("\0\r\n", 3));
    }
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
