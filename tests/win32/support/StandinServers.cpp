#include "StandinServers.h"

#include <windows.h>

#include <string>

#include "TestFiles.h"

namespace testing_win32 {

std::unique_ptr<ChildProcess> StartStandin(const std::string& exe, const std::string& readyFile,
                                           std::uint32_t milliseconds, std::string* failure) {
  LaunchOptions options;
  options.application = exe;
  options.commandLine = "\"" + exe + "\"";
  options.handles = StandardHandles::Null;
  auto process = std::make_unique<ChildProcess>(options);
  const ULONGLONG limit = GetTickCount64() + milliseconds;
  while (!Exists(readyFile)) {
    if (process->WaitForExit(0)) {
      *failure = "the stand-in ended before it was ready";
      return nullptr;
    }
    if (GetTickCount64() >= limit) {
      *failure = "the stand-in did not get ready";
      return nullptr;
    }
    Sleep(5);
  }
  return process;
}

void AskStandinToStop(std::uint32_t pid) {
  const std::string name = "Local\\standin-stop-" + std::to_string(pid);
  if (HANDLE stop = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str())) {
    SetEvent(stop);
    CloseHandle(stop);
  }
}

bool AwaitStandinEnd(std::uint32_t pid, std::uint32_t milliseconds) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) return true;  // already gone
  const bool ended = WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
  if (!ended) {
    AskStandinToStop(pid);
    if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 5000);
    }
  }
  CloseHandle(process);
  return ended;
}

}  // namespace testing_win32
