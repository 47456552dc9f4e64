#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "EngineError.h"
#include "Fakes.h"
#include "PhotoShopMain.h"

namespace engine::testing {
namespace {

// Runs start-up over |f| and tells how it ended: "ended" (the process ends),
// "abandoned" (a failure passed on to Main) or "ready".
std::string Start(FakeEngine& f, const std::string& commandText) {
  // Left over as if from before: start-up creates the state afresh.
  f.state.g_pidsBefore = f.state.g_pidsAfter = {9};
  f.state.g_requestParameters.Add("outputhdaFile", "C:\\earlier.hda");
  f.processes.commandText = commandText;
  try {
    PrepareEngine(f.engine);
  } catch (const ProcessEnd&) {
    return "ended";
  } catch (const std::exception&) {
    return "abandoned";
  }
  EXPECT_TRUE(f.state.g_pidsBefore.empty() && f.state.g_pidsAfter.empty());
  return "ready";
}

TEST(StartupTest, NothingAtThePathAnswersTheVersionQueryOrShowsTheFatalBox) {
  using Shown = std::vector<std::pair<std::string, std::string>>;
  const Shown box = {{kApplicationTitle, "Fatal Error; No data passed to the conversion engine"}};
  const std::pair<const char*, bool> cases[] = {  // the command text, a version query
      {"version", true},   {"-version", true}, {"/version", true},  {"\"version\"", true},
      {"aversionb", true}, {"version  ", true}, {"C:\\nope\\version2\\x.dat", true},
      {"-Version", false}, {"VERSION", false}, {"", false},          {"   ", false},
      {"C:\\missing.dat", false}, {"\"C:\\req.dat\"", false},  // quotes are part of the path
  };
  for (const auto& [text, version] : cases) {
    FakeEngine f;
    f.fs.AddFile("C:\\req.dat", kRequestStart + "outputhdaFile=C:\\res.hda\n");
    f.fs.AddFile("C:\\res.hda", "stale");
    EXPECT_EQ(Start(f, text), "ended") << text;
    EXPECT_EQ(f.console.output, version ? "8.0.0.1\n" : "") << text;
    EXPECT_EQ(f.box.shown, version ? Shown{} : box) << text;
    EXPECT_EQ(f.fs.files.size(), 2u);
    EXPECT_EQ(f.fs.Content("C:\\res.hda"), "stale");
  }
}

TEST(StartupTest, WhereNobodySeesTheBoxItsTextGoesToTheConsole) {
  FakeEngine f;
  f.box.visible = false;
  f.engine.characters = DoubleByte932();
  // 0x83 0x76: its second byte is the "v" of "version".
  EXPECT_EQ(Start(f, "C:\\\x83version.dat"), "ended");
  EXPECT_TRUE(f.box.shown.empty());
  EXPECT_EQ(f.console.output, "Fatal Error; No data passed to the conversion engine\n");
}

TEST(StartupTest, PathKindLooksAtTheDirectoryAndReadOnlyFlagsOnly) {
  FakeEngine f;
  // High flags (integrity stream, pinned, online-only placeholder) don't change the kind.
  const std::pair<std::uint32_t, int> cases[] = {
      {16, 1},          {1, 2},           {32, 3},           {17, 1},          {0, 3},
      {0x8000 | 1, 2},  {0x80000 | 32, 3}, {0x400000 | 16, 1}, {32767 & ~16u, 2}};
  for (const auto& [attributes, kind] : cases) {
    f.fs.AddFile("p", "", attributes);
    EXPECT_EQ(GetPathKind(f.engine, "p"), kind) << attributes;
  }
  EXPECT_EQ(GetPathKind(f.engine, "missing"), 0);
}

TEST(StartupTest, LoadedRequestDeletesTheStaleResultAndSetsTheState) {
  struct Case {
    const char* path;  // the command text, naming the request
    const char* entries;
    std::uint32_t resultAttributes;  // of the stale C:\res.hda; 0: there is none
    const char* outcome;
    const char* parameterString;
    bool resultLeft;
  } cases[] = {
      {"C:\\req.dat", "OUTPUTHDAFILE=C:\\res.hda\nparameters=-script \"p.jsx\"\n", 128, "ready",
       "-script \"p.jsx\"", false},
      {"version", "outputhdaFile=C:\\res.hda\n", 128, "ready", "", false},  // a file called version
      {"C:\\my jobs\\r\xe9q.dat  ", "outputhdaFile=C:\\res.hda\n", 128, "ready", "", false},
      {"C:\\req.dat", "outputhdaFile=C:\\res.hda\n", 0, "ready", "", false},
      {"C:\\req.dat", "outputhdaFile=C:\\res.hda\n", 1, "ready", "", true},   // read-only
      {"C:\\req.dat", "outputhdaFile=C:\\res.hda\n", 16, "ready", "", true},  // a folder
      {"C:\\req.dat", "script=x.jsx\nparameters=-a 1\n", 128, "abandoned", "", true},
  };
  for (const Case& c : cases) {
    FakeEngine f;
    // A read-only request, pinned in a synced folder.
    f.fs.AddFile(c.path, kRequestStart + c.entries, 0x80000 | 1);
    if (c.resultAttributes != 0) f.fs.AddFile("C:\\res.hda", "stale", c.resultAttributes);
    EXPECT_EQ(Start(f, c.path), c.outcome) << c.path << c.entries;
    EXPECT_EQ(f.fs.opened, std::vector<std::string>{c.path});  // the command text unchanged
    EXPECT_EQ(f.fs.Exists("C:\\res.hda"), c.resultLeft) << c.entries;
    EXPECT_EQ(f.console.output, "Loading hda\n");
    EXPECT_EQ(f.state.g_parameterString, c.parameterString);
    EXPECT_EQ(f.state.g_processImageName, c.outcome == std::string("ready") ? "Photoshop.exe" : "");
    EXPECT_EQ(f.state.g_returnCode, 1);
  }
}

TEST(StartupTest, UnparsableRequestGetsTheResultFileWithStatusMinusThree) {
  const std::string unparsable =
      kRequestStart + "outputhdaFile=C:\\res.hda\n" + std::string(40000, 'k') + "=v\n";
  struct Case {
    const char* path;
    std::string request;  // empty: the path names a folder
    std::string before;   // C:\res.hda's content; empty: its folder is missing
    std::uint32_t attributes;
    const char* outcome;
    std::string after;
  } cases[] = {
      {"C:\\req.dat", unparsable, std::string(5000, 'x'), 128, "ended", kUnparsableResultFile},  // replaced whole
      {"C:\\req.dat", unparsable, "old", 1, "abandoned", "old"},
      {"C:\\req.dat", unparsable, "old", 16, "abandoned", "old"},  // a folder in its place
      {"C:\\req.dat", unparsable, "", 0, "abandoned", "<none>"},
      {"C:\\req.dat", "no section\noutputhdaFile=C:\\res.hda\n", "old", 128, "abandoned", "old"},
      {"C:\\jobs", "", "old", 128, "abandoned", "old"},  // a folder passes the path test
  };
  for (const Case& c : cases) {
    FakeEngine f;
    if (c.request.empty()) f.fs.AddDirectory(c.path);
    else f.fs.AddFile(c.path, c.request);
    if (c.before.empty()) f.fs.unwritable.insert("C:\\res.hda");
    else f.fs.AddFile("C:\\res.hda", c.before, c.attributes);
    EXPECT_EQ(Start(f, c.path), c.outcome) << c.request.substr(0, 30);
    EXPECT_EQ(f.console.output, "Loading hda\n!nxWritingNativeResults\n");
    EXPECT_EQ(f.fs.Exists("C:\\res.hda") ? f.fs.Content("C:\\res.hda") : "<none>", c.after);
    EXPECT_EQ(f.state.g_returnCode, -3);
    EXPECT_EQ(f.state.g_lastErrorDescription, "Conversion engine unable to parse input data");
    EXPECT_EQ(f.state.g_processImageName, "");
  }
}

}  // namespace
}  // namespace engine::testing
