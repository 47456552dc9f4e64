// The engine's idea of where characters begin, against the system's own conversion from
// the ANSI code page, under each double-byte code page that CTest runs this program in
// (ENGINE_WINE_LOCALE, see CMakeLists.txt).

#include <cstdio>
#include <map>

#include "AnsiText.h"
#include "Support.h"

namespace {

// The UTF-16 units of |bytes| as the system converts them from the ANSI code page.
int Units(std::string_view bytes) {
  wchar_t out[8];
  return bytes.empty() ? 0
                       : MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), out, 8);
}

// Where characters begin ("s" a byte that begins one, "-" one that goes on) and the UTF-16
// units of the whole; the system's character begins where the text up to it gains a unit.
std::string Counted(const engine::AnsiCharacters& characters, std::string_view bytes) {
  engine::CharacterCounter counter(characters);
  std::string starts;
  for (const char b : bytes) starts += counter.Take(static_cast<unsigned char>(b)) ? 's' : '-';
  return starts + " " + std::to_string(counter.Units());
}
std::string Converted(std::string_view bytes) {
  std::string starts;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    starts += Units(bytes.substr(0, i + 1)) > Units(bytes.substr(0, i)) ? 's' : '-';
  }
  return starts + " " + std::to_string(Units(bytes));
}

TEST(Win32Characters, CountedAsTheSystemConvertsButForALeadByteBeforeAByteBelow0x40) {
  if (GetEnvironmentVariableA("ENGINE_WINE_LOCALE", nullptr, 0) == 0) GTEST_SKIP();
  const engine::AnsiCharacters characters = engine::Win32CodePage().Characters();
  ASSERT_EQ(characters.kind, engine::AnsiCharacters::Kind::DoubleByte) << "code page " << GetACP();
  std::map<std::string, std::string> differing;  // by kind of text: the first that differ, in hex
  const auto compare = [&](const std::string& kind, const std::string& bytes) {
    if (Counted(characters, bytes) == Converted(bytes)) return;
    // The counter's own rule, whatever the system does: a lead byte before a byte below 0x40
    // stands alone.
    if (characters.leadByte[static_cast<unsigned char>(bytes[0])] && bytes.size() > 1 &&
        static_cast<unsigned char>(bytes[1]) < 0x40) {
      return;
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, " %02X%02X", bytes[0] & 0xFF,
                  bytes.size() > 1 ? bytes[1] & 0xFF : 0);
    if (differing[kind].size() < 40) differing[kind] += hex;
  };
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) compare("two bytes", {char(a), char(b)});
    if (!characters.leadByte[a]) continue;
    compare("a lead byte before NUL", {char(a), '\0'});
    compare("a lead byte at the end of a line", {char(a), '\r', '\n'});
    compare("a lead byte at the end of the text", {char(a)});
  }
  for (const auto& [kind, examples] : differing) {
    ADD_FAILURE() << "code page " << GetACP() << ", " << kind << " differ:" << examples;
  }
}

}  // namespace
