#include "Server.h"

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Control.h"
#include "HostProtocol.h"
#include "Files.h"
#include "Journal.h"
#include "Registration.h"
#include "StandinProtocol.h"
#include "platform/win32/ComOwners.h"
#include "platform/win32/Handle.h"
#include "platform/win32/Utf16.h"

namespace standin {
namespace {

using engine::AnsiToWide;
using engine::Handle;
using engine::com::Bstr;

// What one server process keeps between calls.
struct ServerState {
  // Lifetime: the process ends once it has served an object and the last
  // object and lock are gone (unless it was started to stay), and at once
  // when its stop event is signalled.
  LONG objects = 0;
  LONG locks = 0;
  bool servedAny = false;
  bool stay = false;
  DWORD registration = 0;
  HANDLE stop = nullptr;
  // The message filter's word on the call now arriving, for its method (none
  // for a call that the filter did not know).
  std::optional<HRESULT> verdict;
  // A description to be filled in on request; one call at a time, and the
  // stub fills it in right after Invoke.
  std::wstring deferred;
};

ServerState state;

// Withdraws the class, so that a client asking from now on starts a new server
// rather than reaching this one on its way out. (Wine keeps the class of a
// server that ended without this, and sends every later client to it.)
void Withdraw() {
  if (state.registration != 0) CoRevokeClassObject(std::exchange(state.registration, 0));
}

void ServerMayEnd() {
  if (state.objects != 0 || state.locks != 0 || !state.servedAny || state.stay) return;
  Withdraw();
  PostQuitMessage(0);
}

// A busy application turns calls away in its message filter, before any
// method runs. The filter knows a call by its interface and method number:
// IClassFactory::CreateInstance (3), IDispatch::GetIDsOfNames (5) and Invoke
// (6); the runtime's own calls always pass.
const char* KindOf(const INTERFACEINFO* call) {
  if (call == nullptr) return nullptr;
  if (call->iid == IID_IClassFactory && call->wMethod == 3) return "CreateInstance";
  if (call->iid != IID_IDispatch || call->wMethod < 5 || call->wMethod > 6) return nullptr;
  return call->wMethod == 5 ? "GetIDsOfNames" : "Invoke";
}

// An object of one interface that lives as long as the process.
template <typename Interface>
class Lasting : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = riid == IID_IUnknown || riid == __uuidof(Interface) ? this : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

class MessageFilter final : public Lasting<IMessageFilter> {
 public:
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, INTERFACEINFO* call) override {
    const char* kind = KindOf(call);
    state.verdict = kind != nullptr ? std::optional(BusyAnswer(kind)) : std::nullopt;
    const HRESULT answer = state.verdict.value_or(S_OK);
    return answer == RPC_E_CALL_REJECTED           ? SERVERCALL_REJECTED
           : answer == RPC_E_SERVERCALL_RETRYLATER ? SERVERCALL_RETRYLATER
                                                   : SERVERCALL_ISHANDLED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
    return static_cast<DWORD>(-1);  // it makes no calls of its own
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }
};

// What a method answers first: the filter's verdict where only a method can
// give it (a creation refused as stopping) or where Wine ran the method all the
// same (it ignores SERVERCALL_RETRYLATER); its own for a call that the filter
// did not know (Windows may bring a creation in through the activation's own
// interface rather than IClassFactory).
HRESULT Verdict(const char* kind) {
  const std::optional<HRESULT> screened = std::exchange(state.verdict, std::nullopt);
  return screened ? *screened : BusyAnswer(kind);
}

// The application's members, by the DISPIDs that GetIDsOfNames hands out.
enum Member : DISPID { kDisplayDialogs = 1, kVisible, kDoJavaScriptFile, kQuit };
constexpr std::string_view kMemberNames[] = {
    engine::protocol::kDisplayDialogs, engine::protocol::kVisible,
    engine::protocol::kDoJavaScriptFile, engine::protocol::kQuit};
constexpr bool IsMember(DISPID id) { return id >= kDisplayDialogs && id <= kQuit; }
constexpr bool IsProperty(DISPID id) { return id == kDisplayDialogs || id == kVisible; }
std::string_view NameOf(DISPID id) { return kMemberNames[id - kDisplayDialogs]; }

// What a server built on type information refuses: a member called as what it
// is not (a property put or got, a method called), and named arguments other
// than a put's own value.
HRESULT Refusal(DISPID id, WORD flags, const DISPPARAMS& params) {
  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  if (IsProperty(id) ? !put && !(flags & DISPATCH_PROPERTYGET)
                     : put || !(flags & DISPATCH_METHOD)) {
    return DISP_E_MEMBERNOTFOUND;
  }
  const bool value = params.cNamedArgs == 1 && params.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
  return (put ? !value : params.cNamedArgs != 0) ? DISP_E_PARAMNOTFOUND : S_OK;
}

// A failure's text spells line breaks and NULs out, since settings are lines.
std::wstring Description(std::string text) {
  for (auto [token, character] : {std::pair{"<CR>", '\r'}, {"<LF>", '\n'}, {"<NUL>", '\0'}}) {
    for (std::size_t at = text.find(token); at != std::string::npos;
         at = text.find(token, at + 1)) {
      text.replace(at, std::strlen(token), 1, character);
    }
  }
  return AnsiToWide(text);
}

HRESULT STDAPICALLTYPE FillIn(EXCEPINFO* info) {
  info->bstrDescription = Bstr(state.deferred).Release();
  info->scode = E_FAIL;
  return S_OK;
}

// Fills |info| in now, or leaves its description to be filled in on request.
HRESULT Raise(EXCEPINFO* info, const std::string& text, bool deferred) {
  if (info == nullptr) return E_FAIL;
  ZeroMemory(info, sizeof *info);
  info->bstrSource = SysAllocString(L"Photoshop stand-in");
  state.deferred = Description(text);
  if (deferred) {
    info->pfnDeferredFillIn = FillIn;
  } else {
    FillIn(info);
  }
  return DISP_E_EXCEPTION;
}

// "result=text" and "result-vt=VT_BSTR|VT_I4|VT_BOOL|VT_NULL|VT_EMPTY".
void SetResult(VARIANT& result) {
  const std::optional<std::string> text = Setting(key::kResult);
  const std::string vt = Lower(Setting(key::kResultType).value_or(text ? "vt_bstr" : "vt_empty"));
  VariantInit(&result);
  if (vt == "vt_bstr") {
    V_VT(&result) = VT_BSTR;
    V_BSTR(&result) = Bstr(AnsiToWide(text.value_or(""))).Release();
  } else if (vt == "vt_i4") {
    V_VT(&result) = VT_I4;
    V_I4(&result) = std::atol(text.value_or("0").c_str());
  } else if (vt == "vt_bool") {
    V_VT(&result) = VT_BOOL;
    V_BOOL(&result) = Lower(text.value_or("")) == "true" ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (vt == "vt_null") {
    V_VT(&result) = VT_NULL;
  }
}

class Application final : public IDispatch {
 public:
  Application() {
    ++state.objects;
    state.servedAny = true;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = riid == IID_IUnknown || riid == IID_IDispatch ? this : nullptr;
    if (*object != nullptr) AddRef();
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (--refs_ != 0) return refs_;
    delete this;
    --state.objects;
    ServerMayEnd();
    return 0;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return DISP_E_BADINDEX;
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (HRESULT busy = Verdict("GetIDsOfNames"); busy != S_OK) return busy;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (DISPID id = kDisplayDialogs; IsMember(id); ++id) {
      const std::wstring name = AnsiToWide(NameOf(id));
      if (CompareStringOrdinal(names[0], -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) ids[0] = id;
    }
    return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    if (HRESULT busy = Verdict("Invoke"); busy != S_OK) return busy;
    if (!IsMember(id)) return DISP_E_MEMBERNOTFOUND;
    const std::string name(NameOf(id));
    std::string line = CallLine(name, flags, *params);
    const HRESULT refusal = Refusal(id, flags, *params);
    if (refusal != S_OK) {
      line += refusal == DISP_E_MEMBERNOTFOUND ? " refused DISP_E_MEMBERNOTFOUND"
                                               : " refused DISP_E_PARAMNOTFOUND";
    }
    Journal(line);
    if (refusal != S_OK) return refusal;

    if (const auto code = Setting(key::kExit + name)) {
      Withdraw();
      ExitProcess(static_cast<UINT>(std::atol(code->c_str())));
    }
    const DWORD sleep =
        static_cast<DWORD>(std::atol(Setting(key::kSleepMs + name).value_or("0").c_str()));
    if (WaitForSingleObject(state.stop, sleep) == WAIT_OBJECT_0) {  // told to stop meanwhile
      Withdraw();
      ExitProcess(0);
    }
    if (const auto text = Setting(key::kFail + name)) return Raise(exception, *text, false);
    if (const auto text = Setting(key::kFailDeferred + name)) return Raise(exception, *text, true);
    if (id == kDoJavaScriptFile && result != nullptr) SetResult(*result);
    return S_OK;
  }

 private:
  ~Application() = default;
  ULONG refs_ = 1;
};

class ClassFactory final : public Lasting<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (HRESULT busy = Verdict("CreateInstance"); busy != S_OK) return busy;
    Application* application = new Application();
    const HRESULT hr = application->QueryInterface(riid, object);
    application->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    state.locks += lock ? 1 : -1;
    if (!lock) ServerMayEnd();
    return S_OK;
  }
};

}  // namespace

int Serve(bool stay) {
  state.stay = stay;
  static ClassFactory factory;
  Handle stop(CreateEventA(nullptr, TRUE, FALSE, StopEvent(GetCurrentProcessId()).c_str()));
  state.stop = stop.Get();
  static MessageFilter filter;
  if (!stop.Valid() || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ||
      FAILED(CoRegisterMessageFilter(&filter, nullptr))) {
    return 2;
  }
  CLSID clsid{};
  if (FAILED(CLSIDFromString(kClassId, &clsid)) ||
      FAILED(CoRegisterClassObject(clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                   &state.registration))) {
    return 3;
  }
  // Written once the class is available: whoever started the server by hand
  // waits for this line.
  WriteText(kPidsFile, std::to_string(GetCurrentProcessId()) + "\r\n", true);
  for (bool running = true; running;) {
    if (MsgWaitForMultipleObjects(1, &state.stop, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0)
      break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      // A client may have been handed an object between the last release and
      // the withdrawal: it is served out.
      if (message.message == WM_QUIT) running = state.objects != 0 || state.locks != 0;
      DispatchMessageW(&message);
    }
  }
  Withdraw();
  CoUninitialize();
  return 0;
}

}  // namespace standin
