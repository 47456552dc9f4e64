// The built conversion-engine.exe, started the way a Windows host starts it:
// CreateProcessA with an exact command line, standard output on a pipe (or no
// standard handles at all), a working folder of its own. These tests cover
// every way start-up can end; what the main sequence prints after a start-up
// that returns is checked only as far as it shows that the run went on.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "MessageBoxProbe.h"
#include "PhotoShopMain.h"
#include "TestFiles.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

using testing_win32::ChildProcess;
using testing_win32::Exists;
using testing_win32::LaunchOptions;
using testing_win32::ListFolder;
using testing_win32::MakeFolder;
using testing_win32::ReadBytes;
using testing_win32::RunResult;
using testing_win32::StandardHandles;
using testing_win32::TempFolder;
using testing_win32::ToWindowsPath;
using testing_win32::WriteBytes;

// Bounds on waiting, not expectations: a run that is still going after this
// long has hung. Wine's first window of a session can take seconds.
constexpr std::uint32_t kRunLimit = 90000;
constexpr std::uint32_t kBoxLimit = 60000;

const char kVersionLine[] = "8.0.0.1\n";
const char kFatalText[] = "Fatal Error; No data passed to the conversion engine";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A request data file as a host writes it: CR LF lines, the section, entries.
std::string Request(const std::vector<std::string>& entries) {
  std::string text = "@Properties LocalData\r\n";
  for (const std::string& entry : entries) text += entry + "\r\n";
  return text + "@end\r\n";
}

// The lines of |output| after the one that starts with |key|; empty when absent.
std::string LineAfter(const std::string& output, const std::string& key) {
  const std::size_t at = output.find("\n" + key);
  if (at == std::string::npos) return {};
  const std::size_t begin = at + 1 + key.size();
  return output.substr(begin, output.find('\n', begin) - begin);
}

class EngineTest : public ::testing::Test {
 protected:
  // Starts the engine with exactly |commandLine| in a working folder of its own.
  LaunchOptions Options(const std::string& commandLine,
                        StandardHandles handles = StandardHandles::Pipe) const {
    LaunchOptions options;
    options.application = engine_;
    options.commandLine = commandLine;
    options.workingDirectory = work_.path();
    options.handles = handles;
    return options;
  }

  // The usual host command line: the quoted program path, a blank, the text.
  RunResult Run(const std::string& commandText,
                StandardHandles handles = StandardHandles::Pipe) const {
    return RunToEnd(Options(Quoted(engine_) + " " + commandText, handles), kRunLimit);
  }

  // Files the run left in its working folder (a log would land there).
  std::vector<std::string> WorkFiles() const { return ListFolder(work_.path()); }

  std::string engine_ = ToWindowsPath(ENGINE_EXE);
  TempFolder dir_{"req"};    // requests and result files
  TempFolder work_{"work"};  // the engine's current folder
};

// ---------------------------------------------------------------------------
// Version query: nothing exists at the path and the text contains "version".

class VersionQuery : public EngineTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(VersionQuery, PrintsTheVersionLineAndNothingElse) {
  const RunResult run = Run(GetParam());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output, kVersionLine);
  EXPECT_TRUE(WorkFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(CommandTexts, VersionQuery,
                         ::testing::Values("version", "-version", "/version", "version   ",
                                           R"(C:\nope\version2\x.dat)",
                                           R"("C:\nope\version.dat")", "aversionb"));

TEST_F(EngineTest, VersionQueryWorksWhateverTheProgramIsCalled) {
  // A host may name the program unquoted, or quoted from a folder with blanks.
  TempFolder place("inst");
  const std::string spaced = place / "Conversion Engine 8";
  ASSERT_TRUE(MakeFolder(spaced));
  const std::string copy = spaced + "\\conversion-engine.exe";
  ASSERT_TRUE(CopyFileA(engine_.c_str(), copy.c_str(), FALSE));

  struct Case {
    std::string application;
    std::string commandLine;
  };
  const Case cases[] = {
      {engine_, engine_ + " version"},
      {engine_, "conversion-engine.exe   -version"},
      {copy, Quoted(copy) + " /version"},
      {copy, Quoted(copy) + "\t version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine);
    LaunchOptions options = Options(c.commandLine);
    options.application = c.application;
    const RunResult run = RunToEnd(options, kRunLimit);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.output, kVersionLine);
  }
}

// A host that doesn't capture the output: the line is lost, the run still ends
// normally.
TEST_F(EngineTest, VersionQueryWithoutStandardHandlesEndsNormally) {
  for (StandardHandles handles : {StandardHandles::Null, StandardHandles::Invalid}) {
    const RunResult run = Run("version", handles);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(WorkFiles().empty());
  }
}

// The engine reads files through the classic ANSI calls, which reach no path
// of 260 characters or more: such a request counts as not there.
TEST_F(EngineTest, ARequestPathBeyondTheClassicLimitIsNotThere) {
  std::string folder = dir_ / ("version-" + std::string(200, 'v'));
  ASSERT_TRUE(MakeFolder(folder));
  folder += "\\" + std::string(60, 'w');
  ASSERT_TRUE(MakeFolder(folder));
  const std::string request = folder + "\\request.dat";
  ASSERT_GT(request.size(), 260u);
  ASSERT_TRUE(WriteBytes(request, Request({"outputhdaFile=" + (dir_ / "r.hda")})));

  const RunResult run = Run(request);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.output, kVersionLine);
}

// ---------------------------------------------------------------------------
// The fatal message box: nothing exists at the path and the text has no
// "version" (the test for it is case-sensitive).

struct BoxCase {
  const char* name;
  // The command line, given the engine's quoted path and an existing request.
  std::string (*commandLine)(const std::string& quotedEngine, const std::string& request);
};

const BoxCase kBoxCases[] = {
    {"NoCommandText", [](const std::string& e, const std::string&) { return e; }},
    {"OnlyBlanks", [](const std::string& e, const std::string&) { return e + "    "; }},
    {"MissingPath",
     [](const std::string& e, const std::string&) { return e + R"( C:\nope\request.dat)"; }},
    {"CapitalVersion", [](const std::string& e, const std::string&) { return e + " -Version"; }},
    {"UpperCaseVersion", [](const std::string& e, const std::string&) { return e + " VERSION"; }},
    // The text is taken with its quotes, so an existing file in quotes is not found.
    {"QuotedExistingRequest",
     [](const std::string& e, const std::string& r) { return e + " " + Quoted(r); }},
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.name; }

class MessageBoxRun : public EngineTest {
 protected:
  // Starts the run, checks the box that it shows, presses OK, and checks that
  // the run then ended with nothing written anywhere.
  void ExpectBoxThenQuietEnd(const LaunchOptions& options) {
    ChildProcess child(options);
    const auto box = testing_win32::WaitForMessageBox(child.pid(), engine::kApplicationTitle,
                                                      kBoxLimit);
    ASSERT_TRUE(box.has_value()) << "no message box captioned " << engine::kApplicationTitle;
    EXPECT_EQ(box->texts, std::vector<std::string>{kFatalText});
    EXPECT_EQ(box->buttons, std::vector<std::string>{"OK"});
    EXPECT_FALSE(box->showsIcon);
    EXPECT_FALSE(child.WaitForExit(0)) << "the engine did not wait for the box";

    ASSERT_TRUE(testing_win32::PressOk(*box));
    ASSERT_TRUE(child.WaitForExit(kRunLimit)) << "the engine did not end after OK";
    EXPECT_EQ(child.exitCode(), 0u);
    EXPECT_EQ(child.TakeOutput(), "");
    EXPECT_TRUE(WorkFiles().empty());
  }
};

class FatalMessageBox : public MessageBoxRun, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(FatalMessageBox, ShowsTheBoxAndEndsWhenItIsDismissed) {
  const std::string request = dir_ / "request.dat";
  const std::string result = dir_ / "result.hda";
  ASSERT_TRUE(WriteBytes(request, Request({"outputhdaFile=" + result})));
  ASSERT_TRUE(WriteBytes(result, "stale"));

  ExpectBoxThenQuietEnd(Options(GetParam().commandLine(Quoted(engine_), request)));
  EXPECT_EQ(ReadBytes(result), "stale");  // the request was never read
}

INSTANTIATE_TEST_SUITE_P(CommandTexts, FatalMessageBox, ::testing::ValuesIn(kBoxCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The program's own path is no part of the command text, even when it
// contains "version".
TEST_F(MessageBoxRun, ProgramInAVersionFolderWithNoCommandText) {
  TempFolder place("inst");
  const std::string folder = place / "version 8";
  ASSERT_TRUE(MakeFolder(folder));
  const std::string copy = folder + "\\conversion-engine.exe";
  ASSERT_TRUE(CopyFileA(engine_.c_str(), copy.c_str(), FALSE));
  LaunchOptions options = Options(Quoted(copy));
  options.application = copy;
  ExpectBoxThenQuietEnd(options);
}

// ---------------------------------------------------------------------------
// A request that loads: "Loading hda", the stale result file deleted, and the
// run goes on with the main sequence.

struct RequestPlace {
  const char* name;
  const char* folder;    // under the test's folder; may be empty
  const char* file;      // the request's file name
  const char* suffix;    // appended to the request path in the command text
  bool ansiLetters;      // needs a single-byte ANSI code page with letters above 127
};

const RequestPlace kRequestPlaces[] = {
    {"Plain", "", "request.dat", "", false},
    {"BlanksInFolderAndName", "job folder 1", "my request.dat", "", false},
    // Windows drops trailing blanks from the last component of a path.
    {"TrailingBlanks", "", "request.dat", "   ", false},
    {"AnsiLetters", "d\xE9j\xE0 vu", "requ\xEAte \xC4.dat", "", true},
    // An existing file called version is a request like any other.
    {"FileCalledVersion", "", "version", "", false},
};

void PrintTo(const RequestPlace& p, std::ostream* os) { *os << p.name; }

class RequestStartup : public EngineTest, public ::testing::WithParamInterface<RequestPlace> {};
using RequestRun = EngineTest;

TEST_P(RequestStartup, LoadsTheRequestAndDeletesTheStaleResult) {
  const RequestPlace& place = GetParam();
  if (place.ansiLetters && testing_win32::AnsiCodePage() != 1252) {
    GTEST_SKIP() << "the ANSI code page is " << testing_win32::AnsiCodePage();
  }
  std::string folder = dir_.path();
  if (*place.folder != '\0') {
    folder += std::string("\\") + place.folder;
    ASSERT_TRUE(MakeFolder(folder));
  }
  const std::string request = folder + "\\" + place.file;
  const std::string stale = folder + (place.ansiLetters ? "\\r\xE9sultat.hda" : "\\result.hda");
  ASSERT_TRUE(WriteBytes(request, Request({"outputhdaFile=" + stale, "parameters=-x 1"})));
  ASSERT_TRUE(WriteBytes(stale, "stale"));

  const RunResult run = Run(request + place.suffix);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(StartsWith(run.output, "Loading hda\n@Properties LocalData\n")) << run.output;
  EXPECT_FALSE(Exists(stale));
  EXPECT_TRUE(Exists(request));
}

INSTANTIATE_TEST_SUITE_P(Places, RequestStartup, ::testing::ValuesIn(kRequestPlaces),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RequestRun, ReadOnlyRequestLoadsAndMissingStaleResultIsNoFailure) {
  const std::string request = dir_ / "request.dat";
  ASSERT_TRUE(WriteBytes(request, Request({"outputhdaFile=" + (dir_ / "never-there.hda")})));
  ASSERT_TRUE(testing_win32::SetReadOnly(request, true));
  const RunResult run = Run(request);
  ASSERT_TRUE(run.finished);
  EXPECT_TRUE(StartsWith(run.output, "Loading hda\n@Properties LocalData\n")) << run.output;
}

TEST_F(RequestRun, WithoutStandardHandlesTheRunStillCompletes) {
  for (StandardHandles handles : {StandardHandles::Null, StandardHandles::Invalid}) {
    const std::string request = dir_ / "request.dat";
    const std::string stale = dir_ / "result.hda";
    ASSERT_TRUE(WriteBytes(request, Request({"outputhdaFile=" + stale})));
    ASSERT_TRUE(WriteBytes(stale, "stale"));
    const RunResult run = Run(request, handles);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_FALSE(Exists(stale));
  }
}

// The census over the platform's process calls: a process whose executable is
// called Photoshop.exe shows up in the report's After= line.
TEST_F(RequestRun, TheReportListsARunningProcessOfTheImageName) {
  const std::string image = dir_ / "Photoshop.exe";
  ASSERT_TRUE(CopyFileA(ToWindowsPath(IDLE_EXE).c_str(), image.c_str(), FALSE));
  LaunchOptions idle;
  idle.application = image;
  idle.commandLine = Quoted(image);
  idle.handles = StandardHandles::Null;
  ChildProcess running(idle);

  const std::string request = dir_ / "request.dat";
  ASSERT_TRUE(WriteBytes(request, Request({"outputhdaFile=" + (dir_ / "r.hda")})));
  const RunResult run = Run(request);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(LineAfter(run.output, "Before="), "");
  const std::string after = " " + LineAfter(run.output, "After=") + " ";
  EXPECT_NE(after.find(" " + std::to_string(running.pid()) + " "), std::string::npos)
      << run.output;
}

// ---------------------------------------------------------------------------
// A request that can't be parsed: status -3 in a result data file, then the
// process ends; when that file can't be written, the run goes on instead.

const char kParseFailureResult[] =
    "@Properties LocalData\r\n"
    "StatusMsg=finished\r\n"
    "OutExtension=\r\n"
    "OutFormat=application/x-unknown\r\n"
    "ResultFilePath=<Not Converted>\r\n"
    "LastErrorDescription=Conversion engine unable to parse input data\r\n"
    "ErrorStatusCode=-3\r\n"
    "AdditionalData=\r\n"
    "@end\r\n";
const char kParseFailureOutput[] = "Loading hda\n!nxWritingNativeResults\n";

// The entry naming the result file is read; then a line whose "=" lies beyond
// what the loader's 16-bit positions reach makes the load fail.
std::string UnparsableRequestText(const std::string& resultPath) {
  return "@Properties LocalData\r\noutputhdaFile=" + resultPath + "\r\n" +
         std::string(40000, 'k') + "=v\r\n@end\r\n";
}

class UnparsableRequest : public EngineTest {
 protected:
  // A result file that can't be written: the announcement, nothing written,
  // and the main sequence runs after all.
  void ExpectRunGoesOnWithoutResult(const std::string& resultPath) {
    const std::string request = dir_ / "request.dat";
    ASSERT_TRUE(WriteBytes(request, UnparsableRequestText(resultPath)));
    const RunResult run = Run(request);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(StartsWith(run.output,
                           std::string(kParseFailureOutput) + "@Properties LocalData\n"))
        << run.output;
  }
};

TEST_F(UnparsableRequest, WritesTheResultFileAndEnds) {
  const std::string request = dir_ / "request.dat";
  const std::string result = dir_ / "result.hda";
  ASSERT_TRUE(WriteBytes(request, UnparsableRequestText(result)));
  // A stale result longer than the new one: replaced whole, not overwritten in part.
  ASSERT_TRUE(WriteBytes(result, std::string(2000, 'x')));

  const RunResult run = Run(request);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output, kParseFailureOutput);
  EXPECT_EQ(ReadBytes(result), kParseFailureResult);
  EXPECT_TRUE(WorkFiles().empty());
}

TEST_F(UnparsableRequest, WithoutStandardHandlesTheResultFileIsStillWritten) {
  for (StandardHandles handles : {StandardHandles::Null, StandardHandles::Invalid}) {
    const std::string request = dir_ / "request.dat";
    const std::string result = dir_ / "result.hda";
    ASSERT_TRUE(WriteBytes(request, UnparsableRequestText(result)));
    testing_win32::RemoveTree(result);
    const RunResult run = Run(request, handles);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(ReadBytes(result), kParseFailureResult);
  }
}

TEST_F(UnparsableRequest, ResultFolderMissing) {
  const std::string result = dir_ / "no such folder\\result.hda";
  ExpectRunGoesOnWithoutResult(result);
  EXPECT_FALSE(Exists(result));
  EXPECT_FALSE(Exists(dir_ / "no such folder"));
}

TEST_F(UnparsableRequest, ResultPathBeyondTheClassicLimit) {
  const std::string folder = dir_ / std::string(240, 'f');
  ASSERT_TRUE(MakeFolder(folder));
  const std::string result = folder + "\\result.hda";
  ExpectRunGoesOnWithoutResult(result);
  EXPECT_TRUE(ListFolder(folder).empty());
}

TEST_F(UnparsableRequest, ReadOnlyResultFileIsLeftAsItWas) {
  const std::string result = dir_ / "result.hda";
  ASSERT_TRUE(WriteBytes(result, "previous result"));
  ASSERT_TRUE(testing_win32::SetReadOnly(result, true));
  ExpectRunGoesOnWithoutResult(result);
  EXPECT_EQ(ReadBytes(result), "previous result");
}

// A folder passes the existence test but can't be read as a request: nothing
// is loaded, so there is no result path either, and the run goes on.
TEST_F(UnparsableRequest, FolderAsRequest) {
  const RunResult run = Run(dir_.path());
  ASSERT_TRUE(run.finished);
  EXPECT_TRUE(StartsWith(run.output,
                         std::string(kParseFailureOutput) + "@Properties LocalData\n"))
      << run.output;
}

}  // namespace
