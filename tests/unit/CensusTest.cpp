#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "Fakes.h"

namespace engine::testing {
namespace {

TEST(CensusTest, BufferDoublesFromSixteenBytesUntilTheEnumerationLeavesRoom) {
  const std::pair<std::uint32_t, std::vector<std::uint32_t>> cases[] = {
      {0, {16}}, {3, {16}}, {4, {16, 32}}, {8, {16, 32, 64}}, {9, {16, 32, 64}}};
  for (const auto& [count, sizes] : cases) {
    FakeEngine f;
    PidList expected;
    for (std::uint32_t pid = 4; pid <= 4 * count; pid += 4) {
      f.processes.processes.push_back({pid, "C:\\x\\Photoshop.exe"});
      expected.push_back(pid);
    }
    PidList pids;
    CollectProcessIds(f.engine, pids);
    EXPECT_EQ(pids, expected);
    EXPECT_EQ(f.processes.enumBufferSizes, sizes) << count;
    ASSERT_EQ(f.processes.openCalls.size(), count);  // every process examined once
    for (const auto& [access, inheritable] : f.processes.openCalls) {
      EXPECT_EQ(access, 0x410u);
      EXPECT_FALSE(inheritable);
    }
  }
}

TEST(CensusTest, ImageNameAnywhereInTheWholePathInAnyCase) {
  const std::string far = "C:\\" + std::string(242, 'd') + "\\";  // the name ends at 259, 260
  for (const char* imageName : {"Photoshop.exe", ""}) {  // empty: start-up was abandoned
    FakeEngine f;
    f.engine.characters = DoubleByte932();  // every path but the last is ASCII
    f.state.g_processImageName = imageName;
    f.processes.processes = {
        {1, "C:\\Program Files\\Photoshop\\photoshop.exe"},
        {2, "C:\\x.exe"},  // nothing of the longer name before it may linger
        {3, "C:\\APPS\\PHOTOSHOP.EXE"},
        {4, "C:\\Apps\\NotPhotoshop.exe"},
        {5, "C:\\Photoshop.exe\\tool.exe"},
        {6, "C:\\Apps\\Photoshop.com"},
        {7, far + "Photoshop.exe"},
        {8, far + "xPhotoshop.exe"},  // cut to the 260-character buffer
        {9, "C:\\Photoshop.exe", /*canOpen=*/false},
        {10, "C:\\Photoshop.exe", true, /*canEnumModules=*/false},
        {11, "/usr/bin/bash"},
        {12, "C:\\\x83Photoshop.exe"},  // its "P" is the second byte of a character
    };
    PidList pids{42};  // the census appends
    CollectProcessIds(f.engine, pids);
    EXPECT_EQ(pids, (PidList{42, 1, 3, 4, 5, 7})) << imageName;
    EXPECT_EQ(f.processes.nameBufferSizes, std::vector<std::uint32_t>(10, 260));
    EXPECT_TRUE(f.processes.openHandles.empty());  // every handle closed, once
    EXPECT_EQ(f.processes.badCloses, 0);
  }
}

TEST(ReportTest, BlockLinesUpTo32766Entries) {
  const std::string ok = "@Properties LocalData\nBefore=\n";
  std::string longest = "1";
  for (int i = 1; i < 32766; ++i) longest += " 1";
  const std::pair<PidList, std::string> cases[] = {
      {{}, ok + "After=\n@end\n"},
      {{412}, ok + "After=412\n@end\n"},
      {{412, 988, 4294967295u}, ok + "After=412 988 4294967295\n@end\n"},
      {PidList(32766, 1), ok + "After=" + longest + "\n@end\n"},
      {PidList(32767, 1), ok + "!nxErrorUpdatingPIDs\n"}};  // the block so far, then the failure
  for (const auto& [after, output] : cases) {
    FakeEngine f;
    f.state.g_pidsAfter = after;
    UpdateProcessIds(f.engine);
    EXPECT_EQ(f.console.output, output);
    EXPECT_EQ(f.fs.Exists("templog.txt") ? f.fs.Content("templog.txt") : "",
              after.size() < 32767 ? "" : "!nxErrorUpdatingPIDs\r\n");
  }
}

}  // namespace
}  // namespace engine::testing
