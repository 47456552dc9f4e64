#pragma once

// The control file: "key=value" lines, read at every call. Keys compare
// without letter case; the value is the rest of the line.

#include <windows.h>

#include <optional>
#include <string>

namespace standin {

std::string Lower(std::string text);

/// The value of |key|'s first line, if the control file has one.
std::optional<std::string> Setting(const std::string& key);

/// S_OK, or how a call of |kind| (CreateInstance, GetIDsOfNames or Invoke;
/// null for a call of the runtime's own) is turned away as busy: while the
/// count "busy=N" lasts, for calls of the kind that "busy-on" names (any by
/// default). Each one writes the count back one lower, so "busy=0" afterwards
/// shows that all of them were served. The answer is "busy-code"'s:
/// RPC_E_SERVERCALL_RETRYLATER by default, as a temporarily busy application
/// gives it.
HRESULT BusyAnswer(const char* kind);

}  // namespace standin
