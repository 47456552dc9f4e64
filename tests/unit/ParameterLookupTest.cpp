#include <gtest/gtest.h>

#include <tuple>

#include "ComunicationUtils.h"
#include "EngineError.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

// The value found, or "!" and the failure's description.
std::string Scan(const std::string& parameterString, const std::string& key,
                 const AnsiCharacters& characters = {}) {
  EngineState s;
  s.g_parameterString = parameterString;
  try {
    return FindInParameterString(s, characters, key);
  } catch (const EngineError& failure) {
    return "!" + failure.Description();
  }
}

constexpr const char* kInvalid = "!Invalid procedure call or argument";
constexpr const char* kOverflow = "!Overflow";

TEST(FindInParameterStringTest, WholeKeysOutsideQuotesWithPlainOrQuotedValues) {
  const std::tuple<const char*, const char*, const char*> cases[] = {  // string, key, result
      {"-script \"C:\\x y.jsx\" -mode 3", "script", "C:\\x y.jsx"},
      {"-script \"C:\\x y.jsx\" -mode 3", "mode", "3"},
      {"-script \"C:\\x y.jsx\" -mode 3", "Script", ""},  // case-sensitive
      {"-script \"C:\\x y.jsx\" -mode 3", "x", ""},       // only inside a quoted value
      {"-scriptParams \"a b\" -script \"x.jsx\"", "script", "x.jsx"},  // not inside a longer key
      {"-scriptParams \"a b\" -script \"x.jsx\"", "scriptParams", "a b"},
      {"-mode -1 -x 2", "mode", "-1"},
      {"-path C:\\my-dir\\f.jsx", "path", "C:\\my"},
      {"-script -mode 3", "script", "-mode 3"},
      {"-script  -mode 3", "script", ""},
      {"-a  \"x\" -b 1", "a", "\"x\""},  // the quotes belong to the value
      {"-a x y -b", "a", "x y"},
      {"-a \"\" -b \"y\"", "a", ""},  // an empty quoted value
      {"-a \"\" -b 2", "a", ""},
      {"-a \"x", "a", kInvalid},
      {"-x -script", "script", kInvalid},  // the key ends the string
      {"-a ", "a", ""},
      {"", "a", ""},
      {"-a", "", ""},
      {"-a\t1 ", "a", "1"},           // any one character separates
      {"-a \t1\t -b", "a", "\t1\t"},  // only blanks are trimmed
      {"-_a 1 -aa 1 -za 1 -Aa 1 -Za 1 -0a 1 -9a 1 -a 2", "a", "2"},  // letters, digits and "_"
      {"-aa 1 -az 1 -aA 1 -aZ 1 -a0 1 -a9 1 -a_ 1 -a 2", "a", "2"},  // next to it make a longer key
      {"-a=\"q r\"", "a", "q r"},
      {"-a\"q r\" -b", "a", "q r"},
      {"\"a -b\" -b 5", "b", "5"},  // "-b" inside quotes is a value, not a key
      {"-k \"x\" -b \"y", "b", kInvalid},
  };
  for (const auto& [string, key, result] : cases) {
    EXPECT_EQ(Scan(string, key), result) << string << " / " << key;
  }
}

TEST(FindInParameterStringTest, PositionsBeyondSixteenBitsOverflow) {
  const auto pad = [](std::size_t n) { return std::string(n, ' '); };
  const std::pair<std::string, const char*> cases[] = {
      {pad(32762) + "-a 1", "1"},  // the value's end lies at 32 767
      {pad(32763) + "-a 1", kOverflow},
      {pad(32760) + "-a 1 -b", "1"},
      {pad(32760) + "-a \"1\"", "1"},
      {pad(32761) + "-a \"1\"", "1"},
      {pad(32762) + "-a \"1\"", kOverflow},
      {pad(32763) + "-a \"", kOverflow},  // before the closing quote is missed
      {pad(32763) + "-a\"\"", ""},
      {pad(32763) + "-a ", kOverflow},
      {"-a 1 -b" + pad(40000), "1"},
      {pad(40000), ""},
  };
  for (const auto& [string, result] : cases) EXPECT_EQ(Scan(string, "a"), result) << string.size();
}

TEST(FindInParameterStringTest, DoubleByteCharactersStayWholeAndCountOne) {
  const AnsiCharacters sjis = DoubleByte932();
  const std::string su = "\x83\x73";   // its second byte is "s"
  const std::string hyo = "\x95\x5C";  // its second byte is "\"
  const std::string emoji = "\xF0\x9F\x98\x80";  // two UTF-16 units in UTF-8
  const std::tuple<std::string, std::string, bool> cases[] = {  // string, found, UTF-8
      {"-" + su + "cript 1 -a 2", "2", false},  // no key begins at a second byte
      {"-" + su + "a 3", "3", false},             // nor is that character part of a key
      {"-a" + hyo + "x -b", "x", false},          // it is one separator character
      {"-a \"" + hyo + "\" -b", hyo, false},
      {Repeated(hyo, 32762) + "-a 1", "1", false},
      {Repeated(hyo, 32763) + "-a 1", kOverflow, false},
      {Repeated(hyo, 32763) + "-a", kOverflow, false},  // the value would start past the end
      {Repeated(emoji, 16381) + "-a 1", "1", true},
      {Repeated(emoji, 16381) + " -a 1", kOverflow, true},
  };
  const AnsiCharacters utf8{AnsiCharacters::Kind::Utf8, {}};
  for (const auto& [string, found, inUtf8] : cases) {
    EXPECT_EQ(Scan(string, "a", inUtf8 ? utf8 : sjis), found) << string.size();
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
