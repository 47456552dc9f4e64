// The parameter-string scan and the lookups over a loaded table: the scan
// agrees with the literal reference, and the lookup never fails, taking the
// string's value over the table's.

#include "ComunicationUtils.h"
#include "Fakes.h"
#include "FuzzSupport.h"
#include "Reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace engine;
  auto [key, rest] = fuzzing::SplitAtNul(std::string(data, data + size));
  auto [parameterString, stored] = fuzzing::SplitAtNul(rest);

  testing::FakeEngine f;
  f.state.g_parameterString = parameterString;
  f.state.g_requestParameters.Add(key, stored);
  const std::string& name = key;  // a lambda can't capture a structured binding (C++20 clang)
  const auto scanned = fuzzing::AcrossCodePages(parameterString, [&](const AnsiCharacters& c) {
    return FindInParameterString(f.state, c, name);
  });
  FUZZ_CHECK(scanned == fuzzing::Outcome([&] {
               return reference::FindInParameterString(f.state.g_parameterString, name);
             }));

  // The lookup never fails: the scanned value unless empty, else the table's.
  const std::string fallback = "\001default", value = GetParameter(f.engine, key, fallback);
  FUZZ_CHECK(value == (scanned ? (scanned->empty() ? stored : *scanned) : fallback));
  return 0;
}
