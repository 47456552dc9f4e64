#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef GetModuleFileNameEx

namespace {

constexpr std::uint32_t kCensusAccess = engine::kProcessQueryInformation | engine::kProcessVmRead;

std::string OwnExecutable() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

TEST(Win32Processes, EnumeratesRunningProcessesIncludingThisOne) {
  engine::Win32Processes processes;
  std::vector<std::uint32_t> pids(4096);
  std::uint32_t returned = 0;
  ASSERT_TRUE(processes.EnumProcesses(pids.data(), static_cast<std::uint32_t>(pids.size() * 4),
                                      &returned));
  ASSERT_EQ(returned % 4, 0u);
  ASSERT_LT(returned, pids.size() * 4);
  pids.resize(returned / 4);
  EXPECT_NE(std::find(pids.begin(), pids.end(), GetCurrentProcessId()), pids.end());
}

// The census grows its buffer while the enumeration fills it completely; a
// full buffer must come back as exactly its own size.
TEST(Win32Processes, AFullBufferReportsItsOwnSize) {
  engine::Win32Processes processes;
  std::uint32_t pids[1] = {};
  std::uint32_t returned = 12345;
  processes.EnumProcesses(pids, sizeof pids, &returned);
  EXPECT_EQ(returned, sizeof pids);
}

TEST(Win32Processes, ReadsTheExecutablePathOfAnOpenedProcess) {
  engine::Win32Processes processes;
  const engine::ProcessHandle self =
      processes.OpenProcess(kCensusAccess, false, GetCurrentProcessId());
  ASSERT_NE(self, 0u);

  engine::ModuleHandle modules[50] = {};
  std::uint32_t needed = 0;
  ASSERT_TRUE(processes.EnumProcessModules(self, modules, sizeof modules, &needed));
  EXPECT_GT(needed, 0u);
  EXPECT_EQ(needed % sizeof(engine::ModuleHandle), 0u);
  EXPECT_EQ(modules[0], reinterpret_cast<engine::ModuleHandle>(GetModuleHandleA(nullptr)));

  char name[260];
  std::fill(std::begin(name), std::end(name), ' ');
  const std::uint32_t copied = processes.GetModuleFileNameEx(self, modules[0], name, sizeof name);
  const std::string expected = OwnExecutable();
  ASSERT_EQ(copied, expected.size());
  EXPECT_EQ(std::string(name, copied), expected);
  EXPECT_EQ(name[copied], '\0');
  EXPECT_EQ(name[copied + 1], ' ');  // the rest of the buffer is left alone

  char tiny[4] = {};
  EXPECT_LE(processes.GetModuleFileNameEx(self, modules[0], tiny, sizeof tiny), sizeof tiny);

  processes.CloseHandle(self);
}

TEST(Win32Processes, FailuresComeBackAsZeroAndFalse) {
  engine::Win32Processes processes;
  // Process identifiers are multiples of 4; this one can't exist.
  EXPECT_EQ(processes.OpenProcess(kCensusAccess, false, 0xFFFFFFF1u), 0u);

  engine::ModuleHandle modules[50] = {};
  std::uint32_t needed = 0;
  EXPECT_FALSE(processes.EnumProcessModules(0, modules, sizeof modules, &needed));
  char name[260] = {};
  EXPECT_EQ(processes.GetModuleFileNameEx(0, 0, name, sizeof name), 0u);
}

TEST(Win32Processes, CloseHandleReleasesTheHandle) {
  engine::Win32Processes processes;
  const engine::ProcessHandle h = processes.OpenProcess(kCensusAccess, false, GetCurrentProcessId());
  ASSERT_NE(h, 0u);
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags));
  processes.CloseHandle(h);
  EXPECT_FALSE(GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags));
}

TEST(Win32Processes, CommandTextOfThisProcess) {
  // The test runner is started with its name and perhaps a filter; whatever it
  // got, the command text is the command line minus the name.
  engine::Win32Processes processes;
  EXPECT_EQ(processes.CommandText(), engine::ExtractCommandText(GetCommandLineA()));
}

}  // namespace
