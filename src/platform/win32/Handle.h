#pragma once

// The kernel handle owner of the Win32 layer, the stand-in and the Windows
// tests. Only <windows.h>: the file system includes it without the automation
// headers.

#include <windows.h>

#include "Owner.h"

namespace engine {

struct CloseKernelHandle {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

/// Owns a kernel handle (null and INVALID_HANDLE_VALUE both mean none).
class Handle : public Owner<HANDLE, CloseKernelHandle> {
 public:
  using Owner::Owner;
  bool Valid() const { return Get() != nullptr && Get() != INVALID_HANDLE_VALUE; }
};

}  // namespace engine
