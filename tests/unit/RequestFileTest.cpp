#include <gtest/gtest.h>

#include <random>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "EngineError.h"
#include "Fakes.h"
#include "TextReader.h"

namespace engine::testing {
namespace {

struct Loaded {
  bool ok;
  std::map<std::string, std::string> entries;  // as looked up through the table
};

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

TEST_F(LoadRequestFileTest, EmptyFileLoadsWithNothingInIt) {
  EXPECT_TRUE(Load(""));
  EXPECT_EQ(f.state.g_requestParameters.Size(), 0u);
}

TEST_F(LoadRequestFileTest, WithoutSectionLineFailsEvenWithEntries) {
  EXPECT_FALSE(Load("a=1\nb=2\n"));
  EXPECT_EQ(f.state.g_requestParameters.Size(), 0u);
}

TEST_F(LoadRequestFileTest, SectionLineAtTheEnd) {
  struct Case {
    const char* content;
    bool ok;
  } cases[] = {
      {"@Properties LocalData", false},
      {"@Properties LocalData\n", false},
      {"@Properties LocalData\r", false},
      {"@Properties LocalData\r\n", true},  // the LF yields one more, empty line
  };
  for (const Case& c : cases) {
    FakeEngine fresh;
    fresh.fs.AddFile("r", c.content);
    EXPECT_EQ(LoadRequestFile(fresh.engine, "r"), c.ok) << c.content;
    EXPECT_EQ(fresh.state.g_requestParameters.Size(), 0u);
  }
}

TEST_F(LoadRequestFileTest, EntriesAreTakenExactlyAsTheyStand) {
  ASSERT_TRUE(Load("x=0\n@end\nheader @Properties LocalData here\n"
                   "a=b=c\nempty=\nx = 1\n=nokey\n\\@v=\\@kept\n\tTab=\t1\n@end\nlate=1\n"));
  EXPECT_EQ(Value("a"), "b=c");
  EXPECT_EQ(Value("empty"), "");
  EXPECT_EQ(Value("x "), " 1");
  EXPECT_EQ(Value("x"), "<absent>");  // lines before the section are not parsed
  EXPECT_EQ(Value("\\@v"), "\\@kept");
  EXPECT_EQ(Value("\tTab"), "\t1");
  EXPECT_EQ(Value("late"), "<absent>");  // nothing behind the end line is read
}

TEST_F(LoadRequestFileTest, FirstEntryForAKeyWinsWhateverItsCase) {
  ASSERT_TRUE(Load("@Properties LocalData\nName=1\nname=2\nNAME=3\n"));
  EXPECT_EQ(Value("NAME"), "1");
  EXPECT_EQ(f.state.g_requestParameters.Size(), 1u);
}

TEST_F(LoadRequestFileTest, OnlyTheExactEndLineEndsTheEntries) {
  ASSERT_TRUE(Load("@Properties LocalData\n@END\n @end\n@end \n@end=x\nafter=1\n@end\nno=1"));
  EXPECT_EQ(Value("@end"), "x");
  EXPECT_EQ(Value("after"), "1");
  EXPECT_EQ(Value("no"), "<absent>");
}

TEST_F(LoadRequestFileTest, LineEndsOfEveryKindGiveTheSameEntries) {
  for (const char* eol : {"\n", "\r", "\r\n"}) {
    FakeEngine fresh;
    const std::string e = eol;
    fresh.fs.AddFile("r", "@Properties LocalData" + e + "a=1" + e + "b=2" + e + "@end" + e);
    ASSERT_TRUE(LoadRequestFile(fresh.engine, "r"));
    EXPECT_EQ(fresh.state.g_requestParameters.Size(), 2u);
    EXPECT_EQ(*fresh.state.g_requestParameters.Find("b"), "2");
  }
}

TEST_F(LoadRequestFileTest, LastEntryWithoutLineEndIsStored) {
  ASSERT_TRUE(Load("@Properties LocalData\nlast=value"));
  EXPECT_EQ(Value("last"), "value");
}

TEST_F(LoadRequestFileTest, ControlCharactersAndNulsArePartOfTheLine) {
  const char content[] = "@Properties LocalData\nk\0ey=v\x01\0al\n";
  ASSERT_TRUE(Load(std::string(content, sizeof content - 1)));
  EXPECT_EQ(Value(std::string("k\0ey", 4)), std::string("v\x01\0al", 5));
}

TEST_F(LoadRequestFileTest, FailuresKeepWhatWasAddedBefore) {
  // An "=" at position 32 767 or beyond can't be handled in 16-bit positions.
  std::string tooLong(32766, 'k');
  ASSERT_FALSE(Load("@Properties LocalData\nfirst=1\n" + tooLong + "=v\nnever=1\n"));
  EXPECT_EQ(Value("first"), "1");
  EXPECT_EQ(Value("never"), "<absent>");
}

TEST_F(LoadRequestFileTest, LongLinesWithinTheLimitLoad) {
  std::string key(32765, 'k');
  std::string value(200000, 'v');
  ASSERT_TRUE(Load("@Properties LocalData\n" + key + "=" + value + "\nnoequals" + value + "\n"));
  EXPECT_EQ(Value(key), value);
}

TEST_F(LoadRequestFileTest, MissingUnreadableOrDirectoryPathsFail) {
  f.fs.AddDirectory("C:\\dir");
  f.fs.AddFile("C:\\locked.dat", "@Properties LocalData\na=1\n");
  f.fs.unreadable.insert("C:\\locked.dat");
  EXPECT_FALSE(LoadRequestFile(f.engine, "C:\\missing.dat"));
  EXPECT_FALSE(LoadRequestFile(f.engine, "C:\\dir"));
  EXPECT_FALSE(LoadRequestFile(f.engine, "C:\\locked.dat"));
  EXPECT_FALSE(LoadRequestFile(f.engine, ""));
}

TEST_F(LoadRequestFileTest, PathIsNormalizedBeforeOpening) {
  f.fs.AddFile("C:\\jobs@req.dat", "");
  EXPECT_TRUE(LoadRequestFile(f.engine, "C:\\jobs\\@req.dat"));
  EXPECT_EQ(f.fs.opened.back(), "C:\\jobs@req.dat");
}

TEST(ReadTextLineTest, SplitsOnCrAndLfAloneAndFailsAtTheEnd) {
  FakeFileSystem fs;
  fs.AddFile("f", "a\r\nb\rc\n\nd");
  TextReader reader(fs.OpenForReading("f"), 2);
  std::vector<std::string> lines;
  while (!reader.AtEnd()) lines.push_back(ReadTextLine(reader));
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "b", "c", "", "d"}));
  EXPECT_THROW(ReadTextLine(reader), EngineError);
}

// The path rules written the slow, literal way: find the first occurrence from
// the start, remove one backslash, search again from the start.
std::string LiteralNormalize(std::string s) {
  for (std::size_t p; (p = s.find("/\\@")) != std::string::npos && p >= 1;) s.erase(p + 1, 1);
  for (std::size_t p; (p = s.find("\\@")) != std::string::npos && p >= 1;) s.erase(p, 1);
  for (char& c : s) c = c == '/' ? '\\' : c;
  return FixUncPrefix(s);
}

TEST(NormalizeRequestPathTest, Table) {
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
  for (const Case& c : cases) EXPECT_EQ(NormalizeRequestPath(c.given), c.opened) << c.given;
}

TEST(NormalizeRequestPathTest, AgreesWithTheLiteralRulesOnRandomPaths) {
  std::mt19937 rng(12345);
  const char alphabet[] = {'/', '\\', '@', 'a', ':'};
  for (int i = 0; i < 20000; ++i) {
    std::string path(rng() % 12, ' ');
    for (char& c : path) c = alphabet[rng() % sizeof alphabet];
    ASSERT_EQ(NormalizeRequestPath(path), LiteralNormalize(path)) << path;
  }
}

TEST(NormalizeRequestPathTest, PositionsBeyondSixteenBitsOverflow) {
  const std::string far(32766, 'a');
  EXPECT_THROW(NormalizeRequestPath(far + "\\@x"), EngineError);
  EXPECT_THROW(NormalizeRequestPath(far + "/\\@x"), EngineError);
  EXPECT_EQ(NormalizeRequestPath(far + "x"), far + "x");  // long, but nothing to remove
  EXPECT_EQ(NormalizeRequestPath(std::string(32760, 'a') + "\\@"), std::string(32760, 'a') + "@");
}

}  // namespace
}  // namespace engine::testing
