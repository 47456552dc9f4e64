// The stand-in for the image editor's automation server: an out-of-process
// server built as Photoshop.exe, registered under "photoshop.application",
// that journals every call it receives and behaves as the test directs.
// A test fixture only; README.md in this folder documents the command line,
// the journal and the control syntax.

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>
#include <shellapi.h>

#include <cstdlib>
#include <cwctype>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/ComOwners.h"

namespace {

using engine::com::AnsiToWide;
using engine::com::Bstr;
using engine::com::Handle;
using engine::com::Variant;
using engine::com::WideToAnsi;

// {5B2C9E71-3A4D-4F08-9C61-7E2D8B14A3F0}
const CLSID kClsid = {0x5b2c9e71, 0x3a4d, 0x4f08, {0x9c, 0x61, 0x7e, 0x2d, 0x8b, 0x14, 0xa3, 0xf0}};
constexpr wchar_t kClsidText[] = L"{5B2C9E71-3A4D-4F08-9C61-7E2D8B14A3F0}";
constexpr wchar_t kProgId[] = L"photoshop.application";
constexpr wchar_t kDescription[] = L"Automation stand-in for tests";

constexpr wchar_t kJournalFile[] = L"standin-journal.txt";
constexpr wchar_t kControlFile[] = L"standin-control.txt";
constexpr wchar_t kPidsFile[] = L"standin-pids.txt";
constexpr std::string_view kDirectivePrefix = "//standin ";

// ---------------------------------------------------------------------------
// Files

std::wstring ExeDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/"));
}

// Where the journal and the control file live: STANDIN_DIR when set (a server
// that COM starts inherits the environment of the client that asked for it),
// else beside the executable. Fixed for the life of the process.
const std::wstring& WorkDirectory() {
  static const std::wstring directory = [] {
    wchar_t buffer[32768];
    DWORD length = GetEnvironmentVariableW(L"STANDIN_DIR", buffer, 32768);
    if (length > 0 && length < 32768) return std::wstring(buffer, length);
    return ExeDirectory();
  }();
  return directory;
}

std::wstring WorkFile(const wchar_t* name) { return WorkDirectory() + L"\\" + name; }

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

void WriteWholeFile(const std::wstring& path, std::string_view bytes) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return;
  DWORD written = 0;
  WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Appends one CR LF line and closes the file again, so that the line is in
// the file even when the process dies right after (a test may kill it), and
// several servers may share one journal.
void AppendLine(const std::wstring& path, std::string_view line) {
  Handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return;
  std::string bytes(line);
  bytes += "\r\n";
  DWORD written = 0;
  WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// ---------------------------------------------------------------------------
// Behaviour settings: "key=value" lines, keys compared without letter case.

std::wstring Lower(std::wstring_view text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
  return lower;
}

std::wstring Trim(std::wstring_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::iswspace(text[begin])) ++begin;
  while (end > begin && std::iswspace(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

using Settings = std::map<std::wstring, std::wstring>;  // lower-case key -> value

// Parses the lines of |bytes|. With a |prefix|, only lines that start with it
// (after leading blanks) count, and keys without a member part get
// |defaultMember| as theirs, except the member-less |plainKeys|.
Settings ParseSettings(std::string_view bytes, std::string_view prefix = {},
                       std::wstring_view defaultMember = {}) {
  Settings settings;
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) continue;
    line.remove_prefix(first);
    if (!prefix.empty()) {
      if (line.substr(0, prefix.size()) != prefix) continue;
      line.remove_prefix(prefix.size());
    } else if (line.front() == '#') {
      continue;
    }
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::wstring key = Lower(Trim(AnsiToWide(line.substr(0, equals))));
    if (key.empty()) continue;
    if (!defaultMember.empty() && key.find(L'.') == std::wstring::npos && key != L"result" &&
        key != L"result-vt") {
      key += L'.';
      key += Lower(defaultMember);
    }
    settings[key] = AnsiToWide(line.substr(equals + 1));
  }
  return settings;
}

Settings ReadControl() {
  std::optional<std::string> bytes = ReadWholeFile(WorkFile(kControlFile));
  return bytes ? ParseSettings(*bytes) : Settings();
}

const std::wstring* Find(const Settings& settings, std::wstring_view key) {
  auto it = settings.find(Lower(key));
  return it == settings.end() ? nullptr : &it->second;
}

long Number(const Settings& settings, std::wstring_view key, long fallback = 0) {
  const std::wstring* value = Find(settings, key);
  return value ? std::wcstol(value->c_str(), nullptr, 10) : fallback;
}

// The busy answer for an incoming call of |kind| ("CreateInstance",
// "GetIDsOfNames" or "Invoke"), or S_OK to take it. Each rejection counts
// "busy=N" in the control file down by one, so the count survives between
// calls and a test can see how many rejections were served.
HRESULT BusyAnswer(std::wstring_view kind) {
  const std::wstring path = WorkFile(kControlFile);
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return S_OK;
  Settings settings = ParseSettings(*bytes);
  long remaining = Number(settings, L"busy");
  if (remaining <= 0) return S_OK;
  const std::wstring* on = Find(settings, L"busy-on");
  if (on != nullptr && Lower(Trim(*on)) != L"any" && Lower(Trim(*on)) != Lower(kind)) return S_OK;

  std::string rewritten;
  std::size_t start = 0;
  while (start < bytes->size()) {
    std::size_t end = bytes->find('\n', start);
    end = end == std::string::npos ? bytes->size() : end + 1;
    std::string line = bytes->substr(start, end - start);
    start = end;
    std::size_t equals = line.find('=');
    if (equals != std::string::npos && Lower(Trim(AnsiToWide(line.substr(0, equals)))) == L"busy") {
      line = "busy=" + std::to_string(remaining - 1) + "\r\n";
    }
    rewritten += line;
  }
  WriteWholeFile(path, rewritten);

  const std::wstring* code = Find(settings, L"busy-code");
  return code && Lower(Trim(*code)) == L"retrylater" ? RPC_E_SERVERCALL_RETRYLATER
                                                     : RPC_E_CALL_REJECTED;
}

// ---------------------------------------------------------------------------
// Journal spelling of VARIANTs

std::string TypeName(VARTYPE vt) {
  static const std::map<VARTYPE, const char*> kNames = {
      {VT_EMPTY, "VT_EMPTY"},     {VT_NULL, "VT_NULL"},
      {VT_I2, "VT_I2"},           {VT_I4, "VT_I4"},
      {VT_R4, "VT_R4"},           {VT_R8, "VT_R8"},
      {VT_CY, "VT_CY"},           {VT_DATE, "VT_DATE"},
      {VT_BSTR, "VT_BSTR"},       {VT_DISPATCH, "VT_DISPATCH"},
      {VT_ERROR, "VT_ERROR"},     {VT_BOOL, "VT_BOOL"},
      {VT_VARIANT, "VT_VARIANT"}, {VT_UNKNOWN, "VT_UNKNOWN"},
      {VT_DECIMAL, "VT_DECIMAL"}, {VT_I1, "VT_I1"},
      {VT_UI1, "VT_UI1"},         {VT_UI2, "VT_UI2"},
      {VT_UI4, "VT_UI4"},         {VT_I8, "VT_I8"},
      {VT_UI8, "VT_UI8"},         {VT_INT, "VT_INT"},
      {VT_UINT, "VT_UINT"}};
  VARTYPE base = vt & VT_TYPEMASK;
  auto it = kNames.find(base);
  std::string name;
  if (it != kNames.end()) {
    name = it->second;
  } else {
    char buffer[16];
    wsprintfA(buffer, "VT_0x%X", static_cast<unsigned>(base));
    name = buffer;
  }
  if (vt & VT_ARRAY) name.insert(0, "VT_ARRAY|");
  if (vt & VT_BYREF) name += "|VT_BYREF";
  return name;
}

std::string Quoted(BSTR text) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
  // "literal" + std::string chains.
  std::string quoted(1, '"');
  quoted.append(WideToAnsi(text ? std::wstring_view(text, SysStringLen(text)) : L""));
  quoted.push_back('"');
  return quoted;
}

std::string Described(const VARIANT& v);

// "[lower..upper]" per dimension, then the elements of a one-dimensional array
// in braces, separated by ", ".
std::string ArrayText(SAFEARRAY* array, VARTYPE elementType) {
  if (array == nullptr) return "null";
  std::string text;
  UINT dims = SafeArrayGetDim(array);
  for (UINT d = 1; d <= dims; ++d) {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, d, &lower);
    SafeArrayGetUBound(array, d, &upper);
    text.append("[").append(std::to_string(lower)).append("..").append(std::to_string(upper));
    text.append("]");
  }
  if (dims != 1) return text;
  LONG lower = 0;
  LONG upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  text += " {";
  for (LONG i = lower; i <= upper; ++i) {
    if (i != lower) text += ", ";
    if (elementType == VT_VARIANT) {
      Variant element;
      if (SUCCEEDED(SafeArrayGetElement(array, &i, element.Get())))
        text += Described(*element.Get());
    } else if (elementType == VT_BSTR) {
      Bstr element;
      if (SUCCEEDED(SafeArrayGetElement(array, &i, element.Put()))) text += Quoted(element.Get());
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
      return ref && V_VARIANTREF(&v) ? Described(*V_VARIANTREF(&v)) : std::string("?");
    default: {
      Variant text;
      if (SUCCEEDED(VariantChangeType(text.Get(), const_cast<VARIANT*>(&v), 0, VT_BSTR))) {
        return Quoted(V_BSTR(text.Get()));
      }
      return "?";
    }
  }
}

std::string Described(const VARIANT& v) {
  std::string value = ValueText(v);
  return value.empty() ? TypeName(V_VT(&v)) : TypeName(V_VT(&v)) + " " + value;
}

// ---------------------------------------------------------------------------
// Server lifetime: the process ends once the last object and lock are gone,
// after it has served at least one object.

LONG g_objects = 0;
LONG g_locks = 0;
bool g_servedAny = false;
bool g_stay = false;
HANDLE g_stop = nullptr;  // the stop event, also heeded while a call sleeps  // started with /stay: serves until stopped, like an editor left open
DWORD g_registration = 0;
bool g_registered = false;

void ServerMayEnd() {
  if (g_objects != 0 || g_locks != 0 || !g_servedAny || g_stay) return;
  // Withdrawn at once, so that a client asking from now on starts a fresh
  // server rather than reaching this one on its way out.
  if (g_registered) {
    CoRevokeClassObject(g_registration);
    g_registered = false;
  }
  PostQuitMessage(0);
}

// ---------------------------------------------------------------------------
// The application object

enum Member : DISPID { kDisplayDialogs = 1, kVisible = 2, kDoJavaScriptFile = 3, kQuit = 4 };

struct MemberName {
  Member id;
  const wchar_t* name;
};
constexpr MemberName kMembers[] = {{kDisplayDialogs, L"DisplayDialogs"},
                                   {kVisible, L"Visible"},
                                   {kDoJavaScriptFile, L"DoJavaScriptFile"},
                                   {kQuit, L"Quit"}};

const wchar_t* NameOf(DISPID id) {
  for (const MemberName& m : kMembers) {
    if (m.id == id) return m.name;
  }
  return nullptr;
}

// The description handed out by the deferred fill-in: this thread serves one
// call at a time, and the stub fills the exception in right after Invoke.
std::wstring g_deferredDescription;

HRESULT STDAPICALLTYPE DeferredFillIn(EXCEPINFO* info) {
  info->bstrSource = SysAllocString(L"Stand-in");
  info->bstrDescription = SysAllocStringLen(g_deferredDescription.data(),
                                            static_cast<UINT>(g_deferredDescription.size()));
  info->scode = E_FAIL;
  return S_OK;
}

// Settings are lines, so a description spells its line breaks <CR> and <LF>.
std::wstring WithLineBreaks(std::wstring text) {
  for (const auto& [token, character] : {std::pair{L"<CR>", L"\r"}, std::pair{L"<LF>", L"\n"}}) {
    for (std::size_t at = text.find(token); at != std::wstring::npos;
         at = text.find(token, at + 1)) {
      text.replace(at, 4, character);
    }
  }
  return text;
}

HRESULT RaiseException(EXCEPINFO* info, const std::wstring& text, bool deferred) {
  if (info == nullptr) return E_FAIL;
  const std::wstring description = WithLineBreaks(text);
  ZeroMemory(info, sizeof *info);
  if (deferred) {
    g_deferredDescription = description;
    info->pfnDeferredFillIn = DeferredFillIn;
  } else {
    info->bstrSource = SysAllocString(L"Stand-in");
    info->bstrDescription =
        SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    info->scode = E_FAIL;
  }
  return DISP_E_EXCEPTION;
}

HRESULT RaiseErrorObject(const std::wstring& description) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return E_FAIL;
  create->SetGUID(IID_IDispatch);
  create->SetSource(const_cast<LPOLESTR>(L"Stand-in"));
  create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
  IErrorInfo* error = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error)))) {
    SetErrorInfo(0, error);
    error->Release();
  }
  create->Release();
  return E_FAIL;
}

class Application final : public IDispatch, public ISupportErrorInfo {
 public:
  Application() {
    ++g_objects;
    g_servedAny = true;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *object = static_cast<IDispatch*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
      *object = static_cast<ISupportErrorInfo*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      delete this;
      --g_objects;
      ServerMayEnd();
    }
    return left;
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == IID_IDispatch ? S_OK : S_FALSE;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return DISP_E_BADINDEX;
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (HRESULT busy = BusyAnswer(L"GetIDsOfNames"); busy != S_OK) return busy;
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const MemberName& m : kMembers) {
      if (CompareStringOrdinal(names[0], -1, m.name, -1, TRUE) == CSTR_EQUAL) ids[0] = m.id;
    }
    if (ids[0] == DISPID_UNKNOWN || count > 1) result = DISP_E_UNKNOWNNAME;  // no named arguments
    return result;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    if (HRESULT busy = BusyAnswer(L"Invoke"); busy != S_OK) return busy;
    const wchar_t* name = NameOf(id);
    if (name == nullptr) return DISP_E_MEMBERNOTFOUND;
    if (params == nullptr) return E_INVALIDARG;

    Journal(name, flags, *params);

    const bool isProperty = id == kDisplayDialogs || id == kVisible;
    if (isProperty) {
      if (!(flags & DISPATCH_PROPERTYPUT)) return DISP_E_MEMBERNOTFOUND;
      if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
        return DISP_E_PARAMNOTFOUND;
      }
    } else {
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
      if (params->cArgs != (id == kDoJavaScriptFile ? 3u : 0u)) return DISP_E_BADPARAMCOUNT;
    }

    Settings settings = ReadControl();
    if (id == kDoJavaScriptFile) {
      // The script's own directives decide over the control file, so that
      // concurrent jobs can each have their own outcome.
      for (auto& [key, value] : ScriptDirectives(params->rgvarg[2])) settings[key] = value;
    }
    const std::wstring member = Lower(name);
    if (const std::wstring* code = Find(settings, L"exit." + member)) {
      // Wine's class table outlives a server that dies registered: every later
      // client would be sent to the dead process instead of starting a new
      // one. Withdraw first, then end without any of the usual clean-up.
      if (g_registered) CoRevokeClassObject(g_registration);
      ExitProcess(static_cast<UINT>(std::wcstol(code->c_str(), nullptr, 10)));
    }
    if (long ms = Number(settings, L"sleep-ms." + member); ms > 0) {
      // A server that "never answers" must still end when told to.
      if (g_stop != nullptr &&
          WaitForSingleObject(g_stop, static_cast<DWORD>(ms)) == WAIT_OBJECT_0) {
        if (g_registered) CoRevokeClassObject(g_registration);
        ExitProcess(0);
      }
      if (g_stop == nullptr) Sleep(static_cast<DWORD>(ms));
    }
    if (const std::wstring* text = Find(settings, L"fail." + member)) {
      return RaiseException(exception, *text, false);
    }
    if (const std::wstring* text = Find(settings, L"fail-deferred." + member)) {
      return RaiseException(exception, *text, true);
    }
    if (const std::wstring* text = Find(settings, L"fail-errorinfo." + member)) {
      return RaiseErrorObject(*text);
    }
    if (id == kDoJavaScriptFile && result != nullptr) return SetResult(settings, *result);
    return S_OK;
  }

 private:
  ~Application() = default;

  static void Journal(const wchar_t* name, WORD flags, const DISPPARAMS& params) {
    const char* kind = (flags & DISPATCH_PROPERTYPUT)      ? "PUT"
                       : (flags & DISPATCH_PROPERTYPUTREF) ? "PUTREF"
                       : (flags & DISPATCH_METHOD)         ? "CALL"
                                                           : "GET";
    std::string line = std::to_string(GetCurrentProcessId()) + " " + kind + " " + WideToAnsi(name);
    // rgvarg holds the arguments last-first; the journal lists them first-first.
    for (UINT i = params.cArgs; i > 0; --i) {
      line += i == params.cArgs ? " " : " ; ";
      line += Described(params.rgvarg[i - 1]);
    }
    AppendLine(WorkFile(kJournalFile), line);
  }

  static Settings ScriptDirectives(const VARIANT& path) {
    VARTYPE vt = V_VT(&path);
    BSTR text = vt == VT_BSTR                ? V_BSTR(&path)
                : vt == (VT_BSTR | VT_BYREF) ? *V_BSTRREF(&path)
                                             : nullptr;
    if (text == nullptr || SysStringLen(text) == 0) return Settings();
    std::optional<std::string> bytes = ReadWholeFile(std::wstring(text, SysStringLen(text)));
    return bytes ? ParseSettings(*bytes, kDirectivePrefix, L"DoJavaScriptFile") : Settings();
  }

  static HRESULT SetResult(const Settings& settings, VARIANT& result) {
    const std::wstring* text = Find(settings, L"result");
    const std::wstring* type = Find(settings, L"result-vt");
    std::wstring vt = type ? Lower(Trim(*type)) : (text ? L"vt_bstr" : L"vt_empty");
    VariantInit(&result);
    if (vt == L"vt_bstr") {
      V_VT(&result) = VT_BSTR;
      V_BSTR(&result) = Bstr(text ? *text : L"").Release();
    } else if (vt == L"vt_i4") {
      V_VT(&result) = VT_I4;
      V_I4(&result) = text ? std::wcstol(text->c_str(), nullptr, 10) : 0;
    } else if (vt == L"vt_bool") {
      V_VT(&result) = VT_BOOL;
      V_BOOL(&result) = text && Lower(Trim(*text)) == L"true" ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (vt == L"vt_null") {
      V_VT(&result) = VT_NULL;  // has no text form
    }
    return S_OK;
  }

  ULONG refs_ = 1;
};

class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // Lives as long as the process.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (HRESULT busy = BusyAnswer(L"CreateInstance"); busy != S_OK) return busy;
    Application* application = new Application();
    HRESULT hr = application->QueryInterface(riid, object);
    application->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++g_locks;
    } else {
      --g_locks;
      ServerMayEnd();
    }
    return S_OK;
  }
};

// ---------------------------------------------------------------------------
// Registration

LSTATUS SetDefaultValue(const std::wstring& subkey, const std::wstring& value) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status;
}

int Register() {
  std::wstring exe(MAX_PATH, L'\0');
  exe.resize(GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size())));
  const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
  for (auto [subkey, value] : {
           std::pair{std::wstring(kProgId), std::wstring(kDescription)},
           std::pair{std::wstring(kProgId) + L"\\CLSID", std::wstring(kClsidText)},
           std::pair{clsidKey, std::wstring(kDescription)},
           std::pair{clsidKey + L"\\ProgID", std::wstring(kProgId)},
           std::pair{clsidKey + L"\\LocalServer32", L"\"" + exe + L"\""},
       }) {
    if (LSTATUS status = SetDefaultValue(subkey, value); status != ERROR_SUCCESS) {
      return static_cast<int>(status);
    }
  }
  return 0;
}

int Unregister() {
  const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
  for (const std::wstring& key : {std::wstring(kProgId), clsidKey}) {
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    if (status == ERROR_SUCCESS) status = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return static_cast<int>(status);
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Serving

int Serve() {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) return 2;

  if (long delay = Number(ReadControl(), L"startup-delay-ms"); delay > 0) {
    Sleep(static_cast<DWORD>(delay));
  }

  static ClassFactory factory;
  hr = CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                             &g_registration);
  if (FAILED(hr)) {
    CoUninitialize();
    return 3;
  }
  g_registered = true;
  // Written once the class is available: a test that starts the server itself
  // waits for this line.
  AppendLine(WorkFile(kPidsFile), std::to_string(GetCurrentProcessId()));

  // A test that finds the server still running when it should have ended
  // signals this event; the server then withdraws its class before it goes,
  // which killing it would not do (see the exit directive).
  const std::wstring stopName = L"Local\\standin-stop-" + std::to_wstring(GetCurrentProcessId());
  Handle stop(CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
  HANDLE waitFor[] = {stop.Get()};
  g_stop = stop.Valid() ? stop.Get() : nullptr;

  bool running = true;
  while (running) {
    DWORD woken =
        MsgWaitForMultipleObjects(stop.Valid() ? 1 : 0, waitFor, FALSE, INFINITE, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0 && stop.Valid()) break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // A client may have been handed an object between the last release
        // and the revocation; serve it out.
        if (g_objects == 0 && g_locks == 0) running = false;
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  if (g_registered) CoRevokeClassObject(g_registration);
  CoUninitialize();
  return 0;
}

}  // namespace

// Signals the stop event of the server with process id |pid|.
int Stop(const std::wstring& pid) {
  const std::wstring name = L"Local\\standin-stop-" + pid;
  Handle stop(OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
  return stop.Valid() && SetEvent(stop.Get()) ? 0 : 1;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring option, value;
  if (argv != nullptr && argc > 1) option = Lower(argv[1]);
  if (argv != nullptr && argc > 2) value = argv[2];
  if (argv != nullptr) LocalFree(argv);

  if (option == L"/regserver" || option == L"-regserver") return Register();
  if (option == L"/unregserver" || option == L"-unregserver") return Unregister();
  if (option == L"/stop") return Stop(value);
  g_stay = option == L"/stay";
  // "-Embedding" when COM starts it, nothing when started by hand.
  return Serve();
}
