#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "Fakes.h"

namespace engine::fuzzing {

/// The file being replayed, which a failure names (Replay.cpp sets it; the
/// fuzzer keeps the inputs it fails on itself).
inline std::string g_input;

/// |value| printable, from byte |from| on: other bytes as \xNN, long texts cut.
template <typename T>
std::string Shown(const T& value, std::size_t from = 0) {
  if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    const std::string_view text(value);
    std::string out = from > 0 ? "..." : "";
    for (unsigned char c : text.substr(std::min(from, text.size()), 200)) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, static_cast<char>(c)) : hex;
    }
    return out + (text.size() > from + 200 ? "... (" + std::to_string(text.size()) + " bytes)" : "");
  } else {
    return std::to_string(value);
  }
}

/// A property that must hold for every input was violated: says where, with
/// |sides| and the input, and aborts, so that the fuzzer keeps the input.
[[noreturn]] inline void Violated(const char* where, const char* what, const std::string& sides) {
  std::fprintf(stderr, "%s: property violated: %s%s\n", where, what, sides.c_str());
  if (!g_input.empty()) std::fprintf(stderr, "  input: %s\n", g_input.c_str());
  std::abort();
}

/// Both sides of an unequal pair, texts from shortly before their first difference.
template <typename A, typename B>
std::string Sides(const A& actual, const B& expected) {
  std::size_t from = 0;
  if constexpr (std::is_convertible_v<const A&, std::string_view>) {
    const std::string_view a(actual), b(expected);
    while (from < a.size() && from < b.size() && a[from] == b[from]) ++from;
    from = from > 40 ? from - 40 : 0;
  }
  return "\n  actual:   " + Shown(actual, from) + "\n  expected: " + Shown(expected, from);
}

}  // namespace engine::fuzzing

#define FUZZ_STRING(x) #x
#define FUZZ_WHERE(line) __FILE__ ":" FUZZ_STRING(line)
#define FUZZ_CHECK(condition) \
  ((condition) ? void() : ::engine::fuzzing::Violated(FUZZ_WHERE(__LINE__), #condition, ""))
// The two sides compared with ==; both are printed when they differ.
#define FUZZ_CHECK_EQ(actual, expected)                                                     \
  do {                                                                                      \
    const auto& a_ = (actual);                                                              \
    const auto& e_ = (expected);                                                            \
    if (!(a_ == e_)) {                                                                      \
      ::engine::fuzzing::Violated(FUZZ_WHERE(__LINE__), #actual " == " #expected,          \
                                  ::engine::fuzzing::Sides(a_, e_));                        \
    }                                                                                       \
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
