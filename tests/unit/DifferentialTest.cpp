// The product's request reader, path normalization and parameter scan against
// the literal reference implementation, on random inputs built from the
// characters that matter to them. The fuzz targets do the same, longer.

#include <gtest/gtest.h>

#include <random>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "Fakes.h"
#include "Reference.h"

namespace engine::testing {
namespace {

std::string RandomText(std::mt19937& rng, const std::string& alphabet, std::size_t maxLength) {
  std::string s(rng() % (maxLength + 1), ' ');
  for (char& c : s) c = alphabet[rng() % alphabet.size()];
  return s;
}

TEST(DifferentialTest, RequestReader) {
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {"@Properties LocalData", "@end", "=", "\r", "\n",
                                           "a", "A", "b", "@", " ", "x=1", "@end\n"};
  for (int i = 0; i < 5000; ++i) {
    std::string content;
    for (std::size_t n = rng() % 14; n > 0; --n) content += pieces[rng() % pieces.size()];
    reference::Entries expected;
    const bool expectedOk = reference::LoadRequest(content, expected);

    FakeEngine f;
    f.fs.readChunk = 1 + rng() % 5;
    f.fs.AddFile("r", content);
    ASSERT_EQ(LoadRequestFile(f.engine, "r"), expectedOk) << content;
    ASSERT_EQ(f.state.g_requestParameters.Size(), expected.size()) << content;
    for (const auto& [key, value] : expected) {
      ASSERT_EQ(*f.state.g_requestParameters.Find(key), value) << content;
    }
  }
}

TEST(DifferentialTest, ParameterScan) {
  std::mt19937 rng(11);
  for (int i = 0; i < 20000; ++i) {
    const std::string s = RandomText(rng, "ab_- \"=\t", 16);
    const std::string key = RandomText(rng, "ab", 2);
    std::string expected;
    try {
      expected = reference::FindInParameterString(s, key);
    } catch (const std::exception&) {
      expected = "<fails>";
    }
    EngineState state;
    state.g_parameterString = s;
    std::string actual;
    try {
      actual = FindInParameterString(state, key);
    } catch (const std::exception&) {
      actual = "<fails>";
    }
    ASSERT_EQ(actual, expected) << "[" << s << "] key [" << key << "]";
  }
}

TEST(DifferentialTest, PathNormalization) {
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    const std::string path = RandomText(rng, "/\\@a", 14);
    ASSERT_EQ(NormalizeRequestPath(path), reference::NormalizeRequestPath(path)) << path;
  }
}

TEST(DifferentialTest, SixteenBitLimitsAgree) {
  const std::string pad(32764, 'p');
  for (const std::string tail : {"\\@", "/\\@", "a\\@", "\\\\@", "aa/\\@", "aaa\\@"}) {
    std::string expected, actual;
    try {
      expected = reference::NormalizeRequestPath(pad + tail);
    } catch (const std::exception&) {
      expected = "<fails>";
    }
    try {
      actual = NormalizeRequestPath(pad + tail);
    } catch (const std::exception&) {
      actual = "<fails>";
    }
    EXPECT_EQ(actual, expected) << tail;
  }
}

}  // namespace
}  // namespace engine::testing
