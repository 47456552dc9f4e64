// The native engine run as a host runs it: one argument, the request path,
// standard output captured byte for byte.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spit(const fs::path& p, const std::string& content) {
  std::ofstream(p, std::ios::binary) << content;
}

class EngineRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/engine-run-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the engine in |dir| with the given arguments; with |captureStdout|
  // false its standard output is closed.
  Outcome Start(const std::vector<std::string>& args, bool captureStdout = true) {
    const fs::path out = dir / ".stdout", err = dir / ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captureStdout) {
      posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    } else {
      posix_spawn_file_actions_addclose(&actions, 1);
    }
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<char*> argv{const_cast<char*>(ENGINE_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    Outcome run;
    if (posix_spawn(&pid, ENGINE_EXE, &actions, nullptr, argv.data(), environ) != 0) return run;
    posix_spawn_file_actions_destroy(&actions);
    waitpid(pid, &run.status, 0);
    if (captureStdout) run.out = Slurp(out);
    run.err = Slurp(err);
    fs::remove(out);
    fs::remove(err);
    return run;
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir;
};

const std::string kNoApplication =
    "error returned by script: CreateObject(photoshop.application): component automation is not "
    "available on this platform\n";
const std::string kEmptyReport = "@Properties LocalData\nBefore=\nAfter=\n@end\n";

TEST_F(EngineRunTest, VersionQueryPrintsOnlyTheVersion) {
  for (const char* text : {"version", "-version", "/version", "/nope/version2/x.dat"}) {
    const Outcome run = Start({text});
    EXPECT_EQ(run.out, "8.0.0.1\n") << text;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
  }
  EXPECT_TRUE(Files().empty());
}

TEST_F(EngineRunTest, NothingThereShowsTheFatalMessage) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"-Version"}, {"VERSION"}, {"/nope/req.dat"}}) {
    const Outcome run = Start(args);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Conversion Engine: Fatal Error; No data passed to the conversion engine\n");
  }
  EXPECT_TRUE(Files().empty());
}

TEST_F(EngineRunTest, UnparsableRequestWritesTheResultFile) {
  Spit(dir / "req.dat", "no section here\noutputhdaFile=" + (dir / "res.hda").string() + "\n");
  Spit(dir / "req2.dat", "@Properties LocalData\noutputhdaFile=" + (dir / "res.hda").string() +
                             "\n" + std::string(40000, 'k') + "=v\n");
  Spit(dir / "res.hda", std::string(5000, 'x'));  // replaced whole, not appended to
  const Outcome run = Start({(dir / "req2.dat").string()});
  EXPECT_EQ(run.out, "Loading hda\n!nxWritingNativeResults\n");
  EXPECT_EQ(Slurp(dir / "res.hda"),
            "@Properties LocalData\r\nStatusMsg=finished\r\nOutExtension=\r\n"
            "OutFormat=application/x-unknown\r\nResultFilePath=<Not Converted>\r\n"
            "LastErrorDescription=Conversion engine unable to parse input data\r\n"
            "ErrorStatusCode=-3\r\nAdditionalData=\r\n@end\r\n");
}

TEST_F(EngineRunTest, UnparsableRequestWithoutResultPathGoesOn) {
  Spit(dir / "req.dat", "no section here\n");
  const Outcome run = Start({(dir / "req.dat").string()});
  EXPECT_EQ(run.out, "Loading hda\n!nxWritingNativeResults\n" + kEmptyReport + kNoApplication);
  EXPECT_EQ(Files(), std::vector<std::string>{"req.dat"});
}

TEST_F(EngineRunTest, ResultFolderMissingOrFileReadOnlyLeavesNothingHalfWritten) {
  Spit(dir / "req.dat", "x\n@Properties LocalData\noutputhdaFile=" + (dir / "no" / "r.hda").string() +
                            "\n" + std::string(40000, 'k') + "=v\n");
  Outcome run = Start({(dir / "req.dat").string()});
  EXPECT_EQ(run.out, "Loading hda\n!nxWritingNativeResults\n" + kEmptyReport + kNoApplication);
  EXPECT_FALSE(fs::exists(dir / "no"));

  Spit(dir / "ro.hda", "keep");
  chmod((dir / "ro.hda").c_str(), 0444);
  Spit(dir / "req.dat", "@Properties LocalData\noutputhdaFile=" + (dir / "ro.hda").string() + "\n" +
                            std::string(40000, 'k') + "=v\n");
  run = Start({(dir / "req.dat").string()});
  EXPECT_EQ(run.out, "Loading hda\n!nxWritingNativeResults\n" + kEmptyReport + kNoApplication);
  EXPECT_EQ(Slurp(dir / "ro.hda"), "keep");
}

TEST_F(EngineRunTest, ReadyRequestDeletesTheStaleResult) {
  Spit(dir / "my req.dat", "@Properties LocalData\noutputhdaFile=" + (dir / "res.hda").string() +
                               "\nscript=x.jsx\n@end\n");
  Spit(dir / "res.hda", "stale");
  // A host passes the path unquoted as the whole command text, blanks and all.
  const Outcome run = Start({(dir / "my").string(), "req.dat"});
  EXPECT_EQ(run.out, "Loading hda\n" + kEmptyReport + kNoApplication);
  EXPECT_EQ(Files(), std::vector<std::string>{"my req.dat"});
}

TEST_F(EngineRunTest, ClosedStandardOutputIsNoFailure) {
  Spit(dir / "req.dat", "@Properties LocalData\noutputhdaFile=" + (dir / "res.hda").string() + "\n");
  Spit(dir / "res.hda", "stale");
  const Outcome run = Start({(dir / "req.dat").string()}, /*captureStdout=*/false);
  EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
  EXPECT_FALSE(fs::exists(dir / "res.hda"));
}

TEST_F(EngineRunTest, CensusListsTheRunningApplicationOnly) {
  // Any program will do, under the application's name.
  fs::copy_file("/bin/sleep", dir / "Photoshop.exe");
  pid_t app = 0;
  const std::string exe = (dir / "Photoshop.exe").string();
  char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>("30"), nullptr};
  ASSERT_EQ(posix_spawn(&app, exe.c_str(), nullptr, nullptr, argv, environ), 0);
  // Wait until the new process runs the copy rather than our own image.
  const fs::path link = "/proc/" + std::to_string(app) + "/exe";
  for (int i = 0; i < 200 && fs::read_symlink(link) != exe; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  const std::string block = "@Properties LocalData\nBefore=\nAfter=" + std::to_string(app) + "\n@end\n";
  Spit(dir / "req.dat", "@Properties LocalData\noutputhdaFile=" + (dir / "res.hda").string() + "\n");
  EXPECT_EQ(Start({(dir / "req.dat").string()}).out, "Loading hda\n" + block + kNoApplication);
  // Also when start-up is abandoned for want of a result path.
  Spit(dir / "req.dat", "@Properties LocalData\nscript=x\n");
  EXPECT_EQ(Start({(dir / "req.dat").string()}).out, "Loading hda\n" + block + kNoApplication);

  kill(app, SIGKILL);
  waitpid(app, nullptr, 0);
}

}  // namespace
