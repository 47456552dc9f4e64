// The engine's idea of where characters begin, against the system's own conversion from
// the ANSI code page, under each double-byte code page that CTest runs this program in
// (ENGINE_WINE_LOCALE, see CMakeLists.txt).

#include <cstdio>
#include <map>
#include <utility>

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
  struct Tally {
    int compared = 0, differing = 0;
    std::string examples;  // the first that differ, in hex
  };
  std::map<std::string, Tally> tallies;  // by kind of text
  const std::string departure =
      ", the departure: a lead byte before a byte below 0x40 stands alone";
  const auto compare = [&](std::string kind, const std::string& bytes) {
    if (characters.leadByte[static_cast<unsigned char>(bytes[0])] && bytes.size() > 1 &&
        static_cast<unsigned char>(bytes[1]) < 0x40) {
      kind += departure;
    }
    Tally& tally = tallies[kind];
    ++tally.compared;
    if (Counted(characters, bytes) == Converted(bytes)) return;
    char hex[32];
    std::snprintf(hex, sizeof hex, " %02X%02X", bytes[0] & 0xFF,
                  bytes.size() > 1 ? bytes[1] & 0xFF : 0);
    if (++tally.differing <= 8) tally.examples += hex;
  };
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) compare("two bytes", {char(a), char(b)});
    if (!characters.leadByte[a]) continue;
    compare("a lead byte before NUL", {char(a), '\0'});
    compare("a lead byte at the end of a line", {char(a), '\r', '\n'});
    compare("a lead byte at the end of the text", {char(a)});
  }
  for (const auto& [kind, tally] : tallies) {
    std::printf("code page %u, %s: %d compared, %d differ%s\n", GetACP(), kind.c_str(),
                tally.compared, tally.differing, tally.examples.c_str());
    if (kind.ends_with(departure)) continue;  // the counter's own rule, whatever the system does
    EXPECT_EQ(tally.differing, 0) << kind << ":" << tally.examples;
  }
}

}  // namespace
