#pragma once

#include "ParameterTable.h"
#include "TextReader.h"
#include "platform/CodePage.h"

namespace engine {

/// Reads the entries of a request data file from |file| into |table|.
///
/// Lines are skipped up to the first one that contains the section line where
/// a character begins; the entries follow, up to the exact end line or the end
/// of the file. An entry's key is everything before the line's first "=", its
/// value everything after, both exactly as they stand. Only the keys the
/// engine looks up are kept, the first of each in any letter case; every other
/// line is let go as it passes, so that memory grows with neither the file nor
/// its lines.
///
/// An empty file reads as no entries. Otherwise it throws, keeping what was
/// added before, when the section line is missing or is the last line (the
/// reader runs past the end), when the value of any entry would begin past the
/// 16-bit position limit, or when a read fails.
void ReadRequest(TextReader& file, const AnsiCharacters& characters, ParameterTable& table);

}  // namespace engine
