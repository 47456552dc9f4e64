// The result data file writer over arbitrary descriptions, paths and status
// codes: either a failure with nothing written, or exactly nine CR LF lines
// with the fixed keys and no stray line break inside a value.

#include "ComunicationUtils.h"
#include "Fakes.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace engine;
  if (size < 2) return 0;
  auto [description, path] = fuzzing::SplitAtNul(std::string(data + 2, data + size));

  testing::FakeEngine f;
  f.state.g_returnCode = static_cast<std::int16_t>(data[0] | (data[1] << 8));
  f.state.g_lastErrorDescription = description;
  f.state.g_requestParameters.Add("outputhdaFile", path);
  const bool written = fuzzing::Outcome([&] {
                         WriteResultFile(f.engine);
                         return std::string();
                       }).has_value();
  FUZZ_CHECK(f.console.output == "!nxWritingNativeResults\n");
  if (!written) {
    FUZZ_CHECK(path.empty() || description.size() >= 32767);
    FUZZ_CHECK(!f.fs.Exists(path) || path.empty());
    return 0;
  }
  const std::string& content = f.fs.Content(path);
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = content.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  FUZZ_CHECK(lines == 9);
  FUZZ_CHECK(std::ranges::count(content, '\r') + std::ranges::count(content, '\n') == 18);
  FUZZ_CHECK(content.ends_with("\r\n@end\r\n"));
  FUZZ_CHECK(content.starts_with("@Properties LocalData\r\nStatusMsg=finished\r\n"));
  FUZZ_CHECK(f.state.g_lastErrorDescription.find_first_of("\r\n") == std::string::npos);
  return 0;
}
