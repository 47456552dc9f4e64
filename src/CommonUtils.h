#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "EngineState.h"

namespace engine {

/// Creates the state of the run and examines the command text: answers the
/// version query or shows the fatal message box (both end the process),
/// otherwise loads the request, writes the result data file with status -3
/// when it can't be parsed (ends the process), and deletes the stale result
/// data file. No failure handling of its own.
void InitializeEngine(Engine& e, const std::string& commandText);

/// 0 nothing examinable at |path|, 1 a directory, 2 a read-only file, 3 a
/// file. Never fails.
std::int16_t GetPathKind(Engine& e, const std::string& path);

/// Deletes the file at |path|; every failure is swallowed.
void DeleteFileQuietly(Engine& e, const std::string& path);

/// Reads the request data file at |path| into g_requestParameters. True when
/// it was read, false on any failure (entries added before it remain).
bool LoadRequestFile(Engine& e, const std::string& path);

/// Removes the backslash of "/\@" and "\@" as the host's escaping asks, turns
/// "/" into "\" and collapses a three- or four-backslash prefix, looking at
/// whole characters of |characters|' code page only. Throws on 16-bit position
/// overflow.
std::string NormalizeRequestPath(const AnsiCharacters& characters, const std::string& path);

/// Reduces four, else three, leading backslashes to two.
std::string FixUncPrefix(const std::string& path);

/// Writes |text| and one LF to standard output; never fails.
void WriteConsoleLine(Engine& e, std::string_view text);

/// A copy of |text| with every "\" character turned into "/" (never the
/// second byte of a double-byte character).
std::string ToForwardSlashes(const AnsiCharacters& characters, const std::string& text);

/// Writes |message| to the console and, for types beginning with "ERROR" or
/// while g_forceLog is set, to the diagnostic log (then with forward slashes,
/// and an empty |type| becomes "Info"; both updated in place). Never fails:
/// a failure is recorded in the severe-error log instead.
void LogMessage(Engine& e, std::string& message, std::string& type);

/// Appends the PIDs of the running processes whose executable path contains
/// the process image name to |pids|. No failure handling of its own.
void CollectProcessIds(Engine& e, PidList& pids);

/// Prints the four-line PID report block. No failure handling of its own.
void ReportProcessIds(Engine& e);

}  // namespace engine
