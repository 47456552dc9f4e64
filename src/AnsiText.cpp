#include "AnsiText.h"

#include <algorithm>

namespace engine {

bool CharacterCounter::TakeUtf8(unsigned char b) {
  if (pending_ > 0 && b >= low_ && b <= high_) {
    low_ = 0x80;
    high_ = 0xBF;
    if (--pending_ == 0 && surrogates_) ++units_;
    return false;
  }
  // A new character; an unfinished sequence before it was one replacement
  // character, already counted.
  ++units_;
  pending_ = 0;
  surrogates_ = false;
  low_ = 0x80;
  high_ = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    pending_ = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    pending_ = 2;
    if (b == 0xE0) low_ = 0xA0;   // no overlong forms
    if (b == 0xED) high_ = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    pending_ = 3;
    surrogates_ = true;
    if (b == 0xF0) low_ = 0x90;
    if (b == 0xF4) high_ = 0x8F;  // nothing past U+10FFFF
  }
  return true;
}

AnsiText::AnsiText(const AnsiCharacters& characters, std::string_view text)
    : kind_(characters.kind), text_(text) {
  if (kind_ == AnsiCharacters::Kind::SingleByte) return;
  index_.reserve(text_.size() + 1);
  CharacterCounter counter(characters);
  for (const char c : text_) {
    const auto units = static_cast<std::uint32_t>(counter.Units());
    index_.push_back(counter.Take(static_cast<unsigned char>(c)) ? units | kBegins : units);
  }
  index_.push_back(static_cast<std::uint32_t>(counter.Units()) | kBegins);
}

std::size_t AnsiText::Find(std::string_view needle, std::size_t from) const {
  std::size_t at = text_.find(needle, from);
  // In UTF-8 an ASCII byte never belongs to a longer sequence.
  if (kind_ != AnsiCharacters::Kind::DoubleByte) return at;
  while (at != std::string_view::npos && !BeginsCharacter(at)) at = text_.find(needle, at + 1);
  return at;
}

std::size_t AnsiText::Position(std::size_t at) const {
  if (index_.empty()) return at + 1;
  const std::size_t inside = std::min(at, text_.size());
  return (index_[inside] & ~kBegins) + 1 + (at - inside);
}

std::string ReplaceCharacter(const AnsiCharacters& characters, std::string text, char from,
                             char to) {
  if (characters.kind != AnsiCharacters::Kind::DoubleByte) {
    // Single bytes, or UTF-8, where an ASCII byte is always a whole character.
    for (char& c : text) {
      if (c == from) c = to;
    }
    return text;
  }
  CharacterCounter counter(characters);
  for (char& c : text) {
    if (counter.Take(static_cast<unsigned char>(c)) && c == from) c = to;
  }
  return text;
}

}  // namespace engine
