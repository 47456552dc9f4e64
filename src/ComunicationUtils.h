#pragma once

#include <string>
#include <string_view>

#include "EngineError.h"
#include "EngineState.h"

namespace engine {

/// Writes the version line, kVersionText.
void ReportVersion(Engine& e);

/// |name|'s value from the parameter string, else from the request table,
/// else |defaultValue|. Never fails.
std::string GetParameter(Engine& e, std::string_view name, const std::string& defaultValue);

/// GetParameter's value read by ParseBoolean with |defaultValue|. Never fails.
bool GetBooleanParameter(Engine& e, std::string_view name, bool defaultValue);

/// Empty: |defaultValue|; "-1" or a first character 1, T, Y (any case): true;
/// everything else false.
bool ParseBoolean(const std::string& value, bool defaultValue);

/// |key|'s value in g_parameterString, blanks trimmed; empty when the key does
/// not stand there as a whole key outside quotes. Looks at whole characters of
/// |characters|' code page and counts positions as the host does. Throws when
/// the value's length comes out negative or a position overflows 16 bits.
std::string FindInParameterString(const EngineState& s, const AnsiCharacters& characters,
                                  std::string_view key);

/// Appends one time-stamped line to the severe-error log; an ordinary
/// |message| gets a ten-blank indent in place. Never fails: a failure is kept
/// in g_lastErrorDescription.
void WriteSevereError(Engine& e, std::string& message);

/// Writes the nine-line result data file to the "outputhdaFile" path after
/// applying the failure defaults to the state. Every failure passes to the
/// caller.
void WriteResultFile(Engine& e);

/// Replaces every |character| (an ASCII character, never the second byte of a
/// double-byte one) in g_lastErrorDescription by one blank. Throws on 16-bit
/// position overflow, keeping what was replaced before.
void ReplaceInErrorDescription(Engine& e, char character);

/// Prints the PID report block, turning a failure into the logged message
/// "!nxErrorUpdatingPIDs" of type "ERROR". Never fails.
void UpdateProcessIds(Engine& e);

}  // namespace engine
