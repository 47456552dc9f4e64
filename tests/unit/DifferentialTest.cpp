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

// Loads |content| in both implementations, reading |chunk| bytes at a time,
// and compares what the engine can see of the result.
void ExpectSameLoad(const std::string& content, std::size_t chunk) {
  reference::Entries entries;
  const bool referenceOk = reference::LoadRequest(content, entries);
  FakeEngine f;
  f.fs.readChunk = chunk;
  f.fs.AddFile("r", content);
  const bool ok = LoadRequestFile(f.engine, "r");
  const auto find = [&](const std::string& key) -> std::optional<std::string> {
    auto value = f.state.g_requestParameters.Find(key);
    return value ? std::optional<std::string>(*value) : std::nullopt;
  };
  const auto lookup = [&](const std::string& key) { return reference::Lookup(entries, key); };
  ASSERT_EQ(reference::Visible(ok, find), reference::Visible(referenceOk, lookup))
      << content.substr(0, 200) << " (" << content.size() << " bytes)";
}

// Keys the engine looks up, in mixed case, among others it doesn't.
const std::vector<std::string> kKeys = {"script", "SCRIPT", "Script ", "scriptParams",
                                        "outputhdaFile", "OUTPUTHDAFILE", "parameters",
                                        "UsePhotoshopJsxDebug", "usephotoshopjsxdebug",
                                        "PhotoShopDAMCloseAfterEachRendition", "a", ""};

TEST(DifferentialTest, SmallRequestsInSmallReads) {
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {"@Properties LocalData", "@end", "=", "\r", "\n",
                                           "a", "@", " ", "v=1", "@end\n",
                                           std::string(40, 'x')};
  for (int i = 0; i < 5000; ++i) {
    std::string content;
    for (std::size_t n = rng() % 16; n > 0; --n) {
      content += rng() % 3 ? pieces[rng() % pieces.size()] : kKeys[rng() % kKeys.size()];
    }
    ExpectSameLoad(content, 1 + rng() % 5);
  }
}

TEST(DifferentialTest, LargeRequestsInRealReads) {
  // Thousands of entries, values over 256 KB, lines across 64 KB reads, and
  // "=" around the 16-bit limit.
  std::mt19937 rng(5);
  for (int i = 0; i < 12; ++i) {
    std::string content = std::string(rng() % 70000, 'h') + "@Properties LocalData\r\n";
    for (int n = 1000 + rng() % 3000; n > 0; --n) {
      const unsigned roll = rng() % 1000;
      if (roll == 0) {
        content += std::string(32764 + rng() % 4, 'k') + "=v";
      } else if (roll < 4) {
        content += kKeys[rng() % kKeys.size()] + "=" + std::string(256 * 1024 + rng() % 4096, 'L');
      } else if (roll < 8) {
        content += roll % 2 ? "@END" : "@end ";  // near misses; the real one comes last
      } else {
        content += kKeys[rng() % kKeys.size()] + (roll % 2 ? "=" : "") + RandomText(rng, "ab=@ ", 40);
      }
      content += roll % 3 ? "\n" : "\r\n";
    }
    if (i % 2) content += "@end\nscript=after the end\n";
    ExpectSameLoad(content, 64 * 1024);
  }
}

// What |f| returns, or "<fails>" when it throws.
template <typename F>
std::string Outcome(F&& f) {
  try {
    return f();
  } catch (const std::exception&) {
    return "<fails>";
  }
}

TEST(DifferentialTest, ParameterScan) {
  std::mt19937 rng(11);
  for (int i = 0; i < 20000; ++i) {
    EngineState state;
    state.g_parameterString = RandomText(rng, "ab_- \"=\t", 16);
    const std::string key = RandomText(rng, "ab", 2);
    ASSERT_EQ(Outcome([&] { return FindInParameterString(state, key); }),
              Outcome([&] { return reference::FindInParameterString(state.g_parameterString, key); }))
        << "[" << state.g_parameterString << "] key [" << key << "]";
  }
}

TEST(DifferentialTest, PathNormalizationAtTheSixteenBitLimit) {
  for (std::size_t length = 32760; length <= 32767; ++length) {
    for (const char* tail : {"/\\@x", "\\@x", "\\\\@x", "/\\@/\\@x"}) {
      const std::string path = std::string(length, 'p') + tail;
      EXPECT_EQ(Outcome([&] { return NormalizeRequestPath(path); }),
                Outcome([&] { return reference::NormalizeRequestPath(path); }))
          << length << " " << tail;
    }
  }
}

TEST(DifferentialTest, PathNormalization) {
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    // Now and then a long start, so that runs of escapes reach the 16-bit limit.
    std::string path(i % 20 == 0 ? 32750 + rng() % 16 : 0, 'p');
    for (std::size_t n = rng() % 6; n > 0; --n) path += rng() % 2 ? "/\\@" : "\\\\@";
    path += RandomText(rng, "/\\@a", 14);
    ASSERT_EQ(Outcome([&] { return NormalizeRequestPath(path); }),
              Outcome([&] { return reference::NormalizeRequestPath(path); }))
        << path.substr(path.size() > 20 ? path.size() - 20 : 0);
  }
}

}  // namespace
}  // namespace engine::testing
