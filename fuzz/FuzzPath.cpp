// Request path normalization: same result as the literal reference, and a
// second pass changes nothing once no escape or surplus leading backslash
// remains.

#include "CommonUtils.h"
#include "FuzzSupport.h"
#include "Reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace engine;
  const std::string path(data, data + size);
  const auto actual = fuzzing::AcrossCodePages(
      path, [&](const AnsiCharacters& c) { return NormalizeRequestPath(c, path); });
  FUZZ_CHECK(actual == fuzzing::Outcome([&] { return reference::NormalizeRequestPath(path); }));
  if (!actual) return 0;
  if (actual->find("\\@") == std::string::npos && !actual->starts_with("\\\\\\")) {
    FUZZ_CHECK(NormalizeRequestPath({}, *actual) == *actual);
  }
  return 0;
}
