#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace engine {

void Win32MessageBox::ShowFatal(const std::string& caption, const std::string& text) {
  // The engine has no window to own the box, and a server that starts it in the
  // background keeps the foreground: system-modal keeps the box on top, where
  // the person at the machine sees it. OK only, no icon.
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_SYSTEMMODAL);
}

}  // namespace engine

namespace engine {

bool Win32MessageBox::CanBeSeen() {
  return true;  // until the window station is asked
}

}  // namespace engine
