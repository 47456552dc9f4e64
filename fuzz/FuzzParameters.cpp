// The parameter-string scan and the lookups over a loaded table: the scan
// agrees with the literal reference and returns trimmed text, and the lookup
// never fails, taking the string's value over the table's.

#include "ComunicationUtils.h"
#include "Fakes.h"
#include "FuzzSupport.h"
#include "Reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace engine;
  auto [key, rest] = fuzzing::SplitAtNul(data, size);
  auto [parameterString, stored] = fuzzing::SplitAtNul(
      reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());

  testing::FakeEngine f;
  f.state.g_parameterString = parameterString;
  f.state.g_requestParameters.Add(key, stored);

  std::string scanned;
  bool scanFailed = false;
  try {
    scanned = FindInParameterString(f.state, f.engine.characters, key);
  } catch (const std::exception&) {
    scanFailed = true;
  }
  std::string expected;
  bool expectedFailed = false;
  try {
    expected = reference::FindInParameterString(parameterString, key);
  } catch (const std::exception&) {
    expectedFailed = true;
  }
  FUZZ_CHECK_EQ(scanFailed, expectedFailed);
  if (!scanFailed) FUZZ_CHECK_EQ(scanned, expected);
  const std::string& name = key;  // a lambda can't capture a structured binding (C++20 clang)
  fuzzing::CheckMultiByte(
      parameterString, scanFailed ? std::nullopt : std::optional(scanned),
      [&](const AnsiCharacters& c) { return FindInParameterString(f.state, c, name); });
  FUZZ_CHECK(scanned.empty() || (scanned.front() != ' ' && scanned.back() != ' '));

  const std::string value = GetParameter(f.engine, key, "\x01" "default");
  if (scanFailed) {
    FUZZ_CHECK(value == "\x01" "default");
  } else {
    FUZZ_CHECK_EQ(value, scanned.empty() ? stored : scanned);
  }
  return 0;
}
