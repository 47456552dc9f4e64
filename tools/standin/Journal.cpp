#include "Journal.h"

#include <cstdio>

#include "Files.h"
#include "StandinProtocol.h"
#include "platform/win32/ComOwners.h"
#include "platform/win32/Utf16.h"

namespace standin {
namespace {

using engine::com::Bstr;
using engine::com::Variant;

std::string Described(const VARIANT& v);

std::string TypeName(VARTYPE vt) {
  static const char* const kNames[] = {
      "VT_EMPTY", "VT_NULL", "VT_I2",       "VT_I4",    "VT_R4",   "VT_R8",      "VT_CY",
      "VT_DATE",  "VT_BSTR", "VT_DISPATCH", "VT_ERROR", "VT_BOOL", "VT_VARIANT", "VT_UNKNOWN"};
  char hex[16];
  std::snprintf(hex, sizeof hex, "VT_0x%X", static_cast<unsigned>(vt & VT_TYPEMASK));
  std::string name = (vt & VT_TYPEMASK) <= VT_UNKNOWN ? kNames[vt & VT_TYPEMASK] : hex;
  if (vt & VT_ARRAY) name.insert(0, "VT_ARRAY|");
  return vt & VT_BYREF ? name + "|VT_BYREF" : name;
}

std::string Quoted(BSTR text) { return '"' + engine::WideToAnsi(engine::com::View(text)) + '"'; }

// "[lower..upper]" per dimension; a one-dimensional array adds its elements.
std::string ArrayText(SAFEARRAY* array, VARTYPE element) {
  if (array == nullptr) return "null";
  std::string text;
  LONG lower = 0;
  LONG upper = -1;
  for (UINT d = SafeArrayGetDim(array); d >= 1; --d) {
    SafeArrayGetLBound(array, d, &lower);
    SafeArrayGetUBound(array, d, &upper);
    text.insert(0, "[" + std::to_string(lower) + ".." + std::to_string(upper) + "]");
  }
  if (SafeArrayGetDim(array) != 1) return text;
  text += " {";
  for (LONG i = lower; i <= upper; ++i) {
    Variant item;
    Bstr bstr;
    text += i == lower ? "" : ", ";
    if (element == VT_VARIANT && SUCCEEDED(SafeArrayGetElement(array, &i, item.Get()))) {
      text += Described(*item.Get());
    } else if (element == VT_BSTR && SUCCEEDED(SafeArrayGetElement(array, &i, bstr.Put()))) {
      text += Quoted(bstr.Get());
    } else {
      text += "?";
    }
  }
  return text + "}";
}

std::string ValueText(const VARIANT& v) {
  const VARTYPE vt = V_VT(&v);
  const bool ref = (vt & VT_BYREF) != 0;
  if (vt & VT_ARRAY) return ArrayText(ref ? *V_ARRAYREF(&v) : V_ARRAY(&v), vt & VT_TYPEMASK);
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY:
    case VT_NULL:
      return std::string();
    case VT_I2:
      return std::to_string(ref ? *V_I2REF(&v) : V_I2(&v));
    case VT_I4:
      return std::to_string(ref ? *V_I4REF(&v) : V_I4(&v));
    case VT_BOOL:
      return std::to_string(ref ? *V_BOOLREF(&v) : V_BOOL(&v));
    case VT_BSTR:
      return Quoted(ref ? *V_BSTRREF(&v) : V_BSTR(&v));
    case VT_VARIANT:
      return ref ? Described(*V_VARIANTREF(&v)) : "?";
  }
  Variant text;
  const bool converted =
      SUCCEEDED(VariantChangeType(text.Get(), const_cast<VARIANT*>(&v), 0, VT_BSTR));
  return converted ? Quoted(V_BSTR(text.Get())) : "?";
}

std::string Described(const VARIANT& v) {
  const std::string value = ValueText(v);
  return value.empty() ? TypeName(V_VT(&v)) : TypeName(V_VT(&v)) + " " + value;
}

}  // namespace

std::string CallLine(const std::string& member, WORD flags, const DISPPARAMS& params) {
  std::string line = flags & DISPATCH_PROPERTYPUT ? "PUT "
                     : flags & DISPATCH_METHOD    ? "CALL "
                                                  : "GET ";
  line += member;
  // rgvarg holds the named arguments first, then the others last first. A
  // named one is journaled as "<dispid>=", but for the value of a put.
  const UINT named = params.cNamedArgs;
  for (UINT i = params.cArgs; i > 0; --i) {
    const UINT at = i > named ? i - 1 : named - i;
    const DISPID to = i > named ? DISPID_UNKNOWN : params.rgdispidNamedArgs[at];
    line += i == params.cArgs ? " " : " ; ";
    if (to != DISPID_UNKNOWN && !(to == DISPID_PROPERTYPUT && (flags & DISPATCH_PROPERTYPUT))) {
      line += std::to_string(to) + "=";
    }
    line += Described(params.rgvarg[at]);
  }
  return line;
}

void Journal(const std::string& line) {
  WriteText(kJournalFile, std::to_string(GetCurrentProcessId()) + " " + line + "\r\n", true);
}

}  // namespace standin
