#include "ChildProcess.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdexcept>

namespace testing_win32 {

struct ChildProcess::State {
  PROCESS_INFORMATION process{};
  HANDLE readEnd = nullptr;
  HANDLE reader = nullptr;  // thread draining readEnd into output
  std::string output;
  bool exited = false;

  static DWORD WINAPI Drain(void* self) {
    auto* state = static_cast<State*>(self);
    char buffer[4096];
    DWORD got = 0;
    // Ends when every holder of the write end (the child and whatever it
    // handed the handle on to) has closed it.
    while (ReadFile(state->readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      state->output.append(buffer, got);
    }
    return 0;
  }

  // Waits for the reader to reach the end of the pipe. A grandchild that
  // inherited the write end could keep it open, so the wait is bounded and
  // then the blocked read is cancelled.
  void StopReader() {
    if (reader == nullptr) return;
    if (WaitForSingleObject(reader, 10000) != WAIT_OBJECT_0) {
      CancelSynchronousIo(reader);
      WaitForSingleObject(reader, INFINITE);
    }
    CloseHandle(reader);
    reader = nullptr;
  }
};

ChildProcess::ChildProcess(const LaunchOptions& options) : state_(std::make_unique<State>()) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  HANDLE writeEnd = nullptr;
  switch (options.handles) {
    case StandardHandles::Pipe: {
      SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
      if (!CreatePipe(&state_->readEnd, &writeEnd, &inheritable, 0)) {
        throw std::runtime_error("CreatePipe failed");
      }
      // Only the child's end is inherited.
      SetHandleInformation(state_->readEnd, HANDLE_FLAG_INHERIT, 0);
      startup.hStdInput = nullptr;
      startup.hStdOutput = writeEnd;
      startup.hStdError = writeEnd;
      break;
    }
    case StandardHandles::Null:
      startup.hStdInput = startup.hStdOutput = startup.hStdError = nullptr;
      break;
    case StandardHandles::Invalid:
      startup.hStdInput = startup.hStdOutput = startup.hStdError = INVALID_HANDLE_VALUE;
      break;
  }

  std::string commandLine = options.commandLine;  // CreateProcessA may write into it
  const BOOL started = CreateProcessA(
      options.application.empty() ? nullptr : options.application.c_str(), commandLine.data(),
      nullptr, nullptr, writeEnd != nullptr ? TRUE : FALSE,
      // No console of ours is passed on: the engine is started windowless.
      DETACHED_PROCESS, nullptr,
      options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(), &startup,
      &state_->process);
  const DWORD error = GetLastError();
  if (writeEnd != nullptr) CloseHandle(writeEnd);  // the child holds its own copy now
  if (!started) {
    if (state_->readEnd != nullptr) CloseHandle(state_->readEnd);
    state_->readEnd = nullptr;
    throw std::runtime_error("CreateProcessA(" + options.application + ") failed with error " +
                             std::to_string(error));
  }
  if (state_->readEnd != nullptr) {
    state_->reader = CreateThread(nullptr, 0, &State::Drain, state_.get(), 0, nullptr);
  }
}

ChildProcess::~ChildProcess() {
  if (state_->process.hProcess != nullptr) {
    if (!state_->exited && WaitForSingleObject(state_->process.hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(state_->process.hProcess, 1);
      WaitForSingleObject(state_->process.hProcess, 10000);
    }
    CloseHandle(state_->process.hThread);
    CloseHandle(state_->process.hProcess);
  }
  state_->StopReader();
  if (state_->readEnd != nullptr) CloseHandle(state_->readEnd);
}

std::uint32_t ChildProcess::pid() const { return state_->process.dwProcessId; }

bool ChildProcess::WaitForExit(std::uint32_t milliseconds) {
  if (!state_->exited) {
    state_->exited = WaitForSingleObject(state_->process.hProcess, milliseconds) == WAIT_OBJECT_0;
  }
  return state_->exited;
}

std::uint32_t ChildProcess::exitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(state_->process.hProcess, &code);
  return code;
}

std::string ChildProcess::TakeOutput() {
  state_->StopReader();
  return std::move(state_->output);
}

RunResult RunToEnd(const LaunchOptions& options, std::uint32_t milliseconds) {
  ChildProcess child(options);
  RunResult result;
  result.finished = child.WaitForExit(milliseconds);
  if (result.finished) {
    result.exitCode = child.exitCode();
    result.output = child.TakeOutput();
  }
  return result;
}

}  // namespace testing_win32
