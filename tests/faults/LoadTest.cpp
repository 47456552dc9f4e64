// Sixteen jobs at once against one running application, as a busy conversion
// server starts them: each with its own folder, request, script, parameters,
// settings and result path. The application serves one call at a time, so the
// jobs' calls interleave and queue (some scripts take a while).
//
// The application is started by hand first, and this test holds an object of
// its own on it for the length of the batch: a server that has served every
// object it handed out ends, and a job that came late would otherwise start a
// second one.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "FaultSupport.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <ole2.h>

namespace faults {
namespace {

using testing_win32::ChildProcess;
using testing_win32::LaunchOptions;
using testing_win32::ListFolder;
using testing_win32::ReadBytes;
using testing_win32::TempFolder;
using testing_win32::WriteBytes;

constexpr int kJobs = 16;

struct Job {
  std::unique_ptr<TempFolder> dir;
  std::string request;  // the request file's bytes
  std::string script;   // the script file's bytes
  std::string expectedOutput;
  std::vector<std::string> expectedCalls;
  std::unique_ptr<ChildProcess> process;
  HANDLE handle = nullptr;  // for waiting on all at once
  double startMs = 0;
  double endMs = 0;
};

// The settings of job |i|: every combination of outcome, close flag,
// debugger and where the script path comes from occurs among the sixteen.
bool Fails(int i) { return i % 4 == 1 || i % 4 == 3; }
bool Slow(int i) { return i % 4 == 2; }
bool CloseFlag(int i) { return i % 3 == 0; }
bool Debugger(int i) { return i % 5 == 0; }
bool PathInParameterString(int i) { return i % 8 == 7; }

std::string Failure(int i) {
  return "Job " + std::to_string(i) + ": could not open photo " + std::to_string(i) + ".psd";
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

class Load : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { CoUninitialize(); }

  TempFolder standinDir_{"faults-load-app"};
  Standin standin_{standinDir_.path()};
};

TEST_F(Load, SixteenJobsAtOnceEachGetTheirOwn) {
  const std::string engine = testing_win32::ToWindowsPath(ENGINE_EXE);
  ASSERT_NO_FATAL_FAILURE(standin_.Start());
  const std::string report = Report(standin_.pid());

  std::vector<Job> jobs(kJobs);
  for (int i = 0; i < kJobs; ++i) {
    Job& job = jobs[static_cast<std::size_t>(i)];
    job.dir = std::make_unique<TempFolder>("faults-load-" + std::to_string(i));
    const std::string script = *job.dir / "s.jsx";
    const std::string params = "-job " + std::to_string(i) + " -in \"photo " + std::to_string(i) +
                               ".psd\" -out photo" + std::to_string(i) + ".png";
    std::vector<std::string> entries = {"outputhdaFile=" + (*job.dir / "result.hda"),
                                        "scriptParams=" + params};
    if (PathInParameterString(i)) {
      // The parameter string wins over the entry, which names no real file.
      entries.push_back("script=" + (*job.dir / "not this one.jsx"));
      entries.push_back("parameters=-script \"" + script + "\"");
    } else {
      entries.push_back("script=" + script);
    }
    if (CloseFlag(i)) entries.push_back("PhotoShopDAMCloseAfterEachRendition=true");
    if (Debugger(i)) entries.push_back("UsePhotoshopJsxDebug=1");
    job.request = Request(entries);
    job.script = "// job " + std::to_string(i) + "\r\n";
    if (Fails(i)) job.script += "//standin fail=" + Failure(i) + "\r\n";
    if (Slow(i)) job.script += "//standin sleep-ms=150\r\n";
    ASSERT_TRUE(WriteBytes(*job.dir / "request.dat", job.request));
    ASSERT_TRUE(WriteBytes(script, job.script));
    ASSERT_TRUE(WriteBytes(*job.dir / "result.hda", "stale result of job " + std::to_string(i)));

    job.expectedOutput = "Loading hda\n" + report;
    if (Fails(i)) job.expectedOutput += kErrorPrefix + Failure(i) + "\n";
    job.expectedCalls = {kDialogsOff, kVisible, JavaScriptCall(script, params, Debugger(i) ? 3 : 1)};
    if (Fails(i) || CloseFlag(i)) job.expectedCalls.push_back(kQuit);
  }

  // Our own object keeps the application alive for the whole batch.
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"photoshop.application", &clsid), S_OK);
  IUnknown* held = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&held)),
            S_OK);

  const double batchStart = NowMs();
  for (Job& job : jobs) {
    LaunchOptions options;
    options.application = engine;
    options.commandLine = "\"" + engine + "\" " + (*job.dir / "request.dat");
    options.workingDirectory = job.dir->path();
    job.startMs = NowMs();
    job.process = std::make_unique<ChildProcess>(options);
    job.handle = OpenProcess(SYNCHRONIZE, FALSE, job.process->pid());
    ASSERT_NE(job.handle, nullptr);
  }
  // Each job's end as it comes.
  std::vector<HANDLE> running;
  for (const Job& job : jobs) running.push_back(job.handle);
  while (!running.empty()) {
    const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(),
                                               FALSE, kJobLimit);
    ASSERT_LT(woken, WAIT_OBJECT_0 + running.size()) << running.size() << " jobs did not end";
    const double now = NowMs();
    for (Job& job : jobs) {
      if (job.handle == running[woken - WAIT_OBJECT_0]) job.endMs = now;
    }
    running.erase(running.begin() + (woken - WAIT_OBJECT_0));
  }
  const double batchMs = NowMs() - batchStart;

  held->Release();
  EXPECT_TRUE(standin_.AwaitEnd()) << "the application did not end after the batch";

  std::vector<double> perJob;
  std::vector<std::string> expectedCalls;
  for (int i = 0; i < kJobs; ++i) {
    SCOPED_TRACE("job " + std::to_string(i));
    Job& job = jobs[static_cast<std::size_t>(i)];
    CloseHandle(job.handle);
    perJob.push_back(job.endMs - job.startMs);
    EXPECT_EQ(job.process->exitCode(), 0u);
    EXPECT_EQ(job.process->TakeOutput(), job.expectedOutput);
    // Its request and script as they were, its stale result gone, nothing new.
    EXPECT_EQ(ReadBytes(*job.dir / "request.dat").value_or(""), job.request);
    EXPECT_EQ(ReadBytes(*job.dir / "s.jsx").value_or(""), job.script);
    std::vector<std::string> files = ListFolder(job.dir->path());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"request.dat", "s.jsx"}));
    expectedCalls.insert(expectedCalls.end(), job.expectedCalls.begin(), job.expectedCalls.end());
  }

  // One application served every call, and every script ran exactly once with
  // its own parameters (a script call names its job's folder and parameters).
  EXPECT_EQ(standin_.Servers(), std::vector<std::string>{std::to_string(standin_.pid())});
  std::vector<std::string> calls = standin_.Calls();
  std::sort(calls.begin(), calls.end());
  std::sort(expectedCalls.begin(), expectedCalls.end());
  EXPECT_EQ(calls, expectedCalls);
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& call) {
                            return call.rfind("CALL DoJavaScriptFile ", 0) == 0;
                          }),
            kJobs);

  PrintDuration("batch_ms", batchMs);
  PrintDuration("job_median_ms", Median(perJob));
  PrintDuration("job_max_ms", *std::max_element(perJob.begin(), perJob.end()));
}

}  // namespace
}  // namespace faults
