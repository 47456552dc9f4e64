#include "TextReader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace engine {

TextReader::TextReader(std::unique_ptr<ReadableFile> file, std::size_t bufferSize)
    : file_(std::move(file)), buffer_(new char[bufferSize]), capacity_(bufferSize) {}

bool TextReader::Refill() {
  pos_ = 0;
  end_ = file_->Read(buffer_.get(), capacity_);
  return end_ > 0;
}


namespace {

// Index of the first CR or LF in [begin, begin + n), or n. Sixteen bytes at a
// time where the processor has vector compares (every x86_64 does): most
// bytes of a request are plain text.
std::size_t FindLineBreak(const char* begin, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; i + 16 <= n; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + i));
    const int hits = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
    if (hits != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
  }
#endif
  for (; i < n; ++i) {
    if (begin[i] == '\n' || begin[i] == '\r') return i;
  }
  return n;
}

}  // namespace

std::string_view TextReader::ReadPiece(bool& lineBreak) {
  const char* begin = buffer_.get() + pos_;
  const std::size_t n = end_ - pos_;
  const std::size_t i = FindLineBreak(begin, n);
  lineBreak = i < n;
  pos_ += lineBreak ? i + 1 : i;
  return std::string_view(begin, i);
}

}  // namespace engine
