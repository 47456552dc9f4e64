#include <gtest/gtest.h>

#include "EngineError.h"
#include "Fakes.h"
#include "PhotoShopMain.h"

namespace engine::testing {
namespace {

const std::string kReport = "@Properties LocalData\nBefore=\nAfter=\n@end\n";

class MainTest : public ::testing::Test {
 protected:
  void Request(const std::string& entries) {
    f.fs.AddFile("C:\\req.dat", "@Properties LocalData\noutputhdaFile=C:\\res.hda\n" + entries);
    f.processes.commandText = "C:\\req.dat";
  }
  std::vector<std::string> Calls() const { return f.automation.journal; }
  FakeEngine f;
};

TEST_F(MainTest, SuccessfulScriptLeavesTheApplicationRunning) {
  Request("script=C:\\s.jsx\nscriptParams=a b -c \"d\"\n");
  Main(f.engine);
  EXPECT_EQ(f.console.output, "Loading hda\n" + kReport);
  EXPECT_EQ(Calls(), (std::vector<std::string>{
                         "CREATE photoshop.application",
                         "PUT DisplayDialogs I2:3",
                         "PUT Visible BOOL:true",
                         "CALL DoJavaScriptFile BSTR&:C:\\s.jsx ARRAY:[\"a b -c \"d\"\"] I2&:1",
                         "RELEASE",
                     }));
}

TEST_F(MainTest, CloseFlagQuitsAfterTheScript) {
  Request("PhotoShopDAMCloseAfterEachRendition=true\nUsePhotoshopJsxDebug=Y\n");
  Main(f.engine);
  EXPECT_EQ(f.console.output, "Loading hda\n" + kReport);
  EXPECT_EQ(Calls(), (std::vector<std::string>{
                         "CREATE photoshop.application",
                         "PUT DisplayDialogs I2:3",
                         "PUT Visible BOOL:true",
                         "CALL DoJavaScriptFile BSTR&: ARRAY:[\"\"] I2&:3",
                         "CALL Quit",
                         "RELEASE",
                     }));
}

TEST_F(MainTest, ParameterStringOverridesTheRequest) {
  Request("script=table.jsx\nparameters=-script \"string.jsx\" -UsePhotoshopJsxDebug 1\n");
  Main(f.engine);
  EXPECT_EQ(Calls().at(3), "CALL DoJavaScriptFile BSTR&:string.jsx ARRAY:[\"\"] I2&:3");
}

TEST_F(MainTest, FailingScriptIsReportedOnceUnchangedAndAlwaysQuits) {
  using namespace std::string_literals;
  for (const std::string& description :
       {"Error 8: line 3\r\nsyntax error"s, "before\0after"s, "\0leading"s, "caf\xe9"s}) {
    FakeEngine fresh;
    fresh.fs.AddFile("C:\\req.dat", "@Properties LocalData\noutputhdaFile=C:\\res.hda\n"
                                     "PhotoShopDAMCloseAfterEachRendition=false\n");
    fresh.processes.commandText = "C:\\req.dat";
    fresh.automation.failures["DoJavaScriptFile"] = description;
    Main(fresh.engine);
    EXPECT_EQ(fresh.console.output,
              "Loading hda\n" + kReport + "error returned by script: " + description + "\n");
    EXPECT_EQ(fresh.automation.journal.at(4), "CALL Quit");
  }
}

TEST_F(MainTest, ScriptResultIsNeverLookedAt) {
  Request("");
  f.automation.scriptResult = "Error: something bad";
  Main(f.engine);
  EXPECT_EQ(f.console.output, "Loading hda\n" + kReport);
  EXPECT_EQ(Calls().back(), "RELEASE");
  EXPECT_EQ(Calls().size(), 5u);
}

TEST_F(MainTest, FailingPropertiesAndQuitAreDropped) {
  Request("PhotoShopDAMCloseAfterEachRendition=1\n");
  f.automation.failures["DisplayDialogs"] = "no";
  f.automation.failures["Visible"] = "no";
  f.automation.failures["Quit"] = "no";
  Main(f.engine);
  EXPECT_EQ(f.console.output, "Loading hda\n" + kReport);
  EXPECT_EQ(Calls().at(3), "CALL DoJavaScriptFile BSTR&: ARRAY:[\"\"] I2&:1");
  EXPECT_EQ(Calls().at(4), "CALL Quit");
  EXPECT_EQ(f.automation.released, 1);
}

TEST_F(MainTest, MissingApplicationStillReportsPidsThenTheError) {
  Request("");
  f.processes.processes.push_back({42, "C:\\Apps\\Photoshop.exe"});
  f.automation.createFailure = "CreateObject(photoshop.application): nothing registered";
  Main(f.engine);
  EXPECT_EQ(f.console.output,
            "Loading hda\n@Properties LocalData\nBefore=\nAfter=42\n@end\n"
            "error returned by script: CreateObject(photoshop.application): nothing registered\n");
}

TEST_F(MainTest, AbandonedStartUpGoesOnWithTheTableAlone) {
  f.fs.AddFile("C:\\req.dat", "@Properties LocalData\nscript=x.jsx\n");  // no outputhdaFile
  f.processes.commandText = "C:\\req.dat";
  f.processes.processes.push_back({1, "/sbin/init"});
  Main(f.engine);
  EXPECT_EQ(f.console.output, "Loading hda\n" + kReport);
  EXPECT_EQ(Calls().at(3), "CALL DoJavaScriptFile BSTR&:x.jsx ARRAY:[\"\"] I2&:1");
}

TEST_F(MainTest, ProcessEndingOutcomesRunNoStepAfterStartUp) {
  for (const std::string text : {"version", "nothing-here", "C:\\bad.dat"}) {
    FakeEngine fresh;
    fresh.fs.AddFile("C:\\bad.dat", "@Properties LocalData\noutputhdaFile=C:\\res.hda\n" +
                                        std::string(40000, 'k') + "=\n");
    fresh.processes.commandText = text;
    Main(fresh.engine);
    EXPECT_TRUE(fresh.automation.journal.empty()) << text;
    EXPECT_EQ(fresh.console.output.find("@Properties"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace engine::testing
