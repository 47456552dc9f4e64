// Costs paid on every job: loading the request, looking parameters up, the
// process census. Run through scripts/bench, which also times whole runs.

#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "Fakes.h"
#include "platform/posix/PosixAutomation.h"
#include "platform/posix/PosixPlatform.h"

namespace {

using namespace engine;

struct RealPlatform {
  PosixConsole console;
  PosixFileSystem fs;
  PosixMessageBox box;
  PosixProcesses processes{0, nullptr};
  PosixAutomation automation;
  Platform platform{console, fs, box, processes, automation};
};

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Writes a request file of |entries| entries whose values are |valueSize|
// bytes, streaming so that generating it leaves no memory peak of its own.
std::string MakeRequest(const std::string& name, std::size_t entries, std::size_t valueSize) {
  const std::string path = (std::filesystem::temp_directory_path() / name).string();
  if (std::filesystem::exists(path)) return path;
  std::ofstream out(path, std::ios::binary);
  out << "Header written by the host\r\n@Properties LocalData\r\n";
  const std::string value(valueSize, 'v');
  for (std::size_t i = 0; i < entries; ++i) out << "key" << i << '=' << value << "\r\n";
  out << "@end\r\n";
  return path;
}

void LoadBenchmark(benchmark::State& state, const std::string& path, std::size_t entries) {
  RealPlatform real;
  const auto size = std::filesystem::file_size(path);
  const long before = PeakRssKb();
  for (auto _ : state) {
    auto e = std::make_unique<Engine>(real.platform);
    if (!LoadRequestFile(*e, path)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(e->state.g_requestParameters.Size());
    // Freeing the table is no part of loading: the engine never does it
    // before the process ends.
    state.PauseTiming();
    e.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * entries));
  state.counters["file_MB"] = static_cast<double>(size) / 1e6;
  state.counters["peak_growth_MB"] = static_cast<double>(PeakRssKb() - before) / 1024.0;
}

void BM_LoadTypicalRequest(benchmark::State& state) {
  LoadBenchmark(state, MakeRequest("engine-bench-typical.dat", 40, 40), 40);
}
void BM_LoadManyShortEntries(benchmark::State& state) {
  LoadBenchmark(state, MakeRequest("engine-bench-short.dat", 1000000, 38), 1000000);
}
void BM_LoadFewLongValues(benchmark::State& state) {
  LoadBenchmark(state, MakeRequest("engine-bench-long.dat", 300, 166000), 300);
}
// The floor under any loader that keeps the values: reading the file through
// the same platform call and copying every byte into fresh memory.
void BM_ReadAndCopyFloor(benchmark::State& state) {
  RealPlatform real;
  const std::string path = MakeRequest("engine-bench-short.dat", 1000000, 38);
  const auto size = std::filesystem::file_size(path);
  for (auto _ : state) {
    auto file = real.fs.OpenForReading(path);
    std::vector<std::unique_ptr<char[]>> blocks;
    std::size_t left = 0;
    char* at = nullptr;
    char buffer[64 * 1024];
    for (std::size_t n; (n = file->Read(buffer, sizeof buffer)) > 0;) {
      for (std::size_t done = 0; done < n;) {
        if (left == 0) {
          blocks.emplace_back(new char[1 << 20]);
          at = blocks.back().get();
          left = 1 << 20;
        }
        const std::size_t k = std::min(left, n - done);
        std::memcpy(at, buffer + done, k);
        at += k;
        left -= k;
        done += k;
      }
    }
    benchmark::DoNotOptimize(blocks.data());
    state.PauseTiming();
    blocks.clear();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

BENCHMARK(BM_LoadTypicalRequest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadAndCopyFloor)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadManyShortEntries)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadFewLongValues)->Unit(benchmark::kMillisecond)->Iterations(5);

// A lookup of a key that stands nowhere as a whole key: the scan passes every
// near miss in the parameter string, then the table answers.
void BM_LookupPastNearMisses(benchmark::State& state) {
  testing::FakeEngine f;
  std::string s;
  while (s.size() < static_cast<std::size_t>(state.range(0))) s += "-scriptX \"a\" ";
  f.state.g_parameterString = s;
  f.state.g_requestParameters.Add("script", "x.jsx");
  for (auto _ : state) benchmark::DoNotOptimize(GetParameter(f.engine, "script", ""));
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(BM_LookupPastNearMisses)->RangeMultiplier(4)->Range(256, 32 * 1024)->Complexity();

void BM_LookupInLargeTable(benchmark::State& state) {
  testing::FakeEngine f;
  for (int64_t i = 0; i < state.range(0); ++i) {
    f.state.g_requestParameters.Add("key" + std::to_string(i), "value");
  }
  f.state.g_parameterString = "-script \"C:\\x y.jsx\" -mode 3";
  for (auto _ : state) benchmark::DoNotOptimize(GetParameter(f.engine, "KEY12", ""));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LookupInLargeTable)->RangeMultiplier(16)->Range(16, 1 << 20)->Complexity();

void BM_NormalizeManyEscapes(benchmark::State& state) {
  std::string path = "C:";
  while (path.size() < static_cast<std::size_t>(state.range(0))) path += "\\\\@d/\\@";
  for (auto _ : state) benchmark::DoNotOptimize(NormalizeRequestPath(path));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_NormalizeManyEscapes)->RangeMultiplier(4)->Range(256, 32 * 1024)->Complexity();

void BM_ReplaceManyLineBreaks(benchmark::State& state) {
  testing::FakeEngine f;
  std::string d;
  while (d.size() < static_cast<std::size_t>(state.range(0))) d += "line\r\n";
  for (auto _ : state) {
    f.state.g_lastErrorDescription = d;
    ReplaceInErrorDescription(f.engine, "\n");
    ReplaceInErrorDescription(f.engine, "\r");
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReplaceManyLineBreaks)->RangeMultiplier(4)->Range(256, 16 * 1024)->Complexity();

// The census over this machine's real process table, per process examined.
void BM_CensusPerProcess(benchmark::State& state) {
  RealPlatform real;
  Engine e(real.platform);
  e.state.g_processImageName = "Photoshop.exe";
  std::size_t processes = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    processes += name.find_first_not_of("0123456789") == std::string::npos;
  }
  for (auto _ : state) {
    PidList pids;
    CollectProcessIds(e, pids);
    benchmark::DoNotOptimize(pids.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * processes));
  state.counters["processes"] = static_cast<double>(processes);
}
BENCHMARK(BM_CensusPerProcess)->Unit(benchmark::kMicrosecond);

// The census cost against the size of the process table, on the fake.
void BM_CensusScaling(benchmark::State& state) {
  testing::FakeEngine f;
  for (int64_t i = 0; i < state.range(0); ++i) {
    f.processes.processes.push_back(
        {static_cast<std::uint32_t>(4 * i + 4), i % 7 ? "C:\\Windows\\svchost.exe" : "C:\\A\\Photoshop.exe"});
  }
  for (auto _ : state) {
    PidList pids;
    CollectProcessIds(f.engine, pids);
    benchmark::DoNotOptimize(pids.data());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_CensusScaling)->RangeMultiplier(4)->Range(16, 4096)->Complexity();

}  // namespace

BENCHMARK_MAIN();
