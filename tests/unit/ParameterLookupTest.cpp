#include <gtest/gtest.h>

#include "ComunicationUtils.h"
#include "EngineError.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

constexpr const char* kFails = "<fails>";

std::string Scan(const std::string& parameterString, const std::string& key) {
  EngineState s;
  s.g_parameterString = parameterString;
  try {
    return FindInParameterString(s, key);
  } catch (const EngineError&) {
    return kFails;
  }
}

TEST(FindInParameterStringTest, Table) {
  struct Case {
    const char* string;
    const char* key;
    const char* result;
  } cases[] = {
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
      {"-a \"x", "a", kFails},
      {"-x -script", "script", kFails},  // the key ends the string
      {"-a ", "a", ""},
      {"", "a", ""},
      {"-a\t1 ", "a", "1"},             // any one character separates
      {"-a \t1\t -b", "a", "\t1\t"},    // only blanks are trimmed
      {"-my_a 1 -a 2", "a", "2"},       // "_" is part of a key
      {"-a=\"q r\"", "a", "q r"},
      {"-k \"a -b\" -b 5", "b", "5"},   // "-b" inside quotes is a value, not a key
      {"-k \"x\" -b \"y", "b", kFails},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Scan(c.string, c.key), c.result) << c.string << " / " << c.key;
  }
}

TEST(FindInParameterStringTest, PositionsBeyondSixteenBitsFail) {
  const std::string pad(32760, ' ');
  EXPECT_EQ(Scan(pad + "-a 1", "a"), "1");
  EXPECT_EQ(Scan(pad + "-a 1" + std::string(100, 'x'), "a"), kFails);  // no "-": end is the length + 1
  EXPECT_EQ(Scan(pad + "-a 1 -b", "a"), "1");
  EXPECT_EQ(Scan(std::string(32770, ' ') + "-a 1", "a"), kFails);
  EXPECT_EQ(Scan("-a 1 -b" + std::string(40000, ' '), "a"), "1");
  EXPECT_EQ(Scan(std::string(40000, ' '), "a"), "");
}

TEST(ParseBooleanTest, Table) {
  struct Case {
    const char* value;
    bool whenDefaultFalse;
    bool whenDefaultTrue;
  } cases[] = {
      {"", false, true},        {"-1", true, true},     {"true", true, true},
      {"Yes", true, true},      {"t", true, true},      {"1", true, true},
      {"y", true, true},        {"false", false, false}, {"no", false, false},
      {"0", false, false},      {"on", false, false},   {"off", false, false},
      {"-5", false, false},     {" 1", false, false},   {"-1 ", false, false},
      {"\xff", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseBoolean(c.value, false), c.whenDefaultFalse) << c.value;
    EXPECT_EQ(ParseBoolean(c.value, true), c.whenDefaultTrue) << c.value;
  }
}

class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table().Add("script", "table.jsx");
    table().Add("Flag", "yes");
    table().Add("empty", "");
    table().Add("off", "on");
  }
  ParameterTable& table() { return f.state.g_requestParameters; }
  std::string Get(const std::string& name) { return GetParameter(f.engine, name, "dflt"); }
  FakeEngine f;
};

TEST_F(LookupTest, ParameterStringOverridesTheTable) {
  f.state.g_parameterString = "-script \"string.jsx\"";
  EXPECT_EQ(Get("script"), "string.jsx");
}

TEST_F(LookupTest, TableAnswersWhenTheStringHasNothing) {
  for (const char* s : {"", "-other 1", "-script   ", "-script \"  \" -x"}) {
    f.state.g_parameterString = s;
    EXPECT_EQ(Get("SCRIPT"), "table.jsx") << s;
  }
}

TEST_F(LookupTest, DefaultWhenAbsentOrTheScanFails) {
  EXPECT_EQ(Get("missing"), "dflt");
  EXPECT_EQ(Get("empty"), "");  // a stored empty value is returned as it is
  f.state.g_parameterString = "-x -script";
  EXPECT_EQ(Get("script"), "dflt");  // the table isn't consulted after a failed scan
}

TEST_F(LookupTest, Booleans) {
  EXPECT_TRUE(GetBooleanParameter(f.engine, "flag", false));
  EXPECT_FALSE(GetBooleanParameter(f.engine, "off", true));
  EXPECT_TRUE(GetBooleanParameter(f.engine, "empty", true));
  EXPECT_FALSE(GetBooleanParameter(f.engine, "empty", false));
  EXPECT_TRUE(GetBooleanParameter(f.engine, "missing", true));
  f.state.g_parameterString = "-flag 0";
  EXPECT_FALSE(GetBooleanParameter(f.engine, "flag", true));
  f.state.g_parameterString = "-x -flag";
  EXPECT_TRUE(GetBooleanParameter(f.engine, "flag", true));
  EXPECT_FALSE(GetBooleanParameter(f.engine, "flag", false));
}

}  // namespace
}  // namespace engine::testing
