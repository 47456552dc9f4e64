// The POSIX platform layer on its own, in a temporary folder.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "EngineError.h"
#include "platform/posix/PosixAutomation.h"
#include "platform/posix/PosixPlatform.h"

namespace engine {
namespace {

namespace fs = std::filesystem;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/engine-posix-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override {
    chmod(dir.c_str(), 0700);
    fs::remove_all(dir);
  }
  // The path as the engine gives it: backslashes throughout.
  std::string Win(const std::string& name) const {
    std::string p = (dir / name).string();
    for (char& c : p) c = c == '/' ? '\\' : c;
    return p;
  }
  void Make(const std::string& name, const std::string& content, mode_t mode = 0644) {
    std::ofstream(dir / name, std::ios::binary) << content;
    chmod((dir / name).c_str(), mode);
  }
  std::string Content(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string ReadAll(const std::string& path) {
    auto file = fileSystem.OpenForReading(path);
    std::string text;
    char buffer[3];
    for (std::size_t n; (n = file->Read(buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
  }

  fs::path dir;
  PosixFileSystem fileSystem;
};

TEST_F(PosixFileSystemTest, AttributesOfFoldersReadOnlyAndPlainFiles) {
  Make("ro", "", 0444);
  Make("rw", "");
  EXPECT_EQ(fileSystem.GetAttributes(Win("")), 16u);
  EXPECT_EQ(fileSystem.GetAttributes(Win("ro")), 1u);
  EXPECT_EQ(fileSystem.GetAttributes(Win("rw")) & 17u, 0u);
  EXPECT_THROW(fileSystem.GetAttributes(Win("missing")), EngineError);
  EXPECT_THROW(fileSystem.GetAttributes(""), EngineError);
}

TEST_F(PosixFileSystemTest, DeleteRefusesWhatWindowsRefuses) {
  Make("ro", "x", 0444);
  Make("rw", "x");
  fs::create_directory(dir / "sub");
  for (const char* name : {"ro", "sub", "missing"}) {
    EXPECT_THROW(fileSystem.DeleteFile(Win(name)), EngineError) << name;
  }
  fileSystem.DeleteFile(Win("rw"));
  EXPECT_FALSE(fs::exists(dir / "rw"));
  EXPECT_TRUE(fs::exists(dir / "ro"));
}

TEST_F(PosixFileSystemTest, ReadWriteAndAppend) {
  fileSystem.WriteNewFile(Win("f"), "first version, longer");
  fileSystem.WriteNewFile(Win("f"), "second");
  EXPECT_EQ(ReadAll(Win("f")), "second");
  fileSystem.AppendToFile(Win("log"), "a\r\n", true);
  fileSystem.AppendToFile(Win("log"), "b\r\n", false);
  EXPECT_EQ(Content("log"), "a\r\nb\r\n");
  EXPECT_THROW(fileSystem.OpenForReading(Win("missing")), EngineError);
  EXPECT_THROW(ReadAll(Win("")), EngineError);  // a folder opens but can't be read
}

TEST_F(PosixFileSystemTest, ReadOnlyFilesAndMissingFoldersAreNotWritten) {
  Make("ro", "kept", 0444);
  EXPECT_THROW(fileSystem.WriteNewFile(Win("ro"), "x"), EngineError);
  EXPECT_THROW(fileSystem.AppendToFile(Win("ro"), "x", true), EngineError);
  EXPECT_EQ(Content("ro"), "kept");
  EXPECT_THROW(fileSystem.WriteNewFile(Win("no\\such\\f"), "x"), EngineError);
  EXPECT_THROW(fileSystem.WriteNewFile("", "x"), EngineError);
}

TEST_F(PosixFileSystemTest, FailuresNameTheCallAndThePath) {
  try {
    fileSystem.OpenForReading(Win("missing"));
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()), "open(" + Win("missing") + "): No such file or directory");
  }
}

TEST_F(PosixFileSystemTest, TimestampIsDateBlankTime) {
  const std::string stamp = fileSystem.LocalTimestamp();
  EXPECT_NE(stamp.find(' '), std::string::npos) << stamp;
  EXPECT_GE(stamp.size(), 10u);
}

TEST(PosixProcessesTest, CommandTextJoinsTheArguments) {
  char program[] = "engine", a[] = "C:\\my", b[] = "req.dat", c[] = "";
  char* argv[] = {program, a, b, c};
  EXPECT_EQ(PosixProcesses::JoinArguments(4, argv), "C:\\my req.dat ");
  EXPECT_EQ(PosixProcesses::JoinArguments(1, argv), "");
}

TEST(PosixProcessesTest, CensusCallsFindThisProcess) {
  PosixProcesses processes(0, nullptr);
  std::vector<std::uint32_t> pids(65536);
  std::uint32_t bytes = 0;
  ASSERT_TRUE(processes.EnumProcesses(pids.data(), pids.size() * 4, &bytes));
  pids.resize(bytes / 4);
  const auto self = static_cast<std::uint32_t>(getpid());
  EXPECT_NE(std::find(pids.begin(), pids.end(), self), pids.end());

  const ProcessHandle h = processes.OpenProcess(0x410, false, self);
  ASSERT_NE(h, 0u);
  ModuleHandle modules[50];
  std::uint32_t needed = 0;
  ASSERT_TRUE(processes.EnumProcessModules(h, modules, sizeof modules, &needed));
  char name[8];
  EXPECT_EQ(processes.GetModuleFileNameEx(h, modules[0], name, sizeof name), 7u);  // cut to fit
  EXPECT_EQ(std::string(name), fs::read_symlink("/proc/self/exe").string().substr(0, 7));
  processes.CloseHandle(h);
  EXPECT_FALSE(processes.EnumProcessModules(h, modules, sizeof modules, &needed));
  EXPECT_EQ(processes.OpenProcess(0x410, false, 0x7fffffff), 0u);
}

TEST(PosixAutomationTest, CreationFailsWithADescription) {
  PosixAutomation automation;
  try {
    automation.CreateObject("photoshop.application");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(std::string(e.what()),
              "CreateObject(photoshop.application): component automation is not available on "
              "this platform");
  }
}

}  // namespace
}  // namespace engine
