#include "platform/win32/Win32Automation.h"

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string_view>
#include <utility>
#include <vector>

#include "EngineError.h"
#include "platform/BusyRetry.h"
#include "platform/win32/Arguments.h"
#include "platform/win32/ComOwners.h"
#include "platform/win32/ErrorText.h"
#include "platform/win32/Utf16.h"

namespace engine {
namespace {

using Microsoft::WRL::ComPtr;
using Clock = std::chrono::steady_clock;

bool IsBusy(HRESULT hr) { return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER; }

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

// Runs |call| again while |refused| says the application turned it away,
// until |policy.bound| has passed since |start|: one bound for a whole member
// call, its name lookup and the call together. No client message filter does
// this for us: Wine consults none for rejected calls, and Windows would fail
// the call at once without one.
template <typename Refused, typename Call>
HRESULT RetryWhileBusy(const RetryPolicy& policy, Clock::time_point start, Refused&& refused,
                       Call&& call) {
  return RetryWhileRefused(policy, start, Clock::now, refused, call, PumpMessagesFor);
}

std::string BusyReason(const RetryPolicy& policy, HRESULT hr) {
  std::string text = "the application was still busy after " +
                     std::to_string(policy.bound.count()) + " ms and rejected the call";
  if (std::string system = HresultText(hr); !system.empty()) text += ": " + system;
  return text + " (HRESULT " + HresultHex(hr) + ")";
}

// The description for a failure of one of our calls on |subject|.
std::string Failure(std::string_view call, std::string_view subject, const RetryPolicy& policy,
                    HRESULT hr) {
  return DescribeFailure(call, subject, IsBusy(hr) ? BusyReason(policy, hr) : HresultReason(hr));
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
    if (const auto description = com::View(info.bstrDescription); !description.empty())
      return WideToAnsi(description);
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
      return WideToAnsi(description.View());
    }
  }
  return std::string();
}

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
    std::wstring wide = AnsiToWide(name);
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
      if (e.scode != 0) throw EngineError(DescribeFailure("Invoke", name, HresultReason(e.scode)));
      std::string what = e.wCode != 0 ? "the application raised error " + std::to_string(e.wCode)
                                      : std::string("the application reported a failure");
      throw EngineError(DescribeFailure(
          "Invoke", name, what + " without a description (HRESULT " + HresultHex(hr) + ")"));
    }
    throw EngineError(Failure("Invoke", name, retry_, hr));
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
    throw EngineError(
        DescribeFailure("CreateObject", progId,
                        "the component runtime could not be initialised on this thread: " +
                            HresultReason(initResult_)));
  }

  std::wstring wide = AnsiToWide(progId);
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
  if (FAILED(hr)) {
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_READREGDB ||
        hr == REGDB_E_KEYMISSING) {
      throw EngineError(DescribeFailure("CreateObject", progId,
                                        "no automation server is registered under this name"));
    }
    throw EngineError(DescribeFailure("CreateObject", progId,
                                      "the name could not be looked up: " + HresultReason(hr)));
  }

  // A busy server, or one still stopping from an earlier job, is asked again
  // like a busy one. One that failed to start is started once more, for a
  // server that exited before registering its class: the system has already
  // waited its own registration timeout for a slow start, and each try
  // launches the whole application again.
  int startFailures = 0;
  const auto turnedAway = [&](HRESULT result) {
    if (result == CO_E_SERVER_EXEC_FAILURE) return ++startFailures < 2;
    return IsBusy(result) || result == CO_E_SERVER_STOPPING;
  };
  ComPtr<IDispatch> dispatch;
  hr = RetryWhileBusy(retry, Clock::now(), turnedAway, [&] {
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                            IID_IDispatch,
                            reinterpret_cast<void**>(dispatch.ReleaseAndGetAddressOf()));
  });
  if (FAILED(hr)) {
    if (IsBusy(hr)) throw EngineError(Failure("CreateObject", progId, retry, hr));
    if (hr == REGDB_E_CLASSNOTREG) {
      throw EngineError(DescribeFailure(
          "CreateObject", progId,
          "no server is registered for the class of this name: " + HresultReason(hr)));
    }
    throw EngineError(
        DescribeFailure("CreateObject", progId,
                        "the automation server could not be started: " + HresultReason(hr)));
  }
  if (!dispatch) {
    throw EngineError(
        DescribeFailure("CreateObject", progId, "the automation server returned no object"));
  }
  return std::make_unique<Win32AutomationObject>(std::move(dispatch), retry);
}

}  // namespace engine
