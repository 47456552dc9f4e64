#pragma once

// Owners for the automation runtime's resources (BSTR, VARIANT, SAFEARRAY,
// EXCEPINFO), for the automation client and the stand-in; included only by
// .cpp files, since it pulls in <windows.h>.

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <string_view>

#include "Owner.h"

namespace engine::com {

/// The characters of |text|, which may be null (the empty string).
inline std::wstring_view View(BSTR text) {
  return text == nullptr ? std::wstring_view() : std::wstring_view(text, SysStringLen(text));
}

struct FreeBstr {
  void operator()(BSTR text) const { SysFreeString(text); }
};

/// Owns one BSTR (null is the empty string, as the runtime treats it).
class Bstr : public Owner<BSTR, FreeBstr> {
 public:
  Bstr() = default;
  explicit Bstr(std::wstring_view text)
      : Owner(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  std::wstring_view View() const { return com::View(Get()); }
};

/// Owns one VARIANT; cleared on destruction.
class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  VARIANT* Get() { return &value_; }
  const VARIANT* Get() const { return &value_; }
  VARTYPE Type() const { return V_VT(&value_); }
  void Clear() { VariantClear(&value_); }

 private:
  VARIANT value_;
};

struct DestroySafeArray {
  void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};

/// Owns one SAFEARRAY.
using SafeArray = Owner<SAFEARRAY*, DestroySafeArray>;

/// An EXCEPINFO whose strings are freed with it.
class ExcepInfo {
 public:
  ExcepInfo() { ZeroMemory(&value_, sizeof value_); }
  ~ExcepInfo() { Clear(); }
  ExcepInfo(const ExcepInfo&) = delete;
  ExcepInfo& operator=(const ExcepInfo&) = delete;

  EXCEPINFO* Get() { return &value_; }
  void Clear() {
    if (value_.bstrSource != nullptr) SysFreeString(value_.bstrSource);
    if (value_.bstrDescription != nullptr) SysFreeString(value_.bstrDescription);
    if (value_.bstrHelpFile != nullptr) SysFreeString(value_.bstrHelpFile);
    ZeroMemory(&value_, sizeof value_);
  }

 private:
  EXCEPINFO value_;
};

}  // namespace engine::com
