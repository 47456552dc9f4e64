#include <gtest/gtest.h>

#include "ComunicationUtils.h"
#include "EngineError.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

// The single-byte rules and limits are the seeds of the parameter fuzz target,
// checked against the literal reference; what it can't check is here.
TEST(FindInParameterStringTest, DoubleByteCharactersStayWholeAndCountOne) {
  const std::string su = "\x83\x73";   // its second byte is "s"
  const std::string hyo = "\x95\x5C";  // its second byte is "\"
  const std::string emoji = "\xF0\x9F\x98\x80";  // two UTF-16 units in UTF-8
  const struct {
    const char* rule;
    std::string string;
    const char* found;  // "!" and the description where the scan fails
    bool utf8 = false;  // else code page 932
  } rows[] = {
      {"no key begins at a second byte", "-" + su + "cript 1 -a 2", "2"},
      {"nor is that character part of a key", "-" + su + "a 3", "3"},
      {"it is one separator character", "-a" + hyo + "x -b", "x"},
      {"a quoted double-byte value", "-a \"" + hyo + "\" -b", "\x95\x5C"},
      {"32762 characters before the key fit", Repeated(hyo, 32762) + "-a 1", "1"},
      {"32763 overflow", Repeated(hyo, 32763) + "-a 1", "!Overflow"},
      {"a value past the end overflows", Repeated(hyo, 32763) + "-a", "!Overflow"},
      {"UTF-8: surrogate pairs count two, fitting", Repeated(emoji, 16381) + "-a 1", "1", true},
      {"UTF-8: surrogate pairs count two, overflowing", Repeated(emoji, 16381) + " -a 1",
       "!Overflow", true},
  };
  for (const auto& row : rows) {
    EngineState s;
    s.g_parameterString = row.string;
    const AnsiCharacters characters =
        row.utf8 ? AnsiCharacters{AnsiCharacters::Kind::Utf8, {}} : DoubleByte932();
    std::string found;
    try {
      found = FindInParameterString(s, characters, "a");
    } catch (const EngineError& failure) {
      found = "!" + failure.Description();
    }
    EXPECT_EQ(found, row.found) << row.rule;
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
  struct Case {
    const char* string;
    const char* name;
    const char* value;  // GetParameter's, with the default "dflt"
    bool whenFalse;     // GetBooleanParameter's, with the default false
    bool whenTrue;      // and with the default true
  } cases[] = {
      {"-script \"string.jsx\"", "script", "string.jsx", false, false},
      {"", "SCRIPT", "table.jsx", true, true},  // the table's keys in any letter case
      {"-other 1", "script", "table.jsx", true, true},
      {"-script   ", "script", "table.jsx", true, true},  // the string holds no value
      {"-script \"  \" -x", "script", "table.jsx", true, true},
      {"", "missing", "dflt", false, true},
      {"", "empty", "", false, true},  // a stored empty value is returned as it is
      {"", "flag", "yes", true, true},
      {"-flag 0", "flag", "0", false, false},
      {"-x -flag", "flag", "dflt", false, true},  // a failed scan: the default, not the table
  };
  for (const Case& c : cases) {
    FakeEngine f;
    f.state.g_requestParameters.Add("script", "table.jsx");
    f.state.g_requestParameters.Add("Flag", "yes");
    f.state.g_requestParameters.Add("empty", "");
    f.state.g_parameterString = c.string;
    EXPECT_EQ(GetParameter(f.engine, c.name, "dflt"), c.value) << c.string << " / " << c.name;
    EXPECT_EQ(GetBooleanParameter(f.engine, c.name, false), c.whenFalse) << c.name;
    EXPECT_EQ(GetBooleanParameter(f.engine, c.name, true), c.whenTrue) << c.name;
  }
}

}  // namespace
}  // namespace engine::testing
