#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "EngineError.h"
#include "Fakes.h"
#include "TextReader.h"

namespace engine::testing {
namespace {

class LoadRequestFileTest : public ::testing::Test {
 protected:
  bool Load(const std::string& content) {
    f.fs.AddFile("C:\\req.dat", content);
    return LoadRequestFile(f.engine, "C:\\req.dat");
  }
  std::string Value(const std::string& key) {
    auto v = f.state.g_requestParameters.Find(key);
    return v ? std::string(*v) : "<absent>";
  }
  FakeEngine f;
};

TEST_F(LoadRequestFileTest, LooksUpEntriesExactlyAsTheyStandAndNothingElse) {
  ASSERT_TRUE(Load("script=before\n@end\nheader @Properties LocalData here\n"
                   "scriptParams=b=c\nparameters=\nscript = 1\n=nokey\nscrip_=x\nSCRIPTPARAMS=2\n"
                   "\tUsePhotoshopJsxDebug=1\noutputhdaFile=C:\\@res\t \nOutputHdaFile=x\n"
                   "@END\n @end\n@end \n@end=x\nScript=1\nscript=2\n@end\nUsePhotoshopJsxDebug=\n"));
  EXPECT_EQ(Value("SCRIPTparams"), "b=c");  // the first of a key in any letter case wins
  EXPECT_EQ(Value("parameters"), "");
  EXPECT_EQ(Value("outputhdaFile"), "C:\\@res\t ");
  EXPECT_EQ(Value("UsePhotoshopJsxDebug"), "<absent>");  // a tab before it; after the exact "@end"
  EXPECT_EQ(Value("scrip_"), "<absent>");  // never looked up, so never kept
  EXPECT_EQ(Value("script"), "1");         // "script " is another key
  EXPECT_EQ(f.state.g_requestParameters.Size(), 4u);

  // Reads of 32 bytes: "@end" as a whole read with the rest of its line in the
  // next one, and a read that ends inside a line let go, the next one beginning
  // with what looks like an entry.
  FakeEngine split;
  split.fs.readChunk = 32;
  split.fs.AddFile("r", "@Properties LocalData\nabcde\n@end" + std::string(40, 'x') + "\nx=" +
                            std::string(21, '1') + "script=no\nscript=2");
  ASSERT_TRUE(LoadRequestFile(split.engine, "r"));
  EXPECT_EQ(split.state.g_requestParameters.Find("script").value_or("<absent>"), "2");
}

TEST_F(LoadRequestFileTest, DoubleByteCharactersStayWholeAndCountOne) {
  f.engine.characters = DoubleByte932();
  const std::string many = Repeated("\x95\x5C", 32765);
  for (const std::size_t chunk : {1, 7, 64 * 1024}) {
    f.fs.readChunk = chunk;
    // 0x81 0x40, a wide blank: its second byte doesn't open the section line.
    EXPECT_FALSE(Load("\x81@Properties LocalData\nscript=1\n")) << chunk;
    // The "=" at character 32,766 (byte 65,531) leaves the value inside 16 bits.
    ASSERT_TRUE(Load("\x81@@Properties LocalData\n" + many + "=v\nscript=\x95\x5C\n")) << chunk;
    EXPECT_EQ(Value("script"), "\x95\x5C");
    f.state.g_requestParameters.Clear();
    EXPECT_FALSE(Load("@Properties LocalData\n" + many + "\x95\x5C=v\nscript=1\n")) << chunk;
  }
}

TEST_F(LoadRequestFileTest, LineEndsOfEveryKindAndALastLineWithout) {
  for (const std::string eol : {"\n", "\r", "\r\n"}) {
    FakeEngine fresh;
    fresh.fs.AddFile("r", "@Properties LocalData" + eol + "script=1" + eol + "parameters=2" + eol +
                              "@end" + eol + "scriptParams=3");
    ASSERT_TRUE(LoadRequestFile(fresh.engine, "r"));
    EXPECT_EQ(fresh.state.g_requestParameters.Size(), 2u);
    EXPECT_EQ(*fresh.state.g_requestParameters.Find("parameters"), "2");
  }
  // Kept with its NULs and control characters.
  const char content[] = "@Properties LocalData\nscript=v\x01\0al";
  ASSERT_TRUE(Load(std::string(content, sizeof content - 1)));
  EXPECT_EQ(Value("script"), std::string("v\x01\0al", 5));
}

TEST_F(LoadRequestFileTest, LongLinesComeInPiecesAndLookedUpValuesStayWhole) {
  // Lines far longer than the reader's buffer: the section line's text split
  // across reads, a looked-up value of 1 MB, and long lines that are let go.
  f.fs.readChunk = 64 * 1024;
  const std::string pad(70000, 'p');
  const std::string value(1 << 20, 'v');
  ASSERT_TRUE(Load(pad + "@Properties LocalData" + pad + "\nother=" + value + "\n" + pad +
                   "\nscriptParams=" + value + "\n" + "script=" + pad));
  EXPECT_EQ(Value("scriptParams"), value);
  EXPECT_EQ(Value("script"), pad);
  EXPECT_EQ(f.state.g_requestParameters.Size(), 2u);
}

// The "=" of any line, looked up or not, at a 16-bit position: its value must
// start by position 32767, or the load fails, keeping the entries read before.
TEST(LoadRequestFileLimitTest, AnEqualsSignPastCharacter32766FailsTheLoadKeepingWhatCameBefore) {
  struct Row {
    std::size_t before;  // characters in the line before its "="
    bool loads;
  } rows[] = {{0, true}, {32765, true}, {32766, false}, {40000, false}};
  for (const Row& row : rows) {
    FakeEngine f;
    f.fs.AddFile("r", "@Properties LocalData\nscript=1\n" + std::string(row.before, 'k') +
                          "=v\nparameters=2\n");
    EXPECT_EQ(LoadRequestFile(f.engine, "r"), row.loads) << row.before;
    EXPECT_EQ(f.state.g_requestParameters.Find("script").value_or("-"), "1") << row.before;
    EXPECT_EQ(f.state.g_requestParameters.Find("parameters").value_or("-"), row.loads ? "2" : "-");
  }
}

TEST_F(LoadRequestFileTest, PathIsNormalizedBeforeOpeningAndMustNameAReadableFile) {
  f.fs.AddFile("C:\\jobs@req.dat", "");
  EXPECT_TRUE(LoadRequestFile(f.engine, "C:\\jobs\\@req.dat"));
  EXPECT_EQ(f.fs.opened.back(), "C:\\jobs@req.dat");
  f.fs.AddDirectory("C:\\dir");
  f.fs.unreadable.insert("C:\\jobs@req.dat");
  for (const char* path : {"C:\\missing.dat", "C:\\dir", "C:\\jobs@req.dat", ""}) {
    EXPECT_FALSE(LoadRequestFile(f.engine, path)) << path;
  }
}

TEST(ParameterTableTest, KeysCompareIgnoringTheCaseOfAsciiLettersAndTheFirstStays) {
  ParameterTable table;
  EXPECT_TRUE(table.Add("Script", "1"));
  EXPECT_FALSE(table.Add("sCRIPT", "2"));
  EXPECT_TRUE(table.Add("scr\xc9pt", "3"));  // only ASCII letters fold
  EXPECT_EQ(table.Item("SCRIPT"), "1");
  EXPECT_EQ(table.Find("scr\xe9pt"), std::nullopt);
  EXPECT_THROW(table.Item("script "), EngineError);
}

TEST(ReadTextLineTest, SplitsOnCrAndLfAloneAndFailsAtTheEnd) {
  for (std::size_t buffer : {1, 2, 3, 64}) {
    FakeFileSystem fs;
    fs.AddFile("f", "a\r\nb\rc\n\nd\tlong line");
    TextReader reader(fs.OpenForReading("f"), buffer);
    std::vector<std::string> lines;
    const auto append = [&lines](std::string_view piece) { lines.back().append(piece); };
    while (!reader.AtEnd()) {
      lines.emplace_back();
      ReadTextLine(reader, append);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "b", "c", "", "d\tlong line"})) << buffer;
    EXPECT_THROW(ReadTextLine(reader, append), EngineError);
  }
}

TEST(NormalizeRequestPathTest, EscapedAtSignsSlashesAndTheUncPrefix) {
  struct Case {
    const char* given;
    const char* opened;
  } cases[] = {
      {"C:/jobs/\\@req.dat", "C:\\jobs\\@req.dat"},
      {"C:\\jobs\\@req.dat", "C:\\jobs@req.dat"},
      {"a\\\\@b", "a@b"},
      {"\\@a\\@b", "\\@a\\@b"},
      {"\\@x/\\@y", "\\@x\\@y"},
      {"//server/share/req.dat", "\\\\server\\share\\req.dat"},
      {"////server/share/req.dat", "\\\\server\\share\\req.dat"},
      {"///server/req.dat", "\\\\server\\req.dat"},
      {"\\\\\\\\\\x", "\\\\\\x"},  // five leading backslashes become three
      {"C:\\jobs\\req.dat", "C:\\jobs\\req.dat"},
      {"\\\\\\@x\\@y", "\\@x\\@y"},  // a run reaching the start keeps one backslash
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeRequestPath({}, c.given), c.opened) << c.given;
}

TEST(NormalizeRequestPathTest, DoubleByteCharactersStayWholeAndCountOne) {
  const std::string hyo = "\x95\x5C";  // its second byte is "\"
  const std::string many = Repeated(hyo, 20000);
  const std::pair<std::string, std::string> cases[] = {  // given, opened
      {"C:\\" + hyo + "@1\\r.dat", "C:\\" + hyo + "@1\\r.dat"},
      {"C:\\" + hyo + "\\@2\\r.dat", "C:\\" + hyo + "@2\\r.dat"},
      {"C:/" + hyo + "/\\@3/" + hyo + "/x", "C:\\" + hyo + "\\@3\\" + hyo + "\\x"},
      {"//" + hyo + "/s", "\\\\" + hyo + "\\s"},
      {many + "\\@x/\\@y", many + "@x\\@y"},  // 40,000 bytes, 20,000 characters
  };
  for (const auto& [given, opened] : cases) {
    EXPECT_EQ(NormalizeRequestPath(DoubleByte932(), given), opened) << given.size();
  }
}

}  // namespace
}  // namespace engine::testing
