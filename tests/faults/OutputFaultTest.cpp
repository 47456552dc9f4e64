// Standard output that goes nowhere: no handles at all, invalid ones, a pipe
// whose reading end the host has already closed, and a pipe that the host
// doesn't read while the engine runs. A line that can't be written is lost;
// the job itself must not be.

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "FaultSupport.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace faults {
namespace {

using testing_win32::StandardHandles;

const char kParams[] = "-in \"photo 1.psd\" -out photo1.png";
const char kFailure[] = "Error 8800: General failure; line 3.";

enum class Output {
  NoHandles,       // STARTF_USESTDHANDLES with NULL handles
  InvalidHandles,  // ... with INVALID_HANDLE_VALUE
  ReadEndClosed,   // a pipe whose only reader is gone before the engine starts
  Unread,          // a pipe nobody reads until the engine has ended
};

struct OutputCase {
  const char* name;
  Output output;
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

class NowhereToWrite : public FaultJob, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(NowhereToWrite, JobStillRuns) {
  const OutputCase& c = GetParam();
  const std::string script = dir_ / "s.jsx";
  const std::string result = dir_ / "result.hda";
  ASSERT_TRUE(testing_win32::WriteBytes(result, "stale"));
  // A failing script, so that every kind of line is written: the report, then
  // the error line, then Quit.
  ASSERT_NO_FATAL_FAILURE(WriteJob(
      Request({"outputhdaFile=" + result, "script=" + script, std::string("scriptParams=") + kParams}),
      std::string("//standin fail=") + kFailure));
  ASSERT_NO_FATAL_FAILURE(standin_.Start());

  const double start = NowMs();
  if (c.output == Output::NoHandles || c.output == Output::InvalidHandles) {
    testing_win32::ChildProcess engine(
        Options(c.output == Output::NoHandles ? StandardHandles::Null : StandardHandles::Invalid));
    ASSERT_TRUE(engine.WaitForExit(kJobLimit)) << "the engine did not end";
    EXPECT_EQ(engine.exitCode(), 0u);
  } else {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    if (c.output == Output::ReadEndClosed) {
      CloseHandle(readEnd);
      readEnd = nullptr;
    }
    bool ended = false;
    std::uint32_t exitCode = 0;
    {
      HostedProcess engine(engine_, CommandLine(dir_ / "request.dat"), dir_.path(), writeEnd);
      CloseHandle(writeEnd);  // the engine holds its own copy
      ended = engine.Wait(kJobLimit);
      if (ended) exitCode = engine.exitCode();
    }
    std::string output;
    if (readEnd != nullptr) {
      // Only now: everything the engine wrote waits in the pipe.
      char buffer[4096];
      DWORD got = 0;
      while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output.append(buffer, got);
      }
      CloseHandle(readEnd);
    }
    ASSERT_TRUE(ended) << "the engine did not end";
    EXPECT_EQ(exitCode, 0u);
    if (c.output == Output::Unread) {
      EXPECT_EQ(output, "Loading hda\n" + Report(standin_.pid()) + kErrorPrefix + kFailure + "\n");
    }
  }
  PrintDuration("engine_run_ms", NowMs() - start);
  ExpectStandinEnds();

  EXPECT_EQ(standin_.Calls(), (std::vector<std::string>{kDialogsOff, kVisible,
                                                        JavaScriptCall(script, kParams), kQuit}));
  // The stale result is gone; no log or anything else was left behind.
  std::vector<std::string> files = testing_win32::ListFolder(dir_.path());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"request.dat", "s.jsx"}));
}

const OutputCase kOutputCases[] = {
    {"NoHandles", Output::NoHandles},
    {"InvalidHandles", Output::InvalidHandles},
    {"PipeReadEndClosed", Output::ReadEndClosed},
    {"PipeNotRead", Output::Unread},
};

INSTANTIATE_TEST_SUITE_P(Faults, NowhereToWrite, ::testing::ValuesIn(kOutputCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
