#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Fakes.h"

// A property that must hold for every input; a violation aborts so the fuzzer
// keeps the input that shows it.
#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, \
                   #condition);                                                 \
      std::abort();                                                             \
    }                                                                           \
  } while (0)

namespace engine::fuzzing {

/// Splits the input at its first NUL byte into two texts (the second empty
/// when there is none), so one input can carry a key and a string, say.
inline std::pair<std::string, std::string> SplitAtNul(const std::uint8_t* data, std::size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = all.find('\0');
  if (nul == std::string::npos) return {all, ""};
  return {all.substr(0, nul), all.substr(nul + 1)};
}

/// The multi-byte code pages: their rules must never fail on any input, and
/// must give what the single-byte ones give where every byte is ASCII.
inline std::vector<AnsiCharacters> MultiByteCodePages() {
  return {testing::DoubleByte932(), AnsiCharacters{AnsiCharacters::Kind::Utf8, {}}};
}

inline bool Ascii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

/// What |rule| gives over |characters|: its result, or nullopt when it throws.
template <typename Rule>
std::optional<std::string> Outcome(Rule&& rule, const AnsiCharacters& characters) {
  try {
    return rule(characters);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace engine::fuzzing
