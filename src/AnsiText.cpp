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

bool AnsiText::WalkTo(std::size_t at) {
  if (at < walked_) {  // asked backwards: count again from the start
    counter_.Reset();
    walked_ = 0;
  }
  for (; walked_ < at && walked_ < text_.size(); ++walked_) {
    counter_.Take(static_cast<unsigned char>(text_[walked_]));
  }
  if (walked_ >= text_.size()) return true;
  // In UTF-8 the byte itself has its say too: an ASCII byte always begins one.
  CharacterCounter probe = counter_;
  return probe.Take(static_cast<unsigned char>(text_[walked_]));
}

std::size_t AnsiText::Find(std::string_view needle, std::size_t from) {
  std::size_t at = text_.find(needle, from);
  // In UTF-8 an ASCII byte never belongs to a longer sequence.
  if (characters_.kind != AnsiCharacters::Kind::DoubleByte) return at;
  while (at != std::string_view::npos && !WalkTo(at)) at = text_.find(needle, at + 1);
  return at;
}

std::size_t AnsiText::Next(std::size_t at) {
  if (SingleByte() || at >= text_.size()) return at + 1;
  CharacterCounter probe(characters_);
  std::size_t next = at;
  probe.Take(static_cast<unsigned char>(text_[next++]));
  while (next < text_.size()) {
    CharacterCounter after = probe;
    if (after.Take(static_cast<unsigned char>(text_[next]))) break;
    probe = after;
    ++next;
  }
  return next;
}

std::size_t AnsiText::Position(std::size_t at) {
  if (SingleByte()) return at + 1;
  const std::size_t inside = std::min(at, text_.size());
  WalkTo(inside);
  return counter_.Units() + 1 + (at - inside);
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
