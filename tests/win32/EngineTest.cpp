// The built conversion-engine.exe, started as a host starts it, only where the
// Win32 boundary can break what it does: the command line, standard handles, the
// message box, share modes, the census, the automation calls' types.

#include <deque>
#include <map>
#include <set>

#include "EngineVersion.h"
#include "HostProtocol.h"
#include "Journal.h"
#include "Support.h"

namespace {

using namespace win;
using namespace standin::key;
using namespace std::string_literals;

using engine::testing::kCallQuit, engine::testing::kPutDialogsOff, engine::testing::kPutVisible,
    engine::testing::ScriptCall;
const std::string kClose = "PhotoShopDAMCloseAfterEachRendition=true",
                  kKeepOpen = "PhotoShopDAMCloseAfterEachRendition=false";

// A request as a host writes it; an unparsable one's last "=" lies past 16-bit positions.
std::string Request(const Lines& entries, bool parsable = true) {
  std::string text = "Written by a conversion host\r\n@Properties LocalData\r\n";
  for (const std::string& entry : entries) text += entry + "\r\n";
  return text + (parsable ? "" : std::string(40000, 'k') + "=v\r\n") + "@end\r\n";
}

class Engine : public ::testing::Test {
 protected:
  std::string Line(const std::string& text) const { return "\"" + engine_ + "\" " + text; }
  // What the engine prints for command text |text| in the job's folder, on |desktop| (empty: ours).
  std::string Run(const std::string& text, const std::string& desktop = "") {
    Process engine(engine_, Line(text), dir_.path, Handles::Pipe, desktop);
    EXPECT_TRUE(engine.EndsNormally()) << "the engine did not end normally";
    return engine.Output();
  }

  const std::string engine_ = ENGINE_EXE;
  TempFolder dir_;  // the job's
};

// A quoted existing path names nothing: the fatal box until OK, and nothing else.
TEST_F(Engine, AQuotedPathShowsTheFatalBoxUntilOK) {
  Write(dir_ / "request.dat", Request({"outputhdaFile=" + (dir_ / "r.hda")}));
  Write(dir_ / "r.hda", "stale");
  Process engine(engine_, Line("\"" + (dir_ / "request.dat") + "\""), dir_.path);
  // The box is up once the engine waits for input (under Wine, listed a moment later).
  ASSERT_EQ(WaitForInputIdle(engine.info.hProcess, 30000), 0u);
  HWND box = nullptr;
  for (int i = 0; i < 3000 && !(box = FindWindowA("#32770", engine::kApplicationTitle)); ++i) {
    Sleep(10);
  }
  ASSERT_NE(box, nullptr) << "no box captioned " << engine::kApplicationTitle;
  Lines seen;  // what a person sees: the texts and buttons left visible, an icon
  for (HWND control = nullptr; (control = FindWindowExA(box, control, nullptr, nullptr));) {
    char text[512] = {};
    GetWindowTextA(control, text, sizeof text);
    if (SendMessageA(control, STM_GETICON, 0, 0) != 0) strcpy(text, "an icon");
    if (IsWindowVisible(control) && *text != '\0') seen.push_back(text);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (Lines{std::string(engine::protocol::kNoDataPassed), "OK"}));
  EXPECT_FALSE(engine.Wait(0)) << "the engine did not wait for the box";
  PostMessageA(box, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  ASSERT_TRUE(engine.EndsNormally()) << "the engine did not end after OK";
  EXPECT_EQ(engine.Output() + Read(dir_ / "r.hda"), "stale");
  EXPECT_EQ(List(dir_.path), (Lines{"r.hda", "request.dat"}));
}

// Runs that end at once and say so on standard output: a version query; where nobody sees a
// box, on a desktop that the host made for the engine, its text as a line.
TEST_F(Engine, RunsThatEndAtOnceSayWhyOnStandardOutput) {
  const HDESK desktop = CreateDesktopA("ce-private", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  ASSERT_NE(desktop, nullptr);
  EXPECT_EQ(Run("version"), engine::kVersionText + "\n"s);
  EXPECT_EQ(Run("x", "ce-private"), std::string(engine::protocol::kNoDataPassed) + "\n")
      << "private desktop";
  CloseDesktop(desktop);
}

// Jobs that reach the application.
class Job : public Engine {
 protected:
  // The output up to the PID report, which names the stand-in's process.
  std::string Report(const std::string& before = "Loading hda\n") const {
    return before + "@Properties LocalData\nBefore=\nAfter=" + standin_.Servers().at(0) +
           "\n@end\n";
  }
  Standin standin_;
};

// A request path with blanks, ANSI letters and trailing blanks reaches the path test as
// given; a read-only request loads; the calls carry their types; the census finds the app.
TEST_F(Job, RequestAndParameterStringReachTheApplicationAsGiven) {
  const std::string folder = dir_ / "d\xE9j\xE0 vu", request = folder + "\\requ\xEAte \xC4.dat",
                    script = folder + "\\s.jsx", params = "-in \"photo 1.psd\" -out \xE9t\xE9.png";
  MakeFolder(folder);
  Write(folder + "\\r\xE9sultat.hda", "stale");
  Write(request,
        Request({"OUTPUTHDAFILE=" + folder + "\\r\xE9sultat.hda", "script=C:\\other.jsx",
                 "scriptParams=" + params, kKeepOpen,
                 "parameters=-script \"" + script + "\" -UsePhotoshopJsxDebug 1 -" + kClose}));
  SetAttributes(request, FILE_ATTRIBUTE_READONLY);
  standin_.Start();
  EXPECT_EQ(Run(request + "   "), Report());
  EXPECT_EQ(standin_.Calls(),
            (Lines{kPutDialogsOff, kPutVisible, ScriptCall(script, params, 3), kCallQuit}));
  EXPECT_EQ(List(folder), Lines{"requ\xEAte \xC4.dat"});
}

// Start-up abandoned (unparsable request, read-only result): nothing written, the census
// finds the application, the script's failure arrives byte for byte.
TEST_F(Job, AbandonedStartUpGoesOnAndTheScriptsFailureArrivesWhole) {
  Write(dir_ / "r.hda", "earlier");
  SetAttributes(dir_ / "r.hda", FILE_ATTRIBUTE_READONLY);
  standin_.Control({{kFail + "DoJavaScriptFile"s, "before<NUL>after<CR><LF>\xC9tat \xAB 1 \xBB"}});
  standin_.Start();
  Write(dir_ / "request.dat",
        Request({"outputhdaFile=" + (dir_ / "r.hda"), "script=s.jsx"}, false));
  EXPECT_EQ(Run(dir_ / "request.dat"),
            Report("Loading hda\n!nxWritingNativeResults\n") + "error returned by script: " +
                std::string("before\0after", 12) + "\r\n\xC9tat \xAB 1 \xBB\n");
  EXPECT_EQ(Read(dir_ / "r.hda"), "earlier");
}

// The application still stopping from an earlier job (2 s): the engine's own policy asks
// again, each call arrives once; then it dies inside the script.
TEST_F(Job, StoppingApplicationIsAskedAgainAndItsDeathReported) {
  standin_.Control({{kBusy, "8"},
                    {kBusyOn, "CreateInstance"},
                    {kBusyCode, "stopping"},
                    {kExit + "DoJavaScriptFile"s, "7"}});
  Write(dir_ / "request.dat", Request({"script=s.jsx", kClose}));
  const std::string output = Run(dir_ / "request.dat");
  const std::string line = Report() + "error returned by script: Invoke(DoJavaScriptFile): ";
  EXPECT_TRUE(output.starts_with(line)) << output;
  EXPECT_EQ(output.find('\n', line.size()), output.size() - 1) << output;
  EXPECT_EQ(standin_.Calls(), (Lines{kPutDialogsOff, kPutVisible, ScriptCall("s.jsx")}));
  EXPECT_EQ(standin_.BusyLeft(), 0);
}

// Engines at once against one application: each its own output, calls and files, none a
// log; the last, with NULL standard handles, runs whole.
TEST_F(Job, EnginesAtOnceEachGetTheirOwn) {
  standin_.Start(true);
  TempFolder jobs[3];
  std::deque<Process> engines;
  std::multiset<std::string> expected{kCallQuit};  // the second job's only
  for (int i = 0; i < 3; ++i) {
    const std::string script = jobs[i] / "s.jsx", params = "-job " + std::to_string(i);
    Write(jobs[i] / "r.hda", "stale");
    Write(jobs[i] / "request.dat",
          Request({"outputhdaFile=" + (jobs[i] / "r.hda"), "script=" + script,
                   "scriptParams=" + params, i == 1 ? kClose : kKeepOpen}));
    expected.insert({kPutDialogsOff, kPutVisible, ScriptCall(script, params)});
    engines.emplace_back(engine_, Line(jobs[i] / "request.dat"), jobs[i].path,
                         i == 2 ? Handles::Null : Handles::Pipe);
  }
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(engines[i].Wait()) << "job " << i;
    EXPECT_EQ(engines[i].Output(), i == 2 ? "" : Report()) << "job " << i;
    EXPECT_EQ(List(jobs[i].path), Lines{"request.dat"}) << "job " << i;
  }
  const Lines calls = standin_.Calls();
  EXPECT_EQ(std::multiset<std::string>(calls.begin(), calls.end()), expected);
}

// A script that never returns: the engine waits until the host ends it, its output whole,
// nothing half-written.
TEST_F(Job, AHungScriptKeepsTheEngineWaitingUntilTheHostEndsIt) {
  standin_.Start(true);
  standin_.Control({{kSleepMs + "DoJavaScriptFile"s, "3600000"}});
  Write(dir_ / "request.dat", Request({"outputhdaFile=" + (dir_ / "r.hda"), "script=s.jsx"}));
  Process hung(engine_, Line(dir_ / "request.dat"), dir_.path);
  for (int waited = 0; standin_.Calls().size() < 3; waited += 10) {
    ASSERT_FALSE(hung.Wait(10)) << "the engine ended before the script call";
    ASSERT_LT(waited, 60000) << "the script call never arrived";
  }
  EXPECT_FALSE(hung.Wait(2000)) << "the engine stopped waiting for the script";
  hung.Terminate();
  EXPECT_EQ(hung.Output(), Report());
  EXPECT_EQ(List(dir_.path), Lines{"request.dat"});
}

// Under each double-byte locale that CTest runs this in (see CMakeLists.txt): a second byte "\"
// before "@" is no escape; an "=" at character 20,001 (byte 40,001) loads; the override
// behind 20,000 characters is found.
TEST_F(Job, UnderADoubleByteCodePagePathsAndPositionsStepOverWholeCharacters) {
  char locale[64] = {};
  if (!GetEnvironmentVariableA("ENGINE_WINE_LOCALE", locale, sizeof locale)) GTEST_SKIP();
  const std::map<UINT, std::wstring> names{{932, L"表ソ能"}, {936, L"乗淺"}, {950, L"功許"}};
  ASSERT_TRUE(names.contains(GetACP())) << locale << " gave code page " << GetACP()
                                        << ": not generated (locale-gen), or not passed to Wine";
  std::string folder = dir_.path;  // each name in the folder of the one before
  for (const wchar_t name : names.at(GetACP())) {
    const std::string bytes = engine::WideToAnsi({&name, 1});
    ASSERT_EQ(bytes.substr(1), "\\") << "a second byte \"\\\"";
    MakeFolder(folder += "\\" + bytes + "@1");
  }
  std::string many;  // 20,000 characters
  for (int i = 0; i < 20000; ++i) many += folder.substr(dir_.path.size() + 1, 2);
  const std::string script = dir_ / "s.jsx";
  Write(folder + "\\r.hda", "stale");
  Write(folder + "\\request.dat",
        Request({many + "=v", "outputhdaFile=" + folder + "\\r.hda", "script=C:\\other.jsx",
                 "parameters=" + many + " -script \"" + script + "\""}));
  const std::string output = Run(folder + "\\request.dat");  // starts the stand-in
  EXPECT_EQ(output, Report());
  EXPECT_EQ(standin_.Calls(), (Lines{kPutDialogsOff, kPutVisible, ScriptCall(script)}));
  EXPECT_EQ(List(folder), Lines{"request.dat"});
}

}  // namespace
