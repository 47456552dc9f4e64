#include "FaultSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace faults {

using testing_win32::ChildProcess;
using testing_win32::LaunchOptions;
using testing_win32::ReadBytes;
using testing_win32::StandardHandles;
using testing_win32::ToWindowsPath;

std::string JavaScriptCall(const std::string& path, const std::string& params, int mode) {
  return "CALL DoJavaScriptFile VT_BSTR|VT_BYREF \"" + path +
         "\" ; VT_ARRAY|VT_VARIANT [0..0] {VT_BSTR \"" + params + "\"} ; VT_I2|VT_BYREF " +
         std::to_string(mode);
}

std::string Request(const std::vector<std::string>& entries) {
  std::string text = "Written by a conversion host\r\n@Properties LocalData\r\n";
  for (const std::string& entry : entries) text += entry + "\r\n";
  return text + "@end\r\n";
}

std::string UnparsableRequest(const std::vector<std::string>& entries) {
  std::string text = "Written by a conversion host\r\n@Properties LocalData\r\n";
  for (const std::string& entry : entries) text += entry + "\r\n";
  return text + std::string(40000, 'k') + "=v\r\n@end\r\n";
}

std::string Report(std::uint32_t serverPid) {
  return "@Properties LocalData\nBefore=\nAfter=" + std::to_string(serverPid) + "\n@end\n";
}

double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void PrintDuration(const std::string& what, double ms) {
  std::printf("[ duration ] %s: %.0f ms\n", what.c_str(), ms);
  std::fflush(stdout);
  ::testing::Test::RecordProperty(what, std::to_string(static_cast<long long>(ms)));
}

// ---------------------------------------------------------------------------

Standin::Standin(std::string folder) : folder_(std::move(folder)) {}

Standin::~Standin() {
  if (process_ && !process_->WaitForExit(0)) {
    Stop();
    // Still there: killed by ChildProcess's destructor, the last resort.
  }
  SetEnvironmentVariableA("STANDIN_DIR", nullptr);
}

void Standin::Start() {
  SetEnvironmentVariableA("STANDIN_DIR", folder_.c_str());
  std::string failure;
  process_ = testing_win32::StartStandin(ToWindowsPath(STANDIN_EXE), File("standin-pids.txt"),
                                         kServerReadyLimit, &failure);
  ASSERT_TRUE(process_) << failure;
  pid_ = process_->pid();
}

bool Standin::AwaitEnd(std::uint32_t ms) { return process_ && process_->WaitForExit(ms); }

bool Standin::Stop(std::uint32_t ms) {
  if (!process_) return true;
  if (process_->WaitForExit(0)) return true;
  testing_win32::AskStandinToStop(pid_);
  return process_->WaitForExit(ms);
}

std::uint32_t Standin::exitCode() const { return process_ ? process_->exitCode() : 0; }

std::vector<std::string> Standin::Calls() const {
  std::vector<std::string> calls;
  const std::string prefix = std::to_string(pid_) + " ";
  for (const std::string& line :
       testing_win32::SplitCrLfLines(ReadBytes(File("standin-journal.txt")).value_or(""))) {
    EXPECT_EQ(line.compare(0, prefix.size(), prefix), 0) << "a call reached another server: " << line;
    calls.push_back(line.substr(std::min(line.size(), prefix.size())));
  }
  return calls;
}

std::vector<std::string> Standin::Servers() const {
  return testing_win32::SplitCrLfLines(ReadBytes(File("standin-pids.txt")).value_or(""));
}

// ---------------------------------------------------------------------------

HostedProcess::HostedProcess(const std::string& application, const std::string& commandLine,
                             const std::string& workingDirectory, void* output) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION info{};
  std::string line = commandLine;  // CreateProcessA may write into it
  if (!CreateProcessA(application.c_str(), line.data(), nullptr, nullptr,
                      output != nullptr ? TRUE : FALSE, DETACHED_PROCESS, nullptr,
                      workingDirectory.c_str(), &startup, &info)) {
    ADD_FAILURE() << "CreateProcessA(" << application << ") failed with error " << GetLastError();
    return;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
}

HostedProcess::~HostedProcess() {
  if (process_ == nullptr) return;
  if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 10000);
  }
  CloseHandle(process_);
}

bool HostedProcess::Wait(std::uint32_t ms) {
  return process_ != nullptr && WaitForSingleObject(process_, ms) == WAIT_OBJECT_0;
}

std::uint32_t HostedProcess::exitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return code;
}

// ---------------------------------------------------------------------------

FaultJob::FaultJob() : engine_(ToWindowsPath(ENGINE_EXE)) {}

std::string FaultJob::Expand(const std::string& text) const {
  std::string out = text;
  const std::string what = "$DIR";
  for (std::size_t at = out.find(what); at != std::string::npos;
       at = out.find(what, at + dir_.path().size())) {
    out.replace(at, what.size(), dir_.path());
  }
  return out;
}

std::string FaultJob::CommandLine(const std::string& path) const {
  return "\"" + engine_ + "\" " + path;
}

LaunchOptions FaultJob::Options(StandardHandles handles) const {
  LaunchOptions options;
  options.application = engine_;
  options.commandLine = CommandLine(dir_ / "request.dat");
  options.workingDirectory = dir_.path();
  options.handles = handles;
  return options;
}

void FaultJob::WriteJob(const std::string& requestText, const std::string& directives) {
  ASSERT_TRUE(testing_win32::WriteBytes(dir_ / "request.dat", requestText));
  ASSERT_TRUE(
      testing_win32::WriteBytes(dir_ / "s.jsx", "// the job's script\r\n" + directives + "\r\n"));
}

std::string FaultJob::RunEngine(const LaunchOptions& options) {
  const double start = NowMs();
  ChildProcess engine(options);
  if (!engine.WaitForExit(kJobLimit)) {
    ADD_FAILURE() << "the engine did not end";
    return {};  // terminated by ChildProcess's destructor
  }
  PrintDuration("engine_run_ms", NowMs() - start);
  EXPECT_EQ(engine.exitCode(), 0u);
  return engine.TakeOutput();
}

void FaultJob::ExpectStandinEnds() {
  // One that was never called was perhaps never served, and then it waits.
  if (standin_.Calls().empty()) {
    ADD_FAILURE() << "the application was never called";
    return;
  }
  EXPECT_TRUE(standin_.AwaitEnd()) << "the stand-in did not end after the engine released it";
}

}  // namespace faults
