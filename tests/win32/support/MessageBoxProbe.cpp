#include "MessageBoxProbe.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace testing_win32 {
namespace {

struct Search {
  DWORD pid;
  const std::string* caption;
  HWND found = nullptr;
};

std::string TextOf(HWND window) {
  char text[1024] = {};
  const int n = GetWindowTextA(window, text, sizeof text);
  return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  const int n = GetClassNameA(window, name, sizeof name);
  return std::string(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

BOOL CALLBACK ConsiderTopLevel(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->pid && IsWindowVisible(window) && ClassOf(window) == "#32770" &&
      TextOf(window) == *search->caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK ConsiderChild(HWND child, LPARAM context) {
  auto* view = reinterpret_cast<MessageBoxView*>(context);
  const std::string cls = ClassOf(child);
  const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
  if (_stricmp(cls.c_str(), "Button") == 0) {
    if (IsWindowVisible(child)) view->buttons.push_back(TextOf(child));
  } else if (_stricmp(cls.c_str(), "Static") == 0) {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      // A dialog template may carry an icon control that stays empty or hidden
      // when the box has no icon; only a shown icon counts.
      if (IsWindowVisible(child) && SendMessageA(child, STM_GETICON, 0, 0) != 0) {
        view->showsIcon = true;
      }
    } else {
      std::string text = TextOf(child);
      if (!text.empty()) view->texts.push_back(std::move(text));
    }
  }
  return TRUE;
}

}  // namespace

std::optional<MessageBoxView> WaitForMessageBox(std::uint32_t pid, const std::string& caption,
                                                std::uint32_t milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  for (;;) {
    Search search{pid, &caption};
    EnumWindows(&ConsiderTopLevel, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      MessageBoxView view;
      view.window = reinterpret_cast<std::uintptr_t>(search.found);
      view.caption = caption;
      EnumChildWindows(search.found, &ConsiderChild, reinterpret_cast<LPARAM>(&view));
      return view;
    }
    if (GetTickCount64() >= deadline) return std::nullopt;
    Sleep(100);
  }
}

bool PressOk(const MessageBoxView& box) {
  HWND window = reinterpret_cast<HWND>(box.window);
  HWND ok = GetDlgItem(window, IDOK);
  if (ok == nullptr || !IsWindow(window)) return false;
  return PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                      reinterpret_cast<LPARAM>(ok)) != FALSE;
}

}  // namespace testing_win32
