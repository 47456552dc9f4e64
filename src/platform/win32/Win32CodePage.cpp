#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace engine {

AnsiCharacters CharactersOf(std::uint32_t codePage) {
  AnsiCharacters characters;
  if (codePage == CP_UTF8) {
    characters.kind = AnsiCharacters::Kind::Utf8;
    return characters;
  }
  CPINFO info;
  if (!GetCPInfo(codePage, &info) || info.MaxCharSize != 2) return characters;
  characters.kind = AnsiCharacters::Kind::DoubleByte;
  // Inclusive ranges of lead bytes, in pairs, closed by a pair of zeros.
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) characters.leadByte[b] = true;
  }
  return characters;
}

AnsiCharacters Win32CodePage::Characters() { return CharactersOf(GetACP()); }

}  // namespace engine
