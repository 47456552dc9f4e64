#pragma once

// Arguments and results of late-bound calls, between the engine's values and
// the automation runtime's VARIANTs. Included only by .cpp files: it pulls in
// <windows.h>.

#include <string>
#include <vector>

#include "platform/Automation.h"
#include "platform/win32/ComOwners.h"

namespace engine {

/// The arguments of one call in the layout IDispatch::Invoke takes: last
/// argument first. By-value arguments are owned by their VARIANT; by-reference
/// ones point into a slot that outlives the call (the callee may replace a
/// referenced BSTR or array, and the slot frees whatever it then holds).
/// Failures name |member|.
class ArgumentList {
 public:
  ArgumentList(const std::string& member, const std::vector<AutomationArg>& args);
  ~ArgumentList();
  ArgumentList(const ArgumentList&) = delete;
  ArgumentList& operator=(const ArgumentList&) = delete;

  VARIANT* Data() { return variants_.empty() ? nullptr : variants_.data(); }
  UINT Count() const { return static_cast<UINT>(variants_.size()); }

 private:
  struct Slot {
    SHORT int16 = 0;
    VARIANT_BOOL boolean = VARIANT_FALSE;
    com::Bstr text;
    com::SafeArray array;
  };
  static void Fill(const std::string& member, const AutomationArg& arg, Slot& slot, VARIANT& v);

  std::vector<Slot> slots_;
  std::vector<VARIANT> variants_;
};

/// A call's result as text (empty for VT_EMPTY); failures name |member|.
std::string ResultText(const std::string& member, com::Variant& value);

}  // namespace engine
