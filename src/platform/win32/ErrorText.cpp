#include "platform/win32/ErrorText.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace engine {

std::string SystemText(std::uint32_t code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0 && buffer != nullptr) text.assign(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string SystemErrorText(std::uint32_t errorCode) {
  std::string text = SystemText(errorCode);
  return text.empty() ? "error " + std::to_string(errorCode) : text;
}

std::string DescribeFailure(std::string_view call, std::string_view subject,
                            std::uint32_t errorCode) {
  return DescribeFailure(call, subject, SystemErrorText(errorCode));
}

}  // namespace engine
