#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace engine {

/// Sequential, buffered reading of an open text file, one character or one
/// run of characters at a time.
class TextReader {
 public:
  explicit TextReader(std::unique_ptr<ReadableFile> file, std::size_t bufferSize = 64 * 1024);

  /// Whether every character has been read. May read ahead (and then fail
  /// like any read).
  bool AtEnd();

  /// Appends the characters up to, not including, the next CR or LF to |line|
  /// and consumes them. Returns true when it stopped at a CR or LF, which it
  /// consumes too, false at the end of the file.
  bool ReadUntilLineBreak(std::string& line);

  /// The characters up to the next CR or LF, which is consumed too, or up to
  /// the end of the file. A line that lies whole in the buffer is returned in
  /// place, without a copy; one that doesn't is gathered in |scratch|. Either
  /// way the view is valid until the next call on this reader. Call only when
  /// not AtEnd().
  std::string_view ReadLineView(std::string& scratch);

 private:
  bool Fill();

  std::unique_ptr<ReadableFile> file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
};

}  // namespace engine
