#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
// The psapi.dll entry points, which every Windows version has, rather than the
// K32 aliases that the header would otherwise substitute.
#define PSAPI_VERSION 1
#include <windows.h>
#include <psapi.h>
#undef GetModuleFileNameEx

namespace engine {

std::string ExtractCommandText(std::string_view commandLine) {
  std::size_t i = 0;
  bool quoted = false;
  // The program's name: up to the first blank or control character outside
  // double quotes. Bytes are compared unsigned so that ANSI characters above
  // 127 stay part of the name.
  while (i < commandLine.size()) {
    const auto c = static_cast<unsigned char>(commandLine[i]);
    if (c == '"') {
      quoted = !quoted;
    } else if (c <= ' ' && !quoted) {
      break;
    }
    ++i;
  }
  while (i < commandLine.size() && static_cast<unsigned char>(commandLine[i]) <= ' ') ++i;
  return std::string(commandLine.substr(i));
}

std::string Win32Processes::CommandText() {
  const char* line = GetCommandLineA();
  return ExtractCommandText(line != nullptr ? std::string_view(line) : std::string_view());
}

bool Win32Processes::EnumProcesses(std::uint32_t* pids, std::uint32_t bufferBytes,
                                   std::uint32_t* returnedBytes) {
  static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
  DWORD returned = 0;
  const BOOL ok = ::EnumProcesses(reinterpret_cast<DWORD*>(pids), bufferBytes, &returned);
  if (returnedBytes != nullptr) *returnedBytes = returned;
  return ok != FALSE;
}

ProcessHandle Win32Processes::OpenProcess(std::uint32_t access, bool inheritHandle,
                                          std::uint32_t pid) {
  return reinterpret_cast<ProcessHandle>(::OpenProcess(access, inheritHandle ? TRUE : FALSE, pid));
}

bool Win32Processes::EnumProcessModules(ProcessHandle process, ModuleHandle* modules,
                                        std::uint32_t bufferBytes, std::uint32_t* neededBytes) {
  static_assert(sizeof(HMODULE) == sizeof(ModuleHandle));
  DWORD needed = 0;
  const BOOL ok = ::EnumProcessModules(reinterpret_cast<HANDLE>(process),
                                       reinterpret_cast<HMODULE*>(modules), bufferBytes, &needed);
  if (neededBytes != nullptr) *neededBytes = needed;
  return ok != FALSE;
}

std::uint32_t Win32Processes::GetModuleFileNameEx(ProcessHandle process, ModuleHandle module,
                                                  char* name, std::uint32_t size) {
  return ::GetModuleFileNameExA(reinterpret_cast<HANDLE>(process),
                                reinterpret_cast<HMODULE>(module), name, size);
}

void Win32Processes::CloseHandle(ProcessHandle process) {
  ::CloseHandle(reinterpret_cast<HANDLE>(process));
}

}  // namespace engine
