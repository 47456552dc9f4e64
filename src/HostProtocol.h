#pragma once

// The texts the engine exchanges with a host and with the application it
// drives, each spelled once. Hosts match them byte for byte.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace engine::protocol {

/// Opens the entries of a request data file, and the PID report and the
/// result data file the engine writes; the end line closes each.
inline constexpr std::string_view kSectionLine = "@Properties LocalData";
inline constexpr std::string_view kEndLine = "@end";

/// The request keys the engine looks up, as the host spells them (the host
/// may write them in any letter case). The request reader keeps the entries of
/// these keys and lets every other line go.
namespace keys {
inline constexpr std::string_view kOutputFile = "outputhdaFile";
inline constexpr std::string_view kParameters = "parameters";
inline constexpr std::string_view kScript = "script";
inline constexpr std::string_view kScriptParams = "scriptParams";
inline constexpr std::string_view kCloseAfter = "PhotoShopDAMCloseAfterEachRendition";
inline constexpr std::string_view kDebugger = "UsePhotoshopJsxDebug";
inline constexpr std::array<std::string_view, 6> kLookedUp = {
    kOutputFile, kParameters, kScript, kScriptParams, kCloseAfter, kDebugger};
inline constexpr std::size_t kLongest =
    std::ranges::max(kLookedUp, {}, [](std::string_view key) { return key.size(); }).size();
}  // namespace keys

/// The PID report's two lines, each followed by its PIDs.
inline constexpr std::string_view kPidsBefore = "Before=";
inline constexpr std::string_view kPidsAfter = "After=";

/// The result data file's lines between the section and end lines, in their
/// order, each followed by its value (the first has its value in it), and the
/// values a job that converted nothing reports.
inline constexpr std::string_view kResultStatus = "StatusMsg=finished";
inline constexpr std::string_view kResultExtension = "OutExtension=";
inline constexpr std::string_view kResultFormat = "OutFormat=";
inline constexpr std::string_view kResultPath = "ResultFilePath=";
inline constexpr std::string_view kResultDescription = "LastErrorDescription=";
inline constexpr std::string_view kResultStatusCode = "ErrorStatusCode=";
inline constexpr std::string_view kResultAdditionalData = "AdditionalData=";
inline constexpr std::string_view kUnknownFormat = "application/x-unknown";
inline constexpr std::string_view kNotConverted = "<Not Converted>";

/// The logs: the diagnostic log in the log folder, the severe-error log at
/// its root.
inline constexpr std::string_view kDiagnosticLog = "templog.txt";
inline constexpr std::string_view kSevereErrorLog = "SevereError.log";

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

/// The members of the application object a job uses.
inline constexpr std::string_view kDisplayDialogs = "DisplayDialogs";
inline constexpr std::string_view kVisible = "Visible";
inline constexpr std::string_view kDoJavaScriptFile = "DoJavaScriptFile";
inline constexpr std::string_view kQuit = "Quit";

/// The values a job passes them: the dialogs' mode that shows none, and the
/// script's execution modes, without and with the debugger before it.
inline constexpr std::int16_t kNoDialogs = 3;
inline constexpr std::int16_t kNeverShowDebugger = 1;
inline constexpr std::int16_t kDebuggerBeforeScript = 3;

}  // namespace engine::protocol
