#include <gtest/gtest.h>

#include <functional>

#include "CommonUtils.h"
#include "EngineError.h"
#include "EngineVersion.h"
#include "Fakes.h"
#include "Owner.h"
#include "PhotoShopMain.h"
#include "platform/BusyRetry.h"

namespace engine::testing {
namespace {

using namespace std::string_literals;
using Calls = std::vector<std::string>;

// Runs start-up over |f| and tells how it ended: "ended" (the process ends),
// "abandoned" (a failure passed on to Main) or "ready".
std::string Start(FakeEngine& f, const std::string& commandText) {
  // Left over as if from before: start-up creates the state afresh.
  f.state.g_pidsBefore = f.state.g_pidsAfter = {9};
  f.state.g_requestParameters.Add("outputhdaFile", "C:\\earlier.hda");
  f.processes.commandText = commandText;
  try {
    PrepareEngine(f.engine);
  } catch (const ProcessEnd&) {
    return "ended";
  } catch (const std::exception&) {
    return "abandoned";
  }
  EXPECT_EQ(f.state.g_pidsBefore, PidList{});
  EXPECT_EQ(f.state.g_pidsAfter, PidList{});
  return "ready";
}

TEST(StartupTest, NothingAtThePathAnswersTheVersionQueryOrShowsTheFatalBox) {
  using Shown = std::vector<std::pair<std::string, std::string>>;
  const Shown box = {{kApplicationTitle, std::string(protocol::kNoDataPassed)}};
  const std::pair<const char*, bool> cases[] = {  // the command text, a version query
      {"version", true},   {"-version", true}, {"/version", true},  {"\"version\"", true},
      {"aversionb", true}, {"version  ", true}, {"C:\\nope\\version2\\x.dat", true},
      {"-Version", false}, {"VERSION", false}, {"", false},          {"   ", false},
      {"C:\\missing.dat", false}, {"\"C:\\req.dat\"", false},  // quotes are part of the path
  };
  for (const auto& [text, version] : cases) {
    FakeEngine f;
    f.fs.AddFile("C:\\req.dat", kRequestStart + "outputhdaFile=C:\\res.hda\n");
    f.fs.AddFile("C:\\res.hda", "stale");
    EXPECT_EQ(Start(f, text), "ended") << text;
    EXPECT_EQ(f.console.output, version ? std::string(kVersionText) + "\n" : "") << text;
    EXPECT_EQ(f.box.shown, version ? Shown{} : box) << text;
    EXPECT_EQ(f.fs.files.size(), 2u) << text;
    EXPECT_EQ(f.fs.Content("C:\\res.hda"), "stale") << text;
  }
}

TEST(StartupTest, WhereNobodySeesTheBoxItsTextGoesToTheConsole) {
  FakeEngine f;
  f.box.visible = false;
  f.engine.characters = DoubleByte932();
  // 0x83 0x76: its second byte is the "v" of "version".
  EXPECT_EQ(Start(f, "C:\\\x83version.dat"), "ended");
  EXPECT_TRUE(f.box.shown.empty());
  EXPECT_EQ(f.console.output, "Fatal Error; No data passed to the conversion engine\n");
}

// The request is read-only and pinned in a synced folder; C:\res.hda, when
// there, holds an earlier result longer than the one for an unparsable request.
// One refused delete and one refused write: the platform tests show the ways to refuse.
TEST(StartupTest, LoadedRequestDeletesTheStaleResultAndUnparsableOneGetsStatusMinusThree) {
  const std::string stale(500, 'x'), request = kRequestStart + "outputhdaFile=C:\\res.hda\n";
  const std::string unparsable = request + std::string(40000, 'k') + "=v\n";
  const struct {
    const char* rule;
    const char* path;                // the command text, naming the request
    std::string content;             // of the request; empty: the path names a folder
    std::uint32_t resultAttributes;  // of C:\res.hda; 0: there is none
    const char* outcome;
    std::string after;  // C:\res.hda's content; "<none>": there is none
    bool unparsable = false;
    const char* parameterString = "";
  } rows[] = {
      {"the key in any letter case, the parameter string set", "C:\\req.dat",
       kRequestStart + "OUTPUTHDAFILE=C:\\res.hda\nparameters=-script \"p.jsx\"\n",
       kAttributeNormal, "ready", "<none>", false, "-script \"p.jsx\""},
      {"a file called version is a request", "version", request, kAttributeNormal, "ready",
       "<none>"},
      {"blanks and ANSI letters reach the path test", "C:\\my jobs\\r\xe9q.dat  ", request,
       kAttributeNormal, "ready", "<none>"},
      {"no stale result", "C:\\req.dat", request, 0, "ready", "<none>"},
      {"a read-only stale result stays", "C:\\req.dat", request, kAttributeReadOnly, "ready",
       stale},
      {"no result path: abandoned", "C:\\req.dat",
       kRequestStart + "script=x.jsx\nparameters=-a 1\n", kAttributeNormal, "abandoned", stale},
      {"unparsable: a longer result replaced whole", "C:\\req.dat", unparsable, kAttributeNormal,
       "ended", kUnparsableResultFile, true},
      {"unparsable, read-only result", "C:\\req.dat", unparsable, kAttributeReadOnly, "abandoned",
       stale, true},
      {"a folder passes the path test", "C:\\jobs", "", kAttributeNormal, "abandoned", stale, true},
  };
  for (const auto& row : rows) {
    FakeEngine f;
    f.fs.files[row.path] = {
        row.content, row.content.empty() ? kAttributeDirectory : 0x80000 | kAttributeReadOnly};
    if (row.resultAttributes != 0) f.fs.AddFile("C:\\res.hda", stale, row.resultAttributes);
    const bool ready = row.outcome == std::string("ready");
    EXPECT_EQ(Start(f, row.path), row.outcome) << row.rule;
    EXPECT_EQ(f.fs.opened, std::vector<std::string>{row.path}) << row.rule;
    EXPECT_EQ(f.fs.ContentOr("C:\\res.hda"), row.after) << row.rule;
    EXPECT_EQ(f.console.output,
              row.unparsable ? "Loading hda\n!nxWritingNativeResults\n" : "Loading hda\n")
        << row.rule;
    EXPECT_EQ(f.state.g_returnCode, row.unparsable ? protocol::kStatusUnparsable : 1) << row.rule;
    EXPECT_EQ(f.state.g_lastErrorDescription, row.unparsable ? protocol::kUnableToParse : "")
        << row.rule;
    EXPECT_EQ(f.state.g_parameterString, row.parameterString) << row.rule;
    EXPECT_EQ(f.state.g_processImageName, ready ? protocol::kApplicationImage : "") << row.rule;
  }
}

const std::string kReport = "@Properties LocalData\nBefore=\nAfter=42\n@end\n";

// The journal of a job that got the application object this far.
Calls Started(const Calls& rest) {
  Calls calls = {"CREATE photoshop.application", kPutDialogsOff, kPutVisible};
  calls.insert(calls.end(), rest.begin(), rest.end());
  return calls;
}

// A whole run over |request| (the lines after the section line), with the
// application running as process 42.
void RunJob(FakeEngine& f, const std::string& request) {
  f.fs.AddFile("C:\\req.dat", kRequestStart + request);
  f.processes.commandText = "C:\\req.dat";
  f.processes.processes = {{7, "C:\\Windows\\explorer.exe"}, {42, "C:\\Apps\\Photoshop.exe"}};
  Main(f.engine);
}

TEST(MainTest, CallsFollowTheRequestAndAFailingScriptIsReportedThenQuits) {
  const struct {
    const char* rule;
    std::string request;
    std::map<std::string, std::string> failures;  // "CREATE" or a member -> description
    std::string errorLine;                        // after the PID report
    Calls calls;
  } jobs[] = {
      {"the script with its parameters, no Quit",
       "outputhdaFile=r\nscript=C:\\s.jsx\nscriptParams=a b -c \"d\"\n", {}, "",
       Started({ScriptCall("C:\\s.jsx", "a b -c \"d\"", 1), "RELEASE"})},
      {"close flag: Quit; debugger flag: mode 3; one empty parameter element",
       "outputhdaFile=r\nPhotoShopDAMCloseAfterEachRendition=true\nUsePhotoshopJsxDebug=Y\n", {}, "",
       Started({ScriptCall("", "", 3), kCallQuit, "RELEASE"})},
      {"the parameter string overrides the request",
       "outputhdaFile=r\nscript=table.jsx\nUsePhotoshopJsxDebug=0\nPhotoShopDAMCloseAfterEachRendition=0\n"
       "parameters=-script \"string.jsx\" -UsePhotoshopJsxDebug 1 -PhotoShopDAMCloseAfterEachRendition -1\n",
       {}, "", Started({ScriptCall("string.jsx", "", 3), kCallQuit, "RELEASE"})},
      {"refusals other than the script's are dropped without a word",
       "outputhdaFile=r\nPhotoShopDAMCloseAfterEachRendition=1\n",
       {{"DisplayDialogs", "no"}, {"Visible", "no"}, {"Quit", "no"}}, "",
       Started({ScriptCall("", "", 1), kCallQuit, "RELEASE"})},
      {"a failing script is reported unchanged, every byte, then Quit",
       "outputhdaFile=r\nPhotoShopDAMCloseAfterEachRendition=false\n",
       {{"DoJavaScriptFile", "\0Error 8: line 3\r\n\0caf\xe9"s}},
       "error returned by script: \0Error 8: line 3\r\n\0caf\xe9\n"s,
       Started({ScriptCall("", "", 1), kCallQuit, "RELEASE"})},
      {"creation fails: its description", "outputhdaFile=r\n",
       {{"CREATE", "CreateObject(photoshop.application): not registered"}},
       "error returned by script: CreateObject(photoshop.application): not registered\n",
       {"CREATE photoshop.application"}},
      {"start-up abandoned for want of a result path: the run goes on", "script=x.jsx\n", {}, "",
       Started({ScriptCall("x.jsx", "", 1), "RELEASE"})},
  };
  for (const auto& job : jobs) {
    FakeEngine f;
    f.automation.failures = job.failures;
    RunJob(f, job.request);
    EXPECT_EQ(f.console.output, "Loading hda\n" + kReport + job.errorLine) << job.rule;
    EXPECT_EQ(f.automation.journal, job.calls) << job.rule;
  }
}

TEST(MainTest, RunsThatStartUpEndsMakeNoCallAndPrintNoReport) {
  FakeEngine f;
  RunJob(f, "outputhdaFile=r\n" + std::string(40000, 'k') + "=\n");  // can't be parsed
  EXPECT_EQ(f.automation.journal, Calls{});
  EXPECT_EQ(f.console.output, "Loading hda\n!nxWritingNativeResults\n");
}

using std::chrono::milliseconds;

// Against a clock that only the waits move: the answers that a call meets and
// how many tries the rule makes of them.
TEST(BusyRetryTest, AsksAgainUntilAcceptedOrTheBoundHasPassed) {
  const RetryPolicy policy{milliseconds(10), milliseconds(35)};
  const struct {
    const char* label;
    int refusals;         // tries turned away before one is accepted
    milliseconds before;  // how long before the first try the call began
    int tries;
  } cases[] = {
      {"accepted at once: one try", 0, milliseconds(0), 1},
      {"refused twice: asked until accepted", 2, milliseconds(0), 3},
      {"always refused: tries at 0, 10, 20, 30, 40 ms", 1000, milliseconds(0), 5},
      {"the bound reached exactly ends it", 1000, milliseconds(5), 4},
      {"the bound counts from the call's start", 1000, milliseconds(30), 2},
      {"a bound spent before the first try still leaves that try", 1000, milliseconds(100), 1},
  };
  for (const auto& c : cases) {
    milliseconds now(0);
    int tries = 0;
    const int last = RetryWhileRefused(
        policy, now - c.before, [&] { return now; },
        [&](int tryNumber) { return tryNumber <= c.refusals; }, [&] { return ++tries; },
        [&](milliseconds wait) { now += wait; });
    EXPECT_EQ(tries, c.tries) << c.label;
    EXPECT_EQ(last, tries) << c.label << ": the last try's answer is returned";
  }
}

// The one owner: each value released once, when replaced, put over or destroyed; none after a move.
TEST(OwnerTest, ReleasesEachValueOnceAndNothingMovedAway) {
  std::vector<int> released;
  const auto release = [&released](int value) { released.push_back(value); };
  {
    Owner<int, std::function<void(int)>> a(1, release), b(2, release);
    a = std::move(b);  // 1 goes; a holds 2, b nothing
    *a.Put() = 4;      // 2 goes
    EXPECT_EQ(released, (std::vector<int>{1, 2}));
  }
  EXPECT_EQ(released, (std::vector<int>{1, 2, 4}));  // b held nothing
}

}  // namespace
}  // namespace engine::testing
