#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "EngineError.h"
#include "platform/FileSystem.h"

namespace engine {

/// Sequential reading of an open text file through one fixed buffer, so that
/// memory doesn't grow with the file or with its lines.
class TextReader {
 public:
  explicit TextReader(std::unique_ptr<ReadableFile> file, std::size_t bufferSize = 64 * 1024);

  /// Whether every character has been read. Reads ahead when the buffer is
  /// used up (and then fails like any read).
  bool AtEnd() { return !Fill(); }

  /// The next piece of the current line: the characters up to the next CR or
  /// LF, or up to the end of what the buffer holds, consumed. |lineBreak| is
  /// set when a CR or LF ended the piece (consumed too, not part of it). The
  /// view is valid until the next call. Call only right after AtEnd() said
  /// false.
  std::string_view ReadPiece(bool& lineBreak);

 private:
  bool Fill() { return pos_ < end_ || Refill(); }
  bool Refill();

  std::unique_ptr<ReadableFile> file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

/// Hands the next line of |file|, without its CR or LF, to |onPiece| in one
/// or more pieces: a line longer than the reader's buffer comes in several,
/// so that nobody has to hold a whole line. Throws when the file is already at
/// its end.
template <typename OnPiece>
void ReadTextLine(TextReader& file, OnPiece&& onPiece) {
  if (file.AtEnd()) throw EngineError("Input past end of file");
  bool lineBreak;  // set by every piece
  do {
    onPiece(file.ReadPiece(lineBreak));
  } while (!lineBreak && !file.AtEnd());
}

}  // namespace engine
