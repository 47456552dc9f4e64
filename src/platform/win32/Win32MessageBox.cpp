#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace engine {

std::optional<std::uint32_t> ProcessSession() {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return std::nullopt;
  return session;
}

void Win32MessageBox::ShowFatal(const std::string& caption, const std::string& text) {
  // The engine has no window to own the box, and a server that starts it in the
  // background keeps the foreground: system-modal keeps the box on top, where
  // the person at the machine sees it. OK only, no icon.
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_SYSTEMMODAL);
}

bool Win32MessageBox::CanBeSeen() {
  // Nobody sees a box:
  //  - in session 0, where services run: since Windows Vista no user ever
  //    sees it, even on its visible "WinSta0" (a service allowed to interact
  //    with the desktop);
  //  - on a window station without WSF_VISIBLE: a service's or a task's run
  //    with nobody logged on;
  //  - on a desktop other than the station's "Default": one that a host
  //    created for the engine (STARTUPINFO.lpDesktop) is never switched to.
  // What can't be asked counts as seen, as the box always was: hiding it from
  // a person who could see it would be worse.
  if (session_() == 0u) return false;
  USEROBJECTFLAGS flags{};
  const HWINSTA station = GetProcessWindowStation();
  if (station != nullptr &&
      GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    return false;
  }
  wchar_t name[MAX_PATH] = {};
  const HDESK desktop = GetThreadDesktop(GetCurrentThreadId());
  if (desktop == nullptr ||
      !GetUserObjectInformationW(desktop, UOI_NAME, name, sizeof name, nullptr)) {
    return true;
  }
  return CompareStringOrdinal(name, -1, L"Default", -1, TRUE) == CSTR_EQUAL;
}

}  // namespace engine
