#pragma once

#include <stdexcept>
#include <string>

namespace engine {

/// A failure travelling up the call chain. what() is the description a host or a
/// log would see; procedures with their own handling catch it (or any
/// std::exception), the others let it pass.
class EngineError : public std::runtime_error {
 public:
  explicit EngineError(const std::string& description) : std::runtime_error(description) {}
};

/// Thrown where the engine ends the process on the spot (version query, the fatal
/// message box, a request that can't be parsed). Deliberately not a
/// std::exception, so that no failure handler along the way swallows it; the
/// program's entry catches it and returns.
struct ProcessEnd {};

/// Description of the failure of 16-bit position arithmetic.
inline constexpr const char* kOverflow = "Overflow";

}  // namespace engine
