// The process census over the real process table, timed: the cost per
// process examined, the same measure the native benchmark gives.
//
// usage: CensusBench.exe [REPETITIONS]

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "CommonUtils.h"
#include "platform/win32/Win32Automation.h"
#include "platform/win32/Win32Platform.h"

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::atoi(argv[1]) : 200;
  engine::Win32Console console;
  engine::Win32FileSystem fileSystem;
  engine::Win32MessageBox messageBox;
  engine::Win32Processes processes;
  engine::Win32Automation automation;
  engine::Win32CodePage codePage;
  engine::Engine e(
      engine::Platform{console, fileSystem, messageBox, processes, automation, codePage});
  e.state.g_processImageName = "Photoshop.exe";

  std::uint32_t pids[4096];
  std::uint32_t bytes = 0;
  processes.EnumProcesses(pids, sizeof pids, &bytes);
  const double examined = bytes / 4.0;

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> samples;
  for (int i = 0; i < repetitions; ++i) {
    engine::PidList found;
    QueryPerformanceCounter(&start);
    engine::CollectProcessIds(e, found);
    QueryPerformanceCounter(&end);
    samples.push_back(static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
  }
  std::sort(samples.begin(), samples.end());
  const double median = samples[samples.size() / 2];
  std::printf("census: %.0f processes, median %.1f us per census, %.2f us per process\n", examined,
              median * 1e6, median * 1e6 / examined);
  return 0;
}
