// The program's entry: a windowless (GUI-subsystem) process that a conversion
// server starts once per job, with the request data file's path as its whole
// command line.

#include "EngineState.h"
#include "PhotoShopMain.h"
#include "platform/win32/Win32Automation.h"
#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
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

  // Declared first so that it outlives everything the run creates through it.
  engine::Win32Automation automation;
  engine::Win32Console console;
  engine::Win32FileSystem fileSystem;
  engine::Win32MessageBox messageBox;
  engine::Win32Processes processes;
  engine::Win32CodePage codePage;
  engine::Engine engine(
      engine::Platform{console, fileSystem, messageBox, processes, automation, codePage});
  engine::Main(engine);
  // The engine never chooses an exit code of its own.
  return 0;
}
