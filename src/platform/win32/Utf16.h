#pragma once

// ANSI <-> UTF-16 at the Win32 boundary: paths for the wide file calls, texts
// for the automation runtime. Only <windows.h>.

#include <windows.h>

#include <string>
#include <string_view>

namespace engine {

/// Bytes in the system's ANSI code page to UTF-16. Characters the code page
/// can't express never occur on this side; invalid bytes become the system's
/// replacement character rather than a failure.
inline std::wstring AnsiToWide(std::string_view text) {
  if (text.empty()) return std::wstring();
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  }
  return wide;
}

/// UTF-16 to bytes in the system's ANSI code page; what the code page lacks
/// becomes its default character.
inline std::string WideToAnsi(std::wstring_view text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), ansi.data(), length,
                        nullptr, nullptr);
  }
  return ansi;
}

}  // namespace engine
