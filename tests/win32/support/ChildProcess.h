#pragma once

// Starts a program the way a Windows host does: CreateProcessA with an exact
// command line string, so that nothing (no argument quoting by a shell or by
// Wine's own launcher) alters the text the program sees.

#include <cstdint>
#include <memory>
#include <string>

namespace testing_win32 {

enum class StandardHandles {
  Pipe,     // standard output and error go to a pipe that the test reads
  Null,     // STARTF_USESTDHANDLES with NULL handles
  Invalid,  // STARTF_USESTDHANDLES with INVALID_HANDLE_VALUE handles
};

struct LaunchOptions {
  std::string application;       // the executable; passed as lpApplicationName
  std::string commandLine;       // passed unchanged as lpCommandLine
  std::string workingDirectory;  // empty: the test's own
  StandardHandles handles = StandardHandles::Pipe;
};

/// A started program. Its standard output is drained in the background while
/// it runs, so a chatty program can't block on a full pipe. A program still
/// running when its owner goes is terminated.
class ChildProcess {
 public:
  /// Starts the program; throws std::runtime_error when CreateProcessA fails.
  explicit ChildProcess(const LaunchOptions& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  std::uint32_t pid() const;

  /// Waits up to |milliseconds| for the program to end; true when it has.
  bool WaitForExit(std::uint32_t milliseconds);

  /// After the program has ended: its exit code.
  std::uint32_t exitCode() const;

  /// After the program has ended: every byte it wrote to standard output.
  std::string TakeOutput();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// What one complete run left behind.
struct RunResult {
  bool finished = false;  // false: still running at the time limit (then terminated)
  std::uint32_t exitCode = 0;
  std::string output;
};

/// Starts the program, waits up to |milliseconds| for it to end, and collects
/// its standard output.
RunResult RunToEnd(const LaunchOptions& options, std::uint32_t milliseconds);

}  // namespace testing_win32
