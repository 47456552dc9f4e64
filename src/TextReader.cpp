#include "TextReader.h"

#include <cstdint>
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

namespace {

// Index of the first CR or LF in [begin, begin + n), or n. Eight bytes at a
// time: a word without any byte below 14 can hold neither, and most words of
// a request are plain text.
std::size_t FindLineBreak(const char* begin, std::size_t n) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHighs = 0x8080808080808080ull;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, begin + i, 8);
    if (((word - kOnes * 14) & ~word & kHighs) == 0) continue;  // every byte is 14 or more
    for (std::size_t j = i; j < i + 8; ++j) {
      if (begin[j] == '\n' || begin[j] == '\r') return j;
    }
  }
  for (; i < n; ++i) {
    if (begin[i] == '\n' || begin[i] == '\r') return i;
  }
  return n;
}

}  // namespace

std::string_view TextReader::ReadLineView(std::string& scratch) {
  if (Fill()) {
    const char* begin = buffer_.get() + pos_;
    const std::size_t n = end_ - pos_;
    const std::size_t i = FindLineBreak(begin, n);
    if (i < n) {
      pos_ += i + 1;
      return std::string_view(begin, i);
    }
  }
  scratch.clear();
  ReadUntilLineBreak(scratch);
  return scratch;
}

bool TextReader::ReadUntilLineBreak(std::string& line) {
  while (Fill()) {
    const char* begin = buffer_.get() + pos_;
    const std::size_t n = end_ - pos_;
    const std::size_t i = FindLineBreak(begin, n);
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
