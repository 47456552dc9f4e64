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
  PosixCodePage codePage;
  Platform platform{console, fs, box, processes, automation, codePage};
};

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Writes a request file: the keys a job looks up with short values, or with
// |lookedUpValue| bytes for scriptParams, then |entries| other entries whose
// values are |valueSize| bytes. Streamed, so that generating it leaves no
// memory peak of its own.
std::string MakeRequest(const std::string& name, std::size_t entries, std::size_t valueSize,
                        std::size_t lookedUpValue = 20) {
  const std::string path = (std::filesystem::temp_directory_path() / name).string();
  if (std::filesystem::exists(path)) return path;
  std::ofstream out(path, std::ios::binary);
  out << "Header written by the host\r\n@Properties LocalData\r\n"
      << "outputhdaFile=C:\\jobs\\result.hda\r\nscript=C:\\jobs\\convert.jsx\r\n"
      << "PhotoShopDAMCloseAfterEachRendition=true\r\nscriptParams=";
  for (std::size_t left = lookedUpValue; left > 0;) {
    const std::size_t n = std::min<std::size_t>(left, 1 << 20);
    out << std::string(n, 'p');
    left -= n;
  }
  out << "\r\n";
  const std::string value(valueSize, 'v');
  for (std::size_t i = 0; i < entries; ++i) out << "key" << i << '=' << value << "\r\n";
  out << "@end\r\n";
  return path;
}

void LoadBenchmark(benchmark::State& state, const std::string& path,
                   const AnsiCharacters& characters = {}) {
  RealPlatform real;
  const auto size = std::filesystem::file_size(path);
  const long before = PeakRssKb();
  std::size_t scriptParams = 0;
  for (auto _ : state) {
    auto e = std::make_unique<Engine>(real.platform);
    e->characters = characters;
    if (!LoadRequestFile(*e, path)) state.SkipWithError("load failed");
    scriptParams = e->state.g_requestParameters.Find("scriptParams").value_or("").size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.counters["file_MB"] = static_cast<double>(size) / 1e6;
  state.counters["kept_MB"] = static_cast<double>(scriptParams) / 1e6;
  state.counters["peak_growth_MB"] = static_cast<double>(PeakRssKb() - before) / 1024.0;
}

void BM_LoadTypicalRequest(benchmark::State& state) {
  LoadBenchmark(state, MakeRequest("engine-bench-typical.dat", 40, 40));
}
void BM_Load50MBManyShortEntries(benchmark::State& state) {
  LoadBenchmark(state, MakeRequest("engine-bench-short.dat", 1000000, 38));
}
// The same request on a double-byte code page (932's lead bytes): every key is
// walked character by character up to its "=".
void BM_Load50MBManyShortEntriesDoubleByte(benchmark::State& state) {
  LoadBenchmark(state, MakeRequest("engine-bench-short.dat", 1000000, 38), testing::DoubleByte932());
}
void BM_Load500MBManyShortEntries(benchmark::State& state) {
  LoadBenchmark(state, MakeRequest("engine-bench-huge.dat", 10000000, 38));
}
void BM_Load50MBFewLongValues(benchmark::State& state) {
  LoadBenchmark(state, MakeRequest("engine-bench-long.dat", 300, 166000));
}
void BM_Load100MBLookedUpValue(benchmark::State& state) {
  LoadBenchmark(state, MakeRequest("engine-bench-value.dat", 10, 40, 100 << 20));
}
// The floor under any reader: the file read through the same platform call in
// 64 KB pieces, its line ends counted.
void BM_StreamFloor50MB(benchmark::State& state) {
  RealPlatform real;
  const std::string path = MakeRequest("engine-bench-short.dat", 1000000, 38);
  const auto size = std::filesystem::file_size(path);
  for (auto _ : state) {
    auto file = real.fs.OpenForReading(path);
    static char buffer[64 * 1024];
    std::size_t lines = 0;
    for (std::size_t n; (n = file->Read(buffer, sizeof buffer)) > 0;) {
      for (const char* p = buffer; (p = static_cast<const char*>(std::memchr(p, '\n', buffer + n - p)));
           ++p) {
        ++lines;
      }
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

BENCHMARK(BM_LoadTypicalRequest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StreamFloor50MB)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Load50MBManyShortEntries)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Load50MBManyShortEntriesDoubleByte)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Load500MBManyShortEntries)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Load50MBFewLongValues)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Load100MBLookedUpValue)->Unit(benchmark::kMillisecond)->Iterations(2);

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

void BM_NormalizeManyEscapes(benchmark::State& state) {
  std::string path = "C:";
  while (path.size() < static_cast<std::size_t>(state.range(0))) path += "\\\\@d/\\@";
  for (auto _ : state) benchmark::DoNotOptimize(NormalizeRequestPath({}, path));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_NormalizeManyEscapes)->RangeMultiplier(4)->Range(256, 32 * 1024)->Complexity();

void BM_ReplaceManyLineBreaks(benchmark::State& state) {
  testing::FakeEngine f;
  std::string d;
  while (d.size() < static_cast<std::size_t>(state.range(0))) d += "line\r\n";
  for (auto _ : state) {
    f.state.g_lastErrorDescription = d;
    ReplaceInErrorDescription(f.engine, '\n');
    ReplaceInErrorDescription(f.engine, '\r');
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
