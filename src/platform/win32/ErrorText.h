#pragma once

// The texts of the Win32 layer's failures: "call(subject): reason", the reason
// the system's own words where it has them, for Win32 errors and HRESULTs.
// Free of <windows.h>, like the other headers of this layer.

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

/// |hr| as the system's tools print it: "0x8000FFFF".
std::string HresultHex(long hr);

/// The system's sentence for |hr|, without its line break and final period, so
/// that it reads well inside ours; empty when the system has none (Wine lacks
/// many of the automation and RPC texts).
std::string HresultText(long hr);

/// A reason clause for a failure that the application didn't describe itself:
/// the system's text, else ours for the failures a run is likely to meet, with
/// "(HRESULT 0x...)"; never empty.
std::string HresultReason(long hr);

/// "call(subject): <SystemErrorText(errorCode)>".
std::string DescribeFailure(std::string_view call, std::string_view subject,
                            std::uint32_t errorCode);

}  // namespace engine
