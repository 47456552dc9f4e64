#include "platform/win32/ErrorText.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cctype>
#include <cstdio>

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

std::string HresultHex(long hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

std::string HresultText(long hr) {
  std::string text;
  // Win32 errors wrapped in an HRESULT are catalogued under their plain number.
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) text = SystemText(HRESULT_CODE(hr));
  if (text.empty()) text = SystemText(static_cast<DWORD>(hr));
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

namespace {

// Our own words for the failures a run is likely to meet, for systems that
// have no text for them.
const char* KnownReason(HRESULT hr) {
  switch (hr) {
    case RPC_E_CALL_REJECTED:
    case RPC_E_SERVERCALL_RETRYLATER:
      return "the application is busy and rejected the call";
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE):
    case RPC_E_DISCONNECTED:
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case CO_E_OBJNOTCONNECTED:
      return "the application's process has ended or can no longer be reached";
    case DISP_E_UNKNOWNNAME:
      return "the object has no member of this name";
    case DISP_E_MEMBERNOTFOUND:
      return "the object's member doesn't take this kind of call";
    case DISP_E_TYPEMISMATCH:
      return "type mismatch";
    case DISP_E_BADPARAMCOUNT:
      return "wrong number of arguments";
    case CO_E_SERVER_EXEC_FAILURE:
      return "the automation server failed to start";
    case CO_E_SERVER_STOPPING:
      return "the automation server is on its way out";
    case E_NOINTERFACE:
      return "the object doesn't support late-bound calls";
    case E_OUTOFMEMORY:
      return "out of memory";
    default:
      return nullptr;
  }
}

}  // namespace

std::string HresultReason(long hr) {
  std::string text = HresultText(hr);
  if (text.empty()) {
    if (const char* known = KnownReason(hr)) text = known;
  }
  if (text.empty()) return "failed with HRESULT " + HresultHex(hr);
  return text + " (HRESULT " + HresultHex(hr) + ")";
}

std::string DescribeFailure(std::string_view call, std::string_view subject,
                            std::uint32_t errorCode) {
  return DescribeFailure(call, subject, SystemErrorText(errorCode));
}

}  // namespace engine
