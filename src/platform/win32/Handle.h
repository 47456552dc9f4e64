#pragma once

// The one owner of a kernel handle for the Win32 layer, the stand-in and the
// Windows tests. Only <windows.h>: the file system includes it without the
// automation headers.

#include <windows.h>

#include <utility>

namespace engine {

/// Owns a kernel handle (null and INVALID_HANDLE_VALUE both mean none); closed
/// on destruction.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : value_(handle) {}
  ~Handle() { Reset(); }
  Handle(Handle&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = std::exchange(other.value_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE Get() const { return value_; }
  bool Valid() const { return value_ != nullptr && value_ != INVALID_HANDLE_VALUE; }
  void Reset() {
    if (Valid()) CloseHandle(value_);
    value_ = nullptr;
  }

 private:
  HANDLE value_ = nullptr;
};

}  // namespace engine
