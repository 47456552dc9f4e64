#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <string>

namespace engine {

/// A failure travelling up the call chain, carrying the description a host or
/// a log would see. The description is length-counted and may hold any byte,
/// NUL included: read it with Description() (or DescriptionOf), never through
/// what(), which stops at the first NUL. Procedures with their own handling
/// catch it (or any std::exception), the others let it pass.
class EngineError : public std::exception {
 public:
  explicit EngineError(std::string description)
      : description_(std::make_shared<const std::string>(std::move(description))) {}

  const std::string& Description() const noexcept { return *description_; }
  const char* what() const noexcept override { return description_->c_str(); }

 private:
  // Shared, so that copying the failure while it is thrown can't throw.
  std::shared_ptr<const std::string> description_;
};

/// The whole description of |failure|: an EngineError's own, every byte of it;
/// what() for failures from the standard library (out of memory, say).
inline std::string DescriptionOf(const std::exception& failure) {
  if (const auto* own = dynamic_cast<const EngineError*>(&failure)) return own->Description();
  return failure.what();
}

/// Thrown where the engine ends the process on the spot (version query, the fatal
/// message box, a request that can't be parsed). Deliberately not a
/// std::exception, so that no failure handler along the way swallows it; the
/// program's entry catches it and returns.
struct ProcessEnd {};

/// Description of the failure of 16-bit position arithmetic.
inline constexpr const char* kOverflow = "Overflow";

/// Description of a lookup or text operation given an argument it can't take:
/// a missing key, a value whose end comes before its start.
inline constexpr const char* kInvalidCall = "Invalid procedure call or argument";

/// The largest 1-based character position or length the host's 16-bit
/// arithmetic holds.
inline constexpr std::size_t kMaxPosition16 = 32767;

/// Fails with kOverflow when |position| doesn't fit the host's 16 bits.
inline void Check16(std::size_t position) {
  if (position > kMaxPosition16) throw EngineError(kOverflow);
}

}  // namespace engine
