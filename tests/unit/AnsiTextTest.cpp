#include <gtest/gtest.h>

#include "AnsiText.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

TEST(CharacterCounterTest, CountsUtf16UnitsWhereCharactersBegin) {
  const AnsiCharacters utf8{AnsiCharacters::Kind::Utf8, {}};
  const AnsiCharacters sjis = DoubleByte932();
  const struct {
    const AnsiCharacters& characters;
    std::string text;
    const char* begins;
    std::size_t units;
  } cases[] = {
      {sjis, "a\x95\x5C@", "1101", 3},          // the "\" continues the double-byte character
      {sjis, "\x81?\x81" "a\x81", "11101", 4},  // no second byte below 0x40, nor at the end
      {utf8, "a\xC3\xA9\xE8\xA1\xA8\xC3\xBF", "11010010", 4},
      {utf8, "\xE3\x81\xC0\xF0\x80\x80", "101111", 5},  // cut short; overlong
      {utf8, "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", "10001000", 4},  // surrogate pairs
      {utf8, "\xF0\x9F\x98" "a", "1001", 2},      // cut short: one replacement character
      {utf8, "\xE0\x80\xED\xA0\xF4\x90", "111111", 6},  // overlong, surrogate, past U+10FFFF
  };
  for (const auto& c : cases) {  // per byte, whether it begins a character
    CharacterCounter counter(c.characters);
    std::string begins;
    for (const char b : c.text) begins += counter.Take(static_cast<unsigned char>(b)) ? '1' : '0';
    EXPECT_EQ(begins, c.begins) << c.text;
    EXPECT_EQ(counter.Units(), c.units) << c.text;
  }
}

}  // namespace
}  // namespace engine::testing
