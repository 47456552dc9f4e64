// A minimal conversion host for scripts/demo: runs one job the way a host
// does and prints what the engine wrote to its standard output.
//
//   e2e-demo-host ENGINE WORK-FOLDER COMMAND-TEXT [--timing]
//
// The engine is started through CreateProcessA with the command line
// "ENGINE" COMMAND-TEXT, exactly (a launcher that rebuilds a command line from
// separate arguments could add quotes, and a quoted request path names nothing),
// in WORK-FOLDER, with STANDIN_DIR set to WORK-FOLDER so that the stand-in
// application that COM starts for the engine journals there. Once the engine
// has ended, the host waits for that stand-in to end too.
//
// Exit status: 0 when the engine ran to its end, 1 when it had to be stopped,
// 2 when it could not be started.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "StandinServers.h"
#include "TestFiles.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

using Clock = std::chrono::steady_clock;

// A job of the demo takes about a second; these only keep a hung one from
// holding the terminal for ever.
constexpr auto kJobLimit = std::chrono::minutes(5);
constexpr DWORD kServerEndLimit = 30000;

void WriteOut(const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

long Milliseconds(Clock::duration d) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

std::vector<DWORD> ServerPids(const std::string& folder) {
  std::vector<DWORD> pids;
  const std::string text = testing_win32::ReadBytes(folder + "\\standin-pids.txt").value_or("");
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const unsigned long pid = std::strtoul(text.c_str() + start, nullptr, 10);
    if (pid != 0) pids.push_back(static_cast<DWORD>(pid));
    start = end + 1;
  }
  return pids;
}

// Waits for each stand-in server to end by itself; one that doesn't is asked
// to stop (it then withdraws its registration, which killing it would not do).
void AwaitServers(const std::vector<DWORD>& pids) {
  for (DWORD pid : pids) {
    if (!testing_win32::AwaitStandinEnd(pid, kServerEndLimit)) {
      std::fprintf(stderr, "demo-host: the stand-in %lu did not end by itself; it was stopped\n",
                   static_cast<unsigned long>(pid));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5 || (argc == 5 && std::string(argv[4]) != "--timing")) {
    std::fprintf(stderr, "usage: e2e-demo-host ENGINE WORK-FOLDER COMMAND-TEXT [--timing]\n");
    return 2;
  }
  const std::string engine = argv[1];
  const std::string folder = argv[2];
  const std::string commandText = argv[3];
  const bool timing = argc == 5;

  SetEnvironmentVariableA("STANDIN_DIR", folder.c_str());
  testing_win32::LaunchOptions options;
  options.application = engine;
  options.commandLine = "\"" + engine + "\" " + commandText;
  options.workingDirectory = folder;

  // Milestones of the job, for --timing: when the stand-in reported itself
  // ready, took its first call, when the engine ended, when its standard
  // output reached its end, and when the stand-in had ended too.
  const Clock::time_point started = Clock::now();
  Clock::time_point serverReady{}, firstCall{}, engineEnded{}, outputClosed{};
  bool ended = false;
  std::string output;
  try {
    testing_win32::ChildProcess child(options);
    while (!(ended = child.WaitForExit(timing ? 2 : 100))) {
      if (timing && serverReady == Clock::time_point{} && !ServerPids(folder).empty()) {
        serverReady = Clock::now();
      }
      if (timing && firstCall == Clock::time_point{} &&
          testing_win32::Exists(folder + "\\standin-journal.txt")) {
        firstCall = Clock::now();
      }
      if (Clock::now() - started > kJobLimit) break;
    }
    engineEnded = Clock::now();
    if (ended) output = child.TakeOutput();
    outputClosed = Clock::now();
  } catch (const std::runtime_error& failure) {
    std::fprintf(stderr, "demo-host: %s\n", failure.what());
    return 2;
  }
  if (!ended) std::fprintf(stderr, "demo-host: the engine did not end; it was stopped\n");
  WriteOut(output);
  AwaitServers(ServerPids(folder));

  if (timing) {
    auto at = [&](Clock::time_point t) {
      return t == Clock::time_point{} ? -1L : Milliseconds(t - started);
    };
    std::fprintf(stderr,
                 "demo-host: ms after the engine's start: stand-in ready %ld, first call %ld, "
                 "engine ended %ld, its output closed %ld, stand-in gone %ld\n",
                 at(serverReady), at(firstCall), at(engineEnded), at(outputClosed),
                 at(Clock::now()));
  }
  return ended ? 0 : 1;
}
