#include "TextReader.h"

#include <cstring>

namespace engine {

TextReader::TextReader(std::unique_ptr<ReadableFile> file, std::size_t bufferSize)
    : file_(std::move(file)), buffer_(new char[bufferSize]), capacity_(bufferSize) {}

bool TextReader::Fill() {
  if (pos_ < end_) return true;
  if (eof_) return false;
  pos_ = 0;
  end_ = file_->Read(buffer_.get(), capacity_);
  if (end_ == 0) eof_ = true;
  return end_ > 0;
}

bool TextReader::AtEnd() { return !Fill(); }

bool TextReader::ReadUntilLineBreak(std::string& line) {
  while (Fill()) {
    const char* begin = buffer_.get() + pos_;
    const std::size_t n = end_ - pos_;
    // The first LF, then the first CR before it: two vectorised scans beat
    // one byte-by-byte loop even on short lines.
    const void* lf = std::memchr(begin, '\n', n);
    const std::size_t limit = lf ? static_cast<const char*>(lf) - begin : n;
    const void* cr = std::memchr(begin, '\r', limit);
    const std::size_t i = cr ? static_cast<const char*>(cr) - begin : limit;
    line.append(begin, i);
    pos_ += i;
    if (i < n) {
      ++pos_;  // the line break itself is consumed, not kept
      return true;
    }
  }
  return false;
}

}  // namespace engine
