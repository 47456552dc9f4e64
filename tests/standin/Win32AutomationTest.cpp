// The Windows automation client against the stand-in server (Photoshop.exe
// of this folder, registered by the standin_register fixture). Each test
// gives the server its own STANDIN_DIR, where it journals the calls it gets
// and reads what it is told to do; see README.md.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EngineError.h"
#include "StandinServers.h"
#include "TestFiles.h"
#include "platform/win32/ComOwners.h"
#include "platform/win32/Win32Automation.h"

namespace {

using engine::AutomationArg;
using engine::AutomationObject;
using engine::EngineError;
using engine::Win32Automation;
using namespace std::chrono_literals;

constexpr char kProgId[] = "photoshop.application";

// The description of the EngineError that |call| throws; fails the test when
// it throws nothing.
std::string FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EngineError& e) {
    return e.what();
  }
  ADD_FAILURE() << "the call did not fail";
  return std::string();
}

void RunScript(AutomationObject& app, const std::string& path, const std::string& params,
               std::int16_t mode, std::string* result) {
  app.CallMethod("DoJavaScriptFile",
                 {AutomationArg::Text(path, true), AutomationArg::TextArray({params}),
                  AutomationArg::Int16(mode, true)},
                 result);
}

// |text| in the ANSI code page; empty when the code page can't express it.
std::string Ansi(const std::wstring& text) {
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(),
                              static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return std::string();
  return engine::com::WideToAnsi(text);
}

// Wine marshals a few things differently from Windows; see the tests that ask.
bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class StandinTest : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    // A run that crashed leaves its folders behind; take the next free name.
    static int counter = 0;
    do {
      dir_ = std::string(temp) + "standin-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(++counter);
    } while (!CreateDirectoryA(dir_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS &&
             counter < 10000);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dir_.c_str())) << dir_;
    SetEnvironmentVariableA("STANDIN_DIR", dir_.c_str());
  }

  // Every server this test started must end by itself once its objects are
  // released; one that doesn't would serve the next test with our folder.
  void TearDown() override {
    for (DWORD pid : ServerPids()) {
      if (!testing_win32::AwaitStandinEnd(pid, 10000)) {
        ADD_FAILURE() << "stand-in " << pid << " did not end after its last object was released";
      }
    }
    SetEnvironmentVariableA("STANDIN_DIR", nullptr);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileA((dir_ + "\\" + found.cFileName).c_str());
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(dir_.c_str());
  }

  std::string PathOf(const std::string& name) const { return dir_ + "\\" + name; }

  static void WriteFileText(const std::string& path, const std::string& text) {
    engine::com::Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.Valid()) << path;
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

  static std::string ReadFileText(const std::string& path) {
    engine::com::Handle file(CreateFileA(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    if (!file.Valid()) return text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
      text.append(buffer, read);
    }
    return text;
  }

  void Control(const std::string& text) { WriteFileText(PathOf("standin-control.txt"), text); }
  std::string ControlNow() const { return ReadFileText(PathOf("standin-control.txt")); }

  // A script file holding |directives| ("//standin key=value" lines).
  std::string Script(const std::string& name, const std::string& directives) {
    std::string path = PathOf(name);
    WriteFileText(path, "// test script\r\n" + directives + "\r\nalert('x');\r\n");
    return path;
  }

  std::vector<DWORD> ServerPids() const {
    std::vector<DWORD> pids;
    for (const std::string& line : testing_win32::SplitCrLfLines(ReadFileText(PathOf("standin-pids.txt")))) {
      pids.push_back(std::stoul(line));
    }
    return pids;
  }

  // The journal's lines; the serving process's id is checked to be |pid| (or
  // to be the same throughout when 0) and cut off.
  std::vector<std::string> Journal(DWORD pid = 0) const {
    std::vector<std::string> calls;
    std::string first;
    for (const std::string& line : testing_win32::SplitCrLfLines(ReadFileText(PathOf("standin-journal.txt")))) {
      std::size_t blank = line.find(' ');
      std::string id = line.substr(0, blank);
      if (pid != 0) {
        EXPECT_EQ(std::to_string(pid), id) << line;
      }
      if (first.empty()) first = id;
      EXPECT_EQ(first, id) << line;
      calls.push_back(blank == std::string::npos ? std::string() : line.substr(blank + 1));
    }
    return calls;
  }

  std::string dir_;
};

// The engine's four calls as it makes them, and what the server received.
TEST_F(StandinTest, CallsArriveInOrderWithTheirTypesAndValues) {
  const std::string eacute = Ansi(L"\u00e9");
  const std::string euro = Ansi(L"\u20ac");
  if (eacute.empty() || euro.empty())
    GTEST_SKIP() << "the ANSI code page lacks the test characters";
  const std::string script = PathOf("s.jsx");
  const std::string accented = PathOf("caf" + eacute + ".jsx");
  const std::string accentedParams = "name=\"" + euro + " " + eacute + "\" size=2";

  struct Step {
    std::function<void(AutomationObject&)> call;
    std::string journal;
  };
  const std::vector<Step> steps = {
      {[](AutomationObject& app) { app.SetProperty("DisplayDialogs", AutomationArg::Int16(3)); },
       "PUT DisplayDialogs VT_I2 3"},
      {[](AutomationObject& app) { app.SetProperty("Visible", AutomationArg::Boolean(true)); },
       "PUT Visible VT_BOOL -1"},
      {[&](AutomationObject& app) {
         std::string result;
         RunScript(app, script, "a b", 1, &result);
       },
       "CALL DoJavaScriptFile VT_BSTR|VT_BYREF \"" + script +
           "\" ; VT_ARRAY|VT_VARIANT [0..0] {VT_BSTR \"a b\"} ; VT_I2|VT_BYREF 1"},
      // No script and no parameters: still a path and a one-element array.
      {[](AutomationObject& app) {
         std::string result;
         RunScript(app, "", "", 3, &result);
       },
       "CALL DoJavaScriptFile VT_BSTR|VT_BYREF \"\" ; VT_ARRAY|VT_VARIANT [0..0] {VT_BSTR \"\"} ; "
       "VT_I2|VT_BYREF 3"},
      {[&](AutomationObject& app) {
         std::string result;
         RunScript(app, accented, accentedParams, 1, &result);
       },
       "CALL DoJavaScriptFile VT_BSTR|VT_BYREF \"" + accented +
           "\" ; VT_ARRAY|VT_VARIANT [0..0] {VT_BSTR \"" + accentedParams +
           "\"} ; VT_I2|VT_BYREF 1"},
      {[](AutomationObject& app) { app.CallMethod("Quit", {}, nullptr); }, "CALL Quit"},
  };

  Win32Automation automation;
  {
    std::unique_ptr<AutomationObject> app = automation.CreateObject(kProgId);
    for (const Step& step : steps) {
      SCOPED_TRACE(step.journal);
      EXPECT_NO_THROW(step.call(*app));
    }
  }
  std::vector<DWORD> pids = ServerPids();
  ASSERT_EQ(1u, pids.size());
  std::vector<std::string> expected;
  for (const Step& step : steps) expected.push_back(step.journal);
  EXPECT_EQ(expected, Journal(pids[0]));
}

// Each failure carries the application's own description, unchanged, or for
// failures of our own a description naming the call.
TEST_F(StandinTest, FailuresCarryTheirDescriptions) {
  const std::string accented = Ansi(L"\u00c9chec \u20ac");
  struct Case {
    const char* what;
    std::string control;
    std::function<void(AutomationObject&)> call;
    std::string description;  // exactly, or its beginning when |prefixOnly|
    bool prefixOnly = false;
  };
  auto script = [this](const std::string& name, const std::string& directives) {
    std::string path = Script(name, directives);
    return [path](AutomationObject& app) {
      std::string result;
      RunScript(app, path, "p", 1, &result);
    };
  };
  std::vector<Case> cases = {
      {"script raises", "",
       script("raise.jsx", "//standin fail=Error 8800: General failure; line 3."),
       "Error 8800: General failure; line 3."},
      // Windows' stub fills a deferred exception in on the server's side. Wine's
      // passes the server's fill-in pointer on instead; it must not be called.
      {"script raises, filled in on request", "",
       script("deferred.jsx", "//standin fail-deferred=Deferred: the script threw."),
       UnderWine() ? "Invoke(DoJavaScriptFile): the application reported a failure without a "
                     "description (HRESULT 0x80020009)"
                   : "Deferred: the script threw."},
      {"control file fails the script", "fail.DoJavaScriptFile=Told to fail.",
       script("plain.jsx", ""), "Told to fail."},
      {"DisplayDialogs refused", "fail.DisplayDialogs=Dialogs can't be set now.",
       [](AutomationObject& app) { app.SetProperty("DisplayDialogs", AutomationArg::Int16(3)); },
       "Dialogs can't be set now."},
      {"Visible refused", "fail.Visible=Not now.",
       [](AutomationObject& app) { app.SetProperty("Visible", AutomationArg::Boolean(true)); },
       "Not now."},
      // Wine doesn't carry error objects across processes.
      {"error object", "fail-errorinfo.Quit=From the error object.",
       [](AutomationObject& app) { app.CallMethod("Quit", {}, nullptr); },
       UnderWine() ? "Invoke(Quit): " : "From the error object.", UnderWine()},
      {"Quit refused", "fail.Quit=A document is still open.",
       [](AutomationObject& app) { app.CallMethod("Quit", {}, nullptr); },
       "A document is still open."},
      {"unknown member", "",
       [](AutomationObject& app) { app.CallMethod("Frobnicate", {}, nullptr); },
       "GetIDsOfNames(Frobnicate): ", true},
      {"result without a text form", "", script("null.jsx", "//standin result-vt=VT_NULL"),
       "Invoke(DoJavaScriptFile): the result can't be taken as text: ", true},
  };
  if (!accented.empty()) {
    cases.push_back({"non-ASCII description", "",
                     script("accented.jsx", "//standin fail=" + accented), accented});
  }

  Win32Automation automation;
  std::unique_ptr<AutomationObject> app = automation.CreateObject(kProgId);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Control(c.control);
    std::string description = FailureOf([&] { c.call(*app); });
    if (c.prefixOnly) {
      EXPECT_EQ(c.description, description.substr(0, c.description.size())) << description;
      EXPECT_GT(description.size(), c.description.size()) << description;
    } else {
      EXPECT_EQ(c.description, description);
    }
  }
  // A job whose script has no directives of its own still succeeds.
  Control("");
  EXPECT_NO_THROW(script("after.jsx", "")(*app));
}

// Whatever the script hands back is taken as text.
TEST_F(StandinTest, ScriptResultComesBackAsText) {
  const std::string accented = Ansi(L"r\u00e9sultat \u20ac");
  struct Case {
    std::string directives;
    std::string expected;
  };
  std::vector<Case> cases = {
      {"//standin result=done: 3 files", "done: 3 files"},
      {"", ""},  // VT_EMPTY
      {"//standin result-vt=VT_BSTR", ""},
      {"//standin result-vt=VT_I4\r\n//standin result=-42", "-42"},
      {"//standin result-vt=VT_BOOL\r\n//standin result=true", "True"},
  };
  if (!accented.empty()) cases.push_back({"//standin result=" + accented, accented});

  Win32Automation automation;
  std::unique_ptr<AutomationObject> app = automation.CreateObject(kProgId);
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directives);
    std::string path = Script("result" + std::to_string(++n) + ".jsx", c.directives);
    std::string result = "stale";
    ASSERT_NO_THROW(RunScript(*app, path, "", 1, &result));
    EXPECT_EQ(c.expected, result);
  }
}

// A busy application is asked again until it takes the call; the call then
// happens exactly once.
TEST_F(StandinTest, BusyApplicationIsAskedAgainWithinTheBound) {
  Win32Automation automation(5ms, 20s);
  Control("busy=2\r\nbusy-on=CreateInstance\r\nbusy-code=retrylater\r\n");
  std::unique_ptr<AutomationObject> app = automation.CreateObject(kProgId);
  EXPECT_NE(std::string::npos, ControlNow().find("busy=0")) << "CreateInstance was not rejected";

  struct Case {
    std::string control;
    std::function<void()> call;
  };
  const std::vector<Case> cases = {
      {"busy=3\r\nbusy-code=rejected\r\n",
       [&] { app->SetProperty("DisplayDialogs", AutomationArg::Int16(3)); }},
      {"busy=3\r\nbusy-on=Invoke\r\nbusy-code=retrylater\r\n",
       [&] { app->SetProperty("Visible", AutomationArg::Boolean(true)); }},
      {"busy=2\r\nbusy-on=Invoke\r\nbusy-code=rejected\r\n",
       [&] { app->CallMethod("Quit", {}, nullptr); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    Control(c.control);
    EXPECT_NO_THROW(c.call());
    EXPECT_NE(std::string::npos, ControlNow().find("busy=0")) << "the call was not rejected";
  }
  app.reset();
  EXPECT_EQ((std::vector<std::string>{"PUT DisplayDialogs VT_I2 3", "PUT Visible VT_BOOL -1",
                                      "CALL Quit"}),
            Journal());
}

TEST_F(StandinTest, BusyApplicationBeyondTheBoundFailsTheCall) {
  Win32Automation automation(5ms, 200ms);
  std::unique_ptr<AutomationObject> app = automation.CreateObject(kProgId);

  struct Case {
    std::string control;
    std::string prefix;
  };
  const std::vector<Case> cases = {
      {"busy=1000000\r\n",
       "GetIDsOfNames(DisplayDialogs): the application was still busy after 200 ms and rejected "
       "the call"},
      {"busy=1000000\r\nbusy-on=Invoke\r\nbusy-code=retrylater\r\n",
       "Invoke(DisplayDialogs): the application was still busy after 200 ms and rejected the call"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    Control(c.control);
    std::string description =
        FailureOf([&] { app->SetProperty("DisplayDialogs", AutomationArg::Int16(3)); });
    EXPECT_EQ(c.prefix, description.substr(0, c.prefix.size())) << description;
    EXPECT_GT(description.size(), c.prefix.size()) << description;
  }
  // The object is still usable once the application takes calls again.
  Control("");
  EXPECT_NO_THROW(app->CallMethod("Quit", {}, nullptr));
  app.reset();
  EXPECT_EQ(std::vector<std::string>{"CALL Quit"}, Journal());
}

// The application's process ending inside a call fails that call and every
// later one; nothing waits for it.
TEST_F(StandinTest, ServerEndingInsideTheCallFailsTheCall) {
  Control("exit.DoJavaScriptFile=7\r\n");
  Win32Automation automation;
  std::unique_ptr<AutomationObject> app = automation.CreateObject(kProgId);
  std::string result;
  std::string description = FailureOf([&] { RunScript(*app, "", "", 1, &result); });
  EXPECT_EQ("Invoke(DoJavaScriptFile): ", description.substr(0, 26)) << description;
  EXPECT_GT(description.size(), 26u);
  EXPECT_FALSE(FailureOf([&] { app->CallMethod("Quit", {}, nullptr); }).empty());
  app.reset();
  ASSERT_EQ(1u, Journal().size());
  EXPECT_EQ("CALL DoJavaScriptFile", Journal()[0].substr(0, 21));
}

// An automation object in this process, for what only such an object can do:
// hand over a deferred fill-in and an error object directly.
class InProcessObject final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid != IID_IUnknown && riid != IID_IDispatch) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                          DISPID* ids) override {
    std::wstring name = names[0];
    *ids = name == L"Deferred" ? 1 : name == L"ErrorObject" ? 2 : DISPID_UNKNOWN;
    return *ids == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO* exception, UINT*) override {
    if (id == 1) {
      ZeroMemory(exception, sizeof *exception);
      exception->pfnDeferredFillIn = [](EXCEPINFO* e) -> HRESULT {
        e->bstrDescription = SysAllocString(L"Filled in on request.");
        e->scode = E_FAIL;
        return S_OK;
      };
      return DISP_E_EXCEPTION;
    }
    ICreateErrorInfo* create = nullptr;
    CreateErrorInfo(&create);
    create->SetDescription(const_cast<LPOLESTR>(L"Left on the thread."));
    IErrorInfo* error = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error));
    SetErrorInfo(0, error);
    error->Release();
    create->Release();
    return E_FAIL;
  }

 private:
  ~InProcessObject() = default;
  ULONG refs_ = 1;
};

class InProcessFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid != IID_IUnknown && riid != IID_IClassFactory) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** object) override {
    auto* instance = new InProcessObject();
    HRESULT hr = instance->QueryInterface(riid, object);
    instance->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST(InProcessAutomation, ApplicationDescriptionsArriveDirectly) {
  // {0E5A7C21-94B3-4D6F-8A12-3C4B5D6E7F80}
  const CLSID clsid = {
      0x0e5a7c21, 0x94b3, 0x4d6f, {0x8a, 0x12, 0x3c, 0x4b, 0x5d, 0x6e, 0x7f, 0x80}};
  const wchar_t* progIdKey = L"standin.inprocess\\CLSID";
  Win32Automation automation;
  InProcessFactory factory;
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(clsid, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie));
  const wchar_t clsidText[] = L"{0E5A7C21-94B3-4D6F-8A12-3C4B5D6E7F80}";
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CLASSES_ROOT, progIdKey, nullptr, REG_SZ, clsidText,
                                           sizeof clsidText));
  {
    std::unique_ptr<AutomationObject> object = automation.CreateObject("standin.inprocess");
    EXPECT_EQ("Filled in on request.",
              FailureOf([&] { object->CallMethod("Deferred", {}, nullptr); }));
    EXPECT_EQ("Left on the thread.",
              FailureOf([&] { object->CallMethod("ErrorObject", {}, nullptr); }));
  }
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"standin.inprocess");
  RegDeleteKeyW(HKEY_CLASSES_ROOT, L"standin.inprocess");
  CoRevokeClassObject(cookie);
}

TEST_F(StandinTest, NothingRegisteredUnderTheNameIsSaidPlainly) {
  Win32Automation automation;
  EXPECT_EQ(
      "CreateObject(standin.nothing.registered): no automation server is registered under "
      "this name",
      FailureOf([&] { automation.CreateObject("standin.nothing.registered"); }));
}

// An application that takes a while to come up is waited for.
TEST_F(StandinTest, SlowStartIsAwaited) {
  Control("startup-delay-ms=1500\r\n");
  Win32Automation automation;
  {
    std::unique_ptr<AutomationObject> app = automation.CreateObject(kProgId);
    app->CallMethod("Quit", {}, nullptr);
  }
  EXPECT_EQ(std::vector<std::string>{"CALL Quit"}, Journal());
}

// An application that is already running serves every engine that asks.
TEST_F(StandinTest, RunningServerIsUsedByEveryEngine) {
  // Start the executable that /regserver registered, the way a user would.
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"photoshop.application", &clsid));
  wchar_t clsidText[64];
  StringFromGUID2(clsid, clsidText, 64);
  wchar_t command[MAX_PATH * 2];
  DWORD size = sizeof command;
  ASSERT_EQ(ERROR_SUCCESS,
            RegGetValueW(HKEY_CLASSES_ROOT,
                         (std::wstring(L"CLSID\\") + clsidText + L"\\LocalServer32").c_str(),
                         nullptr, RRF_RT_REG_SZ, nullptr, command, &size));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &started));
  engine::com::Handle process(started.hProcess);
  engine::com::Handle thread(started.hThread);
  // It lists itself once its class is available.
  for (int i = 0; i < 400 && ServerPids().empty(); ++i) Sleep(50);
  ASSERT_EQ(std::vector<DWORD>{started.dwProcessId}, ServerPids());

  Win32Automation automation;
  {
    std::unique_ptr<AutomationObject> first = automation.CreateObject(kProgId);
    std::unique_ptr<AutomationObject> second = automation.CreateObject(kProgId);
    first->SetProperty("Visible", AutomationArg::Boolean(true));
    second->SetProperty("DisplayDialogs", AutomationArg::Int16(3));
  }
  EXPECT_EQ((std::vector<std::string>{"PUT Visible VT_BOOL -1", "PUT DisplayDialogs VT_I2 3"}),
            Journal(started.dwProcessId));
  EXPECT_EQ(std::vector<DWORD>{started.dwProcessId}, ServerPids());
}

}  // namespace
