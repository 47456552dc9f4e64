// Photoshop.exe, a stand-in for the image editor's automation server: an
// out-of-process server registered under "photoshop.application" that writes
// every call it receives to a journal, and fails, stalls, dies or turns calls
// away as busy when its control file says so, and refuses what a server built
// on type information refuses. For testing a host (and the engine) on a
// machine without the editor; README.md beside this file is the user's guide.

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/win32/ComOwners.h"
#include "platform/win32/Handle.h"
#include "StandinFolder.h"

namespace {

using engine::Handle;
using engine::com::AnsiToWide;
using engine::com::Bstr;
using engine::com::Variant;
using engine::com::WideToAnsi;

// {5B2C9E71-3A4D-4F08-9C61-7E2D8B14A3F0}
const CLSID kClsid = {0x5b2c9e71, 0x3a4d, 0x4f08, {0x9c, 0x61, 0x7e, 0x2d, 0x8b, 0x14, 0xa3, 0xf0}};
constexpr wchar_t kClsidKey[] = L"CLSID\\{5B2C9E71-3A4D-4F08-9C61-7E2D8B14A3F0}";
constexpr wchar_t kProgId[] = L"photoshop.application";
constexpr wchar_t kFolderKey[] = L"" STANDIN_FOLDER_KEY;
constexpr wchar_t kFolderValue[] = L"" STANDIN_FOLDER_VALUE;

// ---------------------------------------------------------------------------
// Files, in the folder that STANDIN_DIR names where this process has it, else
// in the one registered under kFolderKey, else beside the executable. On
// Windows a server that COM starts gets the user's own environment, not its
// client's (Wine hands it the client's): the registry reaches it either way.

std::wstring PathOf(const wchar_t* name) {
  static const std::wstring folder = [] {
    std::wstring path(32768, L'\0');
    const DWORD n = GetEnvironmentVariableW(L"STANDIN_DIR", path.data(), 32768);
    if (n > 0 && n < 32768) return path.substr(0, n);
    DWORD bytes = 32768 * sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kFolderKey, kFolderValue, RRF_RT_REG_SZ, nullptr, path.data(),
                     &bytes) == ERROR_SUCCESS &&
        bytes > sizeof(wchar_t)) {
      return path.substr(0, bytes / sizeof(wchar_t) - 1);
    }
    path.resize(GetModuleFileNameW(nullptr, path.data(), 32768));
    return path.substr(0, path.find_last_of(L'\\'));
  }();
  return folder + L"\\" + name;
}

std::string ReadText(const wchar_t* name) {
  Handle file(CreateFileW(PathOf(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (file.Valid() && ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  return text;
}

// Opened and closed for each write, so that a line is on disk even when the
// process dies right after it, and several servers can share one journal.
void WriteText(const wchar_t* name, const std::string& text, bool append) {
  Handle file(CreateFileW(PathOf(name).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file.Valid())
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// ---------------------------------------------------------------------------
// The control file, standin-control.txt: "key=value" lines, read at every
// call. Keys compare without letter case; the value is the rest of the line.

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The line of |text| starting at |at|, without its line end; |at| moves on.
std::string_view NextLine(std::string_view text, std::size_t& at) {
  std::size_t end = std::min(text.find('\n', at), text.size());
  std::string_view line = text.substr(at, end - at);
  at = end + 1;
  return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
}

std::string KeyOf(std::string_view line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos || line.starts_with('#')) return std::string();
  return Lower(std::string(line.substr(0, equals)));
}

std::optional<std::string> Setting(const std::string& key) {
  const std::string text = ReadText(L"standin-control.txt");
  for (std::size_t at = 0; at < text.size();) {
    const std::string_view line = NextLine(text, at);
    if (KeyOf(line) == Lower(key)) return std::string(line.substr(line.find('=') + 1));
  }
  return std::nullopt;
}

// Turns the call away as busy while the count "busy=N" lasts, for calls of
// |kind| (CreateInstance, GetIDsOfNames or Invoke), or for any unless
// "busy-on" names one. Each rejection writes the count back one lower, so
// "busy=0" afterwards shows that all of them were served.
HRESULT BusyAnswer(const char* kind) {
  const long left = std::atol(Setting("busy").value_or("0").c_str());
  const std::string on = Lower(Setting("busy-on").value_or("any"));
  if (kind == nullptr || left <= 0 || (on != "any" && on != Lower(kind))) return S_OK;
  const std::string text = ReadText(L"standin-control.txt");
  std::string rewritten;
  for (std::size_t at = 0; at < text.size();) {
    const std::string_view line = NextLine(text, at);
    rewritten += KeyOf(line) == "busy" ? "busy=" + std::to_string(left - 1) : std::string(line);
    rewritten += "\r\n";
  }
  WriteText(L"standin-control.txt", rewritten, false);
  const std::string code = Lower(Setting("busy-code").value_or(""));
  return code == "retrylater"     ? RPC_E_SERVERCALL_RETRYLATER
         : code == "stopping"     ? CO_E_SERVER_STOPPING
         : code == "exec-failure" ? CO_E_SERVER_EXEC_FAILURE
                                  : RPC_E_CALL_REJECTED;
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

bool g_screened = false;   // whether the filter saw the call now arriving
HRESULT g_verdict = S_OK;  // and its answer

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
    g_screened = KindOf(call) != nullptr;
    g_verdict = BusyAnswer(KindOf(call));
    return g_verdict == RPC_E_CALL_REJECTED           ? SERVERCALL_REJECTED
           : g_verdict == RPC_E_SERVERCALL_RETRYLATER ? SERVERCALL_RETRYLATER
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
  return std::exchange(g_screened, false) ? std::exchange(g_verdict, S_OK) : BusyAnswer(kind);
}

// ---------------------------------------------------------------------------
// The journal: one line per call, "<pid> <PUT|CALL|...> <member>", then the
// arguments first to last, each as its VARTYPE and value.

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

std::string Quoted(BSTR text) {
  return '"' + WideToAnsi(text != nullptr ? std::wstring_view(text, SysStringLen(text)) : L"") +
         '"';
}

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

// ---------------------------------------------------------------------------
// Lifetime: the process ends once it has served an object and the last object
// and lock are gone (unless it was started with /stay), and at once when its
// stop event is signalled.

LONG g_objects = 0;
LONG g_locks = 0;
bool g_servedAny = false;
bool g_stay = false;
DWORD g_registration = 0;
HANDLE g_stop = nullptr;

// Withdraws the class, so that a client asking from now on starts a new server
// rather than reaching this one on its way out. (Wine keeps the class of a
// server that ended without this, and sends every later client to it.)
void Withdraw() {
  if (g_registration != 0) CoRevokeClassObject(std::exchange(g_registration, 0));
}

void ServerMayEnd() {
  if (g_objects != 0 || g_locks != 0 || !g_servedAny || g_stay) return;
  Withdraw();
  PostQuitMessage(0);
}

// ---------------------------------------------------------------------------
// The application object.

constexpr const wchar_t* kMembers[] = {L"DisplayDialogs", L"Visible", L"DoJavaScriptFile", L"Quit"};

// What a server built on type information refuses: a member called as what it
// is not (the first two members are properties, the others methods), and named
// arguments other than a put's own value.
HRESULT Refusal(DISPID id, WORD flags, const DISPPARAMS& params) {
  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  if (id <= 2 ? !put && !(flags & DISPATCH_PROPERTYGET) : put || !(flags & DISPATCH_METHOD)) {
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

std::wstring g_deferred;  // one call at a time: the stub fills it in right after Invoke

HRESULT STDAPICALLTYPE FillIn(EXCEPINFO* info) {
  info->bstrDescription =
      SysAllocStringLen(g_deferred.data(), static_cast<UINT>(g_deferred.size()));
  info->scode = E_FAIL;
  return S_OK;
}

HRESULT Raise(EXCEPINFO* info, const std::string& text, bool deferred) {
  if (info == nullptr) return E_FAIL;
  ZeroMemory(info, sizeof *info);
  info->bstrSource = SysAllocString(L"Photoshop stand-in");
  const std::wstring description = Description(text);
  if (deferred) {
    g_deferred = description;
    info->pfnDeferredFillIn = FillIn;
  } else {
    info->bstrDescription =
        SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    info->scode = E_FAIL;
  }
  return DISP_E_EXCEPTION;
}

// "result=text" and "result-vt=VT_BSTR|VT_I4|VT_BOOL|VT_NULL|VT_EMPTY".
void SetResult(VARIANT& result) {
  const std::optional<std::string> text = Setting("result");
  const std::string vt = Lower(Setting("result-vt").value_or(text ? "vt_bstr" : "vt_empty"));
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
    ++g_objects;
    g_servedAny = true;
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
    --g_objects;
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
    for (DISPID id = 1; id <= 4; ++id) {
      if (CompareStringOrdinal(names[0], -1, kMembers[id - 1], -1, TRUE) == CSTR_EQUAL) ids[0] = id;
    }
    return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    if (HRESULT busy = Verdict("Invoke"); busy != S_OK) return busy;
    if (id < 1 || id > 4) return DISP_E_MEMBERNOTFOUND;
    const std::string name = WideToAnsi(kMembers[id - 1]);
    std::string line = std::to_string(GetCurrentProcessId());
    line += flags & DISPATCH_PROPERTYPUT ? " PUT " : flags & DISPATCH_METHOD ? " CALL " : " GET ";
    line += name;
    // rgvarg holds the named arguments first, then the others last first. A
    // named one is journaled as "<dispid>=", but for the value of a put.
    const UINT named = params->cNamedArgs;
    for (UINT i = params->cArgs; i > 0; --i) {
      const UINT at = i > named ? i - 1 : named - i;
      const DISPID to = i > named ? DISPID_UNKNOWN : params->rgdispidNamedArgs[at];
      line += i == params->cArgs ? " " : " ; ";
      if (to != DISPID_UNKNOWN && !(to == DISPID_PROPERTYPUT && (flags & DISPATCH_PROPERTYPUT))) {
        line += std::to_string(to) + "=";
      }
      line += Described(params->rgvarg[at]);
    }
    const HRESULT refusal = Refusal(id, flags, *params);
    if (refusal != S_OK) {
      line += refusal == DISP_E_MEMBERNOTFOUND ? " refused DISP_E_MEMBERNOTFOUND"
                                               : " refused DISP_E_PARAMNOTFOUND";
    }
    WriteText(L"standin-journal.txt", line + "\r\n", true);
    if (refusal != S_OK) return refusal;

    if (const auto code = Setting("exit." + name)) {
      Withdraw();
      ExitProcess(static_cast<UINT>(std::atol(code->c_str())));
    }
    const DWORD sleep =
        static_cast<DWORD>(std::atol(Setting("sleep-ms." + name).value_or("0").c_str()));
    if (WaitForSingleObject(g_stop, sleep) == WAIT_OBJECT_0) {  // told to stop meanwhile
      Withdraw();
      ExitProcess(0);
    }
    if (const auto text = Setting("fail." + name)) return Raise(exception, *text, false);
    if (const auto text = Setting("fail-deferred." + name)) return Raise(exception, *text, true);
    if (id == 3 && result != nullptr) SetResult(*result);
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
    g_locks += lock ? 1 : -1;
    if (!lock) ServerMayEnd();
    return S_OK;
  }
};

// ---------------------------------------------------------------------------

// Machine-wide when elevated (a filtered administrator's token doesn't count);
// else for this user alone, which a standard user may write (HKEY_CLASSES_ROOT
// sends new keys to the machine's hive, which takes an administrator). The
// user's view of the classes puts the user's own first.
HKEY ClassesHive() { return IsUserAnAdmin() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

LSTATUS SetText(HKEY root, const std::wstring& key, const wchar_t* name,
                const std::wstring& value) {
  return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// "/regserver [folder]": the class under its name, and the folder if named.
int Register(const std::wstring& folder) {
  std::wstring exe(32768, L'\0');
  exe.resize(GetModuleFileNameW(nullptr, exe.data(), 32768));
  const std::wstring clsid = kClsidKey;
  const std::pair<std::wstring, std::wstring> values[] = {
      {kProgId, L"Photoshop stand-in"},
      {std::wstring(kProgId) + L"\\CLSID", clsid.substr(clsid.find(L'{'))},
      {clsid, L"Photoshop stand-in"},
      {clsid + L"\\ProgID", kProgId},
      {clsid + L"\\LocalServer32", L"\"" + exe + L"\""},
  };
  const HKEY hive = ClassesHive();
  for (const auto& [key, value] : values) {
    const LSTATUS status = SetText(hive, L"Software\\Classes\\" + key, nullptr, value);
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
  }
  return folder.empty()
             ? 0
             : static_cast<int>(SetText(HKEY_CURRENT_USER, kFolderKey, kFolderValue, folder));
}

int Unregister() {
  const std::wstring classes = L"Software\\Classes\\";
  for (const auto& [root, key] : {std::pair{ClassesHive(), classes + kProgId},
                                  {ClassesHive(), classes + kClsidKey},
                                  {HKEY_CURRENT_USER, std::wstring(kFolderKey)}}) {
    LSTATUS status = RegDeleteTreeW(root, key.c_str());
    if (status == ERROR_SUCCESS) status = RegDeleteKeyW(root, key.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return static_cast<int>(status);
  }
  return 0;
}

std::wstring StopEvent(const std::wstring& pid) { return L"Local\\standin-stop-" + pid; }

int Serve() {
  static ClassFactory factory;
  Handle stop(CreateEventW(nullptr, TRUE, FALSE,
                           StopEvent(std::to_wstring(GetCurrentProcessId())).c_str()));
  g_stop = stop.Get();
  static MessageFilter filter;
  if (!stop.Valid() || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ||
      FAILED(CoRegisterMessageFilter(&filter, nullptr))) {
    return 2;
  }
  if (FAILED(CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                   &g_registration))) {
    return 3;
  }
  // Written once the class is available: whoever started the server by hand
  // waits for this line.
  WriteText(L"standin-pids.txt", std::to_string(GetCurrentProcessId()) + "\r\n", true);
  for (bool running = true; running;) {
    if (MsgWaitForMultipleObjects(1, &g_stop, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      // A client may have been handed an object between the last release and
      // the withdrawal: it is served out.
      if (message.message == WM_QUIT) running = g_objects != 0 || g_locks != 0;
      DispatchMessageW(&message);
    }
  }
  Withdraw();
  CoUninitialize();
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring option = argc > 1 ? argv[1] : L"";
  const std::wstring operand = argc > 2 ? argv[2] : L"";  // a folder or a pid
  LocalFree(argv);
  if (_wcsicmp(option.c_str(), L"/regserver") == 0) return Register(operand);
  if (_wcsicmp(option.c_str(), L"/unregserver") == 0) return Unregister();
  if (_wcsicmp(option.c_str(), L"/stop") == 0) {
    Handle stop(OpenEventW(EVENT_MODIFY_STATE, FALSE, StopEvent(operand).c_str()));
    return stop.Valid() && SetEvent(stop.Get()) ? 0 : 1;
  }
  g_stay = _wcsicmp(option.c_str(), L"/stay") == 0;
  return Serve();  // started by hand, or by COM with -Embedding
}
