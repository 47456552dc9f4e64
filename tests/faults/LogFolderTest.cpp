// The engine's two logs and folders it can't write to.
//
// The diagnostic log (templog.txt in the current folder) takes only messages
// whose type begins with "ERROR", and the engine has exactly one such message:
// "!nxErrorUpdatingPIDs", logged when printing the PID report fails. Printing
// it can fail only when the list of PIDs overflows the 16-bit count (32 767
// processes of the application); console writes never fail. The severe-error
// log (\severeerror.log at the root of the current drive) is written only when
// the diagnostic log can't be. So no real run writes either log: the logic's
// own tests (tests/unit, against fakes) cover both. What a real run can show
// is that a folder or drive it can't write to makes no difference and that it
// leaves nothing behind where it could have written.
//
// The drives come from the faults_log_drives fixture (the log-drives script):
// U: can't be written at its root, V: can, and V:\locked can't.

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

using testing_win32::Exists;
using testing_win32::ListFolder;

// Whether a new file can be created in |folder| (it is removed again).
bool CanCreateFileIn(const std::string& folder) {
  const std::string probe = folder + (folder.back() == '\\' ? "" : "\\") + "write-probe.tmp";
  HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  DeleteFileA(probe.c_str());
  return true;
}

std::string In(const std::string& folder, const char* name) {
  return folder + (folder.back() == '\\' ? "" : "\\") + name;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

struct FolderCase {
  const char* name;
  const char* currentFolder;
  const char* driveRoot;
  bool folderWritable;
  bool rootWritable;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class CurrentFolder : public FaultJob, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(CurrentFolder, MakesNoDifferenceAndGetsNothingWritten) {
  const FolderCase& c = GetParam();
  if (!Exists(c.currentFolder) || !Exists(c.driveRoot)) {
    GTEST_SKIP() << c.currentFolder << " is not there: the drives of the faults_log_drives "
                 << "fixture exist only in a Wine prefix it has prepared";
  }
  // The premises, as this system sees them.
  ASSERT_EQ(CanCreateFileIn(c.currentFolder), c.folderWritable);
  ASSERT_EQ(CanCreateFileIn(c.driveRoot), c.rootWritable);
  const auto folderBefore = Sorted(ListFolder(c.currentFolder));
  const auto rootBefore = Sorted(ListFolder(c.driveRoot));

  const std::string script = dir_ / "s.jsx";
  const std::string result = dir_ / "result.hda";
  ASSERT_TRUE(testing_win32::WriteBytes(result, "stale"));
  ASSERT_NO_FATAL_FAILURE(
      WriteJob(Request({"outputhdaFile=" + result, "script=" + script, "scriptParams=-x 1"}),
               "//standin fail=Could not open photo 1.psd"));
  ASSERT_NO_FATAL_FAILURE(standin_.Start());
  testing_win32::LaunchOptions options = Options();
  options.workingDirectory = c.currentFolder;
  const std::string output = RunEngine(options);
  ExpectStandinEnds();

  EXPECT_EQ(output, "Loading hda\n" + Report(standin_.pid()) + kErrorPrefix +
                        "Could not open photo 1.psd\n");
  EXPECT_EQ(standin_.Calls(), (std::vector<std::string>{kDialogsOff, kVisible,
                                                        JavaScriptCall(script, "-x 1"), kQuit}));
  EXPECT_FALSE(Exists(result));
  EXPECT_FALSE(Exists(In(c.currentFolder, "templog.txt")));
  EXPECT_FALSE(Exists(In(c.driveRoot, "severeerror.log")));
  // Where something could have been written, nothing was.
  if (c.folderWritable) {
    EXPECT_EQ(Sorted(ListFolder(c.currentFolder)), folderBefore);
  }
  if (c.rootWritable) {
    EXPECT_EQ(Sorted(ListFolder(c.driveRoot)), rootBefore);
  }
}

const FolderCase kFolderCases[] = {
    {"WritableDriveRoot", "V:\\", "V:\\", true, true},
    {"UnwritableFolderOnWritableDrive", "V:\\locked", "V:\\", false, true},
    {"UnwritableDriveRoot", "U:\\", "U:\\", false, false},
};

INSTANTIATE_TEST_SUITE_P(Faults, CurrentFolder, ::testing::ValuesIn(kFolderCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
