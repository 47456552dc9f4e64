#pragma once

// The texts of the Win32 layer's failures: "call(subject): reason", the reason
// the system's own words where it has them. Free of <windows.h>, like the other
// headers of this layer.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FailureText.h"

namespace engine {

/// The system's description of |code| (FormatMessage, in the ANSI code page),
/// without the trailing line break; empty when the system has none.
std::string SystemText(std::uint32_t code);

/// SystemText(errorCode), or "error N" when the system has none.
std::string SystemErrorText(std::uint32_t errorCode);

/// "call(subject): <SystemErrorText(errorCode)>".
std::string DescribeFailure(std::string_view call, std::string_view subject,
                            std::uint32_t errorCode);

}  // namespace engine
