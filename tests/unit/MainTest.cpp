#include <gtest/gtest.h>

#include "Fakes.h"
#include "PhotoShopMain.h"

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
  f.fs.AddFile("C:\\req.dat", "@Properties LocalData\n" + request);
  f.processes.commandText = commandText;
  f.processes.processes = {{7, "C:\\Windows\\explorer.exe"}, {42, "C:\\Apps\\Photoshop.exe"}};
  Main(f.engine);
}

TEST(MainTest, CallsFollowTheRequestAndAFailingScriptIsReportedThenQuits) {
  struct Job {
    std::string request;
    std::map<std::string, std::string> failures;  // "CREATE" or a member -> description
    std::string errorLine;                        // after the PID report
    Calls calls;
    bool createsNothing = false;
  } jobs[] = {
      {"outputhdaFile=r\nscript=C:\\s.jsx\nscriptParams=a b -c \"d\"\n", {}, "",
       Started({ScriptCall("C:\\s.jsx", "a b -c \"d\"", 1), "RELEASE"})},
      // Without scriptParams the array holds one empty element.
      {"outputhdaFile=r\nPhotoShopDAMCloseAfterEachRendition=true\nUsePhotoshopJsxDebug=Y\n", {}, "",
       Started({ScriptCall("", "", 3), kCallQuit, "RELEASE"})},
      {"outputhdaFile=r\nscript=table.jsx\nUsePhotoshopJsxDebug=0\nPhotoShopDAMCloseAfterEachRendition=0\n"
       "parameters=-script \"string.jsx\" -UsePhotoshopJsxDebug 1 -PhotoShopDAMCloseAfterEachRendition -1\n",
       {}, "", Started({ScriptCall("string.jsx", "", 3), kCallQuit, "RELEASE"})},
      // Refusals other than the script's are dropped without a word.
      {"outputhdaFile=r\nPhotoShopDAMCloseAfterEachRendition=1\n",
       {{"DisplayDialogs", "no"}, {"Visible", "no"}, {"Quit", "no"}}, "",
       Started({ScriptCall("", "", 1), kCallQuit, "RELEASE"})},
      // A failing script is reported unchanged, every byte, and the application closed.
      {"outputhdaFile=r\nPhotoShopDAMCloseAfterEachRendition=false\n",
       {{"DoJavaScriptFile", "Error 8: line 3\r\nsyntax error"}},
       "error returned by script: Error 8: line 3\r\nsyntax error\n",
       Started({ScriptCall("", "", 1), kCallQuit, "RELEASE"})},
      {"outputhdaFile=r\n", {{"DoJavaScriptFile", "\0before\0caf\xe9"s}},
       "error returned by script: \0before\0caf\xe9\n"s,
       Started({ScriptCall("", "", 1), kCallQuit, "RELEASE"})},
      {"outputhdaFile=r\n", {{"CREATE", "CreateObject(photoshop.application): not registered"}},
       "error returned by script: CreateObject(photoshop.application): not registered\n",
       {"CREATE photoshop.application"}},
      {"outputhdaFile=r\n", {}, "error returned by script: the application object was not created\n",
       {"CREATE photoshop.application"}, /*createsNothing=*/true},
      // Start-up abandoned for want of a result path: the run goes on with the table.
      {"script=x.jsx\n", {}, "", Started({ScriptCall("x.jsx", "", 1), "RELEASE"})},
  };
  for (const Job& job : jobs) {
    FakeEngine f;
    f.automation.failures = job.failures;
    f.automation.createsNothing = job.createsNothing;
    RunJob(f, job.request);
    EXPECT_EQ(f.console.output, "Loading hda\n" + kReport + job.errorLine) << job.request;
    EXPECT_EQ(f.automation.journal, job.calls) << job.request;
  }
}

TEST(MainTest, RunsThatStartUpEndsMakeNoCallAndPrintNoReport) {
  for (const char* text : {"version", "nothing-here", "C:\\req.dat"}) {
    FakeEngine f;
    RunJob(f, "outputhdaFile=r\n" + std::string(40000, 'k') + "=\n", text);  // can't be parsed
    EXPECT_TRUE(f.automation.journal.empty()) << text;
    EXPECT_EQ(f.console.output.find("@Properties"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace engine::testing
