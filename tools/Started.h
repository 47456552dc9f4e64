#pragma once

// A program started as a host starts the engine: its command text run as is by
// CreateProcessA (a launcher that rebuilt it from separate arguments could add
// quotes, and a quoted request path names nothing), with no console, its
// standard output and error a pipe of ours or nothing at all.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace host {

struct Started {
  PROCESS_INFORMATION info{};
  HANDLE output = nullptr;  // our end of the program's output, null without a pipe
};

// |folder| and |desktop| empty: ours. The pipe holds a megabyte before the
// program waits for it to be read. False when the program could not be started.
inline bool Start(const std::string& exe, std::string commandLine, const std::string& folder,
                  bool pipe, std::string desktop, Started& started) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE theirs = nullptr;
  if (pipe && (!CreatePipe(&started.output, &theirs, &inheritable, 1 << 20) ||
               !SetHandleInformation(started.output, HANDLE_FLAG_INHERIT, 0)))
    return false;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop.empty() ? nullptr : desktop.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = theirs;
  const bool started_ok =
      CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                     nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &started.info);
  if (theirs != nullptr) CloseHandle(theirs);  // the program holds its own copy
  return started_ok;
}

}  // namespace host
