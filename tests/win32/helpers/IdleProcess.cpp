// Test helper: a windowless program that does nothing for a while. Copied
// under another name, it is a process for the engine's census to find.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The test that started it ends it; the bound only keeps a crashed test
  // from leaving it behind for long.
  Sleep(120000);
  return 0;
}
