#pragma once

// Small owners for the automation runtime's resources (BSTR, VARIANT,
// SAFEARRAY, EXCEPINFO) and the ANSI <-> UTF-16 conversions
// at the automation boundary. Used by the automation client and by the test
// server; included only by .cpp files, since it pulls in <windows.h>.

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace engine::com {

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

/// Owns one BSTR (null is the empty string, as the runtime treats it).
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::wstring_view text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { Reset(); }
  Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = std::exchange(other.value_, nullptr);
    }
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR Get() const { return value_; }
  /// For a callee that stores a BSTR here; frees the current one first.
  BSTR* Put() {
    Reset();
    return &value_;
  }
  /// For a callee that may replace the BSTR in place (an [in, out] argument):
  /// whatever sits here at destruction is freed.
  BSTR* InOut() { return &value_; }
  BSTR Release() { return std::exchange(value_, nullptr); }
  void Reset() {
    if (value_ != nullptr) SysFreeString(std::exchange(value_, nullptr));
  }
  std::wstring_view View() const {
    return value_ == nullptr ? std::wstring_view()
                             : std::wstring_view(value_, SysStringLen(value_));
  }

 private:
  BSTR value_ = nullptr;
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

/// Owns one SAFEARRAY.
class SafeArray {
 public:
  SafeArray() = default;
  explicit SafeArray(SAFEARRAY* array) : value_(array) {}
  ~SafeArray() { Reset(); }
  SafeArray(SafeArray&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  SafeArray& operator=(SafeArray&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = std::exchange(other.value_, nullptr);
    }
    return *this;
  }
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;

  SAFEARRAY* Get() const { return value_; }
  /// For an [in, out] argument the callee may replace.
  SAFEARRAY** InOut() { return &value_; }
  SAFEARRAY* Release() { return std::exchange(value_, nullptr); }
  void Reset() {
    if (value_ != nullptr) SafeArrayDestroy(std::exchange(value_, nullptr));
  }

 private:
  SAFEARRAY* value_ = nullptr;
};

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
