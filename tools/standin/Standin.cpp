// Photoshop.exe, a stand-in for the image editor's automation server: an
// out-of-process server registered under "photoshop.application" that writes
// every call it receives to a journal, and fails, stalls, dies or turns calls
// away as busy when its control file says so, and refuses what a server built
// on type information refuses. For testing a host (and the engine) on a
// machine without the editor; README.md beside this file is the user's guide.
//
// Control.* reads the control file, Journal.* writes the journal, Files.* finds
// both, Registration.* registers the class, Server.* serves it.

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "Files.h"
#include "Registration.h"
#include "Server.h"
#include "StandinProtocol.h"
#include "platform/win32/Handle.h"

namespace standin {
namespace {

using engine::Handle;

// Signals the stop event of |pid|, or of every server listed when |pid| is
// empty. Whether every one reached could be told.
bool Stop(const std::wstring& pid) {
  std::vector<unsigned long> pids;
  if (!pid.empty()) {
    pids.push_back(std::wcstoul(pid.c_str(), nullptr, 10));
  } else {
    for (const std::string& line : Lines(ReadText(kPidsFile)))
      pids.push_back(std::strtoul(line.c_str(), nullptr, 10));
  }
  bool told = true;
  for (const unsigned long each : pids) {
    Handle stop(OpenEventA(EVENT_MODIFY_STATE, FALSE, StopEvent(each).c_str()));
    // A listed server that has ended has no event left to signal.
    if (stop.Valid() ? !SetEvent(stop.Get()) : !pid.empty()) told = false;
  }
  return told;
}

// Starts a server that stays, and returns once it serves: 0, or 1 when it
// ended without serving.
int Start() {
  const std::wstring exe = ProgramPath();
  std::wstring commandLine = L"\"" + exe + L"\" /stay";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                      nullptr, nullptr, &startup, &info)) {
    return 1;
  }
  const Handle thread(info.hThread);
  const Handle process(info.hProcess);
  for (const std::string pid = std::to_string(info.dwProcessId);;) {
    if (std::ranges::count(Lines(ReadText(kPidsFile)), pid) > 0) return 0;
    if (WaitForSingleObject(process.Get(), 10) == WAIT_OBJECT_0) return 1;
  }
}

}  // namespace
}  // namespace standin

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring option = argc > 1 ? argv[1] : L"";
  bool machine = false;
  std::wstring operand;  // a folder or a pid
  for (int i = 2; i < argc; ++i) {
    if (_wcsicmp(argv[i], L"/machine") == 0) {
      machine = true;
    } else {
      operand = argv[i];
    }
  }
  LocalFree(argv);
  // Where COM looks for the classes of the process: above medium integrity,
  // at the machine's alone.
  machine = machine || standin::AboveMediumIntegrity();
  if (_wcsicmp(option.c_str(), L"/regserver") == 0) return standin::Register(operand, machine);
  if (_wcsicmp(option.c_str(), L"/unregserver") == 0) return standin::Unregister(machine);
  if (_wcsicmp(option.c_str(), L"/stop") == 0) return standin::Stop(operand) ? 0 : 1;
  if (_wcsicmp(option.c_str(), L"/start") == 0) return standin::Start();
  // Started by hand, or by COM with -Embedding.
  return standin::Serve(_wcsicmp(option.c_str(), L"/stay") == 0);
}
