#pragma once

// The texts the engine exchanges with a host and with the application it
// drives, each spelled once. Hosts match them byte for byte.

#include <string_view>

namespace engine::protocol {

/// Opens the entries of a request data file, and the PID report and the
/// result data file the engine writes; the end line closes each.
inline constexpr std::string_view kSectionLine = "@Properties LocalData";
inline constexpr std::string_view kEndLine = "@end";

/// Console lines.
inline constexpr std::string_view kLoading = "Loading hda";
inline constexpr std::string_view kWritingResults = "!nxWritingNativeResults";
inline constexpr std::string_view kErrorUpdatingPids = "!nxErrorUpdatingPIDs";
inline constexpr std::string_view kScriptErrorPrefix = "error returned by script: ";

/// The fatal message box's text, for a command text naming nothing.
inline constexpr std::string_view kNoDataPassed =
    "Fatal Error; No data passed to the conversion engine";

/// The description of a request that can't be parsed, and its status code.
inline constexpr std::string_view kUnableToParse = "Conversion engine unable to parse input data";
inline constexpr short kStatusUnparsable = -3;

/// The driven application: its automation class and the executable name the
/// PID report looks for.
inline constexpr std::string_view kApplicationProgId = "photoshop.application";
inline constexpr std::string_view kApplicationImage = "Photoshop.exe";

}  // namespace engine::protocol
