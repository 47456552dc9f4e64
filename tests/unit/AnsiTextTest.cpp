#include <gtest/gtest.h>

#include "AnsiText.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

TEST(CharacterCounterTest, CountsUtf16UnitsWhereCharactersBegin) {
  const AnsiCharacters sjis = DoubleByte932();
  const struct {
    const char* rule;
    const AnsiCharacters& characters;
    std::string text;
    const char* begins;  // per byte, whether it begins a character
    std::size_t units;
  } rows[] = {
      {"932: a \"\\\" continues a double-byte character", sjis, "a\x95\x5C@", "1101", 3},
      {"932: no second byte below 0x40, nor at the end", sjis, "\x81?\x81" "a\x81", "11101", 4},
      {"UTF-8: surrogate pairs", kUtf8, "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", "10001000", 4},
      {"UTF-8: cut short, one replacement character", kUtf8, "\xF0\x9F\x98" "a", "1001", 2},
      {"UTF-8: overlong, surrogate, past U+10FFFF", kUtf8, "\xE0\x80\xED\xA0\xF4\x90", "111111", 6},
      // Each bound of the well-formed ranges, from inside and from outside.
      {"UTF-8: C2 80 and DF BF are two-byte characters", kUtf8, "\xC2\x80\xDF\xBF\xBF", "10101", 3},
      {"UTF-8: C1 and F5 begin nothing", kUtf8, "\xC1\x80\xF5\x80", "1111", 4},
      {"UTF-8: E0 A0 80 and EF BF BF; not E0 9F", kUtf8, "\xE0\xA0\x80\xEF\xBF\xBF\xE0\x9F",
       "10010011", 4},
      {"UTF-8: ED 9F BF is U+D7FF", kUtf8, "\xED\x9F\xBF", "100", 1},
      {"UTF-8: F0 90 80 80 and F4 8F BF BF; not F0 8F", kUtf8,
       "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\xF0\x8F", "1000100011", 6},
  };
  for (const auto& row : rows) {
    CharacterCounter counter(row.characters);
    std::string begins;
    for (const char b : row.text) begins += counter.Take(static_cast<unsigned char>(b)) ? '1' : '0';
    EXPECT_EQ(begins, row.begins) << row.rule;
    EXPECT_EQ(counter.Units(), row.units) << row.rule;
  }
}

// Every query at every offset up to one past the end, as one text per query.
TEST(AnsiTextTest, QueriesAtLeadAndTrailBytesAndPastTheEnd) {
  const AnsiCharacters single{}, sjis = DoubleByte932();
  const struct {
    const char* rule;
    const AnsiCharacters& characters;
    std::string text;
    const char* walk;    // "offset:position" from 0 on, by Next
    const char* begins;  // Begin(offset) for each offset
    const char* find;    // Find of "\", "@", "a" from 0 and of "a" from 2 (- for npos)
    std::string slashes;  // ReplaceCharacter "\" by "/"
  } rows[] = {
      {"single bytes", single, "a\x95\\@", "0:1 1:2 2:3 3:4 4:5 5:6", "01234", "2 3 0 -",
       "a\x95/@"},
      {"932: a trail byte \"\\\" is no character", sjis, "a\x95\\@\\", "0:1 1:2 3:3 4:4 5:5 6:6",
       "013345", "4 3 0 -", "a\x95\\@/"},
      {"932: a lead byte stands alone before a byte below 0x40 and at the end", sjis,
       "\x81?\\\x81" "a\x81", "0:1 1:2 2:3 3:4 5:5 6:6 7:7", "0123556", "2 - - -",
       "\x81?/\x81" "a\x81"},
      {"932: a trail byte \"a\" is found from the next character on", sjis, "\x81" "aa",
       "0:1 2:2 3:3 4:4", "0223", "- - 2 2", "\x81" "aa"},
      {"UTF-8: four bytes count two units", kUtf8, "a\xC3\xA9\xF0\x9F\x98\x80\\",
       "0:1 1:2 3:3 7:5 8:6 9:7", "013377778", "7 - 0 -", "a\xC3\xA9\xF0\x9F\x98\x80/"},
      {"UTF-8: a sequence cut short is one character", kUtf8, "\xE3\x81\\a",
       "0:1 2:2 3:3 4:4 5:5", "02234", "2 - 3 3", "\xE3\x81/a"},
  };
  for (const auto& row : rows) {
    const AnsiText text(row.characters, row.text);
    std::string walk, begins, find;
    for (std::size_t at = 0; at <= row.text.size() + 1; at = text.Next(at)) {
      walk += (walk.empty() ? "" : " ") + std::to_string(at) + ":" + std::to_string(text.Position(at));
    }
    for (std::size_t at = 0; at <= row.text.size(); ++at) begins += std::to_string(text.Begin(at));
    for (const auto& [needle, from] : {std::pair{"\\", 0}, {"@", 0}, {"a", 0}, {"a", 2}}) {
      const std::size_t at = text.Find(needle, from);
      find += (find.empty() ? "" : " ") + (at == std::string::npos ? "-" : std::to_string(at));
    }
    EXPECT_EQ(walk, row.walk) << row.rule;
    EXPECT_EQ(begins, row.begins) << row.rule;
    EXPECT_EQ(find, row.find) << row.rule;
    EXPECT_EQ(text.Find("a", row.text.size() + 1), std::string::npos) << row.rule;
    EXPECT_EQ(ReplaceCharacter(row.characters, row.text, '\\', '/'), row.slashes) << row.rule;
  }
}

}  // namespace
}  // namespace engine::testing
