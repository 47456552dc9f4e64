// Whole jobs, as a conversion server runs them: the built conversion-engine.exe
// started through CreateProcessA with the request's path as its command text,
// a working folder of its own and standard output on a pipe, driving the
// stand-in application (tests/standin, registered by the standin_registered
// fixture). Each job has a folder of its own that holds the request, the
// script, the stand-in's control file and its journal: STANDIN_DIR, set in this
// process and so inherited by a stand-in started from here and by the engine,
// which hands it on to a stand-in that COM starts for it.
//
// What is compared, byte for byte: everything the engine printed, and every
// call the application received, in order.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "StandinServers.h"
#include "TestFiles.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

using testing_win32::ChildProcess;
using testing_win32::LaunchOptions;
using testing_win32::ReadBytes;
using testing_win32::RunResult;
using testing_win32::StandardHandles;
using testing_win32::TempFolder;
using testing_win32::ToWindowsPath;
using testing_win32::WriteBytes;

// Bounds on waiting, never expectations: past them something hangs.
constexpr std::uint32_t kJobLimit = 120000;
constexpr DWORD kServerReadyLimit = 30000;
constexpr DWORD kServerEndLimit = 30000;

// The calls every job makes, as the stand-in journals them.
const char kDialogsOff[] = "PUT DisplayDialogs VT_I2 3";
const char kVisible[] = "PUT Visible VT_BOOL -1";
const char kQuit[] = "CALL Quit";
const char kErrorPrefix[] = "error returned by script: ";

// Stands for the job's folder in the tables below.
const char kDir[] = "$DIR";

std::string JavaScriptCall(const std::string& path, const std::string& params, int mode) {
  return "CALL DoJavaScriptFile VT_BSTR|VT_BYREF \"" + path +
         "\" ; VT_ARRAY|VT_VARIANT [0..0] {VT_BSTR \"" + params + "\"} ; VT_I2|VT_BYREF " +
         std::to_string(mode);
}

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

// A request data file as a host writes it.
std::string Request(const std::vector<std::string>& entries) {
  std::string text = "Written by a conversion host\r\n@Properties LocalData\r\n";
  for (const std::string& entry : entries) text += entry + "\r\n";
  return text + "@end\r\n";
}

// What the engine prints up to and including the PID report, with |servers|
// the application's processes.
std::string ReportOutput(const std::vector<DWORD>& servers) {
  std::string after;
  for (DWORD pid : servers) after += (after.empty() ? "" : " ") + std::to_string(pid);
  return "Loading hda\n@Properties LocalData\nBefore=\nAfter=" + after + "\n@end\n";
}

class EngineJob : public ::testing::Test {
 protected:
  void SetUp() override { SetEnvironmentVariableA("STANDIN_DIR", dir_.path().c_str()); }
  void TearDown() override { SetEnvironmentVariableA("STANDIN_DIR", nullptr); }

  std::string Expand(const std::string& text) const { return Replaced(text, kDir, dir_.path()); }

  // Whether the job finds the application running or has it started.
  enum class Application {
    Running,             // started by hand before the engine, as a user would
    StartedByTheEngine,  // started by COM when the engine asks for it
  };

  // Runs one job: writes the request file (and the control file when given),
  // starts the engine with the request's path as its command text (or with
  // |commandText| when given), waits for it and for the stand-in server to
  // end, and collects what they left behind.
  void RunJob(const std::string& requestText, const std::string& control, Application application,
              const std::string& commandText = "") {
    output_.clear();
    servers_.clear();
    calls_.clear();
    const std::string request = dir_ / "request.dat";
    ASSERT_TRUE(WriteBytes(request, requestText));
    if (!control.empty()) {
      ASSERT_TRUE(WriteBytes(dir_ / "standin-control.txt", control));
    }
    std::unique_ptr<ChildProcess> running;
    if (application == Application::Running) {
      ASSERT_NO_FATAL_FAILURE(StartApplication(running));
    }

    LaunchOptions options;
    options.application = engine_;
    options.commandLine = "\"" + engine_ + "\" " + (commandText.empty() ? request : commandText);
    options.workingDirectory = dir_.path();
    bool ended = false;
    {
      ChildProcess engine(options);
      ended = engine.WaitForExit(kJobLimit);
      if (ended) {
        EXPECT_EQ(engine.exitCode(), 0u);
        output_ = engine.TakeOutput();
      }
    }  // an engine that hangs is terminated here
    // Also when the engine hung: a server left behind would serve later jobs.
    AwaitServersEnd();
    ASSERT_TRUE(ended) << "the engine did not end";

    for (const std::string& line :
         testing_win32::SplitCrLfLines(ReadBytes(dir_ / "standin-journal.txt").value_or(""))) {
      const std::size_t blank = line.find(' ');
      // Every call of one job reaches the one server of the job.
      ASSERT_EQ(servers_.size(), 1u) << line;
      EXPECT_EQ(line.substr(0, blank), std::to_string(servers_[0])) << line;
      calls_.push_back(blank == std::string::npos ? std::string() : line.substr(blank + 1));
    }
  }

  // Starts the stand-in by hand and waits until it has registered its class
  // (it then lists itself in standin-pids.txt). It journals into this job's
  // folder (it inherits STANDIN_DIR from here) and ends by itself once the
  // engine has released the object it was given.
  //
  // Most jobs find the application running: under Wine a client that has COM
  // start a server waits a whole second before it looks for the new class, and
  // the started server holds on to the client's standard output for about as
  // long after the client has ended.
  void StartApplication(std::unique_ptr<ChildProcess>& running) {
    std::string failure;
    running = testing_win32::StartStandin(ToWindowsPath(STANDIN_EXE), dir_ / "standin-pids.txt",
                                          kServerReadyLimit, &failure);
    ASSERT_TRUE(running) << failure;
  }

  // A server must end by itself once the engine has released its object; one
  // still running would serve the next job with this job's folder. It is
  // asked to stop rather than killed: under Wine a killed server stays
  // registered and breaks every later job.
  void AwaitServersEnd() {
    for (const std::string& line : testing_win32::SplitCrLfLines(ReadBytes(dir_ / "standin-pids.txt").value_or(""))) {
      const DWORD pid = std::stoul(line);
      servers_.push_back(pid);
      if (!testing_win32::AwaitStandinEnd(pid, kServerEndLimit)) {
        ADD_FAILURE() << "stand-in " << pid << " did not end after the engine released it";
      }
    }
  }

  std::string ControlNow() const { return ReadBytes(dir_ / "standin-control.txt").value_or(""); }

  std::string engine_ = ToWindowsPath(ENGINE_EXE);
  TempFolder dir_{"e2e"};
  std::string output_;
  std::vector<DWORD> servers_;      // from standin-pids.txt
  std::vector<std::string> calls_;  // the journal, each line without the server's PID
};

// ---------------------------------------------------------------------------
// Jobs that reach the application: every outcome of the run, and the ways its
// settings reach the application.

const char kScriptEntry[] = "script=$DIR\\s.jsx";
const char kParams[] = "-in \"photo 1.psd\" -out photo1.png -quality 90";
const char kParamsEntry[] = "scriptParams=-in \"photo 1.psd\" -out photo1.png -quality 90";
const char kClose[] = "PhotoShopDAMCloseAfterEachRendition=";
const char kDebug[] = "UsePhotoshopJsxDebug=";

struct JobCase {
  const char* name = "";
  std::vector<std::string> entries = {};  // the request's; $DIR stands for the job's folder
  std::string directives = {};            // lines of the script file $DIR\s.jsx
  std::string control = {};               // the stand-in's control file
  std::vector<std::string> calls = {};    // the journal expected, $DIR as above
  std::string error = {};                 // the error line expected after the report; "" none
  bool errorIsPrefix = false;       // |error| only begins the line; the rest is the engine's own
  bool startedByTheEngine = false;  // else the application is running before the job
  bool needsCodePage1252 = false;
  bool rejectionsServed = false;  // the control file's busy count must have reached 0
};

void PrintTo(const JobCase& c, std::ostream* os) { *os << c.name; }

std::string Entry(const char* key, const char* value) { return std::string(key) + value; }

const std::string kJs1 = JavaScriptCall("$DIR\\s.jsx", kParams, 1);
const std::vector<std::string> kRequest = {kScriptEntry, kParamsEntry};
const std::vector<std::string> kSucceeded = {kDialogsOff, kVisible, kJs1};
const std::vector<std::string> kSucceededAndQuit = {kDialogsOff, kVisible, kJs1, kQuit};

// A French description with accented letters and guillemets, in code page 1252.
const char kAnsiDescription[] =
    "\xC9"
    "chec : fichier \xAB photo \xBB introuvable";

std::vector<std::string> With(std::vector<std::string> entries, const std::string& entry) {
  entries.push_back(entry);
  return entries;
}

const JobCase kJobs[] = {
    // The outcome table: a script that succeeds, without and with the close flag.
    {.name = "SucceedsWithoutCloseFlag", .entries = kRequest, .calls = kSucceeded},
    {.name = "SucceedsWithoutCloseFlagStartingTheApplication",
     .entries = kRequest,
     .calls = kSucceeded,
     .startedByTheEngine = true},
    {.name = "CloseFlagTrue",
     .entries = With(kRequest, Entry(kClose, "true")),
     .calls = kSucceededAndQuit},
    {.name = "CloseFlagTrueStartingTheApplication",
     .entries = With(kRequest, Entry(kClose, "true")),
     .calls = kSucceededAndQuit,
     .startedByTheEngine = true},
    {.name = "CloseFlagMinusOne",
     .entries = With(kRequest, Entry(kClose, "-1")),
     .calls = kSucceededAndQuit},
    {.name = "CloseFlagYes",
     .entries = With(kRequest, Entry(kClose, "Yes")),
     .calls = kSucceededAndQuit},
    {.name = "CloseFlagKeyInOtherLetterCase",
     .entries = With(kRequest, "photoshopdamcloseaftereachrendition=TRUE"),
     .calls = kSucceededAndQuit},
    {.name = "CloseFlagOnReadsAsFalse",
     .entries = With(kRequest, Entry(kClose, "on")),
     .calls = kSucceeded},
    {.name = "CloseFlagZero", .entries = With(kRequest, Entry(kClose, "0")), .calls = kSucceeded},

    // The debugger flag chooses the execution mode.
    {.name = "DebuggerTrue",
     .entries = With(kRequest, Entry(kDebug, "true")),
     .calls = {kDialogsOff, kVisible, JavaScriptCall("$DIR\\s.jsx", kParams, 3)}},
    {.name = "DebuggerFalse",
     .entries = With(kRequest, Entry(kDebug, "false")),
     .calls = kSucceeded},

    // The outcome table: a script that fails. One error line with the
    // application's description, unchanged, then Quit whatever the close flag.
    {.name = "ScriptFails",
     .entries = kRequest,
     .directives = "//standin fail=Error 8800: General failure; line 3.",
     .calls = kSucceededAndQuit,
     .error = "Error 8800: General failure; line 3."},
    {.name = "ScriptFailsStartingTheApplication",
     .entries = kRequest,
     .directives = "//standin fail=Error 8800: General failure; line 3.",
     .calls = kSucceededAndQuit,
     .error = "Error 8800: General failure; line 3.",
     .startedByTheEngine = true},
    {.name = "ScriptFailsWithCloseFlag",
     .entries = With(kRequest, Entry(kClose, "true")),
     .directives = "//standin fail=Could not open photo 1.psd",
     .calls = kSucceededAndQuit,
     .error = "Could not open photo 1.psd"},
    {.name = "ScriptFailsWithCloseFlagFalse",
     .entries = With(kRequest, Entry(kClose, "false")),
     .directives = "//standin fail=Script error",
     .calls = kSucceededAndQuit,
     .error = "Script error"},
    {.name = "DescriptionWithLineBreaks",
     .entries = kRequest,
     .directives = "//standin fail=Error 8: line 3<CR><LF>syntax error<LF>",
     .calls = kSucceededAndQuit,
     .error = "Error 8: line 3\r\nsyntax error\n"},
    {.name = "DescriptionWithCarriageReturn",
     .entries = kRequest,
     .directives = "//standin fail=first part\rsecond part\t(tab)",
     .calls = kSucceededAndQuit,
     .error = "first part\rsecond part\t(tab)"},
    {.name = "DescriptionInAnsiLetters",
     .entries = kRequest,
     .directives = std::string("//standin fail=") + kAnsiDescription,
     .calls = kSucceededAndQuit,
     .error = kAnsiDescription,
     .needsCodePage1252 = true},

    // Whatever a script that completes hands back is not looked at.
    {.name = "ErrorLookingResultIsIgnored",
     .entries = kRequest,
     .directives = "//standin result=error returned by script: Error 8800",
     .calls = kSucceeded},
    {.name = "NumericResultIsIgnored",
     .entries = With(kRequest, Entry(kClose, "1")),
     .directives = "//standin result-vt=VT_I4\r\n//standin result=-1",
     .calls = kSucceededAndQuit},

    // Refused settings and a refused Quit are dropped without a word.
    {.name = "DisplayDialogsRefused",
     .entries = kRequest,
     .control = "fail.DisplayDialogs=Dialogs can't be switched off now.\r\n",
     .calls = kSucceeded},
    {.name = "VisibleRefusedWithCloseFlag",
     .entries = With(kRequest, Entry(kClose, "true")),
     .control = "fail.Visible=The application can't be shown.\r\n",
     .calls = kSucceededAndQuit},
    {.name = "QuitRefused",
     .entries = With(kRequest, Entry(kClose, "true")),
     .control = "fail.Quit=A document is still open.\r\n",
     .calls = kSucceededAndQuit},

    // Missing entries reach the application as empty texts.
    {.name = "NoScriptEntry",
     .entries = {kParamsEntry},
     .calls = {kDialogsOff, kVisible, JavaScriptCall("", kParams, 1)}},
    {.name = "NoScriptEntryAndTheCallFails",
     .entries = {kParamsEntry},
     .control = "fail.DoJavaScriptFile=No script file was named.\r\n",
     .calls = {kDialogsOff, kVisible, JavaScriptCall("", kParams, 1), kQuit},
     .error = "No script file was named."},
    {.name = "NoScriptParamsEntry",
     .entries = {kScriptEntry},
     .calls = {kDialogsOff, kVisible, JavaScriptCall("$DIR\\s.jsx", "", 1)}},
    {.name = "NeitherEntry", .calls = {kDialogsOff, kVisible, JavaScriptCall("", "", 1)}},

    // The parameter string wins over the request's own entries.
    {.name = "ParameterStringOverridesEntries",
     .entries = {"script=$DIR\\other.jsx", kParamsEntry, Entry(kClose, "no"),
                 Entry(kDebug, "false"),
                 "parameters=-script \"$DIR\\s.jsx\" -UsePhotoshopJsxDebug 1 "
                 "-PhotoShopDAMCloseAfterEachRendition true"},
     .calls = {kDialogsOff, kVisible, JavaScriptCall("$DIR\\s.jsx", kParams, 3), kQuit}},

    // The application's process ending inside a call: inside the script it is
    // a failure that the engine describes itself; inside Quit it goes unnoticed.
    {.name = "ApplicationEndsInsideTheScript",
     .entries = kRequest,
     .control = "exit.DoJavaScriptFile=7\r\n",
     .calls = kSucceeded,
     .errorIsPrefix = true,
     .startedByTheEngine = true},
    {.name = "ApplicationEndsInsideQuit",
     .entries = With(kRequest, Entry(kClose, "true")),
     .control = "exit.Quit=0\r\n",
     .calls = kSucceededAndQuit},

    // A busy application is asked again (every 250 ms) until it takes the
    // call; each call then arrives once. Beyond the engine's bound (60 s of
    // rejections) the call would fail; a job that waits that long is too slow
    // for this suite, and the client's own tests (tests/standin) cover the
    // bound with a short one.
    {.name = "BusyWhileStartingTheApplication",
     .entries = With(kRequest, Entry(kClose, "true")),
     .control = "busy=2\r\nbusy-on=CreateInstance\r\nbusy-code=retrylater\r\n",
     .calls = kSucceededAndQuit,
     .startedByTheEngine = true,
     .rejectionsServed = true},
    {.name = "BusyOnCalls",
     .entries = With(kRequest, Entry(kClose, "true")),
     .control = "busy=3\r\nbusy-on=Invoke\r\nbusy-code=rejected\r\n",
     .calls = kSucceededAndQuit,
     .rejectionsServed = true},
    {.name = "BusyOnAnything",
     .entries = kRequest,
     .control = "busy=3\r\n",
     .calls = kSucceeded,
     .rejectionsServed = true},
};

class Jobs : public EngineJob, public ::testing::WithParamInterface<JobCase> {};

TEST_P(Jobs, OutputAndCallsAreExactlyAsExpected) {
  const JobCase& c = GetParam();
  if (c.needsCodePage1252 && testing_win32::AnsiCodePage() != 1252) {
    GTEST_SKIP() << "the ANSI code page is " << testing_win32::AnsiCodePage();
  }
  ASSERT_TRUE(WriteBytes(dir_ / "s.jsx", "// the job's script\r\n" + c.directives + "\r\n"));
  std::vector<std::string> entries{Expand("outputhdaFile=$DIR\\result.hda")};
  for (const std::string& entry : c.entries) entries.push_back(Expand(entry));
  ASSERT_TRUE(WriteBytes(dir_ / "result.hda", "stale"));

  ASSERT_NO_FATAL_FAILURE(
      RunJob(Request(entries), c.control,
             c.startedByTheEngine ? Application::StartedByTheEngine : Application::Running));

  ASSERT_EQ(servers_.size(), 1u) << output_;
  std::vector<std::string> calls;
  for (const std::string& call : c.calls) calls.push_back(Expand(call));
  EXPECT_EQ(calls_, calls);

  const std::string report = ReportOutput(servers_);
  if (c.errorIsPrefix) {
    // The engine's own description: one line, not empty, LF alone at its end.
    const std::string begin = report + kErrorPrefix + c.error;
    ASSERT_EQ(output_.compare(0, begin.size(), begin), 0) << output_;
    const std::string rest = output_.substr(begin.size());
    EXPECT_GT(rest.size(), 1u) << output_;
    EXPECT_EQ(rest.find_first_of("\r\n"), rest.size() - 1) << output_;
    EXPECT_EQ(rest.back(), '\n') << output_;
  } else if (!c.error.empty()) {
    EXPECT_EQ(output_, report + kErrorPrefix + c.error + "\n");
  } else {
    EXPECT_EQ(output_, report);
  }

  if (c.rejectionsServed) {
    EXPECT_NE(ControlNow().find("busy=0"), std::string::npos) << "no call was turned away";
  }
  // The stale result is gone, and on this path nothing takes its place.
  EXPECT_FALSE(testing_win32::Exists(dir_ / "result.hda"));
}

INSTANTIATE_TEST_SUITE_P(Outcomes, Jobs, ::testing::ValuesIn(kJobs),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// A run that start-up ends never asks for the application: nothing is
// started, nothing is called, no report is printed.

TEST_F(EngineJob, RunsEndedByStartUpNeverReachTheApplication) {
  struct Case {
    const char* what;
    std::string request;
    std::string commandText;  // empty: the request's path
    std::string output;
  };
  const std::string result = dir_ / "result.hda";
  const Case cases[] = {
      {"version query", Request({"outputhdaFile=" + result}), "version", "8.0.0.1\n"},
      // The result file is named, then a line whose "=" lies beyond what the
      // loader's 16-bit positions reach makes the load fail.
      {"request that can't be parsed",
       "@Properties LocalData\r\noutputhdaFile=" + result + "\r\n" + std::string(40000, 'k') +
           "=v\r\n@end\r\n",
       "", "Loading hda\n!nxWritingNativeResults\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(RunJob(c.request, "", Application::StartedByTheEngine, c.commandText));
    EXPECT_EQ(output_, c.output);
    EXPECT_TRUE(servers_.empty());
    EXPECT_TRUE(calls_.empty());
  }
  EXPECT_NE(ReadBytes(result).value_or("").find("\r\nErrorStatusCode=-3\r\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// No application registered under "photoshop.application".
//
// The stand-in's registration is withdrawn for the length of one test (with
// its own /unregserver) and restored afterwards (/regserver), also when the
// test fails. That is safe because every test that talks to the stand-in holds
// the standin_server resource lock; the others never get as far as creating
// the application object.

bool ProgIdRegistered() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "photoshop.application\\CLSID", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// Runs the stand-in executable with |option|; its exit code, or -1.
long StandinCommand(const std::string& option) {
  const std::string exe = ToWindowsPath(STANDIN_EXE);
  LaunchOptions options;
  options.application = exe;
  options.commandLine = "\"" + exe + "\" " + option;
  options.handles = StandardHandles::Null;
  const RunResult run = testing_win32::RunToEnd(options, kJobLimit);
  return run.finished ? static_cast<long>(run.exitCode) : -1;
}

class WithoutRegistration {
 public:
  WithoutRegistration() : withdrawn_(StandinCommand("/unregserver") == 0) {}
  ~WithoutRegistration() {
    if (StandinCommand("/regserver") != 0 || !ProgIdRegistered()) {
      ADD_FAILURE() << "the stand-in could not be registered again";
    }
  }
  WithoutRegistration(const WithoutRegistration&) = delete;
  WithoutRegistration& operator=(const WithoutRegistration&) = delete;
  bool withdrawn() const { return withdrawn_; }

 private:
  bool withdrawn_;
};

TEST_F(EngineJob, NothingRegisteredReportsTheFailureAndEndsNormally) {
  const std::vector<std::string> entries{"outputhdaFile=" + (dir_ / "result.hda"),
                                         Expand(kScriptEntry), kParamsEntry,
                                         Entry(kClose, "false")};
  {
    WithoutRegistration unregistered;
    ASSERT_TRUE(unregistered.withdrawn());
    ASSERT_FALSE(ProgIdRegistered());
    ASSERT_NO_FATAL_FAILURE(RunJob(Request(entries), "", Application::StartedByTheEngine));
  }
  EXPECT_TRUE(servers_.empty());
  EXPECT_TRUE(calls_.empty());
  // The report (no application process), then the creation's failure as the
  // script's, with a description that names what was asked for.
  const std::string begin = ReportOutput({}) + kErrorPrefix;
  ASSERT_EQ(output_.compare(0, begin.size(), begin), 0) << output_;
  const std::string description = output_.substr(begin.size());
  EXPECT_NE(description.find("photoshop.application"), std::string::npos) << output_;
  EXPECT_EQ(description.find_first_of("\r\n"), description.size() - 1) << output_;
  EXPECT_EQ(description.back(), '\n') << output_;
}

}  // namespace
