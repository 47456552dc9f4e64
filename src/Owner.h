#pragma once

// The one owner of an outside resource that a plain value names (a kernel
// handle, a string or array of the automation runtime, a process handle of the
// census port): move-only, released once. Free of platform headers, so that the
// ports use it as the Win32 layer does.

#include <utility>

namespace engine {

/// Owns |T| (a value equal to T{} is "none"): |release(value)| runs once for a
/// value that is not none, when the owner is reset, reassigned or destroyed.
/// |Releaser| may carry state (the port that closes the value).
template <typename T, typename Releaser>
class Owner {
 public:
  Owner() = default;
  explicit Owner(T value, Releaser release = Releaser()) : value_(value), release_(release) {}
  ~Owner() { Reset(); }
  Owner(Owner&& other) noexcept
      : value_(std::exchange(other.value_, T{})), release_(other.release_) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = std::exchange(other.value_, T{});
      release_ = other.release_;
    }
    return *this;
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;

  T Get() const { return value_; }
  /// For a callee that stores a value here; releases the current one first.
  T* Put() {
    Reset();
    return &value_;
  }
  /// For a callee that may replace the value in place (an [in, out] argument):
  /// whatever sits here at the end is released.
  T* InOut() { return &value_; }
  /// Gives the value up without releasing it.
  T Release() { return std::exchange(value_, T{}); }
  void Reset() {
    if (value_ != T{}) release_(std::exchange(value_, T{}));
  }

 private:
  T value_{};
  [[no_unique_address]] Releaser release_{};
};

}  // namespace engine
