#include "platform/win32/Arguments.h"

#include <utility>

#include "EngineError.h"
#include "platform/win32/ErrorText.h"
#include "platform/win32/Utf16.h"

namespace engine {
namespace {

com::Bstr MakeBstr(const std::string& member, const std::string& text) {
  com::Bstr value(AnsiToWide(text));
  if (value.Get() == nullptr)
    throw EngineError(DescribeFailure("SysAllocString", member, HresultReason(E_OUTOFMEMORY)));
  return value;
}

// A one-dimensional array of VARIANT indexed from 0, each element a BSTR.
com::SafeArray MakeTextArray(const std::string& member, const std::vector<std::string>& items) {
  com::SafeArray array(SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size())));
  if (array.Get() == nullptr) {
    throw EngineError(
        DescribeFailure("SafeArrayCreateVector", member, HresultReason(E_OUTOFMEMORY)));
  }
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    com::Variant element;
    V_VT(element.Get()) = VT_BSTR;
    V_BSTR(element.Get()) = MakeBstr(member, items[static_cast<std::size_t>(i)]).Release();
    HRESULT hr = SafeArrayPutElement(array.Get(), &i, element.Get());  // copies the element
    if (FAILED(hr))
      throw EngineError(DescribeFailure("SafeArrayPutElement", member, HresultReason(hr)));
  }
  return array;
}

}  // namespace

void ArgumentList::Fill(const std::string& member, const AutomationArg& arg, Slot& slot,
                        VARIANT& v) {
  switch (arg.type) {
    case AutomationArg::Type::Int16:
      if (arg.byRef) {
        slot.int16 = arg.int16;
        V_VT(&v) = VT_I2 | VT_BYREF;
        V_I2REF(&v) = &slot.int16;
      } else {
        V_VT(&v) = VT_I2;
        V_I2(&v) = arg.int16;
      }
      return;
    case AutomationArg::Type::Boolean: {
      VARIANT_BOOL value = arg.boolean ? VARIANT_TRUE : VARIANT_FALSE;
      if (arg.byRef) {
        slot.boolean = value;
        V_VT(&v) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&v) = &slot.boolean;
      } else {
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = value;
      }
      return;
    }
    case AutomationArg::Type::Text: {
      com::Bstr text = MakeBstr(member, arg.text);
      if (arg.byRef) {
        slot.text = std::move(text);
        V_VT(&v) = VT_BSTR | VT_BYREF;
        V_BSTRREF(&v) = slot.text.InOut();
      } else {
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = text.Release();
      }
      return;
    }
    case AutomationArg::Type::TextArray: {
      com::SafeArray array = MakeTextArray(member, arg.array);
      if (arg.byRef) {
        slot.array = std::move(array);
        V_VT(&v) = VT_ARRAY | VT_VARIANT | VT_BYREF;
        V_ARRAYREF(&v) = slot.array.InOut();
      } else {
        V_VT(&v) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&v) = array.Release();
      }
      return;
    }
  }
  throw EngineError(DescribeFailure("Invoke", member, "an argument has an unknown type"));
}

ArgumentList::ArgumentList(const std::string& member, const std::vector<AutomationArg>& args)
    : slots_(args.size()), variants_(args.size()) {
  for (VARIANT& v : variants_) VariantInit(&v);
  for (std::size_t i = 0; i < args.size(); ++i) {
    Fill(member, args[i], slots_[i], variants_[args.size() - 1 - i]);
  }
}

ArgumentList::~ArgumentList() {
  for (VARIANT& v : variants_) VariantClear(&v);  // leaves by-reference targets alone
}

std::string ResultText(const std::string& member, com::Variant& value) {
  if (value.Type() == VT_EMPTY) return std::string();
  com::Variant text;
  HRESULT hr = VariantChangeType(text.Get(), value.Get(), VARIANT_ALPHABOOL, VT_BSTR);
  if (FAILED(hr)) {
    throw EngineError(DescribeFailure("Invoke", member,
                                      "the result can't be taken as text: " + HresultReason(hr)));
  }
  return WideToAnsi(com::View(V_BSTR(text.Get())));
}

}  // namespace engine
