#include "Files.h"

#include "StandinProtocol.h"
#include "platform/win32/Handle.h"
#include "platform/win32/Utf16.h"

namespace standin {
namespace {

using engine::AnsiToWide;
using engine::Handle;

// The registry reaches a server that COM starts on Windows, where our
// environment would not (Wine hands it the client's).
std::wstring Folder() {
  std::wstring path(kLongestPath, L'\0');
  const DWORD n =
      GetEnvironmentVariableW(AnsiToWide(kFolderVariable).c_str(), path.data(), kLongestPath);
  if (n > 0 && n < kLongestPath) return path.substr(0, n);
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    DWORD bytes = kLongestPath * sizeof(wchar_t);
    if (RegGetValueW(hive, AnsiToWide(kFolderKey).c_str(), AnsiToWide(kFolderValue).c_str(),
                     RRF_RT_REG_SZ, nullptr, path.data(), &bytes) == ERROR_SUCCESS &&
        bytes > sizeof(wchar_t)) {
      return path.substr(0, bytes / sizeof(wchar_t) - 1);
    }
  }
  path = ProgramPath();
  return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring PathOf(const char* name) {
  static const std::wstring folder = Folder();
  return folder + L"\\" + AnsiToWide(name);
}

}  // namespace

std::wstring ProgramPath() {
  std::wstring path(kLongestPath, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), kLongestPath));
  return path;
}

std::string ReadText(const char* name) {
  Handle file(CreateFileW(PathOf(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (file.Valid() && ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  return text;
}

void WriteText(const char* name, const std::string& text, bool append) {
  Handle file(CreateFileW(PathOf(name).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file.Valid())
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace standin
