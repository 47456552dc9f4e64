// Request path normalization: same result as the literal reference, no "/"
// left, and a second pass changes nothing once no escape or surplus leading
// backslash remains.

#include "CommonUtils.h"
#include "FuzzSupport.h"
#include "Reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace engine;
  const std::string path(reinterpret_cast<const char*>(data), size);

  std::string actual, expected;
  bool actualFailed = false, expectedFailed = false;
  try {
    actual = NormalizeRequestPath({}, path);
  } catch (const std::exception&) {
    actualFailed = true;
  }
  try {
    expected = reference::NormalizeRequestPath(path);
  } catch (const std::exception&) {
    expectedFailed = true;
  }
  FUZZ_CHECK_EQ(actualFailed, expectedFailed);
  fuzzing::CheckMultiByte(path, actualFailed ? std::nullopt : std::optional(actual),
                          [&](const AnsiCharacters& c) { return NormalizeRequestPath(c, path); });
  if (actualFailed) return 0;
  FUZZ_CHECK_EQ(actual, expected);
  FUZZ_CHECK(actual.find('/') == std::string::npos);
  FUZZ_CHECK(actual.size() <= path.size());
  if (actual.find("\\@") == std::string::npos && !actual.starts_with("\\\\\\")) {
    FUZZ_CHECK(NormalizeRequestPath({}, actual) == actual);
  }
  return 0;
}
