#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "Fakes.h"

namespace engine::fuzzing {

/// The file being replayed, which a failure names (Replay.cpp sets it; the
/// fuzzer keeps the inputs it fails on itself).
inline std::string g_input;

/// A property that must hold for every input was violated: says where and on
/// which input, and aborts, so that the fuzzer keeps the input. Replaying it
/// under a debugger shows the values.
[[noreturn]] inline void Violated(const char* where, const char* what) {
  std::fprintf(stderr, "%s: property violated: %s\n", where, what);
  if (!g_input.empty()) std::fprintf(stderr, "  input: %s\n", g_input.c_str());
  std::abort();
}

}  // namespace engine::fuzzing

#define FUZZ_STRING(x) #x
#define FUZZ_WHERE(line) __FILE__ ":" FUZZ_STRING(line)
#define FUZZ_CHECK(condition) \
  ((condition) ? void() : ::engine::fuzzing::Violated(FUZZ_WHERE(__LINE__), #condition))
#define FUZZ_CHECK_EQ(actual, expected) FUZZ_CHECK((actual) == (expected))

namespace engine::fuzzing {

/// Splits the input at its first NUL byte into two texts (the second empty
/// when there is none), so one input can carry a key and a string, say.
inline std::pair<std::string, std::string> SplitAtNul(const std::uint8_t* data, std::size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = all.find('\0');
  if (nul == std::string::npos) return {all, ""};
  return {all.substr(0, nul), all.substr(nul + 1)};
}

/// Runs |rule| (the text it gives for a code page's characters) over the
/// multi-byte code pages, 932 and UTF-8, where it may throw but must not crash;
/// where every byte of |input| is ASCII it must give |singleByte|, what it gave
/// over single bytes (nullopt: it threw).
template <typename Rule>
void CheckMultiByte(std::string_view input, const std::optional<std::string>& singleByte,
                    Rule&& rule) {
  const bool ascii = std::ranges::all_of(input, [](unsigned char c) { return c < 0x80; });
  for (const AnsiCharacters& characters :
       {testing::DoubleByte932(), AnsiCharacters{AnsiCharacters::Kind::Utf8, {}}}) {
    std::optional<std::string> outcome;
    try {
      outcome = rule(characters);
    } catch (const std::exception&) {
    }
    if (ascii) FUZZ_CHECK(outcome == singleByte);
  }
}

}  // namespace engine::fuzzing
