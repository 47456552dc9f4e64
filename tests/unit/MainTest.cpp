#include <gtest/gtest.h>

#include "Fakes.h"
#include "PhotoShopMain.h"
#include "platform/BusyRetry.h"

namespace engine::testing {
namespace {

using namespace std::string_literals;
using Calls = std::vector<std::string>;

const std::string kReport = "@Properties LocalData\nBefore=\nAfter=42\n@end\n";

// The journal of a job that got the application object this far.
Calls Started(const Calls& rest) {
  Calls calls = {"CREATE photoshop.application", kPutDialogsOff, kPutVisible};
  calls.insert(calls.end(), rest.begin(), rest.end());
  return calls;
}

// A whole run over |request| (the lines after the section line), with the
// application running as process 42.
void RunJob(FakeEngine& f, const std::string& request, const char* commandText = "C:\\req.dat") {
  f.fs.AddFile("C:\\req.dat", kRequestStart + request);
  f.processes.commandText = commandText;
  f.processes.processes = {{7, "C:\\Windows\\explorer.exe"}, {42, "C:\\Apps\\Photoshop.exe"}};
  Main(f.engine);
}

TEST(MainTest, CallsFollowTheRequestAndAFailingScriptIsReportedThenQuits) {
  const std::string dialogs(protocol::kDisplayDialogs), visible(protocol::kVisible),
      script(protocol::kDoJavaScriptFile), quit(protocol::kQuit);
  const struct {
    const char* rule;
    std::string request;
    std::map<std::string, std::string> failures;  // "CREATE" or a member -> description
    std::string errorLine;                        // after the PID report
    Calls calls;
    bool createsNothing = false;
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
       {{dialogs, "no"}, {visible, "no"}, {quit, "no"}}, "",
       Started({ScriptCall("", "", 1), kCallQuit, "RELEASE"})},
      {"a failing script is reported unchanged, every byte, then Quit",
       "outputhdaFile=r\nPhotoShopDAMCloseAfterEachRendition=false\n",
       {{script, "\0Error 8: line 3\r\n\0caf\xe9"s}},
       "error returned by script: \0Error 8: line 3\r\n\0caf\xe9\n"s,
       Started({ScriptCall("", "", 1), kCallQuit, "RELEASE"})},
      {"creation fails: its description", "outputhdaFile=r\n",
       {{"CREATE", "CreateObject(photoshop.application): not registered"}},
       "error returned by script: CreateObject(photoshop.application): not registered\n",
       {"CREATE photoshop.application"}},
      {"creation gives nothing", "outputhdaFile=r\n", {},
       "error returned by script: the application object was not created\n",
       {"CREATE photoshop.application"}, /*createsNothing=*/true},
      {"start-up abandoned for want of a result path: the run goes on", "script=x.jsx\n", {}, "",
       Started({ScriptCall("x.jsx", "", 1), "RELEASE"})},
  };
  for (const auto& job : jobs) {
    FakeEngine f;
    f.automation.failures = job.failures;
    f.automation.createsNothing = job.createsNothing;
    RunJob(f, job.request);
    EXPECT_EQ(f.console.output, "Loading hda\n" + kReport + job.errorLine) << job.rule;
    EXPECT_EQ(f.automation.journal, job.calls) << job.rule;
  }
}

TEST(MainTest, RunsThatStartUpEndsMakeNoCallAndPrintNoReport) {
  for (const char* text : {"version", "nothing-here", "C:\\req.dat"}) {
    FakeEngine f;
    RunJob(f, "outputhdaFile=r\n" + std::string(40000, 'k') + "=\n", text);  // can't be parsed
    EXPECT_EQ(f.automation.journal, Calls{}) << text;
    EXPECT_EQ(f.console.output.find("@Properties"), std::string::npos) << text;
  }
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

}  // namespace
}  // namespace engine::testing
