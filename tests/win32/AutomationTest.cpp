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

// One stand-in server session, found through the registry alone (nothing in our
// environment), for every case in turn; the server dies in the last.
class Automation : public ::testing::Test {
 protected:
  struct Session {
    TempFolder dir;
    Standin standin{dir.path};
    engine::Win32Automation automation{5ms, 300ms};
    std::unique_ptr<engine::AutomationObject> app =
        automation.CreateObject("photoshop.application");
  };
  static void SetUpTestSuite() {
    ASSERT_EQ(GetEnvironmentVariableA("STANDIN_DIR", nullptr, 0), 0u);
    session = std::make_unique<Session>();
  }
  static void TearDownTestSuite() { session.reset(); }
  static void Call(const std::string& member, const std::vector<A>& args = {},
                   std::string* result = nullptr) {
    session->app->CallMethod(member, args, result);
  }
  static void Script(std::string* result = nullptr) {
    Call("DoJavaScriptFile", {A::Text("", true), A::TextArray({""}), A::Int16(1)}, result);
  }
  static inline std::unique_ptr<Session> session;
  Standin& standin = session->standin;
};

// Arguments cross as sent, ANSI and empty strings included, to the one server.
TEST_F(Automation, ArgumentsCrossAsSent) {
  Call("DoJavaScriptFile",
       {A::Text("\xE9 \x80", true), A::TextArray({"\xE9", ""}, true), A::Boolean(false, true)});
  Call("DoJavaScriptFile", {A::Text(""), A::TextArray({}), A::Int16(-2)});
  EXPECT_EQ(
      standin.Calls(),
      (Lines{"CALL DoJavaScriptFile VT_BSTR|VT_BYREF \"\xE9 \x80\" ; VT_ARRAY|VT_VARIANT|VT_BYREF "
             "[0..1] {VT_BSTR \"\xE9\", VT_BSTR \"\"} ; VT_BOOL|VT_BYREF 0",
             "CALL DoJavaScriptFile VT_BSTR \"\" ; VT_ARRAY|VT_VARIANT [0..-1] {} ; VT_I2 -2"}));
}

// Failures come back with every byte of the application's description, or ours
// naming the call; results as text.
TEST_F(Automation, FailuresAndResultsComeBackWhole) {
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
  EXPECT_EQ(FailureOf([&] { session->app->SetProperty("DisplayDialogs", A::Int16(3)); }),
            "Not now.");
  EXPECT_TRUE(FailureOf([&] { Call("Frobnicate"); }).starts_with("GetIDsOfNames(Frobnicate): "));
}

// What a server built on type information refuses, the stand-in refuses too: a
// copy of the client's put without its named argument, members called as what
// they aren't, named arguments of a method (journaled by number). Members 1, 2
// are its properties, 3, 4 its methods.
TEST_F(Automation, RefusesWhatTypeInformationRefuses) {
  standin.Control("");
  Microsoft::WRL::ComPtr<IDispatch> raw;
  CLSID clsid{};
  ASSERT_TRUE(SUCCEEDED(CLSIDFromProgID(L"photoshop.application", &clsid)) &&
              SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&raw))));
  VARIANT empty{};
  DISPID named[] = {DISPID_PROPERTYPUT, 7};
  const auto Invoke = [&](DISPID id, WORD kind, DISPPARAMS call) {
    return raw->Invoke(id, IID_NULL, 0, kind, &call, nullptr, nullptr, nullptr);
  };
  const std::size_t before = standin.Calls().size();
  EXPECT_EQ(Invoke(1, DISPATCH_PROPERTYPUT, {&empty, named, 1, 1}), S_OK);
  EXPECT_EQ(Invoke(1, DISPATCH_PROPERTYPUT, {&empty, nullptr, 1, 0}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Invoke(4, DISPATCH_PROPERTYGET, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Invoke(2, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Invoke(4, DISPATCH_METHOD, {&empty, named + 1, 1, 1}), DISP_E_PARAMNOTFOUND);
  const Lines calls = standin.Calls();
  EXPECT_EQ(
      Lines(calls.begin() + before, calls.end()),
      (Lines{"PUT DisplayDialogs VT_EMPTY",
             "PUT DisplayDialogs VT_EMPTY refused DISP_E_PARAMNOTFOUND",
             "GET Quit refused DISP_E_MEMBERNOTFOUND", "CALL Visible refused DISP_E_MEMBERNOTFOUND",
             "CALL Quit 7=VT_EMPTY refused DISP_E_PARAMNOTFOUND"}));
}

// A busy application (its message filter turns the call away; Wine lets the
// method answer for a "retry later") is asked again, each call served once, until
// the bound; so is a creation meeting a server still stopping or failing to start.
TEST_F(Automation, TurnedAwayCallsAreAskedAgainWithinTheBound) {
  const std::size_t served = standin.Calls().size();
  for (const std::string code : {"rejected", "stopping"}) {
    standin.Control(
        "busy=2\r\nbusy-on=" + std::string(code == "rejected" ? "Invoke" : "CreateInstance") +
        "\r\nbusy-code=" + code);
    if (code == "stopping") session->automation.CreateObject("photoshop.application");
    Call("Quit");
    EXPECT_EQ(standin.BusyLeft(), 0);
  }
  for (const auto& [on, code] : std::initializer_list<std::pair<std::string, std::string>>{
           {"GetIDsOfNames", "rejected"},
           {"Invoke", "retrylater"},
           {"CreateInstance", "rejected"},
           {"CreateInstance", "stopping"},
           {"CreateInstance", "exec-failure"}}) {
    standin.Control("busy=100000\r\nbusy-on=" + on + "\r\nbusy-code=" + code);
    const std::string failure = FailureOf([&] {
      if (on == "CreateInstance") session->automation.CreateObject("photoshop.application");
      Call("Quit");
    });
    const bool closing = code == "stopping" || code == "exec-failure";
    EXPECT_TRUE(failure.starts_with(
        (on == "CreateInstance" ? "CreateObject(photoshop.application)" : on + "(Quit)") +
        (closing ? ": the automation server could not be started: "
                 : ": the application was still busy after 300 ms")))
        << failure;
    // At most one try per interval, the bound over: not a busy loop.
    EXPECT_GE(standin.BusyLeft(), 100000 - 300 / 5 - 1);
  }
  EXPECT_EQ(standin.Calls().size(), served + 2);  // each Quit taken once
}

// The server dying inside a call fails it and every later call at once.
TEST_F(Automation, TheServerDyingFailsThatCallAndTheRest) {
  standin.Control("exit.DoJavaScriptFile=7");
  const std::size_t served = standin.Calls().size();
  EXPECT_TRUE(FailureOf([&] { Script(); }).starts_with("Invoke(DoJavaScriptFile): "));
  EXPECT_NE(FailureOf([&] { Call("Quit"); }), "no failure");
  EXPECT_EQ(standin.Calls().size(), served + 1);  // the script only
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
// object on the thread (which the object may own or disown), 3 and 4 fail
// without a word, 5 takes 350 ms to look up and is always busy, 6 is busy twice.
class LocalObject final : public IDispatch, public IClassFactory, public ISupportErrorInfo {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    *object = riid == IID_IClassFactory ? static_cast<void*>(static_cast<IClassFactory*>(this))
              : riid == IID_ISupportErrorInfo
                  ? static_cast<void*>(static_cast<ISupportErrorInfo*>(this))
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
    if (*id == 5) Sleep(350);
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO* exception,
                      UINT*) override {
    exception->pfnDeferredFillIn = [](EXCEPINFO* e) {
      e->bstrDescription = SysAllocString(L"Filled in on request.");
      return S_OK;
    };
    if (id == 2) LeaveErrorObject(L"Left on the thread.");
    if (id >= 5) return ++tries <= 2 || id == 5 ? RPC_E_CALL_REJECTED : S_OK;
    return id == 1 ? DISP_E_EXCEPTION : id == 3 ? E_FAIL : DISP_E_MEMBERNOTFOUND;
  }
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
    return ownsErrorObject && riid == IID_IDispatch ? S_OK : S_FALSE;
  }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID riid, void** object) override {
    return QueryInterface(riid, object);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
  bool ownsErrorObject = true;
  int tries = 0;
};

// A class registered with a server that can't be started, then served in this
// process by the object above; all undone however the test ends.
TEST(AutomationElsewhere, RegistrationAndInProcessObjects) {
  LocalObject object;
  DWORD cookie = 0;
  const std::wstring classes = L"Software\\Classes\\",
                     key = L"CLSID\\{0E5A7C21-94B3-4D6F-8A12-3C4B5D6E7F81}";
  HKEY hive = HKEY_LOCAL_MACHINE;  // where we may write, else this user's own classes
  const auto Set = [&](const std::wstring& name, const std::wstring& value) {
    return RegSetKeyValueW(hive, (classes + name).c_str(), nullptr, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  };
  const auto undo = [&](DWORD*) {
    CoRevokeClassObject(cookie);
    for (auto name : {L"standin.local", key.c_str()})
      RegDeleteTreeW(hive, (classes + name).c_str());
  };
  const std::unique_ptr<DWORD, decltype(undo)> registered(&cookie, undo);
  if (Set(L"standin.local\\CLSID", key.substr(6)) == ERROR_ACCESS_DENIED) hive = HKEY_CURRENT_USER;
  ASSERT_EQ(Set(L"standin.local\\CLSID", key.substr(6)), ERROR_SUCCESS);
  ASSERT_EQ(Set(key + L"\\LocalServer32", L"C:\\no\\x.exe"), ERROR_SUCCESS);
  engine::Win32Automation automation{5ms, 300ms};
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
  object.ownsErrorObject = false;  // then the error object is someone else's
  EXPECT_NE(FailureOf([&] { app->CallMethod("2", {}, nullptr); }), "Left on the thread.");
  // One bound for the lookup and the call: a lookup that took it all leaves one try.
  const std::string busy = FailureOf([&] { app->CallMethod("5", {}, nullptr); });
  EXPECT_TRUE(busy.starts_with("Invoke(5): the application was still busy after 300 ms") &&
              object.tries == 1)
      << busy;
  // Waiting pumps this thread's messages: a posted one has been taken off the queue.
  object.tries = 0;
  MSG message;
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
  app->CallMethod("6", {}, nullptr);
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE));
}

}  // namespace
