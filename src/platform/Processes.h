#pragma once

#include <cstdint>
#include <string>

#include "Owner.h"

namespace engine {

/// Opaque handles of the process-status calls; 0 is "no handle".
using ProcessHandle = std::uintptr_t;
using ModuleHandle = std::uintptr_t;

/// Access rights the census asks for: query information and read memory.
inline constexpr std::uint32_t kProcessQueryInformation = 0x0400;
inline constexpr std::uint32_t kProcessVmRead = 0x0010;

class Processes;

/// Closes a process handle through the port that opened it.
struct ProcessCloser {
  Processes* processes = nullptr;
  void operator()(ProcessHandle process) const;
};
using OwnedProcess = Owner<ProcessHandle, ProcessCloser>;

/// This process and the others running beside it. The census methods mirror
/// the Windows process-status calls one to one, so that the loops around them
/// stay in the logic.
class Processes {
 public:
  virtual ~Processes() = default;

  /// The argument part of this process's command line: everything after the
  /// program's own name and the blanks that follow it, unsplit, quotes kept.
  virtual std::string CommandText() = 0;

  /// Fills |pids| (|bufferBytes| bytes of room) with the identifiers of the
  /// running processes and sets |*returnedBytes| to the number of bytes
  /// written. Returns whether the call succeeded.
  virtual bool EnumProcesses(std::uint32_t* pids, std::uint32_t bufferBytes,
                             std::uint32_t* returnedBytes) = 0;

  /// Opens process |pid| with |access|; |inheritHandle| as the Windows call
  /// takes it. Returns 0 when it can't be opened.
  virtual ProcessHandle OpenProcess(std::uint32_t access, bool inheritHandle,
                                    std::uint32_t pid) = 0;

  /// Fills |modules| (|bufferBytes| bytes of room) with the process's module
  /// handles, its executable first, and sets |*neededBytes|. Returns whether
  /// the call succeeded.
  virtual bool EnumProcessModules(ProcessHandle process, ModuleHandle* modules,
                                  std::uint32_t bufferBytes,
                                  std::uint32_t* neededBytes) = 0;

  /// Copies the full path of |module| in the ANSI code page into |name|
  /// (|size| characters of room, NUL-terminated when it fits) and returns the
  /// number of characters copied, 0 on failure.
  virtual std::uint32_t GetModuleFileNameEx(ProcessHandle process, ModuleHandle module,
                                            char* name, std::uint32_t size) = 0;

  /// Closes a handle that OpenProcess returned.
  virtual void CloseHandle(ProcessHandle process) = 0;

  /// OpenProcess(access, false, pid), closed with its owner.
  OwnedProcess Open(std::uint32_t access, std::uint32_t pid) {
    return OwnedProcess(OpenProcess(access, false, pid), ProcessCloser{this});
  }
};

inline void ProcessCloser::operator()(ProcessHandle process) const {
  processes->CloseHandle(process);
}

}  // namespace engine
