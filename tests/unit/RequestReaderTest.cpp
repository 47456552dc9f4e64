#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "EngineError.h"
#include "Fakes.h"
#include "HostProtocol.h"
#include "RequestReader.h"

namespace engine::testing {
namespace {

using namespace std::string_literals;

// Loads |content| in reads of at most |chunk| bytes and tells the outcome and
// every looked-up value kept: "ok script=1" or "fails script=1".
std::string Read(const std::string& content, const AnsiCharacters& characters, std::size_t chunk) {
  FakeEngine f;
  f.engine.characters = characters;
  f.fs.readChunk = chunk;
  f.fs.AddFile("C:\\req.dat", content);
  std::string outcome = LoadRequestFile(f.engine, "C:\\req.dat") ? "ok" : "fails";
  for (const std::string_view key : protocol::keys::kLookedUp) {
    if (auto value = f.state.g_requestParameters.Find(key)) {
      outcome += " " + std::string(key) + "=" + std::string(*value);
    }
  }
  return outcome;
}

// The single-byte rules are the seeds of the request fuzz target, checked
// against the literal reference; what its inputs can't spell is here: tabs,
// NUL and the low control bytes, and double-byte characters.
TEST(RequestReaderTest, ReadsTheSameInAnyPieces) {
  const std::string many = Repeated("\x95\x5C", 32765);  // double-byte, its second byte "\"
  const struct {
    const char* rule;
    std::string content;
    std::string read;
    bool doubleByte = false;  // code page 932, else single bytes
  } rows[] = {
      {"tabs, NUL and control characters kept; a tab is not part of the key",
       kRequestStart + "\tscript=0\nscript=\tv\x01\0al\t\n"s, "ok script=" + "\tv\x01\0al\t"s},
      {"double-byte: a second byte \"@\" opens no section", "\x81@Properties LocalData\nscript=1\n",
       "fails", true},
      {"double-byte: characters count one", "\x81@" + kRequestStart + many + "=v\nscript=\x95\x5C",
       "ok script=\x95\x5C", true},
      {"double-byte: one more fails", kRequestStart + many + "\x95\x5C=v\nscript=1", "fails", true},
  };
  for (const auto& row : rows) {
    const AnsiCharacters characters = row.doubleByte ? DoubleByte932() : AnsiCharacters{};
    EXPECT_EQ(Read(row.content, characters, SIZE_MAX), row.read) << row.rule;
    EXPECT_EQ(Read(row.content, characters, 1), row.read) << row.rule << ", byte by byte";
  }
}

TEST(LoadRequestFileTest, NormalizesThePathAndFailsWhereNothingCanBeRead) {
  FakeEngine f;
  f.fs.AddFile("C:\\jobs@req.dat", kRequestStart + "script=1");
  EXPECT_TRUE(LoadRequestFile(f.engine, "C:\\jobs\\@req.dat"));
  for (const char* path : {"C:\\missing.dat", ""}) {  // a folder: see the start-up table
    EXPECT_FALSE(LoadRequestFile(f.engine, path)) << path;
  }
}

// The request fuzz target folds the looked-up keys' ASCII letters; other bytes stay apart.
TEST(ParameterTableTest, OnlyAsciiLettersFoldInKeys) {
  ParameterTable table;
  table.Add("scr\xc9pt", "3");
  table.Add("az", "first and last letter");
  table.Add("`{", "the bytes after them");
  EXPECT_EQ(table.Find("scr\xe9pt"), std::nullopt);
  EXPECT_EQ(table.Find("AZ"), "first and last letter");
  EXPECT_EQ(table.Find("@["), std::nullopt);
}

TEST(NormalizeRequestPathTest, DoubleByteCharactersStayWholeAndCountOne) {
  const std::string hyo = "\x95\x5C";  // its second byte is "\"
  const std::string many = Repeated(hyo, 20000);
  const struct {
    const char* rule;
    std::string given, opened;
  } rows[] = {
      {"a second byte \"\\\" escapes no at sign", "C:\\" + hyo + "@1\\r.dat",
       "C:\\" + hyo + "@1\\r.dat"},
      {"a whole \"\\\" after it does", "C:\\" + hyo + "\\@2\\r.dat", "C:\\" + hyo + "@2\\r.dat"},
      {"slashes around it", "C:/" + hyo + "/\\@3/" + hyo + "/x",
       "C:\\" + hyo + "\\@3\\" + hyo + "\\x"},
      {"20,000 characters in 40,000 bytes fit", many + "\\@x/\\@y", many + "@x\\@y"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(NormalizeRequestPath(DoubleByte932(), row.given), row.opened) << row.rule;
  }
}

// The single-byte rules and limits are the seeds of the parameter fuzz target,
// checked against the literal reference; what it can't check is here.
TEST(FindInParameterStringTest, DoubleByteCharactersStayWholeAndCountOne) {
  const std::string su = "\x83\x73";   // its second byte is "s"
  const std::string hyo = "\x95\x5C";  // its second byte is "\"
  const struct {
    const char* rule;
    std::string string;
    const char* found;  // "!" and the description where the scan fails
  } rows[] = {
      {"no key begins at a second byte", "-" + su + "cript 1 -a 2", "2"},
      {"nor is that character part of a key", "-" + su + "a 3", "3"},
      {"it is one separator character", "-a" + hyo + "x -b", "x"},
      {"a quoted double-byte value", "-a \"" + hyo + "\" -b", "\x95\x5C"},
      {"32762 characters before the key fit", Repeated(hyo, 32762) + "-a 1", "1"},
      {"32763 overflow", Repeated(hyo, 32763) + "-a 1", "!Overflow"},
      {"a value past the end overflows", Repeated(hyo, 32763) + "-a", "!Overflow"},
      {"so does a quoted one, before its quote is looked for", Repeated(hyo, 32763) + "-a \"x",
       "!Overflow"},
  };
  for (const auto& row : rows) {
    EngineState s;
    s.g_parameterString = row.string;
    std::string found;
    const std::string failure =
        FailureOf([&] { found = FindInParameterString(s, DoubleByte932(), "a"); });
    EXPECT_EQ(failure == "no failure" ? found : "!" + failure, row.found) << row.rule;
  }
}

TEST(ParseBooleanTest, MinusOneOrAFirstOneTOrYIsTrueAndEmptyIsTheDefault) {
  for (const bool dflt : {false, true}) {
    EXPECT_EQ(ParseBoolean("", dflt), dflt);
    for (const char* v : {"-1", "true", "Yes", "t", "1", "y"})
      EXPECT_TRUE(ParseBoolean(v, dflt)) << v;
    for (const char* v : {"false", "no", "0", "on", "off", "-5", " 1", "-1 ", "\xff"})
      EXPECT_FALSE(ParseBoolean(v, dflt)) << v;
  }
}

TEST(LookupTest, TheParameterStringOverTheTableOverTheDefault) {
  // The parameter fuzz target checks GetParameter on one stored key, always there.
  struct Case {
    const char* string;
    const char* name;
    const char* value;  // GetParameter's, with the default "dflt"
    bool whenFalse;     // GetBooleanParameter's, with the default false
    bool whenTrue;      // and with the default true
  } cases[] = {
      {"", "missing", "dflt", false, true},
      {"", "flag", "yes", true, true},  // the table's keys in any letter case
      {"-flag 0", "flag", "0", false, false},
      {"-x -flag", "flag", "dflt", false, true},  // a failed scan: the default, not the table
  };
  for (const Case& c : cases) {
    FakeEngine f;
    f.state.g_requestParameters.Add("Flag", "yes");
    f.state.g_parameterString = c.string;
    EXPECT_EQ(GetParameter(f.engine, c.name, "dflt"), c.value) << c.string << " / " << c.name;
    EXPECT_EQ(GetBooleanParameter(f.engine, c.name, false), c.whenFalse) << c.name;
    EXPECT_EQ(GetBooleanParameter(f.engine, c.name, true), c.whenTrue) << c.name;
  }
}

}  // namespace
}  // namespace engine::testing
