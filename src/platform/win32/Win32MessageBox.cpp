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

bool Win32MessageBox::CanBeSeen() {
  // A service or a task run with nobody logged on gets a window station of its
  // own, without WSF_VISIBLE. When the station can't be asked, the box is shown
  // as it always was: hiding it from a person who could see it would be worse.
  USEROBJECTFLAGS flags{};
  const HWINSTA station = GetProcessWindowStation();
  if (station == nullptr ||
      !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) {
    return true;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace engine
