// The POSIX platform layer on its own, and the native executable run as a host
// runs it, each in a temporary folder.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "EngineError.h"
#include "EngineVersion.h"
#include "Fakes.h"
#include "platform/posix/PosixPlatform.h"

extern char** environ;

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
  void Write(const std::string& name, const std::string& content, mode_t mode = 0644) {
    std::ofstream(dir / name, std::ios::binary) << content;
    chmod((dir / name).c_str(), mode);
  }
  // Through the layer, in pieces.
  std::string ReadAll(const std::string& path) {
    return testing::ReadAll(*fileSystem.OpenForReading(path));
  }

  fs::path dir;
  std::size_t descriptors = 0;
  PosixFileSystem fileSystem;
};

TEST_F(PosixPlatformTest, RefusalsSayWhyInTheCallPathReasonShape) {
  Write("ro", "kept", 0444);  // refused as it would be on Windows, even to root
  fs::create_directory(dir / "sub");
  const std::string missing = ": No such file or directory", denied = ": Permission denied";
  const std::pair<std::function<void()>, std::string> rows[] = {
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
      {[&] { fileSystem.WriteNewFile(Win("sub"), "x"); },
       "open(" + Win("sub") + "): Is a directory"},
      {[&] { fileSystem.WriteNewFile("\\dev\\full", "x"); },
       "write(\\dev\\full): No space left on device"},
  };
  for (const auto& [action, description] : rows) EXPECT_EQ(testing::FailureOf(action), description);
}

TEST_F(PosixPlatformTest, FilesOnDescriptorZeroAreClosedToo) {
  // Started without standard input, files get descriptor 0.
  const int input = dup(0);
  close(0);
  fileSystem.WriteNewFile(Win("f"), "x");
  EXPECT_EQ(ReadAll(Win("f")), "x");
  EXPECT_EQ(fcntl(0, F_GETFD), -1);
  dup2(input, 0);
  close(input);
}

// One path writes for both kinds of write: the append shows every file's permissions.
TEST_F(PosixPlatformTest, AppendCreatesThenAppendsAndDeleteRemoves) {
  fileSystem.AppendToFile(Win("log"), "a\r\n", true);
  fileSystem.AppendToFile(Win("log"), "b\r\n", false);
  EXPECT_EQ(ReadAll(Win("log")), "a\r\nb\r\n");
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status(dir / "log").permissions(), fs::perms(0666 & ~mask));
  fileSystem.DeleteFile(Win("log"));
  EXPECT_FALSE(fs::exists(dir / "log"));
}

TEST_F(PosixPlatformTest, CensusCallsOverProc) {
  PosixProcesses processes(0, nullptr);
  std::uint32_t pid = 0, bytes = 0;
  ASSERT_TRUE(processes.EnumProcesses(&pid, 4, &bytes));
  EXPECT_EQ(bytes, 4u);  // a full buffer
  EXPECT_NE(pid, 0u);    // from the numbered entries of /proc only, which come after "."
  const ProcessHandle first = processes.OpenProcess(0x410, false, getpid());
  const ProcessHandle second = processes.OpenProcess(0x410, false, getpid());
  EXPECT_NE(second, first);
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
  EXPECT_EQ(processes.OpenProcess(0x410, false, 0x7fffffff), 0u);
}

// The native executable as a host starts it: arguments, standard output and error byte for
// byte, the census finding the running application.
TEST_F(PosixPlatformTest, EngineRuns) {
  // Any program will do as the running application, under its name; glibc's
  // posix_spawn returns once the child runs it, so the census finds the copy.
  fs::copy_file("/bin/sleep", dir / "Photoshop.exe");
  const std::string d = dir.string(), exe = d + "/Photoshop.exe", stale(5000, 'x');
  char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>("30"), nullptr};
  pid_t app = 0;
  ASSERT_EQ(posix_spawn(&app, exe.c_str(), nullptr, nullptr, argv, environ), 0);
  const std::string runs[][5] = {
      // arguments, "my req.dat" after its section; standard output, standard error, res.hda after
      {"-version", "", std::string(kVersionText) + "\n", "", stale},
      {"", "", "", "Conversion Engine: Fatal Error; No data passed to the conversion engine\n",
       stale},
      {d + "/my req.dat", "outputhdaFile=" + d + "/res.hda\nscript=x\n@end\n",  // two arguments
       "Loading hda\n@Properties LocalData\nBefore=\nAfter=" + std::to_string(app) +
           "\n@end\nerror returned by script: CreateObject(photoshop.application): component "
           "automation is not available on this platform\n",
       "", "<none>"},
      {"'" + d + "/my req.dat'",
       "outputhdaFile=" + d + "/res.hda\n" + std::string(40000, 'k') + "=",
       "Loading hda\n!nxWritingNativeResults\n", "", testing::kUnparsableResultFile}};
  for (const auto& [arguments, request, out, err, result] : runs) {
    SCOPED_TRACE("arguments: " + arguments);
    Write("my req.dat", "@Properties LocalData\n" + request);
    Write("res.hda", stale);
    const std::string command = "cd " + d + " && " ENGINE_EXE " " + arguments + " >out 2>err";
    EXPECT_EQ(std::system(command.c_str()), 0);  // exited normally, with 0
    EXPECT_EQ(ReadAll(d + "/out"), out);
    EXPECT_EQ(ReadAll(d + "/err"), err);
    const bool written = fs::exists(dir / "res.hda");
    EXPECT_EQ(written ? ReadAll(d + "/res.hda") : "<none>", result);
    // The request, the application, the outputs and the result: nothing else written.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4 + written);
  }
  kill(app, SIGKILL);
  waitpid(app, nullptr, 0);
}

}  // namespace
}  // namespace engine
