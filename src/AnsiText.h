#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"

namespace engine {

/// Takes the bytes of ANSI text one at a time and tells where characters
/// begin, counting them as UTF-16 code units: the positions the host's
/// arithmetic uses. A double-byte character counts one; a UTF-8 sequence that
/// needs a surrogate pair counts two; a byte that starts no valid sequence
/// counts one, as the system's conversion turns it into one replacement
/// character; so does a lead byte without a second byte. Text may arrive in
/// pieces: the state carries over.
class CharacterCounter {
 public:
  explicit CharacterCounter(const AnsiCharacters& characters) : characters_(&characters) {}

  /// Takes byte |b|; returns whether it begins a character.
  bool Take(unsigned char b) {
    switch (characters_->kind) {
      case AnsiCharacters::Kind::SingleByte: break;
      case AnsiCharacters::Kind::DoubleByte:
        if (pending_ > 0) {
          pending_ = 0;
          // No double-byte code page has a second byte below 0x40: a lead
          // byte before a control character, a blank, a quote, "-", "/" or
          // "=" stands alone, and that character keeps its meaning.
          if (b >= 0x40) return false;
        }
        pending_ = characters_->leadByte[b];
        break;
      case AnsiCharacters::Kind::Utf8: return TakeUtf8(b);
    }
    ++units_;
    return true;
  }

  std::size_t Units() const { return units_; }

  /// Starts afresh: a line break ends every character.
  void Reset() {
    units_ = 0;
    pending_ = 0;
  }

 private:
  bool TakeUtf8(unsigned char b);

  const AnsiCharacters* characters_;
  std::size_t units_ = 0;
  int pending_ = 0;           // bytes the current character still expects
  unsigned char low_{};  // the range its next byte must lie in (UTF-8; set by its first)
  unsigned char high_{};
  bool surrogates_ = false;   // the current sequence becomes two units (UTF-8)
};

/// A text in the ANSI code page, looked at character by character: a rule
/// looking for "\" or "@" never takes the second byte of a double-byte
/// character for one. Offsets are bytes; positions count as the host does.
///
/// Over a multi-byte code page the text is walked once, when the object is
/// made, into an index of where characters begin and how many UTF-16 units
/// precede each byte (four bytes per byte of text, which
/// is why texts must stay under 2 GB); every query then costs the
/// same in any order. Over a single-byte code page there is nothing to index.
/// The text must outlive the object and keep its characters where they begin.
class AnsiText {
 public:
  AnsiText(const AnsiCharacters& characters, std::string_view text);

  /// Whether byte offset |at| begins a character; so does the end and
  /// everything past it.
  bool BeginsCharacter(std::size_t at) const {
    return at >= text_.size() || index_.empty() || (index_[at] & kBegins) != 0;
  }

  /// Byte offset of the first |needle| (ASCII characters only) at or after
  /// |from| that begins a character, or npos (also past the end).
  std::size_t Find(std::string_view needle, std::size_t from = 0) const;

  /// Byte offset of the character after the one at |at|; one past |at| at
  /// or beyond the end, as if the text went on in single bytes.
  std::size_t Next(std::size_t at) const { return Begin(at + 1); }

  /// The 1-based position of the character at byte offset |at| (which begins
  /// one), in UTF-16 code units; beyond the end each byte counts one.
  std::size_t Position(std::size_t at) const;

  /// The first byte offset at or after |at| that begins a character.
  std::size_t Begin(std::size_t at) const {
    while (!BeginsCharacter(at)) ++at;
    return at;
  }

  /// Whether the character at |at| (which begins one) is the ASCII |c|.
  bool Is(std::size_t at, char c) const {
    return text_.substr(std::min(at, text_.size())).starts_with(c);
  }

 private:
  // Per byte: the UTF-16 units before it, and kBegins where a character
  // begins; one more entry for the end. Empty over single bytes.
  static constexpr std::uint32_t kBegins = 0x80000000;

  AnsiCharacters::Kind kind_;
  std::string_view text_;
  std::vector<std::uint32_t> index_;
};

/// |text| with every single-byte character |from| turned into |to|.
std::string ReplaceCharacter(const AnsiCharacters& characters, std::string text, char from,
                             char to);

}  // namespace engine
