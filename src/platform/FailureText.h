#pragma once

// The shape of every failure a platform layer reports: "call(subject): reason".
// Each platform supplies its own reasons (platform/<name>/ErrorText.h).

#include <string>
#include <string_view>

namespace engine {

inline std::string DescribeFailure(std::string_view call, std::string_view subject,
                                   std::string_view reason) {
  std::string text;
  text.reserve(call.size() + subject.size() + reason.size() + 4);
  text.append(call).append("(").append(subject).append("): ").append(reason);
  return text;
}

}  // namespace engine
