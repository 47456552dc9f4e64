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
  engine::PrepareProcess();

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
