// The request file reader over an in-memory file against the literal
// reference: the same outcome and the same value for every key the engine
// looks up, in any letter case. Each input byte picks a token, so that inputs
// are made of the keys that matter (the looked-up ones in mixed case, the
// first-entry rule), line breaks, the section and end lines, and long runs
// (0xFF and a length byte: long values, "=" near the 16-bit limit, lines
// across reads).

#include <cctype>

#include "CommonUtils.h"
#include "Fakes.h"
#include "FuzzSupport.h"
#include "Reference.h"

namespace {

// clang-format off
const char* const kTokens[] = {
    "@Properties LocalData", "@end", "=", "\r", "\n", "\r\n", " ", "a", "@", "x=1",
    "script", "SCRIPT", "Script", "scriptParams", "SCRIPTparams", "parameters", "PARAMETERS",
    "outputhdaFile", "OutputHdaFile", "UsePhotoshopJsxDebug", "usephotoshopjsxdebug",
    "PhotoShopDAMCloseAfterEachRendition", "PHOTOSHOPDAMCLOSEAFTEREACHRENDITION"};
// clang-format on

// What the engine can see of a load, as one text: whether it succeeded, and the
// value of each key the engine looks up, asked as written, in upper and in lower case.
template <typename Find>
std::string Visible(bool ok, Find&& find) {
  std::string seen = ok ? "loaded" : "failed";
  for (std::string key : {"outputhdaFile", "parameters", "script", "scriptParams",
                          "PhotoShopDAMCloseAfterEachRendition", "UsePhotoshopJsxDebug"}) {
    for (int pass = 0; pass < 3; ++pass) {
      const auto value = find(key);
      seen += "\n" + key + (value ? "=" + std::string(*value) : " absent");
      for (char& c : key) c = static_cast<char>(pass == 0 ? std::toupper(c) : std::tolower(c));
    }
  }
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace engine;
  if (size == 0) return 0;
  std::string content;
  // At most a few long runs per input: the literal reference is slow on big files.
  for (std::size_t i = 1; i < size && content.size() < (1u << 20); ++i) {
    const std::uint8_t b = data[i];
    if (b < std::size(kTokens)) {
      content += kTokens[b];
    } else if (b == 0xFF && i + 1 < size) {
      content.append(std::size_t{1} << (data[++i] % 20), 'k');  // 1 byte to 512 KB
    } else {
      content += static_cast<char>(b);
    }
  }

  // The first byte picks the read size: small reads (for small files, where
  // they stay quick), or the real 64 KB ones.
  const bool small = data[0] < 0x80 && content.size() <= 64 * 1024;
  const auto load = [&](const AnsiCharacters& characters) {
    testing::FakeEngine f;
    f.engine.characters = characters;
    f.fs.readChunk = small ? data[0] % 7 + 1 : 64 * 1024;
    f.fs.AddFile("C:\\req.dat", content);
    const bool ok = LoadRequestFile(f.engine, "C:\\req.dat");
    FUZZ_CHECK(f.state.g_requestParameters.Size() <= 6);
    return Visible(ok,
                   [&](const std::string& key) { return f.state.g_requestParameters.Find(key); });
  };
  const std::string loaded = fuzzing::AcrossCodePages(content, load).value();

  reference::Entries expected;
  const bool expectedOk = reference::LoadRequest(content, expected);
  FUZZ_CHECK(loaded == Visible(expectedOk, [&](const std::string& key) {
               return reference::Lookup(expected, key);
             }));
  return 0;
}
