// The Win32 platform layer in this process: what the logic's fakes take for
// granted about the command line, the console, files, code pages, the box and processes.

#include <optional>
#include <utility>

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
  ASSERT_TRUE(probe.Wait());
  EXPECT_EQ(probe.Output(), std::string("[d\xE9j\xE0 \"x y\"  ]\0\r\n", 17));
}

HANDLE Hold(const std::string& path, DWORD access, DWORD share) {  // as another process would
  return CreateFileA(path.c_str(), access, share, nullptr, OPEN_ALWAYS, 0, nullptr);
}
// What file operation |name| on |path| throws, or "no failure"; |name| starts with the call.
std::string Try(const std::string& name, const std::string& path) {
  engine::Win32FileSystem fs;
  return FailureOf([&] {
    if (name.starts_with("GetFileAttributes")) fs.GetAttributes(path);
    if (name.starts_with("DeleteFile")) fs.DeleteFile(path);
    if (name.ends_with("read")) fs.OpenForReading(path);
    if (name.ends_with("write")) fs.WriteNewFile(path, "x");
    if (name.find("append") != name.npos) fs.AppendToFile(path, "x", name.ends_with("shared"));
  });
}

// Refusals leave files alone and say why, read-only files even under Wine as root; past 259
// characters the wide calls refuse. A code the system has no text for is named by its number.
TEST(Win32Files, RefusalsLeaveFilesAloneAndSayWhy) {
  TempFolder dir;
  const std::string none = dir / "none", deep = dir / "none\\r.hda", folder = dir / "sub",
                    readOnly = dir / "ro.hda", locked = dir / "locked.hda", log = dir / "log.txt",
                    write = "CreateFileA write", append = "CreateFileA append";
  MakeFolder(folder);
  Write(readOnly, "kept");
  SetAttributes(readOnly, FILE_ATTRIBUTE_READONLY);
  Write(locked, "kept");
  HANDLE holders[] = {Hold(locked, GENERIC_READ, FILE_SHARE_READ),
                      Hold(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE)};
  const std::tuple<std::string, Lines, DWORD> cases[] = {
      {none, {"GetFileAttributesA", "DeleteFileA", "CreateFileA read"}, ERROR_FILE_NOT_FOUND},
      {deep, {"GetFileAttributesA", write, append}, ERROR_PATH_NOT_FOUND},
      {folder, {"DeleteFileA", "CreateFileA read", write, append}, ERROR_ACCESS_DENIED},
      {readOnly, {"DeleteFileA", write, append + " shared"}, ERROR_ACCESS_DENIED},
      {locked, {"DeleteFileA", write, append + " shared", append}, ERROR_SHARING_VIOLATION},
      {log, {append}, ERROR_SHARING_VIOLATION},
      {dir / std::string(255, 'n') + "\\r",
       {"GetFileAttributesW", "DeleteFileW"},
       ERROR_PATH_NOT_FOUND}};
  for (const auto& [path, names, error] : cases) {
    for (const std::string& name : names) {  // "call(path): reason"
      EXPECT_EQ(Try(name, path), name.substr(0, name.find(' ')) + "(" + path +
                                     "): " + engine::SystemErrorText(error));
    }
  }
  EXPECT_EQ(engine::SystemErrorText(0x2000FFFF), "error 536936447");
  EXPECT_EQ(engine::SystemErrorText(ERROR_FILE_NOT_FOUND).find_first_of("\r\n"), std::string::npos);
  const std::uint32_t both = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
  EXPECT_EQ(engine::Win32FileSystem().GetAttributes(folder) & both, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(engine::Win32FileSystem().GetAttributes(readOnly) & both, FILE_ATTRIBUTE_READONLY);
  for (HANDLE holder : holders) CloseHandle(holder);
  EXPECT_EQ(Read(readOnly) + Read(locked) + Read(log), "keptkept");
  EXPECT_EQ(List(dir.path), (Lines{"locked.hda", "log.txt", "ro.hda", "sub"}));
}

// A read that fails part way says why: here the writing end of a pipe goes away.
TEST(Win32Files, AReadThatFailsSaysWhy) {
  const std::string pipe = "\\\\.\\pipe\\ce-read-" + std::to_string(GetCurrentProcessId());
  HANDLE writer = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, 0, 1, 0, 0, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const auto file = engine::Win32FileSystem().OpenForReading(pipe);
  CloseHandle(writer);
  EXPECT_EQ(FailureOf([&] { ReadAll(*file); }),
            "ReadFile(" + pipe + "): " + engine::SystemErrorText(ERROR_BROKEN_PIPE));
}

// The first append creates the file; shared appends land at the end, beside another writer
// too; a reader locks no writer out.
TEST(Win32Files, AppendsLandAtTheEndBesideAnotherWriter) {
  TempFolder dir;
  engine::Win32FileSystem fs;
  const std::string log = dir / "templog.txt";
  fs.AppendToFile(log, "a\r\n", true);
  HANDLE other = Hold(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  DWORD written = 0;
  SetFilePointer(other, 0, nullptr, FILE_END);
  ASSERT_TRUE(WriteFile(other, "b\r\n", 3, &written, nullptr));
  fs.AppendToFile(log, "c\r\n", true);
  CloseHandle(other);
  fs.AppendToFile(log, "d\r\n", false);
  auto file = fs.OpenForReading(log);
  HANDLE writer = Hold(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "the reader locks writers out";
  CloseHandle(writer);
  EXPECT_EQ(ReadAll(*file), "a\r\nb\r\nc\r\nd\r\n");
}

// A new file replaces an earlier one whole, with nothing too; it is hidden or system only
// where the earlier one was (Windows refuses to replace such a file unless asked with them).
TEST(Win32Files, WriteNewFileReplacesTheWholeFileKeepingOnlyItsHiddenAndSystemFlags) {
  TempFolder dir;
  const DWORD hiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (const auto& [label, before, flags] : Rows<const char*, DWORD>{
           {"fresh", nullptr, 0},
           {"longer", "first version", FILE_ATTRIBUTE_NORMAL},
           {"hidden and system", "x", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}}) {
    const std::string path = dir / label;
    if (before != nullptr) Write(path, before);
    if (before != nullptr) SetAttributes(path, flags);
    engine::Win32FileSystem().WriteNewFile(path, "");
    EXPECT_EQ(Read(path), "") << label;
    EXPECT_EQ(GetFileAttributesW(Wide(path).c_str()) & hiddenOrSystem, flags & hiddenOrSystem)
        << label;
  }
}

// The timestamp is the date, a blank and the time with seconds, without a NUL.
TEST(Win32Files, LocalTimestampIsDateBlankAndTimeWithSeconds) {
  const std::string stamp = engine::Win32FileSystem().LocalTimestamp();
  EXPECT_EQ(std::ranges::count(stamp, ':'), 2) << stamp;
  EXPECT_LT(stamp.find(' '), stamp.find(':')) << stamp;
  EXPECT_EQ(stamp.find('\0'), stamp.npos) << stamp;
}

// Past 259 characters, where the ANSI calls stop, every operation reaches the file.
TEST(Win32Files, PathsPast259CharactersAreReachedByEveryOperation) {
  TempFolder dir;
  const std::string name(200, 'f'), file = dir / name + "\\" + name + "\\r.hda";
  for (const std::string& folder : {dir / name, dir / name + "\\" + name}) MakeFolder(folder);
  for (const char* operation : {"write", "append", "read", "GetFileAttributes"}) {
    EXPECT_EQ(Try(operation, file), "no failure") << operation;
  }
  EXPECT_EQ(Read(file), "xx");
  EXPECT_EQ(Try("DeleteFile", file), "no failure");
}

// The extended form from 260 UTF-16 units on (MAX_PATH counts the NUL), as given or made
// absolute, normalized, "\\?\UNC\" for a share; a device path keeps to the device namespace.
TEST(Win32Files, ExtendedLengthPathOnlyWhereTheAnsiCallsCantReach) {
  const std::string n(300, 'n');
  const std::wstring wn(300, L'n');
  wchar_t here[MAX_PATH] = {};
  const std::size_t at = GetCurrentDirectoryW(MAX_PATH, here) + 1;  // where a name starts
  for (const auto& [label, path, extended] : Rows<std::string, std::wstring>{
           {"device", "\\\\.\\C:\\a\\..\\" + n, L"\\\\?\\C:\\" + wn},
           {"extended, slashes", "//?/C:/" + n, L"\\\\?\\C:\\" + wn},
           {"extended", "\\\\?\\C:\\a\\..\\" + n, L"\\\\?\\C:\\a\\..\\" + wn},
           {"extended, 259", "\\\\?\\C:\\" + n.substr(0, 252), L""},
           {"259 units", "C:\\" + n.substr(0, 256), L""},
           {"260 units", "C:\\" + n.substr(0, 257), L"\\\\?\\C:\\" + wn.substr(0, 257)},
           {"260 units, 255 absolute", "C:\\a\\..\\" + n.substr(0, 252),
            L"\\\\?\\C:\\" + wn.substr(0, 252)},
           {"259 absolute", n.substr(0, 259 - at), L""},
           {"260 absolute", n.substr(0, 260 - at),
            L"\\\\?\\" + (here + (L"\\" + wn.substr(0, 260 - at)))},
           {"share", "//server/share/" + n, L"\\\\?\\UNC\\server\\share\\" + wn}}) {
    EXPECT_EQ(engine::ExtendedLengthPath(path), extended) << label;
  }
}

// Start-up keeps the host's error-mode choices and adds its own; a DLL that someone put in the
// job's folder is not loaded in place of a missing one.
TEST(Win32Startup, KeepsTheHostsErrorModeAndLoadsLaterLibrariesFromTheSystemFolderOnly) {
  const TempFolder job;
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(),
                        Wide(job / "planted.dll").c_str(), FALSE));
  ASSERT_TRUE(SetCurrentDirectoryA(job.path.c_str()));
  HMODULE before = LoadLibraryW(L"planted.dll");
  ASSERT_NE(before, nullptr) << "the usual search order takes the current folder";
  FreeLibrary(before);
  SetErrorMode(SEM_NOGPFAULTERRORBOX);
  engine::PrepareProcess();
  EXPECT_EQ(GetErrorMode(), UINT{SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS});
  EXPECT_EQ(LoadLibraryW(L"planted.dll"), nullptr);
  SetCurrentDirectoryW(system);  // so that the folder can go
}

// How each kind of code page spells characters (which bytes lead: CharacterTest.cpp).
TEST(Win32CodePage, DescribesEachKindOfCodePageAsTheSystemDoes) {
  using Kind = engine::AnsiCharacters::Kind;
  for (const auto& [label, codePage, kind] :
       Rows<UINT, Kind>{{"double-byte", 932, Kind::DoubleByte},
                        {"single-byte", 1252, Kind::SingleByte},
                        {"UTF-8", CP_UTF8, Kind::Utf8}}) {
    EXPECT_EQ(engine::CharactersOf(codePage).kind, kind) << label;
  }
}

// A box can be seen in a desktop session on its visible window station; not in session 0
// (services), nor on a station without WSF_VISIBLE. (A host's own desktop: the engine's tests.)
TEST(Win32MessageBox, CanBeSeenOnlyInAUsersSessionOnAVisibleWindowStation) {
  const HWINSTA own = GetProcessWindowStation();
  const HWINSTA hidden = CreateWindowStationW(L"ce-hidden", 0, WINSTA_ALL_ACCESS, nullptr);
  using Session = std::optional<std::uint32_t>;
  for (const auto& [label, session, station, seen] :
       Rows<Session, HWINSTA, bool>{{"this session", engine::ProcessSession(), own, true},
                                    {"session unknown", std::nullopt, own, true},
                                    {"session 0", 0u, own, false},
                                    {"hidden station", 1u, hidden, false}}) {
    static Session reported;
    reported = session;
    ASSERT_TRUE(SetProcessWindowStation(station)) << label;
    EXPECT_EQ(engine::Win32MessageBox([] { return reported; }).CanBeSeen(), seen) << label;
  }
  SetProcessWindowStation(own);
  CloseWindowStation(hidden);
}

// What the census relies on, tried on this very process.
TEST(Win32Processes, EnumerateOpenAndNameProcessesAsTheCensusNeeds) {
  engine::Win32Processes processes;
  std::uint32_t pids[4096], bytes = 0, needed = 0;
  ASSERT_TRUE(processes.EnumProcesses(pids, sizeof pids, &bytes));
  ASSERT_LT(bytes, sizeof pids);
  EXPECT_EQ(std::count(pids, pids + bytes / 4, GetCurrentProcessId()), 1);
  ASSERT_TRUE(processes.EnumProcesses(pids, 4, &bytes));
  EXPECT_EQ(bytes, 4u) << "full: not its size";
  engine::ModuleHandle modules[64] = {};
  std::string name(260, ' ');
  const engine::ProcessHandle self = processes.OpenProcess(0x410, false, GetCurrentProcessId());
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(self), &flags));
  EXPECT_EQ(flags, 0u) << "inheritable";
  ASSERT_TRUE(processes.EnumProcessModules(self, modules, sizeof modules, &needed));
  ASSERT_GT(needed, 0u);
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
