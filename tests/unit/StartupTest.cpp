#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "EngineError.h"
#include "Fakes.h"
#include "PhotoShopMain.h"

namespace engine::testing {
namespace {

const std::string kFatalText = "Fatal Error; No data passed to the conversion engine";

TEST(GetPathKindTest, Table) {
  FakeEngine f;
  f.fs.AddDirectory("dir");
  f.fs.AddFile("ro", "", 1);
  f.fs.AddFile("rw", "", 32);
  f.fs.AddFile("ro-dir", "", 17);
  // High flags (integrity stream, pinned, online-only placeholder) don't change the kind.
  f.fs.AddFile("integrity-ro", "", 0x8000 | 1);
  f.fs.AddFile("pinned", "", 0x80000 | 32);
  f.fs.AddFile("placeholder-dir", "", 0x400000 | 16);
  f.fs.AddFile("edge", "", 32767 & ~16u);
  struct Case {
    const char* path;
    int kind;
  } cases[] = {{"dir", 1},          {"ro", 2},          {"rw", 3},
               {"ro-dir", 1},       {"integrity-ro", 2}, {"pinned", 3},
               {"placeholder-dir", 1}, {"edge", 2},     {"missing", 0}, {"", 0}};
  for (const Case& c : cases) EXPECT_EQ(GetPathKind(f.engine, c.path), c.kind) << c.path;
}

TEST(DeleteFileQuietlyTest, SwallowsEveryFailure) {
  FakeEngine f;
  f.fs.AddFile("ro", "x", 1);
  f.fs.AddFile("rw", "x");
  f.fs.AddDirectory("dir");
  for (const char* p : {"ro", "dir", "missing", "", "rw"}) EXPECT_NO_THROW(DeleteFileQuietly(f.engine, p));
  EXPECT_TRUE(f.fs.Exists("ro"));
  EXPECT_FALSE(f.fs.Exists("rw"));
  EXPECT_EQ(f.console.output, "");
}

class StartupTest : public ::testing::Test {
 protected:
  // Runs start-up; returns whether it ended the process.
  bool Start(const std::string& commandText) {
    f.processes.commandText = commandText;
    try {
      PrepareEngine(f.engine);
    } catch (const ProcessEnd&) {
      return true;
    } catch (const std::exception& e) {
      abandonedWith = DescriptionOf(e);
    }
    return false;
  }
  FakeEngine f;
  std::string abandonedWith;
};

TEST_F(StartupTest, VersionQueryPrintsTheVersionAndNothingElse) {
  for (const char* text : {"version", "-version", "/version", "C:\\nope\\version2\\x.dat"}) {
    FakeEngine fresh;
    fresh.processes.commandText = text;
    EXPECT_THROW(PrepareEngine(fresh.engine), ProcessEnd);
    EXPECT_EQ(fresh.console.output, "8.0.0.1\n") << text;
    EXPECT_TRUE(fresh.box.shown.empty());
    EXPECT_TRUE(fresh.fs.appends.empty());
  }
}

TEST_F(StartupTest, NothingThereShowsTheFatalBox) {
  for (const char* text : {"", "-Version", "VERSION", "C:\\missing.dat", "\"C:\\req.dat\""}) {
    FakeEngine fresh;
    fresh.fs.AddFile("C:\\req.dat", "");
    fresh.processes.commandText = text;
    EXPECT_THROW(PrepareEngine(fresh.engine), ProcessEnd);
    ASSERT_EQ(fresh.box.shown.size(), 1u) << text;
    EXPECT_EQ(fresh.box.shown[0].first, kApplicationTitle);
    EXPECT_EQ(fresh.box.shown[0].second, kFatalText);
    EXPECT_EQ(fresh.console.output, "");
  }
}

TEST_F(StartupTest, AnExistingFileCalledVersionIsARequest) {
  f.fs.AddFile("version", "@Properties LocalData\noutputhdaFile=out\n");
  EXPECT_FALSE(Start("version"));
  EXPECT_EQ(f.console.output, "Loading hda\n");
  EXPECT_EQ(f.state.g_processImageName, "Photoshop.exe");
}

TEST_F(StartupTest, ReadyRequestDeletesTheStaleResultAndSetsTheState) {
  f.fs.AddFile("C:\\req.dat", "@Properties LocalData\nOUTPUTHDAFILE=C:\\res.hda\n"
                              "parameters=-script \"p.jsx\"\nscript=t.jsx\n@end\n",
               0x80000 | 1);  // read-only, and pinned in a synced folder
  f.fs.AddFile("C:\\res.hda", "stale");
  EXPECT_FALSE(Start("C:\\req.dat"));
  EXPECT_EQ(abandonedWith, "");
  EXPECT_EQ(f.console.output, "Loading hda\n");
  EXPECT_FALSE(f.fs.Exists("C:\\res.hda"));
  EXPECT_EQ(f.state.g_parameterString, "-script \"p.jsx\"");
  EXPECT_EQ(f.state.g_processImageName, "Photoshop.exe");
  EXPECT_EQ(f.state.g_returnCode, 1);
}

TEST_F(StartupTest, MissingOrUndeletableResultFileIsNoFailure) {
  f.fs.AddFile("C:\\req.dat", "@Properties LocalData\noutputhdaFile=C:\\res.hda\n");
  EXPECT_FALSE(Start("C:\\req.dat"));
  EXPECT_EQ(abandonedWith, "");
  f.fs.AddFile("C:\\res.hda", "stale", 1);
  FakeEngine again;
  again.fs = f.fs;
  again.processes.commandText = "C:\\req.dat";
  EXPECT_NO_THROW(PrepareEngine(again.engine));
  EXPECT_TRUE(again.fs.Exists("C:\\res.hda"));
}

TEST_F(StartupTest, RequestWithoutResultPathAbandonsStartUp) {
  f.fs.AddFile("C:\\req.dat", "");  // loads, but holds nothing
  EXPECT_FALSE(Start("C:\\req.dat"));
  EXPECT_NE(abandonedWith, "");
  EXPECT_EQ(f.state.g_parameterString, "");
  EXPECT_EQ(f.state.g_processImageName, "");
  EXPECT_TRUE(f.fs.deleted.empty());
}

TEST_F(StartupTest, UnparsableRequestWritesTheResultFileAndEnds) {
  f.fs.AddFile("C:\\req.dat", "@Properties LocalData\noutputhdaFile=C:\\res.hda\n" +
                                  std::string(40000, 'k') + "=v\n");
  f.fs.AddFile("C:\\res.hda", "stale");
  EXPECT_TRUE(Start("C:\\req.dat"));
  EXPECT_EQ(f.console.output, "Loading hda\n!nxWritingNativeResults\n");
  EXPECT_EQ(f.state.g_returnCode, -3);
  EXPECT_NE(f.fs.Content("C:\\res.hda").find("\r\nErrorStatusCode=-3\r\n"), std::string::npos);
}

TEST_F(StartupTest, UnparsableRequestWithoutResultPathGoesOn) {
  f.fs.AddDirectory("C:\\jobs");
  EXPECT_FALSE(Start("C:\\jobs"));  // a directory passes the path test, then fails to load
  EXPECT_EQ(f.console.output, "Loading hda\n!nxWritingNativeResults\n");
  EXPECT_EQ(f.state.g_returnCode, -3);
  EXPECT_EQ(f.state.g_lastErrorDescription, "Conversion engine unable to parse input data");
  EXPECT_EQ(f.state.g_processImageName, "");
}

TEST_F(StartupTest, CommandTextReachesThePathTestUnchanged) {
  const std::string odd = "C:\\my jobs\\r\xe9q.dat  ";
  f.fs.AddFile(odd, "@Properties LocalData\noutputhdaFile=x\n");
  EXPECT_FALSE(Start(odd));
  EXPECT_EQ(f.fs.opened.at(0), odd);
}

}  // namespace
}  // namespace engine::testing
