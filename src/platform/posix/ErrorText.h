#pragma once

// The texts of the POSIX layer's failures: "call(subject): reason", the reason
// the C library's words for an errno value where there is one.

#include <cstring>
#include <string>
#include <string_view>

#include "platform/FailureText.h"

namespace engine {

/// "call(subject): <strerror(error)>".
inline std::string DescribeFailure(std::string_view call, std::string_view subject, int error) {
  return DescribeFailure(call, subject, std::strerror(error));
}

}  // namespace engine
