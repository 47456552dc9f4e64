// The result data file when the file system says no: a stale result that
// can't be deleted, and a result for a request that can't be parsed that can't
// be written. Neither is reported anywhere; what matters is that nothing is
// lost or half-written and that the run goes on to the application.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "FaultSupport.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace faults {
namespace {

using testing_win32::Exists;
using testing_win32::ListFolder;
using testing_win32::ReadBytes;
using testing_win32::SetReadOnly;
using testing_win32::WriteBytes;

const char kParams[] = "-in \"photo 1.psd\" -out photo1.png";
const char kEarlierResult[] =
    "@Properties LocalData\r\nStatusMsg=finished\r\nOutExtension=png\r\n"
    "OutFormat=image/png\r\nResultFilePath=C:/out/photo1.png\r\nLastErrorDescription=\r\n"
    "ErrorStatusCode= 0\r\nAdditionalData=\r\n@end\r\n";

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// A handle that another process holds on a file, with no sharing at all.
class ExclusiveHandle {
 public:
  explicit ExclusiveHandle(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ExclusiveHandle() {
    if (valid()) CloseHandle(handle_);
  }
  ExclusiveHandle(const ExclusiveHandle&) = delete;
  ExclusiveHandle& operator=(const ExclusiveHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// ---------------------------------------------------------------------------
// The stale result file that the request names can't be deleted: it stays as
// it is, nobody is told, and the job runs as usual.

struct StaleCase {
  const char* name;
  bool readOnly;
  bool heldOpen;  // by this process, without sharing, for the whole run
};

void PrintTo(const StaleCase& c, std::ostream* os) { *os << c.name; }

class StaleResult : public FaultJob, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleResult, IsLeftUnchangedAndTheJobRuns) {
  const StaleCase& c = GetParam();
  const std::string result = dir_ / "result.hda";
  const std::string script = dir_ / "s.jsx";
  ASSERT_TRUE(WriteBytes(result, kEarlierResult));
  if (c.readOnly) {
    ASSERT_TRUE(SetReadOnly(result, true));
  }
  const DWORD attributes = GetFileAttributesA(result.c_str());
  ASSERT_NO_FATAL_FAILURE(WriteJob(Request(
      {"outputhdaFile=" + result, "script=" + script, std::string("scriptParams=") + kParams})));

  ASSERT_NO_FATAL_FAILURE(standin_.Start());
  std::string output;
  {
    std::unique_ptr<ExclusiveHandle> held;
    if (c.heldOpen) {
      held = std::make_unique<ExclusiveHandle>(result);
      ASSERT_TRUE(held->valid());
    }
    output = RunEngine(Options());
  }
  ExpectStandinEnds();

  EXPECT_EQ(output, "Loading hda\n" + Report(standin_.pid()));
  EXPECT_EQ(standin_.Calls(),
            (std::vector<std::string>{kDialogsOff, kVisible, JavaScriptCall(script, kParams)}));
  EXPECT_EQ(ReadBytes(result).value_or("<gone>"), kEarlierResult);
  EXPECT_EQ(GetFileAttributesA(result.c_str()), attributes);
  EXPECT_EQ(Sorted(ListFolder(dir_.path())),
            (std::vector<std::string>{"request.dat", "result.hda", "s.jsx"}));
}

const StaleCase kStaleCases[] = {
    {"ReadOnly", true, false},
    {"HeldOpenWithoutSharing", false, true},
};

INSTANTIATE_TEST_SUITE_P(Faults, StaleResult, ::testing::ValuesIn(kStaleCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// A request that can't be parsed, whose result data file can't be written.
// The failure ends start-up part way, so the process doesn't end there: the
// run goes on with the entries loaded before the bad line (the failed start-up
// leaves the process image name unset, and the census falls back to the
// application's), reports the PIDs and calls the script.

enum class ResultPath {
  InMissingFolder,  // the folder it names doesn't exist
  ReadOnlyFile,     // an earlier result, read-only
  Folder,           // a folder stands where the file would go
  NotNamed,         // the request has no "outputhdaFile" entry
};

struct UnwritableCase {
  const char* name;
  ResultPath path;
  std::vector<std::string> entries = {};  // besides the result path, script and parameters
  std::string directives = {};            // for the script's call
  std::string error = {};                 // the error line's description; "" none
  bool quits = false;
};

void PrintTo(const UnwritableCase& c, std::ostream* os) { *os << c.name; }

class UnwritableResult : public FaultJob, public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(UnwritableResult, NothingIsWrittenAndTheRunGoesOn) {
  const UnwritableCase& c = GetParam();
  const std::string script = dir_ / "s.jsx";
  std::string result = dir_ / "result.hda";
  std::vector<std::string> expectedFiles = {"request.dat", "s.jsx"};
  switch (c.path) {
    case ResultPath::InMissingFolder:
      result = dir_ / "no such folder\\result.hda";
      break;
    case ResultPath::ReadOnlyFile:
      ASSERT_TRUE(WriteBytes(result, kEarlierResult));
      ASSERT_TRUE(SetReadOnly(result, true));
      expectedFiles.push_back("result.hda");
      break;
    case ResultPath::Folder:
      ASSERT_TRUE(testing_win32::MakeFolder(result));
      expectedFiles.push_back("result.hda");
      break;
    case ResultPath::NotNamed:
      break;
  }
  const DWORD attributes = GetFileAttributesA(result.c_str());
  std::vector<std::string> entries;
  if (c.path != ResultPath::NotNamed) entries.push_back("outputhdaFile=" + result);
  entries.push_back("script=" + script);
  entries.push_back(std::string("scriptParams=") + kParams);
  entries.insert(entries.end(), c.entries.begin(), c.entries.end());
  ASSERT_NO_FATAL_FAILURE(WriteJob(UnparsableRequest(entries), c.directives));

  ASSERT_NO_FATAL_FAILURE(standin_.Start());
  const std::string output = RunEngine(Options());

  if (c.path == ResultPath::ReadOnlyFile &&
      ReadBytes(result).value_or("") != kEarlierResult &&
      !testing_win32::ReadOnlyFilesRefuseWriting()) {
    // Windows refuses to open a read-only file for writing; Wine run by root
    // leaves that to the Unix permissions, which root passes. An engine that
    // relies on the system alone then overwrites the file here and ends.
    GTEST_SKIP() << "this system (Wine run as root) let the engine open the read-only result "
                    "file for writing, which Windows refuses; the engine wrote:\n"
                 << ReadBytes(result).value_or("");
  }
  ExpectStandinEnds();

  std::string expected = "Loading hda\n!nxWritingNativeResults\n" + Report(standin_.pid());
  if (!c.error.empty()) expected += kErrorPrefix + c.error + "\n";
  EXPECT_EQ(output, expected);
  std::vector<std::string> calls = {kDialogsOff, kVisible, JavaScriptCall(script, kParams)};
  if (c.quits) calls.push_back(kQuit);
  EXPECT_EQ(standin_.Calls(), calls);

  // Nothing half-written, nothing created, nothing replaced.
  EXPECT_EQ(Sorted(ListFolder(dir_.path())), Sorted(expectedFiles));
  switch (c.path) {
    case ResultPath::InMissingFolder:
      EXPECT_FALSE(Exists(dir_ / "no such folder"));
      break;
    case ResultPath::ReadOnlyFile:
      EXPECT_EQ(ReadBytes(result).value_or("<gone>"), kEarlierResult);
      EXPECT_EQ(GetFileAttributesA(result.c_str()), attributes);
      break;
    case ResultPath::Folder:
      EXPECT_EQ(GetFileAttributesA(result.c_str()), attributes);
      EXPECT_TRUE(ListFolder(result).empty());
      break;
    case ResultPath::NotNamed:
      break;
  }
}

const UnwritableCase kUnwritableCases[] = {
    {.name = "ResultFolderMissing", .path = ResultPath::InMissingFolder},
    {.name = "ResultIsReadOnlyFile",
     .path = ResultPath::ReadOnlyFile,
     .directives = "//standin fail=Could not open photo 1.psd",
     .error = "Could not open photo 1.psd",
     .quits = true},
    {.name = "ResultIsFolder",
     .path = ResultPath::Folder,
     .entries = {"PhotoShopDAMCloseAfterEachRendition=true"},
     .quits = true},
    {.name = "NoResultPathNamed",
     .path = ResultPath::NotNamed,
     .directives = "//standin fail=Script error",
     .error = "Script error",
     .quits = true},
};

INSTANTIATE_TEST_SUITE_P(Faults, UnwritableResult, ::testing::ValuesIn(kUnwritableCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
