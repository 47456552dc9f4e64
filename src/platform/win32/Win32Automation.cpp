#include "platform/win32/Win32Automation.h"

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cctype>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "EngineError.h"
#include "platform/win32/ComOwners.h"
#include "platform/win32/ErrorText.h"

namespace engine {
namespace {

using Microsoft::WRL::ComPtr;
using Clock = std::chrono::steady_clock;

struct RetryPolicy {
  std::chrono::milliseconds interval;
  std::chrono::milliseconds bound;
};

std::string Hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

// The system's sentence for |hr|, without its line break and final period, so
// that it reads well inside ours. Empty when the system has none (Wine lacks
// many of the automation and RPC texts).
std::string HresultText(HRESULT hr) {
  std::string text;
  // Win32 errors wrapped in an HRESULT are catalogued under their plain number.
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) text = SystemText(HRESULT_CODE(hr));
  if (text.empty()) text = SystemText(static_cast<DWORD>(hr));
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

// Our own words for the failures a run is likely to meet, for systems that
// have no text for them.
const char* KnownReason(HRESULT hr) {
  switch (hr) {
    case RPC_E_CALL_REJECTED:
    case RPC_E_SERVERCALL_RETRYLATER:
      return "the application is busy and rejected the call";
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE):
    case RPC_E_DISCONNECTED:
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case CO_E_OBJNOTCONNECTED:
      return "the application's process has ended or can no longer be reached";
    case DISP_E_UNKNOWNNAME:
      return "the object has no member of this name";
    case DISP_E_MEMBERNOTFOUND:
      return "the object's member doesn't take this kind of call";
    case DISP_E_TYPEMISMATCH:
      return "type mismatch";
    case DISP_E_BADPARAMCOUNT:
      return "wrong number of arguments";
    case CO_E_SERVER_EXEC_FAILURE:
      return "the automation server failed to start";
    case CO_E_SERVER_STOPPING:
      return "the automation server is on its way out";
    case E_NOINTERFACE:
      return "the object doesn't support late-bound calls";
    case E_OUTOFMEMORY:
      return "out of memory";
    default:
      return nullptr;
  }
}

// A reason clause for a failure that the application didn't describe itself.
// Never empty.
std::string Reason(HRESULT hr) {
  std::string text = HresultText(hr);
  if (text.empty()) {
    if (const char* known = KnownReason(hr)) text = known;
  }
  if (text.empty()) return "failed with HRESULT " + Hex(hr);
  return text + " (HRESULT " + Hex(hr) + ")";
}

bool IsBusy(HRESULT hr) { return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER; }

// Whether a creation was turned away: by a busy application, or by one still
// closing from an earlier job (or, under load, one that could not start in
// time), which is asked again like a busy one.
bool CreationTurnedAway(HRESULT hr) {
  return IsBusy(hr) || hr == CO_E_SERVER_STOPPING || hr == CO_E_SERVER_EXEC_FAILURE;
}

// Waits |interval| with this thread's messages dispatched: a single-threaded
// apartment that stops pumping holds up the runtime's own window messages and
// anything else that sends to its windows.
void PumpMessagesFor(std::chrono::milliseconds interval) {
  const Clock::time_point until = Clock::now() + interval;
  for (Clock::time_point now = Clock::now(); now < until; now = Clock::now()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now);
    if (MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE) == WAIT_FAILED) {
      Sleep(static_cast<DWORD>(left.count()));  // nothing to pump with: wait all the same
      return;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {  // not ours: left for the loop that waits for it
        PostQuitMessage(static_cast<int>(message.wParam));
        Sleep(static_cast<DWORD>(left.count()));  // and not taken again at once
        return;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

// Runs |call| again while |turnedAway| says the application refused it, until
// |policy.bound| has passed since |start|: one bound for a whole member call,
// its name lookup and the call together. No client message filter does this
// for us: Wine consults none for rejected calls, and Windows would fail the
// call at once without one.
template <typename Refusal, typename Call>
HRESULT RetryWhileBusy(const RetryPolicy& policy, Clock::time_point start, Refusal&& turnedAway,
                       Call&& call) {
  for (;;) {
    HRESULT hr = call();
    if (!turnedAway(hr) || Clock::now() - start >= policy.bound) return hr;
    PumpMessagesFor(policy.interval);
  }
}

std::string BusyReason(const RetryPolicy& policy, HRESULT hr) {
  std::string text = "the application was still busy after " +
                     std::to_string(policy.bound.count()) + " ms and rejected the call";
  if (std::string system = HresultText(hr); !system.empty()) text += ": " + system;
  return text + " (HRESULT " + Hex(hr) + ")";
}

// The description for a failure of one of our calls on |subject|.
std::string Failure(std::string_view call, std::string_view subject, const RetryPolicy& policy,
                    HRESULT hr) {
  return DescribeFailure(call, subject, IsBusy(hr) ? BusyReason(policy, hr) : Reason(hr));
}

std::wstring View(BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
}

// Whether |code| lies in a module loaded into this process.
bool IsLocalCode(const void* code) {
  HMODULE module = nullptr;
  return GetModuleHandleExW(
             GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
             static_cast<LPCWSTR>(code), &module) != 0;
}

// The application's own text for a failed Invoke: the exception it raised
// (possibly filled in only on request), else the error object it left on this
// thread, if |object| says that it leaves one for IDispatch (any other was left
// by someone else). Empty when it gave none.
//
// A deferred fill-in is ours to call only when the object lives in this
// process. Across processes Windows' stub calls it on the server's side before
// the exception travels; Wine's doesn't and hands over the server's function
// pointer, which means nothing here.
std::string ApplicationDescription(IDispatch* object, HRESULT hr, EXCEPINFO& info, bool inProcess) {
  if (hr == DISP_E_EXCEPTION) {
    if (auto fillIn = std::exchange(info.pfnDeferredFillIn, nullptr);
        fillIn != nullptr && inProcess && IsLocalCode(reinterpret_cast<const void*>(fillIn))) {
      fillIn(&info);
    }
    std::wstring description = View(info.bstrDescription);
    if (!description.empty()) return com::WideToAnsi(description);
  }
  // Taken before asking: the question, across processes a call of its own,
  // could replace the thread's error object.
  ComPtr<IErrorInfo> error;
  ComPtr<ISupportErrorInfo> support;
  if (GetErrorInfo(0, error.GetAddressOf()) == S_OK && error &&
      SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(support.GetAddressOf()))) &&
      support->InterfaceSupportsErrorInfo(IID_IDispatch) == S_OK) {
    com::Bstr description;
    if (SUCCEEDED(error->GetDescription(description.Put())) && !description.View().empty()) {
      return com::WideToAnsi(description.View());
    }
  }
  return std::string();
}

com::Bstr MakeBstr(const std::string& member, const std::string& text) {
  com::Bstr value(com::AnsiToWide(text));
  if (value.Get() == nullptr)
    throw EngineError(DescribeFailure("SysAllocString", member, Reason(E_OUTOFMEMORY)));
  return value;
}

// A one-dimensional array of VARIANT indexed from 0, each element a BSTR.
com::SafeArray MakeTextArray(const std::string& member, const std::vector<std::string>& items) {
  com::SafeArray array(SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size())));
  if (array.Get() == nullptr) {
    throw EngineError(DescribeFailure("SafeArrayCreateVector", member, Reason(E_OUTOFMEMORY)));
  }
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    com::Variant element;
    V_VT(element.Get()) = VT_BSTR;
    V_BSTR(element.Get()) = MakeBstr(member, items[static_cast<std::size_t>(i)]).Release();
    HRESULT hr = SafeArrayPutElement(array.Get(), &i, element.Get());  // copies the element
    if (FAILED(hr)) throw EngineError(DescribeFailure("SafeArrayPutElement", member, Reason(hr)));
  }
  return array;
}

// The arguments of one call in the layout IDispatch::Invoke takes: last
// argument first. By-value arguments are owned by their VARIANT; by-reference
// ones point into a slot that outlives the call (the callee may replace a
// referenced BSTR or array, and the slot frees whatever it then holds).
class ArgumentList {
 public:
  ArgumentList(const std::string& member, const std::vector<AutomationArg>& args)
      : slots_(args.size()), variants_(args.size()) {
    for (VARIANT& v : variants_) VariantInit(&v);
    for (std::size_t i = 0; i < args.size(); ++i) {
      Fill(member, args[i], slots_[i], variants_[args.size() - 1 - i]);
    }
  }
  ~ArgumentList() {
    for (VARIANT& v : variants_) VariantClear(&v);  // leaves by-reference targets alone
  }
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

  static void Fill(const std::string& member, const AutomationArg& arg, Slot& slot, VARIANT& v) {
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

  std::vector<Slot> slots_;
  std::vector<VARIANT> variants_;
};

class Win32AutomationObject final : public AutomationObject {
 public:
  Win32AutomationObject(ComPtr<IDispatch> dispatch, RetryPolicy retry)
      : dispatch_(std::move(dispatch)), retry_(retry), inProcess_(!IsProxy(dispatch_.Get())) {}

  void SetProperty(const std::string& name, const AutomationArg& value) override {
    const Clock::time_point start = Clock::now();
    DISPID id = Resolve(name, start);
    ArgumentList args(name, {value});
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.Data(), &named, args.Count(), 1};
    Invoke(name, id, DISPATCH_PROPERTYPUT, params, nullptr, start);
  }

  void CallMethod(const std::string& name, const std::vector<AutomationArg>& args,
                  std::string* result) override {
    const Clock::time_point start = Clock::now();
    DISPID id = Resolve(name, start);
    ArgumentList list(name, args);
    DISPPARAMS params{list.Data(), nullptr, list.Count(), 0};
    com::Variant value;
    Invoke(name, id, DISPATCH_METHOD, params, result != nullptr ? value.Get() : nullptr, start);
    if (result != nullptr) *result = ResultText(name, value);
  }

 private:
  // |start|: when the member call began, which the busy bound counts from.
  DISPID Resolve(const std::string& name, Clock::time_point start) {
    std::wstring wide = com::AnsiToWide(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = RetryWhileBusy(retry_, start, IsBusy, [&] {
      return dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    });
    if (FAILED(hr)) throw EngineError(Failure("GetIDsOfNames", name, retry_, hr));
    return id;
  }

  void Invoke(const std::string& name, DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result,
              Clock::time_point start) {
    com::ExcepInfo info;
    UINT argError = 0;
    HRESULT hr = RetryWhileBusy(retry_, start, IsBusy, [&] {
      info.Clear();
      if (result != nullptr) VariantClear(result);
      // A stale error object from an earlier failure must not pass for this one's.
      SetErrorInfo(0, nullptr);
      return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                               info.Get(), &argError);
    });
    if (SUCCEEDED(hr)) return;
    if (IsBusy(hr)) throw EngineError(Failure("Invoke", name, retry_, hr));

    std::string own = ApplicationDescription(dispatch_.Get(), hr, *info.Get(), inProcess_);
    if (!own.empty()) throw EngineError(own);
    if (hr == DISP_E_EXCEPTION) {
      const EXCEPINFO& e = *info.Get();
      if (e.scode != 0) throw EngineError(DescribeFailure("Invoke", name, Reason(e.scode)));
      std::string what = e.wCode != 0 ? "the application raised error " + std::to_string(e.wCode)
                                      : std::string("the application reported a failure");
      throw EngineError(DescribeFailure("Invoke", name,
                                        what + " without a description (HRESULT " + Hex(hr) + ")"));
    }
    throw EngineError(Failure("Invoke", name, retry_, hr));
  }

  static std::string ResultText(const std::string& name, com::Variant& value) {
    if (value.Type() == VT_EMPTY) return std::string();
    com::Variant text;
    HRESULT hr = VariantChangeType(text.Get(), value.Get(), VARIANT_ALPHABOOL, VT_BSTR);
    if (FAILED(hr)) {
      throw EngineError(
          DescribeFailure("Invoke", name, "the result can't be taken as text: " + Reason(hr)));
    }
    return com::WideToAnsi(View(V_BSTR(text.Get())));
  }

  // Whether |object| is a proxy for an object in another apartment or process:
  // the runtime's proxies expose IClientSecurity, the objects themselves don't.
  static bool IsProxy(IDispatch* object) {
    ComPtr<IClientSecurity> security;
    return SUCCEEDED(object->QueryInterface(IID_IClientSecurity,
                                            reinterpret_cast<void**>(security.GetAddressOf())));
  }

  ComPtr<IDispatch> dispatch_;
  RetryPolicy retry_;
  bool inProcess_;
};

}  // namespace

Win32Automation::Win32Automation(std::chrono::milliseconds retryInterval,
                                 std::chrono::milliseconds retryBound)
    : initResult_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)),
      retryInterval_(retryInterval),
      retryBound_(retryBound) {}

Win32Automation::~Win32Automation() {
  if (SUCCEEDED(initResult_)) CoUninitialize();
}

std::unique_ptr<AutomationObject> Win32Automation::CreateObject(const std::string& progId) {
  const RetryPolicy retry{retryInterval_, retryBound_};
  // A thread already in the multithreaded apartment can still create objects.
  if (FAILED(initResult_) && initResult_ != RPC_E_CHANGED_MODE) {
    throw EngineError(DescribeFailure(
        "CreateObject", progId,
        "the component runtime could not be initialised on this thread: " + Reason(initResult_)));
  }

  std::wstring wide = com::AnsiToWide(progId);
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
  if (FAILED(hr)) {
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_READREGDB ||
        hr == REGDB_E_KEYMISSING) {
      throw EngineError(DescribeFailure("CreateObject", progId,
                                        "no automation server is registered under this name"));
    }
    throw EngineError(
        DescribeFailure("CreateObject", progId, "the name could not be looked up: " + Reason(hr)));
  }

  ComPtr<IDispatch> dispatch;
  hr = RetryWhileBusy(retry, Clock::now(), CreationTurnedAway, [&] {
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                            IID_IDispatch,
                            reinterpret_cast<void**>(dispatch.ReleaseAndGetAddressOf()));
  });
  if (FAILED(hr)) {
    if (IsBusy(hr)) throw EngineError(Failure("CreateObject", progId, retry, hr));
    if (hr == REGDB_E_CLASSNOTREG) {
      throw EngineError(
          DescribeFailure("CreateObject", progId,
                          "no server is registered for the class of this name: " + Reason(hr)));
    }
    throw EngineError(DescribeFailure("CreateObject", progId,
                                      "the automation server could not be started: " + Reason(hr)));
  }
  if (!dispatch) {
    throw EngineError(
        DescribeFailure("CreateObject", progId, "the automation server returned no object"));
  }
  return std::make_unique<Win32AutomationObject>(std::move(dispatch), retry);
}

}  // namespace engine
