// Test helper: a windowless program that writes "[" + its command text + "]"
// to standard output, so that tests see exactly what the platform layer
// extracts from the command line a real process was started with.

#include <string>

#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  engine::Win32Processes processes;
  engine::Win32Console console;
  std::string framed = "[";
  framed += processes.CommandText();
  framed += ']';
  console.Write(framed);
  return 0;
}
