#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace engine {

void Win32Console::Write(std::string_view bytes) {
  // Fetched anew each time: a GUI-subsystem process has a standard output only
  // when its starter handed one over, and it may be NULL or invalid.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  // One write; a line that doesn't arrive is lost, never an error of the run.
  DWORD written = 0;
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace engine
