// The automation client against the stand-in application, which COM starts,
// and against an object in this process for what only such an object hands over.

#include <chrono>
#include <utility>

#include "platform/win32/Win32Automation.h"

#include "Support.h"

#include <ole2.h>
#include <wrl/client.h>

namespace {

using A = engine::AutomationArg;
using namespace std::chrono_literals;
using namespace win;

const bool kUnderWine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");

// Arguments cross as sent, ANSI and empty strings included; failures come back
// with every byte of the application's description, or ours naming the call;
// results as text. A busy application is asked again, and served once, until
// the bound (the engine's runs show creation and name lookups waiting).
TEST(Automation, CallsCrossToTheApplicationAndItsAnswersComeBack) {
  TempFolder dir;
  Standin standin(dir.path);
  engine::Win32Automation automation{5ms, 300ms};
  const auto app = automation.CreateObject("photoshop.application");
  const auto Call = [&](const std::string& member, const std::vector<A>& args = {},
                        std::string* result = nullptr) { app->CallMethod(member, args, result); };
  const auto Script = [&](std::string* result = nullptr) {
    Call("DoJavaScriptFile", {A::Text("", true), A::TextArray({""}), A::Int16(1)}, result);
  };
  Call("DoJavaScriptFile",
       {A::Text("\xE9 \x80", true), A::TextArray({"\xE9", ""}, true), A::Boolean(false, true)});
  Call("DoJavaScriptFile", {A::Text(""), A::TextArray({}), A::Int16(-2)});
  EXPECT_EQ(
      standin.Calls(),
      (Lines{"CALL DoJavaScriptFile VT_BSTR|VT_BYREF \"\xE9 \x80\" ; VT_ARRAY|VT_VARIANT|VT_BYREF "
             "[0..1] {VT_BSTR \"\xE9\", VT_BSTR \"\"} ; VT_BOOL|VT_BYREF 0",
             "CALL DoJavaScriptFile VT_BSTR \"\" ; VT_ARRAY|VT_VARIANT [0..-1] {} ; VT_I2 -2"}));
  for (const auto& [control, expected] : std::initializer_list<std::pair<std::string, std::string>>{
           {"fail.DoJavaScriptFile=before<NUL>after<CR><LF>\xC9tat \xAB 1 \xBB<LF>",
            std::string("before\0after", 12) + "\r\n\xC9tat \xAB 1 \xBB\n"},
           // Windows' stub calls a deferred fill-in on the server's side; Wine's
           // hands over the server's function pointer, which must not be called.
           {"fail-deferred.DoJavaScriptFile=Filled in later.",
            kUnderWine ? "Invoke(DoJavaScriptFile): the application reported a failure without "
                         "a description (HRESULT 0x80020009)"
                       : "Filled in later."},
           {"result-vt=VT_NULL", "Invoke(DoJavaScriptFile): the result can't be taken as text: "},
           {"", ""},
           {"result=\xE9t\xE9", "\xE9t\xE9"},
           {"result-vt=VT_I4\r\nresult=-42", "-42"},
           {"result-vt=VT_BOOL\r\nresult=true", "True"}}) {
    standin.Control(control);
    std::string result;
    const std::string failure = FailureOf([&] { Script(&result); });
    const std::string got = failure == "no failure" ? result : failure;
    EXPECT_EQ(got.substr(0, expected.ends_with(": ") ? expected.size() : got.npos), expected);
  }
  standin.Control("fail.DisplayDialogs=Not now.");
  EXPECT_EQ(FailureOf([&] { app->SetProperty("DisplayDialogs", A::Int16(3)); }), "Not now.");
  EXPECT_TRUE(FailureOf([&] { Call("Frobnicate"); }).starts_with("GetIDsOfNames(Frobnicate): "));

  const std::size_t served = standin.Calls().size();
  standin.Control("busy=2\r\nbusy-on=Invoke\r\nbusy-code=rejected");
  Call("Quit");
  EXPECT_EQ(standin.BusyLeft(), 0);
  for (const std::string on : {"GetIDsOfNames", "Invoke", "CreateInstance"}) {
    standin.Control("busy=100000\r\nbusy-on=" + on);
    const std::string failure = FailureOf([&] {
      if (on == "CreateInstance") automation.CreateObject("photoshop.application");
      Call("Quit");
    });
    EXPECT_TRUE(failure.starts_with(
        (on == "CreateInstance" ? "CreateObject(photoshop.application)" : on + "(Quit)") +
        ": the application was still busy after 300 ms"))
        << failure;
    // At most one try per interval, the bound over: not a busy loop.
    EXPECT_GE(standin.BusyLeft(), 100000 - 300 / 5 - 1);
  }
  // The server dying inside a call fails it and every later call at once.
  standin.Control("exit.DoJavaScriptFile=7");
  EXPECT_TRUE(FailureOf([&] { Script(); }).starts_with("Invoke(DoJavaScriptFile): "));
  EXPECT_NE(FailureOf([&] { Call("Quit"); }), "no failure");
  EXPECT_EQ(standin.Calls().size(), served + 2);  // the Quit taken once, the script
}

void LeaveErrorObject(const wchar_t* description) {
  Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
  Microsoft::WRL::ComPtr<IErrorInfo> error;
  CreateErrorInfo(&create);
  create->SetDescription(const_cast<LPOLESTR>(description));
  create.As(&error);
  SetErrorInfo(0, error.Get());
}

// Member 1 raises an exception to be filled in on request, 2 leaves an error
// object on the thread, 3 and 4 fail without a word.
class LocalObject final : public IDispatch, public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    *object = riid == IID_IClassFactory ? static_cast<void*>(static_cast<IClassFactory*>(this))
              : riid == IID_IUnknown || riid == IID_IDispatch ? static_cast<IDispatch*>(this)
                                                              : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
    *id = names[0][0] - L'0';
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO* exception,
                      UINT*) override {
    exception->pfnDeferredFillIn = [](EXCEPINFO* e) {
      e->bstrDescription = SysAllocString(L"Filled in on request.");
      return S_OK;
    };
    if (id == 2) LeaveErrorObject(L"Left on the thread.");
    return id == 1 ? DISP_E_EXCEPTION : id == 3 ? E_FAIL : DISP_E_MEMBERNOTFOUND;
  }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID riid, void** object) override {
    return QueryInterface(riid, object);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

// A class registered with a server that can't be started, then served in this
// process by the object above; all undone however the test ends.
TEST(AutomationElsewhere, RegistrationAndInProcessObjects) {
  LocalObject object;
  DWORD cookie = 0;
  const std::wstring key = L"CLSID\\{0E5A7C21-94B3-4D6F-8A12-3C4B5D6E7F81}";
  const auto undo = [&](DWORD*) {
    CoRevokeClassObject(cookie);
    for (auto name : {L"standin.local", key.c_str()}) RegDeleteTreeW(HKEY_CLASSES_ROOT, name);
  };
  const std::unique_ptr<DWORD, decltype(undo)> registered(&cookie, undo);
  RegSetValueW(HKEY_CLASSES_ROOT, L"standin.local\\CLSID", REG_SZ, key.substr(6).c_str(), 0);
  RegSetValueW(HKEY_CLASSES_ROOT, (key + L"\\LocalServer32").c_str(), REG_SZ, L"C:\\no\\x.exe", 0);
  engine::Win32Automation automation;
  EXPECT_EQ(FailureOf([&] { automation.CreateObject("standin.nothing"); }),
            "CreateObject(standin.nothing): no automation server is registered under this name");
  // The failure's own reason (Wine reports such a class as one without a server).
  EXPECT_TRUE(FailureOf([&] { automation.CreateObject("standin.local"); })
                  .starts_with(kUnderWine ? "CreateObject(standin.local): no server is registered "
                                            "for the class of this name: "
                                          : "CreateObject(standin.local): the automation server "
                                            "could not be started: "));
  CLSID clsid{};
  CLSIDFromString(key.substr(6).c_str(), &clsid);
  CoRegisterClassObject(clsid, static_cast<IClassFactory*>(&object), CLSCTX_INPROC_SERVER,
                        REGCLS_MULTIPLEUSE, &cookie);
  auto app = automation.CreateObject("standin.local");
  EXPECT_EQ(FailureOf([&] { app->CallMethod("1", {}, nullptr); }), "Filled in on request.");
  EXPECT_EQ(FailureOf([&] { app->CallMethod("2", {}, nullptr); }), "Left on the thread.");
  LeaveErrorObject(L"Stale.");  // by something earlier: not this failure's
  // Failures the object leaves undescribed: the system's text, or where it has
  // none (Wine, for the second), ours; never that stale error object's.
  for (auto [member, hresult, words] :
       {std::tuple{"3", "0x80004005", ""}, {"4", "0x80020003", "doesn't take this kind of call"}}) {
    const std::string failure = FailureOf([&] { app->CallMethod(member, {}, nullptr); });
    EXPECT_TRUE(failure.starts_with("Invoke(" + std::string(member) + "): ") &&
                failure.ends_with(std::string(" (HRESULT ") + hresult + ")") &&
                (!kUnderWine || failure.find(words) != std::string::npos))
        << failure;
  }
}

}  // namespace
