#pragma once

// The texts of the POSIX layer's failures: "call(subject): reason", the reason
// the C library's words for an errno value where there is one.

#include <cstring>
#include <string>
#include <string_view>

namespace engine {

/// "call(subject): reason", the shape of every failure the POSIX layer reports.
inline std::string DescribeFailure(std::string_view call, std::string_view subject,
                                   std::string_view reason) {
  std::string text;
  text.reserve(call.size() + subject.size() + reason.size() + 4);
  text.append(call).append("(").append(subject).append("): ").append(reason);
  return text;
}

/// "call(subject): <strerror(error)>".
inline std::string DescribeFailure(std::string_view call, std::string_view subject, int error) {
  return DescribeFailure(call, subject, std::strerror(error));
}

}  // namespace engine
