#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "EngineError.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

const std::string kSevereLog = "\\severeerror.log";
const std::string kTimestamp = "06.12.2026 19:34:00";

TEST(WriteConsoleLineTest, AppendsOneLfInOneWrite) {
  for (const std::string text : {"", "x", "ends in crlf\r\n", "back\\slash \xe9"}) {
    FakeEngine f;
    WriteConsoleLine(f.engine, text);
    ASSERT_EQ(f.console.writes.size(), 1u);
    EXPECT_EQ(f.console.writes[0], text + "\n");
  }
}

TEST(ToForwardSlashesTest, TurnsEveryBackslash) {
  EXPECT_EQ(ToForwardSlashes("\\\\srv\\a\\\\b\\"), "//srv/a//b/");
  EXPECT_EQ(ToForwardSlashes("none/here"), "none/here");
}

class LogMessageTest : public ::testing::Test {
 protected:
  FakeEngine f;
  std::string message = "C:\\a\\b";
  std::string type;
};

TEST_F(LogMessageTest, PlainMessageGoesToTheConsoleUnchanged) {
  LogMessage(f.engine, message, type);
  EXPECT_EQ(f.console.output, "C:\\a\\b\n");
  EXPECT_FALSE(f.fs.Exists("templog.txt"));
  EXPECT_EQ(type, "");
  EXPECT_EQ(message, "C:\\a\\b");
}

TEST_F(LogMessageTest, ErrorMessageIsLoggedWithForwardSlashes) {
  type = "ERROR";
  LogMessage(f.engine, message, type);
  EXPECT_EQ(f.fs.Content("templog.txt"), "C:/a/b\r\n");
  EXPECT_TRUE(f.fs.appends.at(0).shared);
  EXPECT_EQ(f.console.output, "C:/a/b\n");
  EXPECT_EQ(message, "C:/a/b");
  EXPECT_FALSE(f.state.g_forceLog);
}

TEST_F(LogMessageTest, OnlyTypesBeginningWithErrorAreLogged) {
  for (const char* t : {"ERROR", "ERRORS and more", "error", " ERROR", "Info", "xERROR"}) {
    FakeEngine fresh;
    std::string m = "m";
    std::string ty = t;
    LogMessage(fresh.engine, m, ty);
    EXPECT_EQ(fresh.fs.Exists("templog.txt"), std::string(t).starts_with("ERROR")) << t;
  }
}

TEST_F(LogMessageTest, ForcedLoggingStaysWithTheCaller) {
  f.state.g_forceLog = true;
  type = "ERROR";
  LogMessage(f.engine, message, type);
  EXPECT_TRUE(f.state.g_forceLog);
  std::string second = "x";
  std::string empty;
  LogMessage(f.engine, second, empty);
  EXPECT_EQ(empty, "Info");
  EXPECT_EQ(f.fs.Content("templog.txt"), "C:/a/b\r\nx\r\n");
}

TEST_F(LogMessageTest, UnwritableLogGoesToTheSevereErrorLogInstead) {
  f.fs.unwritable.insert("templog.txt");
  f.state.g_forceLog = true;  // an empty type becomes Info before the failure
  LogMessage(f.engine, message, type);
  EXPECT_EQ(f.console.output, "");
  EXPECT_TRUE(f.state.g_forceLog);
  EXPECT_EQ(f.fs.Content(kSevereLog),
            kTimestamp + "               Error description = CreateFile(templog.txt): fake failure\r\n" +
                kTimestamp + "               Original Reporting Message: C:/a/b\r\n" + kTimestamp +
                "               Original Reporting TypeInfo\r\n");
}

TEST_F(LogMessageTest, FailureEndsTheForcingItStarted) {
  f.fs.unwritable.insert("templog.txt");
  type = "ERROR";
  LogMessage(f.engine, message, type);
  EXPECT_FALSE(f.state.g_forceLog);
  EXPECT_NE(f.fs.Content(kSevereLog).find("Original Reporting TypeERROR\r\n"), std::string::npos);
}

TEST(WriteSevereErrorTest, IndentUnlessTheMessageCarriesAnErrorMarker) {
  struct Case {
    const char* message;
    const char* indent;
  } cases[] = {
      {"plain", "          "},
      {"a * ERROR in the middle", ""},
      {"* ERROR", "          "},  // the marker needs its trailing blank
      {"* error x", "          "},
  };
  for (const Case& c : cases) {
    FakeEngine f;
    std::string m = c.message;
    WriteSevereError(f.engine, m);
    EXPECT_EQ(m, std::string(c.indent) + c.message);
    EXPECT_EQ(f.fs.Content(kSevereLog), kTimestamp + "     " + m + "\r\n");
    EXPECT_FALSE(f.fs.appends.at(0).shared);
  }
}

TEST(WriteSevereErrorTest, EmptyMessageTouchesNothing) {
  FakeEngine f;
  std::string m;
  WriteSevereError(f.engine, m);
  EXPECT_TRUE(f.fs.appends.empty());
}

TEST(WriteSevereErrorTest, UnwritableLogLeavesOnlyTheDescription) {
  FakeEngine f;
  f.fs.unwritable.insert(kSevereLog);
  f.state.g_lastErrorDescription = "before";
  std::string m = "x";
  WriteSevereError(f.engine, m);
  EXPECT_EQ(f.state.g_lastErrorDescription, "CreateFile(\\severeerror.log): fake failure");
}

TEST(ReplaceInErrorDescriptionTest, EveryOccurrenceBecomesOneBlank) {
  FakeEngine f;
  f.state.g_lastErrorDescription = "\r\nline\r\ntwo\n";
  ReplaceInErrorDescription(f.engine, "\n");
  ReplaceInErrorDescription(f.engine, "\r");
  EXPECT_EQ(f.state.g_lastErrorDescription, "  line  two ");
}

TEST(ReplaceInErrorDescriptionTest, OccurrenceAtPosition32767Overflows) {
  FakeEngine f;
  f.state.g_lastErrorDescription = "\n" + std::string(32765, 'x') + "\n\n";
  EXPECT_THROW(ReplaceInErrorDescription(f.engine, "\n"), EngineError);
  // The ones before stay replaced; the one at 32 767 and after do not.
  EXPECT_EQ(f.state.g_lastErrorDescription, " " + std::string(32765, 'x') + "\n\n");
}

class WriteResultFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.state.g_requestParameters.Add("outputhdaFile", "C:\\out\\res.hda");
    f.fs.AddDirectory("C:\\out");
    f.state.g_returnCode = -3;
    f.state.g_lastErrorDescription = "Conversion engine unable to parse input data";
  }
  FakeEngine f;
};

TEST_F(WriteResultFileTest, NineLinesAfterTheAnnouncement) {
  f.fs.AddFile("C:\\out\\res.hda", "old content that is longer than the new one will be... " +
                                        std::string(1000, 'x'));
  WriteResultFile(f.engine);
  EXPECT_EQ(f.console.output, "!nxWritingNativeResults\n");
  EXPECT_EQ(f.fs.Content("C:\\out\\res.hda"),
            "@Properties LocalData\r\nStatusMsg=finished\r\nOutExtension=\r\n"
            "OutFormat=application/x-unknown\r\nResultFilePath=<Not Converted>\r\n"
            "LastErrorDescription=Conversion engine unable to parse input data\r\n"
            "ErrorStatusCode=-3\r\nAdditionalData=\r\n@end\r\n");
}

TEST_F(WriteResultFileTest, StatusAndSlashesAndLineBreaks) {
  f.state.g_returnCode = 1;
  f.state.g_lastErrorDescription = "\r\nbad\\path\r\n";
  WriteResultFile(f.engine);
  const std::string& c = f.fs.Content("C:\\out\\res.hda");
  EXPECT_NE(c.find("\r\nErrorStatusCode= 1\r\n"), std::string::npos);
  EXPECT_NE(c.find("\r\nLastErrorDescription=  bad/path  \r\n"), std::string::npos);
  EXPECT_EQ(f.state.g_lastErrorDescription, "  bad\\path  ");  // the state keeps backslashes
  EXPECT_EQ(f.state.g_resultFilePath, "<Not Converted>");
  EXPECT_EQ(f.state.g_outFormat, "application/x-unknown");
}

TEST_F(WriteResultFileTest, ParameterStringPathWins) {
  f.state.g_parameterString = "-outputhdaFile \"C:\\out\\other.hda\"";
  WriteResultFile(f.engine);
  EXPECT_TRUE(f.fs.Exists("C:\\out\\other.hda"));
  EXPECT_FALSE(f.fs.Exists("C:\\out\\res.hda"));
}

TEST_F(WriteResultFileTest, FailuresPassToTheCallerAfterTheAnnouncement) {
  FakeEngine noKey;
  EXPECT_THROW(WriteResultFile(noKey.engine), EngineError);
  EXPECT_EQ(noKey.console.output, "!nxWritingNativeResults\n");
  EXPECT_EQ(noKey.state.g_outFormat, "application/x-unknown");

  f.fs.AddFile("C:\\out\\res.hda", "read-only", 1);
  EXPECT_THROW(WriteResultFile(f.engine), EngineError);
  EXPECT_EQ(f.fs.Content("C:\\out\\res.hda"), "read-only");
}

}  // namespace
}  // namespace engine::testing
