// The automation client against the stand-in application, which COM starts,
// and against an object in this process for what only such an object hands over.

#include <chrono>

#include "platform/win32/Win32Automation.h"

#include "Support.h"

#include <ole2.h>
#include <wrl/client.h>

namespace {

using A = engine::AutomationArg;
using namespace std::chrono_literals;
using namespace standin::key;
using namespace win;

const bool kUnderWine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");

void LeaveErrorObject(const wchar_t* description) {
  Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
  Microsoft::WRL::ComPtr<IErrorInfo> error;
  CreateErrorInfo(&create);
  create->SetDescription(const_cast<LPOLESTR>(description));
  create.As(&error);
  SetErrorInfo(0, error.Get());
}

// Member 1 raises an exception to be filled in on request, 2 leaves an error object on the
// thread (which the object may own or disown) and answers member-not-found, 3 fails without
// a word, 5 takes 350 ms to look up and is always busy, 6 is busy twice.
class LocalObject final : public IDispatch, public IClassFactory, public ISupportErrorInfo {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    *object =
        riid == IID_IUnknown || riid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
    if (riid == IID_IClassFactory) *object = static_cast<IClassFactory*>(this);
    if (riid == IID_ISupportErrorInfo) *object = static_cast<ISupportErrorInfo*>(this);
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

// A stand-in server session for each case, found through the registry alone (nothing in
// our environment). (A description's every byte, a creation met by a stopping server and
// the server dying in a call: the engine's jobs.)
class Automation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(GetEnvironmentVariableA(standin::kFolderVariable, nullptr, 0), 0u);
  }
  // A call of |member| on the object above, created as the engine creates any, which finds
  // it serving the stand-in's class in this process for the while.
  std::string FailureOfLocalCall(const char* member) {
    CLSID clsid{};
    DWORD cookie = 0;
    CLSIDFromProgID(L"photoshop.application", &clsid);
    CoRegisterClassObject(clsid, static_cast<IClassFactory*>(&local), CLSCTX_INPROC_SERVER,
                          REGCLS_MULTIPLEUSE, &cookie);
    const std::string failure = FailureOf(
        [&] { automation.CreateObject("photoshop.application")->CallMethod(member, {}, nullptr); });
    CoRevokeClassObject(cookie);
    return failure;
  }
  // The stand-in's object, its server started by the first call (the cases that don't call
  // it start none).
  engine::AutomationObject& App() {
    if (!app) app = automation.CreateObject("photoshop.application");
    return *app;
  }
  Standin standin;
  engine::Win32Automation automation{5ms, 300ms};
  std::unique_ptr<engine::AutomationObject> app;
  LocalObject local;
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
  App().CallMethod(
      "DoJavaScriptFile",
      {A::Text("\xE9 \x80", true), A::TextArray({"\xE9", ""}, true), A::Boolean(false, true)},
      nullptr);
  App().CallMethod("DoJavaScriptFile", {A::Text(""), A::TextArray({}), A::Int16(-2)}, nullptr);
  EXPECT_EQ(
      standin.Calls(),
      (Lines{"CALL DoJavaScriptFile VT_BSTR|VT_BYREF \"\xE9 \x80\" ; VT_ARRAY|VT_VARIANT|VT_BYREF "
             "[0..1] {VT_BSTR \"\xE9\", VT_BSTR \"\"} ; VT_BOOL|VT_BYREF 0",
             "CALL DoJavaScriptFile VT_BSTR \"\" ; VT_ARRAY|VT_VARIANT [0..-1] {} ; VT_I2 -2"}));
}

// Results come back as text; failures with every byte of the application's description, or
// ours naming the call (where the row's ends in a blank, its beginning).
TEST_F(Automation, ResultsAndFailuresComeBackWhole) {
  const std::string js = "DoJavaScriptFile", put = "DisplayDialogs";
  // Windows' stub calls a deferred fill-in on the server's side; Wine's hands over the
  // server's function pointer, which must not be called.
  const std::string deferred = kUnderWine ? "Invoke(DoJavaScriptFile): the application reported "
                                            "a failure without a description (HRESULT 0x80020009)"
                                          : "Filled in later.";
  for (const auto& [label, control, member, expected] : Rows<Settings, std::string, std::string>{
           {"filled in on request", {{kFailDeferred + js, "Filled in later."}}, js, deferred},
           {"no text", {{kResultType, "VT_NULL"}}, js, "Invoke(" + js + "): the result can't be "},
           {"no result", {}, js, ""},
           {"a text", {{kResult, "\xE9t\xE9"}}, js, "\xE9t\xE9"},
           {"a number", {{kResultType, "VT_I4"}, {kResult, "-42"}}, js, "-42"},
           {"a truth value", {{kResultType, "VT_BOOL"}, {kResult, "true"}}, js, "True"},
           {"a put's failure", {{kFail + put, "No."}}, put, "No."},
           {"an unknown member", {}, "Frobnicate", "GetIDsOfNames(Frobnicate): "}}) {
    standin.Control(control);
    std::string result;
    const std::string failure = FailureOf([&, &m = member] {
      return m == put ? App().SetProperty(m, A::Int16(3)) : App().CallMethod(m, {}, &result);
    });
    const std::string got = failure == "no failure" ? result : failure;
    EXPECT_EQ(got.substr(0, expected.ends_with(" ") ? expected.size() : got.npos), expected)
        << label;
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
  EXPECT_EQ(Invoke(1, DISPATCH_PROPERTYPUT, {&empty, named, 1, 1}), S_OK);
  EXPECT_EQ(Invoke(1, DISPATCH_PROPERTYPUT, {&empty, nullptr, 1, 0}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Invoke(4, DISPATCH_PROPERTYGET, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Invoke(2, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Invoke(4, DISPATCH_METHOD, {&empty, named + 1, 1, 1}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(standin.Calls(), (Lines{"PUT DisplayDialogs VT_EMPTY",
                                    "PUT DisplayDialogs VT_EMPTY refused DISP_E_PARAMNOTFOUND",
                                    "GET Quit refused DISP_E_MEMBERNOTFOUND",
                                    "CALL Visible refused DISP_E_MEMBERNOTFOUND",
                                    "CALL Quit 7=VT_EMPTY refused DISP_E_PARAMNOTFOUND"}));
}

// A busy application (its message filter turns the call away; Wine lets the
// method answer for a "retry later") is asked again, one ask per interval at most,
// each call served once, until the bound; so is a creation meeting a server still
// stopping. One that failed to start is started once more, no further.
TEST_F(Automation, TurnedAwayCallsAreAskedAgainWithinTheBound) {
  const std::string busy = ": the application was still busy after 300 ms",
                    creation = "CreateObject(photoshop.application)";
  for (const auto& [label, count, on, code, failure, most] :
       Rows<int, std::string, std::string, std::string, int>{
           {"a call rejected twice", 2, "Invoke", "rejected", "no failure", 2},
           {"a lookup to retry later (the default)", 99999, "GetIDsOfNames", "",
            "GetIDsOfNames(Quit)" + busy, 61},
           {"a creation rejected", 99999, "CreateInstance", "rejected", creation + busy, 61},
           {"a server that fails to start", 99999, "CreateInstance", "exec-failure",
            creation + ": the automation server could not be started: ", 2}}) {
    standin.Control({{kBusy, std::to_string(count)}, {kBusyOn, on}, {kBusyCode, code}});
    const std::size_t served = standin.Calls().size();
    const std::string got = FailureOf([&, create = on == "CreateInstance"] {
      if (create) automation.CreateObject("photoshop.application");
      App().CallMethod("Quit", {}, nullptr);
    });
    EXPECT_EQ(got.substr(0, failure.size()), failure) << label;
    EXPECT_GE(count - standin.BusyLeft(), 2) << label << ": asked again";
    EXPECT_LE(count - standin.BusyLeft(), most) << label << ": one ask per interval at most";
    EXPECT_EQ(standin.Calls().size(), served + (failure == "no failure")) << label << ": Quit once";
  }
}

TEST_F(Automation, NoServerUnderTheName) {
  EXPECT_EQ(FailureOf([&] { automation.CreateObject("standin.nothing"); }),
            "CreateObject(standin.nothing): no automation server is registered under this name");
}

// The object's own text: filled in on request, or left on the thread by an object that owns
// it (not by one that disowns it). Where it gives none: the system's sentence, or where it has
// none (Wine, for a member not found), ours; never a stale error object's.
TEST_F(Automation, LocalFailuresCarryTheObjectsOwnTextOrTheSystems) {
  const std::string notFound = kUnderWine ? ": the object's member doesn't take this kind of "
                                            "call (HRESULT 0x80020003)"
                                          : ": Member not found (HRESULT 0x80020003)";
  for (const auto& [label, member, owns, failure] : Rows<const char*, bool, std::string>{
           {"filled in on request", "1", true, "Filled in on request."},
           {"an error object it owns", "2", true, "Left on the thread."},
           {"an error object it disowns", "2", false, "Invoke(2)" + notFound},
           {"no text: the system's", "3", true,
            kUnderWine ? "Invoke(3): Call failed (HRESULT 0x80004005)"
                       : "Invoke(3): Unspecified error (HRESULT 0x80004005)"}}) {
    local.ownsErrorObject = owns;
    LeaveErrorObject(L"Stale.");  // by something earlier
    EXPECT_EQ(FailureOfLocalCall(member), failure) << label;
  }
}

// One bound for the lookup and the call: a lookup that took it all leaves one
// try. Waiting for a busy one pumps this thread's messages.
TEST_F(Automation, LocalCallsHaveOneBoundForTheLookupAndTheCallAndPumpMessagesMeanwhile) {
  EXPECT_TRUE(FailureOfLocalCall("5").starts_with(
      "Invoke(5): the application was still busy after 300 ms"));
  EXPECT_EQ(local.tries, 1);
  MSG message;
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
  EXPECT_EQ(FailureOfLocalCall("6"), "no failure");
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE)) << "not pumped";
}

}  // namespace
