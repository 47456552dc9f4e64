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
    // Room for 50 module handles, of which only the first is used.
    EXPECT_EQ(f.processes.moduleBufferSizes, std::vector<std::uint32_t>(11, 50 * sizeof(ModuleHandle)));
    EXPECT_TRUE(f.processes.openHandles.empty());  // every handle closed, once
    EXPECT_EQ(f.processes.badCloses, 0);
  }
}

}  // namespace
}  // namespace engine::testing
