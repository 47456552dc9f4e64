// The native executable run as a host runs it, in a folder of its own:
// command line, real files, standard output captured byte for byte.

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class EngineRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/engine-run-XXXXXX";
    dir = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the engine in |dir| with |args| as the shell splits them; expects a
  // normal end with 0 and returns standard output and standard error.
  std::pair<std::string, std::string> Run(const std::string& args) {
    const fs::path out = dir.string() + ".out", err = dir.string() + ".err";
    const int status = std::system(("cd " + dir.string() + " && " ENGINE_EXE " " + args + " >" +
                                    out.string() + " 2>" + err.string()).c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << args;
    std::pair<std::string, std::string> result{Slurp(out), Slurp(err)};
    fs::remove(out);
    fs::remove(err);
    return result;
  }
  void Write(const std::string& name, const std::string& content, mode_t mode = 0644) {
    std::ofstream(dir / name, std::ios::binary) << content;
    chmod((dir / name).c_str(), mode);
  }

  fs::path dir;
};

const std::string kNoApplication =
    "error returned by script: CreateObject(photoshop.application): component automation is not "
    "available on this platform\n";
const std::string kEmptyReport = "@Properties LocalData\nBefore=\nAfter=\n@end\n";

TEST_F(EngineRunTest, Jobs) {
  const std::string unparsable = std::string(40000, 'k') + "=v\n";
  const std::string stale(5000, 'x');
  const std::string written =
      "@Properties LocalData\r\nStatusMsg=finished\r\nOutExtension=\r\n"
      "OutFormat=application/x-unknown\r\nResultFilePath=<Not Converted>\r\n"
      "LastErrorDescription=Conversion engine unable to parse input data\r\n"
      "ErrorStatusCode=-3\r\nAdditionalData=\r\n@end\r\n";
  struct Job {
    std::string args;      // "$" stands for the folder
    std::string request;   // "my req.dat", naming $/res.hda as its result file
    mode_t resultMode;     // of a stale $/res.hda; 0: there is none
    std::string out, err;
    std::string resultAfter;  // "<none>": no such file
  } jobs[] = {
      {"-version", "", 0, "8.0.0.1\n", "", "<none>"},
      {"", "", 0, "", "Conversion Engine: Fatal Error; No data passed to the conversion engine\n",
       "<none>"},
      // A host passes the path unquoted, blanks and all.
      {"$/my req.dat", "script=x.jsx\n@end\n", 0644, "Loading hda\n" + kEmptyReport + kNoApplication,
       "", "<none>"},
      {"'$/my req.dat'", unparsable, 0644, "Loading hda\n!nxWritingNativeResults\n", "", written},
      // Refused as it would be on Windows, even to root; the run goes on.
      {"'$/my req.dat'", unparsable, 0444,
       "Loading hda\n!nxWritingNativeResults\n" + kEmptyReport + kNoApplication, "", stale},
  };
  for (Job& job : jobs) {
    Write("my req.dat", "@Properties LocalData\noutputhdaFile=" + dir.string() + "/res.hda\n" + job.request);
    if (job.resultMode != 0) Write("res.hda", stale, job.resultMode);
    for (std::size_t at; (at = job.args.find('$')) != std::string::npos;) job.args.replace(at, 1, dir.string());
    EXPECT_EQ(Run(job.args), std::make_pair(job.out, job.err)) << job.args;
    EXPECT_EQ(fs::exists(dir / "res.hda") ? Slurp(dir / "res.hda") : "<none>", job.resultAfter);
    fs::remove(dir / "res.hda");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // nothing else written
  }
}

TEST_F(EngineRunTest, CensusListsTheRunningApplicationOnly) {
  // Any program will do, under the application's name.
  fs::copy_file("/bin/sleep", dir / "Photoshop.exe");
  const std::string exe = (dir / "Photoshop.exe").string();
  char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>("30"), nullptr};
  pid_t app = 0;
  ASSERT_EQ(posix_spawn(&app, exe.c_str(), nullptr, nullptr, argv, environ), 0);
  // Wait until the new process runs the copy rather than our own image.
  const fs::path link = "/proc/" + std::to_string(app) + "/exe";
  for (int i = 0; i < 200 && fs::read_symlink(link) != exe; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string block = "@Properties LocalData\nBefore=\nAfter=" + std::to_string(app) + "\n@end\n";
  // Also when start-up is abandoned for want of a result path.
  for (const char* request : {"outputhdaFile=res.hda\n", "script=x\n"}) {
    Write("req.dat", "@Properties LocalData\n" + std::string(request));
    EXPECT_EQ(Run(dir.string() + "/req.dat").first, "Loading hda\n" + block + kNoApplication);
  }
  kill(app, SIGKILL);
  waitpid(app, nullptr, 0);
}

}  // namespace
