#include "RequestReader.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "AnsiText.h"
#include "EngineError.h"
#include "HostProtocol.h"

namespace engine {
namespace {

using protocol::kEndLine;
using protocol::kSectionLine;

// Whether a line, seen piece by piece, contains the section line's text where
// a character begins. Only the tail that could start a match across two
// pieces is kept, from a character's beginning.
class SectionLine {
 public:
  explicit SectionLine(const AnsiCharacters& characters) : characters_(characters) {}

  void Add(std::string_view piece) {
    if (found_) return;
    if (carry_.empty() && characters_.kind != AnsiCharacters::Kind::DoubleByte) {
      // Every ASCII byte is a whole character here: no copy needed.
      found_ = piece.find(kSectionLine) != std::string_view::npos;
      carry_.assign(piece.substr(piece.size() - std::min(piece.size(), kCarry)));
      return;
    }
    carry_.append(piece);
    const AnsiText text(characters_, carry_);
    found_ = text.Find(kSectionLine) != std::string::npos;
    carry_.erase(0, text.Begin(carry_.size() - std::min(carry_.size(), kCarry)));
  }
  bool Found() const { return found_; }

 private:
  static constexpr std::size_t kCarry = kSectionLine.size();
  const AnsiCharacters& characters_;
  std::string carry_;  // the last characters so far, enough to start the text
  bool found_ = false;
};

// One entry line, seen piece by piece. It checks what can fail the load (the
// position of the first "=") and keeps the line only when its key is one the
// engine looks up and the first of its kind; any other line is let go as it
// passes, so memory grows neither with the request nor with its lines.
class EntryLine {
 public:
  EntryLine(ParameterTable& table, const AnsiCharacters& characters)
      : table_(table), characters_(characters), counter_(characters) {}

  void Add(std::string_view piece) {
    if (keep_) {
      value_.append(piece);
      return;
    }
    // A line let go, or nothing to see (the empty line a CR LF pair yields).
    if (equals_ != std::string_view::npos || piece.empty()) return;
    const std::size_t eq = FindEquals(piece);
    if (eq == std::string_view::npos) {
      // Only a short start can still turn out to be a looked-up key or the end line.
      if (length_ + piece.size() <= kHead) head_.append(piece);
      length_ += piece.size();
      return;
    }
    equals_ = length_ + eq;
    Check16(unitsBefore_ + 2);  // the 1-based position of the value, past the "="
    std::string_view key = piece.substr(0, eq);
    if (length_ > 0) {  // the key began in an earlier piece
      if (equals_ > kHead) return;
      head_.append(key);
      key = head_;
    }
    keep_ = IsLookedUpKey(key) && !table_.Find(key);
    if (keep_) {
      key_.assign(key);
      value_.assign(piece.substr(eq + 1));
    }
  }

  // Ends the line: stores a kept entry and tells whether it was the end line.
  bool End() {
    const bool endLine =
        equals_ == std::string_view::npos && length_ == kEndLine.size() && head_ == kEndLine;
    if (keep_) table_.Add(key_, std::move(value_));
    head_.clear();
    length_ = 0;
    equals_ = std::string_view::npos;
    keep_ = false;
    counter_.Reset();
    return endLine;
  }

 private:
  // The offset in |piece| of the line's first "=" that is a character of its
  // own, or npos; sets unitsBefore_ to the characters before it in the line,
  // as the host counts them.
  std::size_t FindEquals(std::string_view piece) {
    if (characters_.kind == AnsiCharacters::Kind::SingleByte) {
      const std::size_t eq = piece.find('=');
      unitsBefore_ = length_ + eq;
      return eq;
    }
    // Walked on a local copy, which the compiler keeps in registers: every
    // byte of a double-byte request passes through here.
    CharacterCounter counter = counter_;
    std::size_t i = 0;
    while (i < piece.size() &&
           !(counter.Take(static_cast<unsigned char>(piece[i])) && piece[i] == '='))
      ++i;
    counter_ = counter;
    if (i == piece.size()) return std::string_view::npos;
    unitsBefore_ = counter.Units() - 1;
    return i;
  }

  // Enough of a line's start for the longest looked-up key and for the end line.
  static constexpr std::size_t kHead = std::max(protocol::keys::kLongest, kEndLine.size());

  ParameterTable& table_;
  const AnsiCharacters& characters_;
  CharacterCounter counter_;  // the line's characters up to its first "=" (multi-byte code pages)
  std::size_t unitsBefore_ = 0;  // characters before the first "="
  std::string head_;             // the line's start, while it spans pieces and is short
  std::string key_;              // a kept entry's key
  std::string value_;            // a kept entry's whole value
  std::size_t length_ = 0;       // characters before the first "=", so far
  std::size_t equals_ = std::string_view::npos;  // 0-based position of the first "="
  bool keep_ = false;
};

}  // namespace

void ReadRequest(TextReader& file, const AnsiCharacters& characters, ParameterTable& table) {
  if (file.AtEnd()) return;  // an empty file reads as no entries
  // No end-of-file test while skipping, nor before the first entry: a file
  // without the section line, or with nothing after it, reads past its end
  // and fails.
  for (bool found = false; !found;) {
    SectionLine section(characters);
    ReadTextLine(file, [&section](std::string_view piece) { section.Add(piece); });
    found = section.Found();
  }
  EntryLine entry(table, characters);
  do {
    ReadTextLine(file, [&entry](std::string_view piece) { entry.Add(piece); });
  } while (!entry.End() && !file.AtEnd());  // up to the end line
}

}  // namespace engine
