#pragma once

#include <string_view>

namespace engine {

/// The process's standard output.
class Console {
 public:
  virtual ~Console() = default;

  /// Writes |bytes| (already in the system's ANSI code page) to standard output
  /// with one write call. The standard output handle is fetched anew on every
  /// call. A missing standard output or a failing write loses the bytes; it
  /// never fails and never throws.
  virtual void Write(std::string_view bytes) = 0;
};

}  // namespace engine
