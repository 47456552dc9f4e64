#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace engine {

void PrepareProcess() {
  // Nobody may be at the machine to answer a "no disk in drive" prompt for a
  // path that a request names; such a path is simply not there. Added to the
  // mode the host handed down, whose other choices (no crash report box for a
  // server that nobody watches, say) stay the host's.
  SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS);

  // The DLLs that the system loads later on the engine's behalf (for the
  // message box, for COM's proxies) come from the system folder only, never
  // from the engine's folder or the job's current folder, which others may be
  // able to write. Windows 7 has the call only with its update KB2533623, so
  // it is looked up rather than imported; where it is missing or fails, the
  // job goes on with the system's usual search order.
  using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
  if (const auto restrict = reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")))) {
    restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
}

}  // namespace engine
