#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace engine {

AnsiCharacters Win32CodePage::Characters() {
  return {};  // single-byte until the system is asked
}

}  // namespace engine
