#pragma once

#include <array>
#include <cstdint>

namespace engine {

/// How the system's ANSI code page spells its characters, as far as the
/// engine's text rules need to know: where one character ends and the next
/// begins.
struct AnsiCharacters {
  enum class Kind : std::uint8_t {
    SingleByte,  // every byte one character (1252 and the other Western pages)
    DoubleByte,  // a lead byte and the byte after it make one character (932, 936, 949, 950)
    Utf8,        // UTF-8 as the system code page (65001)
  };
  Kind kind = Kind::SingleByte;
  /// For DoubleByte: the bytes that open a two-byte character.
  std::array<bool, 256> leadByte{};
};

/// The ANSI code page in which the host writes every text the engine reads.
class CodePage {
 public:
  virtual ~CodePage() = default;

  /// How this process's ANSI code page spells characters. Never fails: a code
  /// page the system can't describe reads as single-byte.
  virtual AnsiCharacters Characters() = 0;
};

}  // namespace engine
