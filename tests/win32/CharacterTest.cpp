// The engine's idea of where characters begin, against the system's own conversion from
// the ANSI code page, under each double-byte code page that CTest runs this program in
// (ENGINE_WINE_LOCALE, see CMakeLists.txt).

#include <cstdio>
#include <map>
#include <vector>

#include "AnsiText.h"
#include "Support.h"

namespace {

// The UTF-16 units of |bytes| as the system converts them from the ANSI code page.
int Units(std::string_view bytes) {
  wchar_t out[8];
  return bytes.empty() ? 0
                       : MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), out, 8);
}

TEST(Win32Characters, CountedAsTheSystemConvertsButForALeadByteBeforeAControlOrPunctuation) {
  const engine::AnsiCharacters characters = engine::Win32CodePage().Characters();
  ASSERT_EQ(characters.kind, engine::AnsiCharacters::Kind::DoubleByte) << "code page " << GetACP();
  std::map<std::string, std::string> differing;  // by kind of text: the first that differ, in hex
  int compared = 0, differ = 0, departures = 0;
  const auto compare = [&](const std::string& kind, const std::vector<int>& codes) {
    // The counter's own rule, whatever the system does: a lead byte before a byte from 0x01
    // to 0x3F (a line end, a blank, a quote, "-", "=") stands alone, so that byte keeps its
    // meaning; the system makes the two one replacement character. Before NUL both agree.
    if (codes.size() > 1 && characters.leadByte[codes[0]] && codes[1] > 0 && codes[1] < 0x40) {
      ++departures;
      return;
    }
    ++compared;
    const std::string bytes(codes.begin(), codes.end());
    // Where characters begin ("s" a byte that begins one, "-" one that goes on), then the
    // UTF-16 units of the whole; the system's character begins where the text gains a unit.
    engine::CharacterCounter counter(characters);
    std::string ours, system;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      ours += counter.Take(static_cast<unsigned char>(bytes[i])) ? 's' : '-';
      system += Units(bytes.substr(0, i + 1)) > Units(bytes.substr(0, i)) ? 's' : '-';
    }
    if (ours + std::to_string(counter.Units()) == system + std::to_string(Units(bytes))) return;
    ++differ;
    char hex[32];
    std::snprintf(hex, sizeof hex, " %02X%02X", codes[0], codes.size() > 1 ? codes[1] : 0);
    if (differing[kind].size() < 40) differing[kind] += hex;
  };
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) compare("two bytes", {a, b});
    if (!characters.leadByte[a]) continue;
    compare("a lead byte at the end of the text", {a});
    compare("a lead byte before NUL", {a, 0, 'x'});
    compare("a lead byte at the end of a line", {a, '\r', '\n'});  // the departure, by name
  }
  std::printf("code page %u: %d compared, %d differ; %d left to the departure\n", GetACP(),
              compared, differ, departures);
  for (const auto& [kind, examples] : differing) {
    ADD_FAILURE() << "code page " << GetACP() << ", " << kind << " differ:" << examples;
  }
}

}  // namespace
