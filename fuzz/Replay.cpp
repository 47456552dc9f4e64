// Runs a fuzz target once over every file in the folders named on its command
// line, in name order, so that the committed seed corpus is a regression test
// in every build, not only in the fuzzing one. A violated property names the
// file and aborts, failing the test.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    inputs.insert(inputs.end(), fs::directory_iterator(argv[i]), fs::directory_iterator());
  }
  std::sort(inputs.begin(), inputs.end());
  for (const auto& input : inputs) {
    engine::fuzzing::g_input = input.string();
    std::ifstream in(input, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
