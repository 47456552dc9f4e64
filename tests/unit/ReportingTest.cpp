#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "EngineError.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

const std::string kLog = "templog.txt";
const std::string kSevereLog = "\\severeerror.log";     // at the root, in lower case
const std::string kStamp = "06.12.2026 19:34:00     ";  // the fake's time and the five blanks
using Appends = std::map<std::string, bool>;            // path -> shared

TEST(WriteConsoleLineTest, TheTextAndOneLfInOneWrite) {
  for (const std::string text : {"", "x", "ends in crlf\r\n", "back\\slash \xe9"}) {
    FakeEngine f;
    WriteConsoleLine(f.engine, text);
    EXPECT_EQ(f.console.writes, std::vector<std::string>{text + "\n"});
  }
}

TEST(LogMessageTest, ErrorTypesAlsoGoToTheDiagnosticLogWithForwardSlashes) {
  const struct {
    const char* type;
    bool forced;  // g_forceLog when called
    bool logged;
    const char* typeAfter;
  } rows[] = {
      {"", false, false, ""},          {"error", false, false, "error"},
      {" ERROR", false, false, " ERROR"}, {"ERROR", false, true, "ERROR"},
      {"ERRORS and more", false, true, "ERRORS and more"},
      {"ERROR", true, true, "ERROR"},  {"", true, true, "Info"},
  };
  for (const auto& row : rows) {
    const std::string label = std::string("type \"") + row.type + (row.forced ? "\", forced" : "\"");
    FakeEngine f;
    f.state.g_forceLog = row.forced;
    std::string message = "C:\\a\\b";
    std::string type = row.type;
    LogMessage(f.engine, message, type);
    const std::string shown = row.logged ? "C:/a/b" : "C:\\a\\b";
    EXPECT_EQ(f.console.output, shown + "\n") << label;
    EXPECT_EQ(message, shown) << label;
    EXPECT_EQ(type, row.typeAfter) << label;
    EXPECT_EQ(f.state.g_forceLog, row.forced) << label;
    EXPECT_EQ(f.fs.ContentOr(kLog), row.logged ? "C:/a/b\r\n" : "<none>") << label;
    EXPECT_EQ(f.fs.sharedAppend, (row.logged ? Appends{{kLog, true}} : Appends{})) << label;
  }
}

TEST(LogMessageTest, UnwritableLogGoesToTheSevereErrorLogInstead) {
  for (const bool forced : {false, true}) {
    FakeEngine f;
    f.fs.unwritable.insert(kLog);
    f.state.g_forceLog = forced;
    std::string message = "C:\\a\\b";
    std::string type = forced ? "" : "ERROR";  // an empty type becomes Info before the failure
    LogMessage(f.engine, message, type);
    EXPECT_EQ(f.console.output, "");
    EXPECT_EQ(f.state.g_forceLog, forced);
    EXPECT_EQ(f.fs.Content(kSevereLog),
              kStamp + "          Error description = CreateFile(" + kLog + "): fake failure\r\n" +
                  kStamp + "          Original Reporting Message: C:/a/b\r\n" + kStamp +
                  "          Original Reporting Type" + (forced ? "Info" : "ERROR") + "\r\n");
  }
}

TEST(WriteSevereErrorTest, IndentUnlessTheMessageCarriesAnErrorMarker) {
  const std::string indent(10, ' ');
  const struct {
    const char* rule;
    std::string message, after;
    bool unwritable = false;
  } rows[] = {
      {"plain: indented", "plain", indent + "plain"},
      {"a marker anywhere: as it is", "a * ERROR in the middle", "a * ERROR in the middle"},
      {"the marker needs its trailing blank", "* ERROR", indent + "* ERROR"},
      {"the marker in capitals only", "* error x", indent + "* error x"},
      {"an empty message writes nothing", "", ""},
      {"unwritable: the failure is kept as the description", "x", indent + "x", true},
  };
  for (const auto& row : rows) {
    FakeEngine f;
    if (row.unwritable) f.fs.unwritable.insert(kSevereLog);
    std::string m = row.message;
    WriteSevereError(f.engine, m);
    const bool written = !row.unwritable && !m.empty();
    EXPECT_EQ(m, row.after) << row.rule;
    EXPECT_EQ(f.fs.ContentOr(kSevereLog), written ? kStamp + m + "\r\n" : "<none>") << row.rule;
    EXPECT_EQ(f.fs.sharedAppend, (written ? Appends{{kSevereLog, false}} : Appends{})) << row.rule;
    EXPECT_EQ(f.state.g_lastErrorDescription,
              row.unwritable ? "CreateFile(\\severeerror.log): fake failure" : "")
        << row.rule;
  }
}

TEST(ReplaceInErrorDescriptionTest, EveryOccurrenceBecomesOneBlankUpTo32766) {
  const struct {
    const char* rule;
    std::string before;
    std::string after;
    bool overflows;
  } rows[] = {
      {"every LF, none of the CRs", "\r\n\nline\r\ntwo\n", "\r  line\r two ", false},
      {"the last at 32766", "x\n" + std::string(32763, 'x') + "\n",
       "x " + std::string(32763, 'x') + " ", false},
      {"one at 32767 overflows, keeping those before", "\n" + std::string(32765, 'x') + "\n\n",
       " " + std::string(32765, 'x') + "\n\n", true},
  };
  for (const auto& row : rows) {
    FakeEngine f;
    f.state.g_lastErrorDescription = row.before;
    const bool overflowed =
        FailureOf([&] { ReplaceInErrorDescription(f.engine, '\n'); }) != "no failure";
    EXPECT_EQ(overflowed, row.overflows) << row.rule;
    EXPECT_EQ(f.state.g_lastErrorDescription, row.after) << row.rule;
  }
}

TEST(WriteResultFileTest, NineLinesWithTheFailureDefaultsAndForwardSlashes) {
  FakeEngine f;
  f.state.g_requestParameters.Add("outputhdaFile", "C:\\res.hda");
  f.state.g_parameterString = "-outputhdaFile \"C:\\other.hda\"";  // wins over the table
  f.state.g_lastErrorDescription = "\r\nbad\\path\r\n";
  f.state.g_returnCode = 0;        // the smallest status written with a blank before it
  f.state.g_outExtension = "jpg";  // the failure defaults replace what the state held
  WriteResultFile(f.engine);
  EXPECT_EQ(f.console.output, "!nxWritingNativeResults\n");
  EXPECT_EQ(
      f.fs.Content("C:\\other.hda"),
      "@Properties LocalData\r\nStatusMsg=finished\r\nOutExtension=\r\n"
      "OutFormat=application/x-unknown\r\nResultFilePath=<Not Converted>\r\n"
      "LastErrorDescription=  bad/path  \r\nErrorStatusCode= 0\r\nAdditionalData=\r\n@end\r\n");
  EXPECT_FALSE(f.fs.Exists("C:\\res.hda"));
  EXPECT_EQ(f.state.g_lastErrorDescription, "  bad\\path  ");  // the state keeps backslashes
  EXPECT_EQ(f.state.g_resultFilePath, "<Not Converted>");
  EXPECT_EQ(f.state.g_outFormat, "application/x-unknown");
}

TEST(WriteResultFileTest, DoubleByteCharactersKeepTheirSecondByteAndCountOne) {
  FakeEngine f;
  f.engine.characters = DoubleByte932();
  f.state.g_requestParameters.Add("outputhdaFile", "C:\\res.hda");
  const std::string many = Repeated("\x95\x5C", 20000);  // each one's second byte is "\"
  f.state.g_lastErrorDescription = many + "\\x\n";
  WriteResultFile(f.engine);
  EXPECT_NE(f.fs.Content("C:\\res.hda").find("\r\nLastErrorDescription=" + many + "/x \r\n"),
            std::string::npos);
}

TEST(UpdateProcessIdsTest, TheReportBlockUpTo32766EntriesThenTheLoggedFailure) {
  const std::string ok = "@Properties LocalData\nBefore=\n";
  std::string longest = "1";
  for (int i = 1; i < 32766; ++i) longest += " 1";
  const std::pair<PidList, std::string> rows[] = {
      {{}, ok + "After=\n@end\n"},
      {{412, 988, 4294967295u}, ok + "After=412 988 4294967295\n@end\n"},
      {PidList(32766, 1), ok + "After=" + longest + "\n@end\n"},
      {PidList(32767, 1), ok + "!nxErrorUpdatingPIDs\n"}};  // the block so far, then the failure
  for (const auto& [after, output] : rows) {
    FakeEngine f;
    f.state.g_pidsAfter = after;
    UpdateProcessIds(f.engine);
    EXPECT_EQ(f.console.output, output) << after.size() << " PIDs";
    EXPECT_EQ(f.fs.ContentOr(kLog, ""), after.size() < 32767 ? "" : "!nxErrorUpdatingPIDs\r\n")
        << after.size() << " PIDs";
  }
}

TEST(CensusTest, ImageNameAnywhereInTheWholePathInAnyCase) {
  const std::string far = "C:\\" + std::string(242, 'd') + "\\";  // the name ends at 259, 260
  for (const char* imageName : {"Photoshop.exe", ""}) {  // empty: start-up was abandoned
    FakeEngine f;
    f.engine.characters = DoubleByte932();  // every path but the last is ASCII
    f.state.g_processImageName = imageName;
    f.processes.processes = {
        {1, "C:\\Program Files\\Photoshop\\photoshop.exe"},
        {2, "C:\\x.exe"},  // nothing of the longer name before it may linger
        {3, "C:\\APPS\\PHOTOSHOP.EXE"},
        {4, "C:\\Apps\\NotPhotoshop.exe"},
        {5, "C:\\Photoshop.exe\\tool.exe"},
        {6, "C:\\Apps\\Photoshop.com"},
        {7, far + "Photoshop.exe"},
        {8, far + "xPhotoshop.exe"},  // cut to the 260-character buffer
        {9, "C:\\Photoshop.exe", /*canOpen=*/false},
        {10, "C:\\Photoshop.exe", true, /*canEnumModules=*/false},
        {11, "C:\\\x83Photoshop.exe"},  // its "P" is the second byte of a character
    };
    PidList pids{42};  // the census appends
    CollectProcessIds(f.engine, pids);
    EXPECT_EQ(pids, (PidList{42, 1, 3, 4, 5, 7})) << imageName;
    EXPECT_EQ(f.processes.enumBufferSizes, (std::vector<std::uint32_t>{16, 32, 64}));  // 11 PIDs
    // Every process examined once, for query and reading, not inheritable.
    EXPECT_EQ(f.processes.openCalls, decltype(f.processes.openCalls)(11, {0x410u, false}));
    EXPECT_EQ(f.processes.nameBufferSizes, std::vector<std::uint32_t>(9, 260));
    // Room for 50 module handles, of which only the first is used.
    EXPECT_EQ(f.processes.moduleBufferSizes, std::vector<std::uint32_t>(10, 50 * sizeof(ModuleHandle)));
    EXPECT_TRUE(f.processes.openHandles.empty());  // every handle closed, once
    EXPECT_EQ(f.processes.badCloses, 0);
  }
}

}  // namespace
}  // namespace engine::testing
