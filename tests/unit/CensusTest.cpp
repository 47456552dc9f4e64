#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

class CensusTest : public ::testing::Test {
 protected:
  void Add(std::uint32_t pid, std::string path, bool canOpen = true, bool canEnum = true) {
    f.processes.processes.push_back({pid, std::move(path), canOpen, canEnum});
  }
  PidList Collect() {
    PidList pids;
    CollectProcessIds(f.engine, pids);
    return pids;
  }
  FakeEngine f;
};

TEST_F(CensusTest, BufferDoublesUntilTheEnumerationLeavesRoom) {
  for (std::uint32_t pid = 1; pid <= 9; ++pid) Add(pid * 4, "C:\\x\\Photoshop.exe");
  EXPECT_EQ(Collect(), (PidList{4, 8, 12, 16, 20, 24, 28, 32, 36}));
  EXPECT_EQ(f.processes.enumBufferSizes, (std::vector<std::uint32_t>{16, 32, 64}));
  EXPECT_EQ(f.processes.openCalls.size(), 9u);  // every process examined once
  for (const auto& call : f.processes.openCalls) {
    EXPECT_EQ(call.access, 0x410u);
    EXPECT_FALSE(call.inherit);
  }
  EXPECT_TRUE(f.processes.openHandles.empty());
}

TEST_F(CensusTest, ExactlyFullBufferIsQueriedAgain) {
  for (std::uint32_t pid = 1; pid <= 4; ++pid) Add(pid, "Photoshop.exe");
  EXPECT_EQ(Collect().size(), 4u);
  EXPECT_EQ(f.processes.enumBufferSizes, (std::vector<std::uint32_t>{16, 32}));
}

TEST_F(CensusTest, CaseInsensitiveContainmentOverTheWholePath) {
  f.state.g_processImageName = "Photoshop.exe";
  Add(1, "C:\\Apps\\photoshop.exe");
  Add(2, "C:\\APPS\\PHOTOSHOP.EXE");
  Add(3, "C:\\Apps\\NotPhotoshop.exe");
  Add(4, "C:\\Photoshop.exe\\tool.exe");
  Add(5, "C:\\Apps\\Photoshop.com");
  Add(6, "C:\\Apps\\explorer.exe");
  EXPECT_EQ(Collect(), (PidList{1, 2, 3, 4}));
}

TEST_F(CensusTest, UnopenableProcessesAreSkippedAndEveryHandleClosed) {
  Add(1, "Photoshop.exe", /*canOpen=*/false);
  Add(2, "Photoshop.exe", true, /*canEnum=*/false);
  Add(3, "Photoshop.exe");
  EXPECT_EQ(Collect(), (PidList{3}));
  EXPECT_EQ(f.processes.closed.size(), 2u);
  EXPECT_TRUE(f.processes.openHandles.empty());
  EXPECT_EQ(f.processes.nameBufferSizes, (std::vector<std::uint32_t>{260}));
}

TEST_F(CensusTest, NameBeyondTheBufferIsNotFound) {
  Add(1, "C:\\" + std::string(250, 'd') + "\\Photoshop.exe");
  Add(2, "C:\\" + std::string(240, 'd') + "\\Photoshop.exe");
  EXPECT_EQ(Collect(), (PidList{2}));
}

TEST_F(CensusTest, AbandonedStartUpStillLooksOnlyForTheApplication) {
  ASSERT_EQ(f.state.g_processImageName, "");
  Add(1, "/usr/bin/bash");
  Add(2, "C:\\Apps\\Photoshop.exe");
  EXPECT_EQ(Collect(), (PidList{2}));
}

TEST_F(CensusTest, AppendsToWhatTheListHolds) {
  Add(7, "Photoshop.exe");
  PidList pids{7};
  CollectProcessIds(f.engine, pids);
  EXPECT_EQ(pids, (PidList{7, 7}));
}

TEST(ReportTest, BlockLines) {
  struct Case {
    PidList after;
    const char* line;
  } cases[] = {{{}, "After="}, {{412}, "After=412"}, {{412, 988, 4294967295u}, "After=412 988 4294967295"}};
  for (const Case& c : cases) {
    FakeEngine f;
    f.state.g_pidsAfter = c.after;
    UpdateProcessIds(f.engine);
    EXPECT_EQ(f.console.output,
              std::string("@Properties LocalData\nBefore=\n") + c.line + "\n@end\n");
    EXPECT_EQ(f.console.writes.size(), 4u);
  }
}

TEST(ReportTest, OverlongListFailsPartWayAndIsLogged) {
  FakeEngine f;
  f.state.g_pidsAfter.assign(32767, 1);
  UpdateProcessIds(f.engine);
  EXPECT_EQ(f.console.output, "@Properties LocalData\nBefore=\n!nxErrorUpdatingPIDs\n");
  EXPECT_EQ(f.fs.Content("templog.txt"), "!nxErrorUpdatingPIDs\r\n");

  FakeEngine fits;
  fits.state.g_pidsAfter.assign(32766, 1);
  UpdateProcessIds(fits.engine);
  EXPECT_EQ(fits.console.writes.size(), 4u);
}

}  // namespace
}  // namespace engine::testing
