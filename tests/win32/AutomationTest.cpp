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
using namespace std::string_literals;
using namespace standin::key;
using namespace win;

const bool kUnderWine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");

// One stand-in server session, found through the registry alone (nothing in our
// environment), for every case in turn. (A description's every byte, a creation
// met by a stopping server and the server dying in a call: the engine's jobs.)
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
    ASSERT_EQ(GetEnvironmentVariableA(standin::kFolderVariable, nullptr, 0), 0u);
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

// Wine runs every program elevated: the registration went to the machine's hive.
TEST_F(Automation, RegisteredForTheMachineWhenElevated) {
  if (!kUnderWine) GTEST_SKIP() << "elevation decides the hive";
  EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Classes\\photoshop.application\\CLSID",
                         nullptr, RRF_RT_REG_SZ, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
}

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
  const std::string script = "DoJavaScriptFile";
  const struct {
    const char* label;
    Settings control;
    std::string expected;  // a result, or a failure (ending in ": ", its beginning)
    std::string member = "DoJavaScriptFile";
  } cases[] = {
      // Windows' stub calls a deferred fill-in on the server's side; Wine's hands
      // over the server's function pointer, which must not be called.
      {"filled in on request",
       {{kFailDeferred + script, "Filled in later."}},
       kUnderWine ? "Invoke(DoJavaScriptFile): the application reported a failure without a "
                    "description (HRESULT 0x80020009)"
                  : "Filled in later."},
      {"no text",
       {{kResultType, "VT_NULL"}},
       "Invoke(DoJavaScriptFile): the result can't be taken as text: "},
      {"no result", {}, ""},
      {"a text", {{kResult, "\xE9t\xE9"}}, "\xE9t\xE9"},
      {"a number", {{kResultType, "VT_I4"}, {kResult, "-42"}}, "-42"},
      {"a truth value", {{kResultType, "VT_BOOL"}, {kResult, "true"}}, "True"},
      {"a put's failure", {{kFail + "DisplayDialogs"s, "No."}}, "No.", "DisplayDialogs"},
      {"an unknown member", {}, "GetIDsOfNames(Frobnicate): ", "Frobnicate"},
  };
  for (const auto& c : cases) {
    standin.Control(c.control);
    std::string result;
    const std::string failure = FailureOf([&] {
      if (c.member == "DisplayDialogs") return session->app->SetProperty(c.member, A::Int16(3));
      return c.member == script ? Script(&result) : Call(c.member);
    });
    const std::string got = failure == "no failure" ? result : failure;
    EXPECT_EQ(got.substr(0, c.expected.ends_with(": ") ? c.expected.size() : got.npos), c.expected)
        << c.label;
  }
}

// What a server built on type information refuses, the stand-in refuses too: a
// copy of the client's put without its named argument, members called as what
// they aren't, named arguments of a method (journaled by number). Members 1, 2
// are its properties, 3, 4 its methods.
TEST_F(Automation, RefusesWhatTypeInformationRefuses) {
  Microsoft::WRL::ComPtr<IDispatch> raw;
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"photoshop.application", &clsid), S_OK);
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&raw)), S_OK);
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
// the bound; so is a creation meeting a server still stopping. One that failed to
// start is started once more, no further.
TEST_F(Automation, TurnedAwayCallsAreAskedAgainWithinTheBound) {
  const std::string busy = ": the application was still busy after 300 ms",
                    creation = "CreateObject(photoshop.application)";
  const struct {
    const char* label;
    int count;  // of busy answers asked for
    std::string on, code;
    std::string failure;  // its beginning; empty: served
    int fewest, most;     // busy answers given
  } cases[] = {
      {"a call rejected twice", 2, "Invoke", "rejected", "", 2, 2},
      {"a lookup to retry later (the default)", 99999, "GetIDsOfNames", "",
       "GetIDsOfNames(Quit)" + busy, 2, 61},
      {"a creation rejected", 99999, "CreateInstance", "rejected", creation + busy, 2, 61},
      {"a server that fails to start", 99999, "CreateInstance", "exec-failure",
       creation + ": the automation server could not be started: ", 2, 2},
  };
  for (const auto& c : cases) {
    standin.Control({{kBusy, std::to_string(c.count)}, {kBusyOn, c.on}, {kBusyCode, c.code}});
    const std::size_t served = standin.Calls().size();
    const std::string failure = FailureOf([&] {
      if (c.on == "CreateInstance") session->automation.CreateObject("photoshop.application");
      Call("Quit");
    });
    EXPECT_EQ(failure.substr(0, c.failure.empty() ? failure.npos : c.failure.size()),
              c.failure.empty() ? "no failure" : c.failure)
        << c.label;
    EXPECT_GE(c.count - standin.BusyLeft(), c.fewest) << c.label;
    EXPECT_LE(c.count - standin.BusyLeft(), c.most) << c.label << ": one ask per interval at most";
    EXPECT_EQ(standin.Calls().size(), served + c.failure.empty()) << c.label << ": Quit once";
  }
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

// A class registered with a server that can't be started, which the cases that
// serve it in this process register the object above for; undone however they end.
class Elsewhere : public ::testing::Test {
 protected:
  void SetUp() override {
    for (HKEY where : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {  // where we may write
      if (Set(hive = where, L"standin.local\\CLSID", kClass) != ERROR_ACCESS_DENIED) break;
    }
    ASSERT_EQ(Set(hive, L"CLSID\\"s + kClass + L"\\LocalServer32", L"C:\\no\\x.exe"),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    CoRevokeClassObject(cookie);
    for (const std::wstring& key : {L"standin.local"s, L"CLSID\\"s + kClass})
      RegDeleteTreeW(hive, (L"Software\\Classes\\" + key).c_str());
  }
  static LSTATUS Set(HKEY hive, const std::wstring& key, const std::wstring& value) {
    return RegSetKeyValueW(hive, (L"Software\\Classes\\" + key).c_str(), nullptr, REG_SZ,
                           value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  // A call of |member| on the object above, created as the engine creates any.
  std::string FailureOfCall(const char* member) {
    CLSID clsid{};
    CLSIDFromString(kClass, &clsid);
    if (cookie == 0) {
      CoRegisterClassObject(clsid, static_cast<IClassFactory*>(&object), CLSCTX_INPROC_SERVER,
                            REGCLS_MULTIPLEUSE, &cookie);
    }
    return FailureOf(
        [&] { automation.CreateObject("standin.local")->CallMethod(member, {}, nullptr); });
  }
  static constexpr wchar_t kClass[] = L"{0E5A7C21-94B3-4D6F-8A12-3C4B5D6E7F81}";
  HKEY hive = nullptr;
  DWORD cookie = 0;
  LocalObject object;
  engine::Win32Automation automation{5ms, 300ms};
};

TEST_F(Elsewhere, NoServerUnderTheName) {
  EXPECT_EQ(FailureOf([&] { automation.CreateObject("standin.nothing"); }),
            "CreateObject(standin.nothing): no automation server is registered under this name");
}

// The failure's own reason (Wine reports such a class as one without a server).
TEST_F(Elsewhere, AServerThatCannotBeStarted) {
  EXPECT_TRUE(FailureOf([&] { automation.CreateObject("standin.local"); })
                  .starts_with(kUnderWine ? "CreateObject(standin.local): no server is registered "
                                            "for the class of this name: "
                                          : "CreateObject(standin.local): the automation server "
                                            "could not be started: "));
}

// The object's own text: filled in on request, or left on the thread by an
// object that owns it (not by one that disowns it).
TEST_F(Elsewhere, TheObjectsOwnDescription) {
  EXPECT_EQ(FailureOfCall("1"), "Filled in on request.");
  EXPECT_EQ(FailureOfCall("2"), "Left on the thread.");
  object.ownsErrorObject = false;
  EXPECT_NE(FailureOfCall("2"), "Left on the thread.");
}

// Failures the object leaves undescribed: the system's sentence, or where it has
// none (Wine, for the second), ours; never a stale error object's.
TEST_F(Elsewhere, UndescribedFailures) {
  for (auto [member, expected] :
       {std::pair{"3", kUnderWine ? "Invoke(3): Call failed (HRESULT 0x80004005)"
                                  : "Invoke(3): Unspecified error (HRESULT 0x80004005)"},
        {"4", kUnderWine ? "Invoke(4): the object's member doesn't take this kind of call (HRESULT "
                           "0x80020003)"
                         : "Invoke(4): Member not found (HRESULT 0x80020003)"}}) {
    LeaveErrorObject(L"Stale.");  // by something earlier
    EXPECT_EQ(FailureOfCall(member), expected);
  }
}

// One bound for the lookup and the call: a lookup that took it all leaves one
// try. Waiting for a busy one pumps this thread's messages.
TEST_F(Elsewhere, OneBoundForTheLookupAndTheCallAndMessagesPumpedMeanwhile) {
  EXPECT_TRUE(
      FailureOfCall("5").starts_with("Invoke(5): the application was still busy after 300 ms"));
  EXPECT_EQ(object.tries, 1);
  MSG message;
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
  EXPECT_EQ(FailureOfCall("6"), "no failure");
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE)) << "not pumped";
}

}  // namespace
