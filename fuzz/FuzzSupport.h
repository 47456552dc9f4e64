#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "Fakes.h"

#define FUZZ_CHECK(condition) \
  ((condition) ? void() : ::engine::fuzzing::Violated(__FILE__, __LINE__, #condition))

namespace engine::fuzzing {

/// The file being replayed, which a failure names (Replay.cpp sets it).
inline std::string g_input;

/// A property that must hold for every input was violated: says where and on
/// which input, and aborts, so that the fuzzer keeps the input.
[[noreturn]] inline void Violated(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, what);
  if (!g_input.empty()) std::fprintf(stderr, "  input: %s\n", g_input.c_str());
  std::abort();
}

/// Splits the input at its first NUL byte into two texts (the second empty
/// when there is none), so one input can carry a key and a string, say.
inline std::pair<std::string, std::string> SplitAtNul(const std::string& all) {
  const std::size_t nul = std::min(all.find('\0'), all.size());
  return {all.substr(0, nul), all.substr(std::min(nul + 1, all.size()))};
}

/// What |rule| gives, or nullopt where it throws.
template <typename Rule>
std::optional<std::string> Outcome(Rule&& rule) {
  try {
    return rule();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

/// What |rule| (a text from a code page's characters) gives over single bytes,
/// as Outcome. Over the multi-byte code pages, 932 and UTF-8, it may throw but
/// must not crash, and where every byte of |input| is ASCII it must give the same.
template <typename Rule>
std::optional<std::string> AcrossCodePages(const std::string& input, Rule&& rule) {
  const auto singleByte = Outcome([&] { return rule(AnsiCharacters{}); });
  const bool ascii = std::ranges::all_of(input, [](unsigned char c) { return c < 0x80; });
  for (const AnsiCharacters& characters :
       {testing::DoubleByte932(), testing::kUtf8}) {
    const auto outcome = Outcome([&] { return rule(characters); });
    if (ascii) FUZZ_CHECK(outcome == singleByte);
  }
  return singleByte;
}

}  // namespace engine::fuzzing
