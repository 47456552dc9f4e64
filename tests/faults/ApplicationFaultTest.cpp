// The application failing the engine: its process dying inside each of the
// four calls, and a script call that never returns.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "FaultSupport.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace faults {
namespace {

using testing_win32::ChildProcess;
using testing_win32::ListFolder;

const char kParams[] = "-in \"photo 1.psd\" -out photo1.png";

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// ---------------------------------------------------------------------------
// The application's process ends inside a call (after it has journaled it).
// Every later call fails at once and is dropped, except the script's: a
// script that could not run is reported, in the engine's own words, and then
// Quit is tried (and fails). Inside Quit nobody notices.

struct DeathCase {
  const char* name;
  const char* member;
  std::size_t callsReached;  // how many of DisplayDialogs, Visible, script, Quit arrive
  bool closeFlag;
  bool errorLine;
};

void PrintTo(const DeathCase& c, std::ostream* os) { *os << c.name; }

class ApplicationDies : public FaultJob, public ::testing::WithParamInterface<DeathCase> {};

TEST_P(ApplicationDies, RunEndsNormally) {
  const DeathCase& c = GetParam();
  const std::string script = dir_ / "s.jsx";
  const std::string result = dir_ / "result.hda";
  ASSERT_TRUE(testing_win32::WriteBytes(result, "stale"));
  std::vector<std::string> entries = {"outputhdaFile=" + result, "script=" + script,
                                      std::string("scriptParams=") + kParams};
  if (c.closeFlag) entries.push_back("PhotoShopDAMCloseAfterEachRendition=true");
  ASSERT_NO_FATAL_FAILURE(WriteJob(Request(entries)));
  ASSERT_TRUE(testing_win32::WriteBytes(standin_.File("standin-control.txt"),
                                        std::string("exit.") + c.member + "=7\r\n"));

  ASSERT_NO_FATAL_FAILURE(standin_.Start());
  const std::string output = RunEngine(Options());
  ASSERT_TRUE(standin_.AwaitEnd()) << output;
  EXPECT_EQ(standin_.exitCode(), 7u) << "the application did not die where it was told to";

  const std::vector<std::string> all = {kDialogsOff, kVisible, JavaScriptCall(script, kParams),
                                        kQuit};
  EXPECT_EQ(standin_.Calls(),
            std::vector<std::string>(all.begin(), all.begin() + c.callsReached));
  const std::string report = "Loading hda\n" + Report(standin_.pid());
  if (c.errorLine) {
    // One line, not empty, LF alone at its end.
    const std::string begin = report + kErrorPrefix;
    ASSERT_EQ(output.compare(0, begin.size(), begin), 0) << output;
    const std::string description = output.substr(begin.size());
    EXPECT_GT(description.size(), 1u) << output;
    EXPECT_EQ(description.find_first_of("\r\n"), description.size() - 1) << output;
    std::printf("[ error line ] %s", description.c_str());
  } else {
    EXPECT_EQ(output, report);
  }
  EXPECT_FALSE(testing_win32::Exists(result));
}

const DeathCase kDeathCases[] = {
    {"InsideDisplayDialogs", "DisplayDialogs", 1, false, true},
    {"InsideVisible", "Visible", 2, false, true},
    {"InsideDoJavaScriptFile", "DoJavaScriptFile", 3, false, true},
    {"InsideQuit", "Quit", 4, true, false},
};

INSTANTIATE_TEST_SUITE_P(Faults, ApplicationDies, ::testing::ValuesIn(kDeathCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// A script call that doesn't return. The engine has no time limit of its own:
// it waits, and the host ends it. The stand-in stays inside the call for
// kHangMs, far longer than any test runs; the test then asks it to stop
// through its stop event, which it heeds also inside the call.

constexpr std::uint32_t kHangMs = 3600000;
constexpr std::uint32_t kWatchMs = 2000;  // how long the host watches the engine wait
constexpr std::uint32_t kEndedByHost = 0xC0DE;

class ApplicationHangs : public FaultJob {};

TEST_F(ApplicationHangs, HostEndsTheWaitingEngine) {
  const std::string script = dir_ / "s.jsx";
  const std::string result = dir_ / "result.hda";
  const std::string call = JavaScriptCall(script, kParams);
  ASSERT_TRUE(testing_win32::WriteBytes(result, "stale"));
  ASSERT_NO_FATAL_FAILURE(
      WriteJob(Request({"outputhdaFile=" + result, "script=" + script,
                        std::string("scriptParams=") + kParams,
                        "PhotoShopDAMCloseAfterEachRendition=true"}),
               "//standin sleep-ms=" + std::to_string(kHangMs)));
  ASSERT_NO_FATAL_FAILURE(standin_.Start());

  const double start = NowMs();
  ChildProcess engine(Options());
  for (;;) {
    const std::vector<std::string> calls = standin_.Calls();
    if (!calls.empty() && calls.back() == call) break;
    ASSERT_FALSE(engine.WaitForExit(0)) << "the engine ended before its script call arrived";
    ASSERT_LT(NowMs() - start, kJobLimit) << "the script call never arrived";
    Sleep(10);
  }
  PrintDuration("start_to_script_call_ms", NowMs() - start);

  EXPECT_FALSE(engine.WaitForExit(kWatchMs)) << "the engine stopped waiting for the script";
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, engine.pid());
  ASSERT_NE(process, nullptr);
  const double terminated = NowMs();
  EXPECT_TRUE(TerminateProcess(process, kEndedByHost));
  CloseHandle(process);
  ASSERT_TRUE(engine.WaitForExit(kJobLimit)) << "the host could not end the engine";
  PrintDuration("terminate_to_end_ms", NowMs() - terminated);
  EXPECT_EQ(engine.exitCode(), kEndedByHost);

  // What it had printed is whole; the stale result is gone and nothing took
  // its place; no log.
  EXPECT_EQ(engine.TakeOutput(), "Loading hda\n" + Report(standin_.pid()));
  EXPECT_EQ(Sorted(ListFolder(dir_.path())), (std::vector<std::string>{"request.dat", "s.jsx"}));

  const double stopAsked = NowMs();
  ASSERT_TRUE(standin_.Stop(kServerEndLimit)) << "the stand-in did not stop";
  PrintDuration("stop_to_standin_end_ms", NowMs() - stopAsked);
  EXPECT_EQ(standin_.exitCode(), 0u) << "the stand-in did not leave through its stop event";
  // No Quit: the engine was gone before the script returned.
  EXPECT_EQ(standin_.Calls(), (std::vector<std::string>{kDialogsOff, kVisible, call}));
}

}  // namespace
}  // namespace faults
