// The Win32 platform layer in this process: what the logic's fakes take for
// granted about the command line, the console, files and processes.

#include <array>
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
std::string ReadAll(engine::ReadableFile& file) {  // in pieces of 5 bytes
  std::string read;
  char buffer[5];
  for (std::size_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) read.append(buffer, n);
  return read;
}
// What the file operation |name| on |path| throws, or "no failure".
std::string Try(const std::string& name, const std::string& path) {
  engine::Win32FileSystem fs;
  return FailureOf([&] {
    if (name == "GetFileAttributes") fs.GetAttributes(path);
    if (name == "DeleteFile") fs.DeleteFile(path);
    if (name == "CreateFile read") fs.OpenForReading(path);
    if (name == "CreateFile write") fs.WriteNewFile(path, "x");
    if (name.starts_with("CreateFile append")) fs.AppendToFile(path, "x", name.ends_with("shared"));
  });
}
// "call(path): reason", the call named by the operation's first word and |letter|.
std::string Refusal(const std::string& name, char letter, const std::string& path, DWORD error) {
  return name.substr(0, name.find(' ')) + letter + "(" + path +
         "): " + engine::SystemErrorText(error);
}

// Refusals leave files alone and say why, read-only files even under Wine as root.
TEST(Win32Files, RefusalsLeaveFilesAloneAndSayWhy) {
  TempFolder dir;
  const std::string none = dir / "none", deep = dir / "none\\r.hda", folder = dir / "sub",
                    readOnly = dir / "ro.hda", locked = dir / "locked.hda";
  ASSERT_TRUE(MakeFolder(folder) && Write(readOnly, "kept") && SetReadOnly(readOnly) &&
              Write(locked, "kept"));
  HANDLE holder = Hold(locked, GENERIC_READ, FILE_SHARE_READ);
  const std::string write = "CreateFile write", append = "CreateFile append";
  const std::tuple<std::string, Lines, DWORD> cases[] = {
      {none, {"GetFileAttributes", "DeleteFile", "CreateFile read"}, ERROR_FILE_NOT_FOUND},
      {deep, {"GetFileAttributes", write, append}, ERROR_PATH_NOT_FOUND},
      {folder, {"DeleteFile", write, append}, ERROR_ACCESS_DENIED},
      {readOnly, {"DeleteFile", write, append + " shared"}, ERROR_ACCESS_DENIED},
      {locked, {"DeleteFile", write, append + " shared", append}, ERROR_SHARING_VIOLATION}};
  for (const auto& [path, names, error] : cases) {
    for (const std::string& name : names)
      EXPECT_EQ(Try(name, path), Refusal(name, 'A', path, error));
  }
  CloseHandle(holder);
  EXPECT_EQ(Read(readOnly) + Read(locked), "keptkept");
  EXPECT_EQ(List(dir.path), (Lines{"locked.hda", "ro.hda", "sub"}));
  EXPECT_EQ(engine::SystemErrorText(0x2000FFFF), "error 536936447");
  EXPECT_EQ(engine::SystemErrorText(ERROR_FILE_NOT_FOUND).find_first_of("\r\n"), std::string::npos);
}

// Shared appends land at the end, beside another writer too, who keeps an exclusive one out;
// a reader locks no writer out.
TEST(Win32Files, AppendsLandAtTheEndAndReadersLockNobodyOut) {
  TempFolder dir;
  engine::Win32FileSystem fs;
  const std::string log = dir / "templog.txt";
  HANDLE other = Hold(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(Try("CreateFile append", log),
            Refusal("CreateFile", 'A', log, ERROR_SHARING_VIOLATION));
  DWORD written = 0;
  fs.AppendToFile(log, "a\r\n", true);
  EXPECT_TRUE(SetFilePointer(other, 0, nullptr, FILE_END) &&
              WriteFile(other, "b\r\n", 3, &written, nullptr));
  fs.AppendToFile(log, "c\r\n", true);
  CloseHandle(other);
  fs.AppendToFile(log, "d\r\n", false);
  auto file = fs.OpenForReading(log);
  HANDLE writer = Hold(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "the reader locks writers out";
  CloseHandle(writer);
  EXPECT_EQ(ReadAll(*file), "a\r\nb\r\nc\r\nd\r\n");
}

// A write replaces the whole file, with nothing too; the first append creates its file; a
// folder can't be read; the attributes carry the folder and read-only flags; the timestamp
// is the date, a blank and the time with seconds, without a NUL.
TEST(Win32Files, WritesReplaceTheWholeFileAndAttributesAreTheSystems) {
  TempFolder dir;
  engine::Win32FileSystem fs;
  for (const char* text : {"first version", ""}) fs.WriteNewFile(dir / "r.hda", text);
  fs.AppendToFile(dir / "new.log", "e", true);
  EXPECT_EQ(Read(dir / "r.hda") + Read(dir / "new.log"), "e");
  EXPECT_NE(FailureOf([&] { ReadAll(*fs.OpenForReading(dir.path)); }), "no failure");
  ASSERT_TRUE(SetReadOnly(dir / "new.log"));
  EXPECT_EQ((fs.GetAttributes(dir.path) & 17) + (fs.GetAttributes(dir / "new.log") & 17), 17u);
  const std::string stamp = fs.LocalTimestamp();
  EXPECT_TRUE(std::ranges::count(stamp, ':') == 2 && stamp.find('\0') == stamp.npos &&
              stamp.find(' ') < stamp.find(':'))
      << stamp;
}

// Past 259 characters, as given or once made absolute, where the ANSI calls stop, every
// operation reaches the file by the wide call; its failures name that call.
TEST(Win32Files, PathsPast259CharactersAreReachedByEveryOperation) {
  TempFolder dir;
  engine::Win32FileSystem fs;
  const std::string longest = dir / std::string(258 - dir.path.size(), 'n');  // 259
  ASSERT_TRUE(Write(longest, ""));
  for (const std::string& path : {longest, dir / ("sub\\.." + longest.substr(dir.path.size()))}) {
    EXPECT_EQ(fs.GetAttributes(path) & 17, 0u) << path;
  }
  const std::string name(200, 'f'), file = dir / name + "\\" + name + "\\r.hda";
  ASSERT_TRUE(MakeFolder(dir / name) && MakeFolder(dir / name + "\\" + name));
  fs.WriteNewFile(file, "first");
  fs.AppendToFile(file, " second", true);
  EXPECT_EQ(fs.GetAttributes(file) & 17, 0u);
  EXPECT_EQ(ReadAll(*fs.OpenForReading(file)), "first second");
  fs.DeleteFile(file);
  EXPECT_EQ(Try("GetFileAttributes", file),
            Refusal("GetFileAttributes", 'W', file, ERROR_FILE_NOT_FOUND));
}

// The extended-length form only where the ANSI calls can't reach: absolute, normalized as
// the plain call normalizes, "\\?\UNC\" for a share; one in that form already, or long only
// behind its NUL, as it stands.
TEST(Win32Files, ExtendedLengthPathOnlyWhereTheAnsiCallsCantReach) {
  const std::string n(300, 'n');
  const std::wstring wn(300, L'n');
  wchar_t here[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, here);
  for (const auto& [path, extended] : std::initializer_list<std::pair<std::string, std::wstring>>{
           {"C:\\a\\b.hda", L""},
           {"C:\\a\\b\\..\\.\\" + n + "  ", L"\\\\?\\C:\\a\\" + wn},
           {std::string(250, 'r'), L"\\\\?\\" + (here + (L"\\" + std::wstring(250, L'r')))},
           {"//server/share/" + n, L"\\\\?\\UNC\\server\\share\\" + wn},
           {"\\\\?\\C:\\" + n, L"\\\\?\\C:\\" + wn},
           {std::string("C:\\a\0", 5) + n, L""}}) {
    EXPECT_EQ(engine::ExtendedLengthPath(path), extended) << path;
  }
}

// The lead bytes of the double-byte pages the engine's hosts run on, as the system reads
// them; every byte a character of its own elsewhere; UTF-8 as such.
TEST(Win32CodePage, DescribesEachCodePageAsTheSystemReadsIt) {
  using Kind = engine::AnsiCharacters::Kind;
  for (const UINT codePage : {932u, 936u, 949u, 950u, 1252u, 65001u}) {
    const engine::AnsiCharacters characters = engine::CharactersOf(codePage);
    std::array<bool, 256> lead{};
    for (int b = 0; b < 256; ++b) lead[b] = codePage != CP_UTF8 && IsDBCSLeadByteEx(codePage, b);
    EXPECT_TRUE(characters.leadByte == lead &&
                characters.kind == (codePage == CP_UTF8 ? Kind::Utf8
                                    : codePage == 1252  ? Kind::SingleByte
                                                        : Kind::DoubleByte))
        << codePage;
  }
  EXPECT_EQ(engine::Win32CodePage().Characters().leadByte, engine::CharactersOf(GetACP()).leadByte);
}

// A box can be seen on the visible window station of a desktop session, not on one created
// without WSF_VISIBLE, as a service's or a task's with nobody logged on is.
TEST(Win32MessageBox, CanBeSeenOnlyOnAVisibleWindowStation) {
  const HWINSTA own = GetProcessWindowStation();
  const HWINSTA hidden = CreateWindowStationW(L"ce-hidden", 0, WINSTA_ALL_ACCESS, nullptr);
  EXPECT_TRUE(engine::Win32MessageBox().CanBeSeen());
  ASSERT_TRUE(hidden != nullptr && SetProcessWindowStation(hidden));
  EXPECT_FALSE(engine::Win32MessageBox().CanBeSeen());
  EXPECT_TRUE(SetProcessWindowStation(own) && CloseWindowStation(hidden));
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
