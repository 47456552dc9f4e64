#pragma once

// What the fault and load tests share: request and journal texts, the
// stand-in application started by hand, and a host that starts the engine with
// standard handles of its choosing.
//
// Every job runs the built conversion-engine.exe as a conversion server does
// (CreateProcessA, the request's path as the whole command text, a working
// folder of its own) against the stand-in of tests/standin. The stand-in is
// always started by hand before the engine, as a user would have the
// application running: a server that COM starts under Wine holds on to the
// engine's standard output, which would blur what the engine itself wrote.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "StandinServers.h"
#include "TestFiles.h"

namespace faults {

// Bounds on waiting, never expectations: past them something hangs.
inline constexpr std::uint32_t kJobLimit = 120000;
inline constexpr std::uint32_t kServerReadyLimit = 30000;
inline constexpr std::uint32_t kServerEndLimit = 30000;

// The calls of every job, as the stand-in journals them (without its PID).
inline constexpr const char kDialogsOff[] = "PUT DisplayDialogs VT_I2 3";
inline constexpr const char kVisible[] = "PUT Visible VT_BOOL -1";
inline constexpr const char kQuit[] = "CALL Quit";
inline constexpr const char kErrorPrefix[] = "error returned by script: ";

std::string JavaScriptCall(const std::string& path, const std::string& params, int mode = 1);

/// A request data file as a host writes it.
std::string Request(const std::vector<std::string>& entries);

/// A request that can't be parsed: |entries| load, then a line whose "=" lies
/// beyond what the loader's 16-bit positions reach makes the load fail.
std::string UnparsableRequest(const std::vector<std::string>& entries);

/// The PID report block naming the one application process |serverPid|.
std::string Report(std::uint32_t serverPid);

/// Milliseconds on a steady clock, for the durations the tests print.
double NowMs();

/// Prints |value| (milliseconds) and records it as a property of the test.
void PrintDuration(const std::string& what, double ms);

/// The stand-in server started by hand with |folder| as its STANDIN_DIR (set
/// in this process's environment too, so that the engines started from here,
/// and a server that COM would start for them, use the same folder). Ends
/// by itself once it has served an object and the last one is released. One
/// still running when its owner goes is asked to stop through its stop event;
/// it is killed only when it doesn't (under Wine a killed server stays
/// registered and breaks every later job).
class Standin {
 public:
  explicit Standin(std::string folder);
  ~Standin();
  Standin(const Standin&) = delete;
  Standin& operator=(const Standin&) = delete;

  /// Starts it and waits until its class is registered.
  void Start();
  std::uint32_t pid() const { return pid_; }

  /// Waits for it to end by itself; false when it hasn't after |ms|.
  bool AwaitEnd(std::uint32_t ms = kServerEndLimit);
  /// Signals its stop event and waits; false when it hasn't ended after |ms|.
  bool Stop(std::uint32_t ms = kServerEndLimit);
  /// After it has ended.
  std::uint32_t exitCode() const;

  /// The journal, each line without the server's PID, which must be this
  /// server's (checked).
  std::vector<std::string> Calls() const;
  /// The PIDs of every server that got ready in this folder.
  std::vector<std::string> Servers() const;

  std::string File(const char* name) const { return folder_ + "\\" + name; }

 private:
  std::string folder_;
  std::unique_ptr<testing_win32::ChildProcess> process_;
  std::uint32_t pid_ = 0;
};

/// A program started with a standard output (and error) handle of the
/// caller's choosing and no standard input; terminated if still running when
/// its owner goes.
class HostedProcess {
 public:
  /// Starts |commandLine| in |workingDirectory|; |output| must be inheritable
  /// (or null). Fails the test (fatally) when CreateProcessA fails.
  HostedProcess(const std::string& application, const std::string& commandLine,
                const std::string& workingDirectory, void* output);
  ~HostedProcess();
  HostedProcess(const HostedProcess&) = delete;
  HostedProcess& operator=(const HostedProcess&) = delete;

  bool started() const { return process_ != nullptr; }
  bool Wait(std::uint32_t ms);
  std::uint32_t exitCode() const;

 private:
  void* process_ = nullptr;
};

/// One job's folder: its request, script, stale result and working folder.
class FaultJob : public ::testing::Test {
 protected:
  FaultJob();

  std::string Expand(const std::string& text) const;
  /// The engine's command line for the request |path|.
  std::string CommandLine(const std::string& path) const;
  /// Options for a run of the request in this job's folder.
  testing_win32::LaunchOptions Options(
      testing_win32::StandardHandles handles = testing_win32::StandardHandles::Pipe) const;

  /// Writes request.dat and s.jsx (with |directives| after a comment line).
  void WriteJob(const std::string& requestText, const std::string& directives = "");

  /// Runs the engine to its end and returns what it printed; fails the test
  /// when it doesn't end within the hang guard.
  std::string RunEngine(const testing_win32::LaunchOptions& options);

  /// Waits for the stand-in to end by itself; a failure when it doesn't, or
  /// when it received no call at all.
  void ExpectStandinEnds();

  const std::string engine_;
  testing_win32::TempFolder dir_{"faults-job"};
  testing_win32::TempFolder standinDir_{"faults-app"};
  Standin standin_{standinDir_.path()};
};

}  // namespace faults
