#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "EngineError.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

const std::string kSevereLog = "\\severeerror.log";
const std::string kStamp = "06.12.2026 19:34:00     ";  // the fake's time and the five blanks

TEST(WriteConsoleLineTest, TheTextAndOneLfInOneWrite) {
  for (const std::string text : {"", "x", "ends in crlf\r\n", "back\\slash \xe9"}) {
    FakeEngine f;
    WriteConsoleLine(f.engine, text);
    EXPECT_EQ(f.console.writes, std::vector<std::string>{text + "\n"});
  }
}

TEST(LogMessageTest, ErrorTypesAlsoGoToTheDiagnosticLogWithForwardSlashes) {
  struct Case {
    const char* type;
    bool forced;  // g_forceLog when called
    bool logged;
    const char* typeAfter;
  } cases[] = {
      {"", false, false, ""},          {"Info", false, false, "Info"},
      {"error", false, false, "error"}, {" ERROR", false, false, " ERROR"},
      {"xERROR", false, false, "xERROR"}, {"ERROR", false, true, "ERROR"},
      {"ERRORS and more", false, true, "ERRORS and more"},
      {"ERROR", true, true, "ERROR"},  {"", true, true, "Info"},
  };
  for (const Case& c : cases) {
    FakeEngine f;
    f.state.g_forceLog = c.forced;
    std::string message = "C:\\a\\b";
    std::string type = c.type;
    LogMessage(f.engine, message, type);
    const std::string shown = c.logged ? "C:/a/b" : "C:\\a\\b";
    EXPECT_EQ(f.console.output, shown + "\n") << c.type;
    EXPECT_EQ(message, shown);
    EXPECT_EQ(type, c.typeAfter);
    EXPECT_EQ(f.state.g_forceLog, c.forced);
    EXPECT_EQ(f.fs.Exists("templog.txt"), c.logged) << c.type;
    if (c.logged) {
      EXPECT_EQ(f.fs.Content("templog.txt"), "C:/a/b\r\n");
      EXPECT_TRUE(f.fs.sharedAppend.at("templog.txt"));
    }
  }
}

TEST(LogMessageTest, UnwritableLogGoesToTheSevereErrorLogInstead) {
  for (const bool forced : {false, true}) {
    FakeEngine f;
    f.fs.unwritable.insert("templog.txt");
    f.state.g_forceLog = forced;
    std::string message = "C:\\a\\b";
    std::string type = forced ? "" : "ERROR";  // an empty type becomes Info before the failure
    LogMessage(f.engine, message, type);
    EXPECT_EQ(f.console.output, "");
    EXPECT_EQ(f.state.g_forceLog, forced);
    EXPECT_EQ(f.fs.Content(kSevereLog),
              kStamp + "          Error description = CreateFile(templog.txt): fake failure\r\n" +
                  kStamp + "          Original Reporting Message: C:/a/b\r\n" + kStamp +
                  "          Original Reporting Type" + (forced ? "Info" : "ERROR") + "\r\n");
  }
}

TEST(WriteSevereErrorTest, IndentUnlessTheMessageCarriesAnErrorMarker) {
  const std::string indent(10, ' ');
  const std::pair<std::string, std::string> cases[] = {
      {"plain", indent + "plain"},
      {"a * ERROR in the middle", "a * ERROR in the middle"},
      {"* ERROR", indent + "* ERROR"},  // the marker needs its trailing blank
      {"* error x", indent + "* error x"},
      {"", ""},  // nothing to write
  };
  for (const auto& [message, logged] : cases) {
    FakeEngine f;
    std::string m = message;
    WriteSevereError(f.engine, m);
    EXPECT_EQ(m, logged);
    const std::string line = logged.empty() ? "" : kStamp + logged + "\r\n";
    EXPECT_EQ(f.fs.Exists(kSevereLog) ? f.fs.Content(kSevereLog) : "", line);
    EXPECT_TRUE(logged.empty() || !f.fs.sharedAppend.at(kSevereLog));
  }
  FakeEngine f;
  f.fs.unwritable.insert(kSevereLog);
  std::string m = "x";
  WriteSevereError(f.engine, m);
  EXPECT_EQ(f.state.g_lastErrorDescription, "CreateFile(\\severeerror.log): fake failure");
}

TEST(ReplaceInErrorDescriptionTest, EveryOccurrenceBecomesOneBlankUpTo32766) {
  struct Case {
    std::string before;
    char character;
    std::string after;
    bool overflows;
  } cases[] = {
      {"\r\n\nline\r\ntwo\n", '\n', "\r  line\r two ", false},
      {"a  b ", ' ', "a  b ", false},
      {"x\n" + std::string(32763, 'x') + "\n", '\n', "x " + std::string(32763, 'x') + " ", false},
      // The one at 32 767 overflows; those before it stay replaced.
      {"\n" + std::string(32765, 'x') + "\n\n", '\n', " " + std::string(32765, 'x') + "\n\n", true},
  };
  for (const Case& c : cases) {
    FakeEngine f;
    f.state.g_lastErrorDescription = c.before;
    if (c.overflows) EXPECT_THROW(ReplaceInErrorDescription(f.engine, c.character), EngineError);
    else ReplaceInErrorDescription(f.engine, c.character);
    EXPECT_EQ(f.state.g_lastErrorDescription, c.after) << c.before.size();
  }
}

TEST(WriteResultFileTest, NineLinesAfterTheAnnouncementAndFailuresAfterIt) {
  FakeEngine f;
  f.state.g_requestParameters.Add("outputhdaFile", "C:\\res.hda");
  f.state.g_returnCode = 1;
  f.state.g_lastErrorDescription = "\r\nbad\\path\r\n";
  f.state.g_outExtension = "jpg";  // the failure defaults replace what the state held
  WriteResultFile(f.engine);
  EXPECT_EQ(f.fs.Content("C:\\res.hda"),
            "@Properties LocalData\r\nStatusMsg=finished\r\nOutExtension=\r\n"
            "OutFormat=application/x-unknown\r\nResultFilePath=<Not Converted>\r\n"
            "LastErrorDescription=  bad/path  \r\nErrorStatusCode= 1\r\nAdditionalData=\r\n@end\r\n");
  EXPECT_EQ(f.state.g_lastErrorDescription, "  bad\\path  ");  // the state keeps backslashes
  EXPECT_EQ(f.state.g_resultFilePath, "<Not Converted>");
  EXPECT_EQ(f.state.g_outFormat, "application/x-unknown");

  f.state.g_parameterString = "-outputhdaFile \"C:\\other.hda\"";  // wins over the table
  f.fs.AddFile("C:\\other.hda", "read-only", 1);
  EXPECT_THROW(WriteResultFile(f.engine), EngineError);
  EXPECT_EQ(f.fs.Content("C:\\other.hda"), "read-only");
  EXPECT_EQ(f.console.output, "!nxWritingNativeResults\n!nxWritingNativeResults\n");
}

TEST(WriteResultFileTest, DoubleByteCharactersKeepTheirSecondByteAndCountOne) {
  FakeEngine f;
  f.engine.characters = DoubleByte932();
  const std::string many = Repeated("\x95\x5C", 20000);  // each one's second byte is "\"
  f.state.g_requestParameters.Add("outputhdaFile", "C:\\res.hda");
  f.state.g_lastErrorDescription = many + "\\x\n";
  WriteResultFile(f.engine);
  EXPECT_NE(f.fs.Content("C:\\res.hda").find("\r\nLastErrorDescription=" + many + "/x \r\n"),
            std::string::npos);

  std::string message = many + "\\", type = "ERROR";
  LogMessage(f.engine, message, type);
  EXPECT_TRUE(f.fs.Content("templog.txt") == many + "/\r\n");
}

TEST(UpdateProcessIdsTest, TheReportBlockUpTo32766EntriesThenTheLoggedFailure) {
  const std::string ok = "@Properties LocalData\nBefore=\n";
  std::string longest = "1";
  for (int i = 1; i < 32766; ++i) longest += " 1";
  const std::pair<PidList, std::string> cases[] = {
      {{}, ok + "After=\n@end\n"},
      {{412}, ok + "After=412\n@end\n"},
      {{412, 988, 4294967295u}, ok + "After=412 988 4294967295\n@end\n"},
      {PidList(32766, 1), ok + "After=" + longest + "\n@end\n"},
      {PidList(32767, 1), ok + "!nxErrorUpdatingPIDs\n"}};  // the block so far, then the failure
  for (const auto& [after, output] : cases) {
    FakeEngine f;
    f.state.g_pidsAfter = after;
    UpdateProcessIds(f.engine);
    EXPECT_EQ(f.console.output, output);
    EXPECT_EQ(f.fs.Exists("templog.txt") ? f.fs.Content("templog.txt") : "",
              after.size() < 32767 ? "" : "!nxErrorUpdatingPIDs\r\n");
  }
}

}  // namespace
}  // namespace engine::testing
