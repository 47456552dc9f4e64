// The request file reader over an in-memory file: same result as the literal
// reference, no key twice, no line break in any key or value.

#include "CommonUtils.h"
#include "Fakes.h"
#include "FuzzSupport.h"
#include "Reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace engine;
  const std::string content(reinterpret_cast<const char*>(data), size);

  testing::FakeEngine f;
  f.fs.readChunk = size % 5 + 1;
  f.fs.AddFile("C:\\req.dat", content);
  const bool ok = LoadRequestFile(f.engine, "C:\\req.dat");

  reference::Entries expected;
  FUZZ_CHECK(ok == reference::LoadRequest(content, expected));
  FUZZ_CHECK(f.state.g_requestParameters.Size() == expected.size());
  for (const auto& [key, value] : expected) {
    auto stored = f.state.g_requestParameters.Find(key);
    FUZZ_CHECK(stored && *stored == value);
    FUZZ_CHECK(key.find_first_of("\r\n=") == std::string::npos);
    FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos);
  }
  return 0;
}
