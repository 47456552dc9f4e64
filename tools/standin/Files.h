#pragma once

// The stand-in's files, in its folder (StandinProtocol.h says which).

#include <string>

namespace standin {

/// The longest path the wide calls take, in UTF-16 units with the NUL.
inline constexpr unsigned long kLongestPath = 32768;

/// This program's own path.
std::wstring ProgramPath();

/// The whole of file |name|; empty when it can't be read.
std::string ReadText(const char* name);

/// Writes |text| to file |name|, after its content if |append|, else in its
/// place. Opened and closed for each write, so that a line is on disk even
/// when the process dies right after it, and several servers can share one
/// journal.
void WriteText(const char* name, const std::string& text, bool append);

}  // namespace standin
