// The POSIX platform layer on its own, in a temporary folder.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "EngineError.h"
#include "platform/posix/PosixPlatform.h"

namespace engine {
namespace {

namespace fs = std::filesystem;

std::size_t OpenDescriptors() {
  return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

class PosixPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/engine-posix-XXXXXX";
    dir = mkdtemp(tmpl);
    descriptors = OpenDescriptors();
  }
  void TearDown() override {
    fs::remove_all(dir);
    EXPECT_EQ(OpenDescriptors(), descriptors);  // every file closed again, and nothing else
  }
  // The path as the engine gives it: backslashes throughout.
  std::string Win(const std::string& name) const {
    std::string p = (dir / name).string();
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
  }
  void MakeReadOnly(const std::string& name) {
    std::ofstream(dir / name) << "kept";
    chmod((dir / name).c_str(), 0444);
  }
  std::string ReadAll(const std::string& path) {
    auto file = fileSystem.OpenForReading(path);
    std::string text;
    char buffer[3];
    for (std::size_t n; (n = file->Read(buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
  }

  fs::path dir;
  std::size_t descriptors = 0;
  PosixFileSystem fileSystem;
};

TEST_F(PosixPlatformTest, RefusalsNameTheCallThePathAndTheReason) {
  MakeReadOnly("ro");
  fs::create_directory(dir / "sub");
  const std::string missing = ": No such file or directory", denied = ": Permission denied";
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { fileSystem.GetAttributes(Win("no")); }, "stat(" + Win("no") + ")" + missing},
      {[&] { fileSystem.GetAttributes(""); }, "stat()" + missing},
      {[&] { fileSystem.DeleteFile(Win("no")); }, "unlink(" + Win("no") + ")" + missing},
      {[&] { fileSystem.DeleteFile(Win("sub")); }, "unlink(" + Win("sub") + "): Is a directory"},
      {[&] { fileSystem.DeleteFile(Win("ro")); }, "unlink(" + Win("ro") + ")" + denied},
      {[&] { fileSystem.OpenForReading(Win("no")); }, "open(" + Win("no") + ")" + missing},
      {[&] { ReadAll(Win("sub")); }, "read(" + Win("sub") + "): Is a directory"},
      {[&] { fileSystem.WriteNewFile(Win("ro"), "x"); }, "open(" + Win("ro") + ")" + denied},
      {[&] { fileSystem.AppendToFile(Win("ro"), "x", true); }, "open(" + Win("ro") + ")" + denied},
      {[&] { fileSystem.WriteNewFile(Win("no\\f"), "x"); }, "open(" + Win("no\\f") + ")" + missing},
      {[&] { fileSystem.WriteNewFile(Win("sub"), "x"); }, "open(" + Win("sub") + "): Is a directory"},
      {[&] { fileSystem.WriteNewFile("\\dev\\full", "x"); }, "write(\\dev\\full): No space left on device"},
  };
  for (const auto& [action, description] : cases) {
    try {
      action();
      ADD_FAILURE() << "no failure: " << description;
    } catch (const EngineError& failure) {
      EXPECT_EQ(failure.Description(), description);
    }
  }
  EXPECT_EQ(ReadAll(Win("ro")), "kept");
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
}

TEST_F(PosixPlatformTest, FilesAreWrittenReadAndDeletedThroughBackslashPaths) {
  MakeReadOnly("ro");
  EXPECT_EQ(fileSystem.GetAttributes(Win("")), 16u);
  EXPECT_EQ(fileSystem.GetAttributes(Win("ro")), 1u);
  fileSystem.WriteNewFile(Win("f"), "first version, longer");
  fileSystem.WriteNewFile(Win("f"), "second");
  EXPECT_EQ(ReadAll(Win("f")), "second");
  EXPECT_EQ(fileSystem.GetAttributes(Win("f")), 128u);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status(dir / "f").permissions(), fs::perms(0666 & ~mask));
  fileSystem.AppendToFile(Win("log"), "a\r\n", true);
  fileSystem.AppendToFile(Win("log"), "b\r\n", false);
  EXPECT_EQ(ReadAll(Win("log")), "a\r\nb\r\n");
  fileSystem.DeleteFile(Win("f"));
  EXPECT_FALSE(fs::exists(dir / "f"));
  EXPECT_NE(fileSystem.LocalTimestamp().find(' '), std::string::npos);  // date, blank, time
  setenv("LC_ALL", "xx_XX.nowhere", 1);  // an unknown locale: C's formats
  EXPECT_NE(fileSystem.LocalTimestamp().find(' '), std::string::npos);
  unsetenv("LC_ALL");
}

TEST_F(PosixPlatformTest, CensusCallsOverProc) {
  PosixProcesses processes(0, nullptr);
  std::vector<std::uint32_t> pids(65536, 0);
  std::uint32_t bytes = 0;
  ASSERT_TRUE(processes.EnumProcesses(pids.data(), pids.size() * 4, &bytes));
  pids.resize(bytes / 4);
  const auto self = static_cast<std::uint32_t>(getpid());
  EXPECT_EQ(std::count(pids.begin(), pids.end(), self), 1);
  EXPECT_EQ(std::count(pids.begin(), pids.end(), 0u), 0);
  ASSERT_TRUE(processes.EnumProcesses(pids.data(), 4, &bytes));
  EXPECT_EQ(bytes, 4u);  // a full buffer

  const ProcessHandle first = processes.OpenProcess(0x410, false, self);
  const ProcessHandle second = processes.OpenProcess(0x410, false, self);
  EXPECT_TRUE(first != 0 && second != 0 && first != second);
  ModuleHandle module = 0;  // room for one, the executable
  std::uint32_t needed = 0;
  ASSERT_TRUE(processes.EnumProcessModules(first, &module, sizeof module, &needed));
  const std::string exe = fs::read_symlink("/proc/self/exe").string();
  char name[300] = "x";
  EXPECT_EQ(processes.GetModuleFileNameEx(first, module, name, 1), 0u);  // cut to fit
  EXPECT_EQ(name[0], '\0');
  EXPECT_EQ(processes.GetModuleFileNameEx(first, module, name, 8), 7u);
  EXPECT_EQ(std::string(name), exe.substr(0, 7));
  processes.CloseHandle(first);
  EXPECT_FALSE(processes.EnumProcessModules(first, &module, sizeof module, &needed));
  EXPECT_EQ(processes.GetModuleFileNameEx(first, module, name, sizeof name), 0u);
  EXPECT_EQ(processes.GetModuleFileNameEx(second, module, name, sizeof name), exe.size());
  EXPECT_EQ(std::string(name), exe);
  processes.CloseHandle(second);
  EXPECT_EQ(processes.OpenProcess(0x410, false, 0x7fffffff), 0u);
}

}  // namespace
}  // namespace engine
