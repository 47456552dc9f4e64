#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "EngineError.h"
#include "EngineVersion.h"
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
  EXPECT_EQ(f.state.g_pidsBefore, PidList{});
  EXPECT_EQ(f.state.g_pidsAfter, PidList{});
  return "ready";
}

TEST(StartupTest, NothingAtThePathAnswersTheVersionQueryOrShowsTheFatalBox) {
  using Shown = std::vector<std::pair<std::string, std::string>>;
  const Shown box = {{kApplicationTitle, std::string(protocol::kNoDataPassed)}};
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
    EXPECT_EQ(f.console.output, version ? std::string(kVersionText) + "\n" : "") << text;
    EXPECT_EQ(f.box.shown, version ? Shown{} : box) << text;
    EXPECT_EQ(f.fs.files.size(), 2u) << text;
    EXPECT_EQ(f.fs.Content("C:\\res.hda"), "stale") << text;
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
      {kAttributeDirectory, 1}, {kAttributeReadOnly, 2}, {32, 3}, {0, 3},
      {kAttributeReadOnly | kAttributeDirectory, 1}, {0x8000 | kAttributeReadOnly, 2},
      {0x80000 | 32, 3}, {0x400000 | kAttributeDirectory, 1}, {32767 & ~kAttributeDirectory, 2}};
  for (const auto& [attributes, kind] : cases) {
    f.fs.AddFile("p", "", attributes);
    EXPECT_EQ(GetPathKind(f.engine, "p"), kind) << attributes;
  }
  EXPECT_EQ(GetPathKind(f.engine, "missing"), 0);
}

TEST(StartupTest, LoadedRequestDeletesTheStaleResultAndSetsTheState) {
  const std::string result = "outputhdaFile=C:\\res.hda\n";
  const struct {
    const char* rule;
    const char* path;  // the command text, naming the request
    std::string entries;
    std::uint32_t resultAttributes;  // of the stale C:\res.hda; 0: there is none
    const char* outcome;
    const char* parameterString = "";
  } rows[] = {
      {"the key in any letter case, the parameter string set", "C:\\req.dat",
       "OUTPUTHDAFILE=C:\\res.hda\nparameters=-script \"p.jsx\"\n", kAttributeNormal, "ready",
       "-script \"p.jsx\""},
      {"a file called version is a request", "version", result, kAttributeNormal, "ready"},
      {"blanks and ANSI letters reach the path test", "C:\\my jobs\\r\xe9q.dat  ", result,
       kAttributeNormal, "ready"},
      {"no stale result", "C:\\req.dat", result, 0, "ready"},
      {"a read-only stale result stays", "C:\\req.dat", result, kAttributeReadOnly, "ready"},
      {"a folder in its place stays", "C:\\req.dat", result, kAttributeDirectory, "ready"},
      {"no result path: abandoned", "C:\\req.dat", "script=x.jsx\nparameters=-a 1\n",
       kAttributeNormal, "abandoned"},
  };
  for (const auto& row : rows) {
    FakeEngine f;
    // A read-only request, pinned in a synced folder.
    f.fs.AddFile(row.path, kRequestStart + row.entries, 0x80000 | kAttributeReadOnly);
    if (row.resultAttributes != 0) f.fs.AddFile("C:\\res.hda", "stale", row.resultAttributes);
    const bool ready = row.outcome == std::string("ready");
    EXPECT_EQ(Start(f, row.path), row.outcome) << row.rule;
    EXPECT_EQ(f.fs.opened, std::vector<std::string>{row.path}) << row.rule;
    EXPECT_EQ(f.fs.Exists("C:\\res.hda"), !ready || (row.resultAttributes & kAttributeReadOnly) ||
                                              (row.resultAttributes & kAttributeDirectory))
        << row.rule;
    EXPECT_EQ(f.console.output, "Loading hda\n") << row.rule;
    EXPECT_EQ(f.state.g_parameterString, row.parameterString) << row.rule;
    EXPECT_EQ(f.state.g_processImageName, ready ? protocol::kApplicationImage : "") << row.rule;
    EXPECT_EQ(f.state.g_returnCode, 1) << row.rule;
  }
}

TEST(StartupTest, UnparsableRequestGetsTheResultFileWithStatusMinusThree) {
  const std::string unparsable =
      kRequestStart + "outputhdaFile=C:\\res.hda\n" + std::string(40000, 'k') + "=v\n";
  const struct {
    const char* rule;
    const char* path;
    std::string request;  // empty: the path names a folder
    std::string before;   // C:\res.hda's content; empty: its folder is missing
    std::uint32_t attributes;
    const char* outcome;
    std::string after;
  } rows[] = {
      {"a longer file replaced whole", "C:\\req.dat", unparsable, std::string(5000, 'x'),
       kAttributeNormal, "ended", kUnparsableResultFile},
      {"read-only result", "C:\\req.dat", unparsable, "old", kAttributeReadOnly, "abandoned", "old"},
      {"a folder in its place", "C:\\req.dat", unparsable, "old", kAttributeDirectory, "abandoned",
       "old"},
      {"its folder missing", "C:\\req.dat", unparsable, "", 0, "abandoned", "<none>"},
      {"no section line", "C:\\req.dat", "no section\noutputhdaFile=C:\\res.hda\n", "old",
       kAttributeNormal, "abandoned", "old"},
      {"a folder passes the path test", "C:\\jobs", "", "old", kAttributeNormal, "abandoned", "old"},
  };
  for (const auto& row : rows) {
    FakeEngine f;
    if (row.request.empty()) f.fs.AddDirectory(row.path);
    else f.fs.AddFile(row.path, row.request);
    if (row.before.empty()) f.fs.unwritable.insert("C:\\res.hda");
    else f.fs.AddFile("C:\\res.hda", row.before, row.attributes);
    EXPECT_EQ(Start(f, row.path), row.outcome) << row.rule;
    EXPECT_EQ(f.console.output, "Loading hda\n!nxWritingNativeResults\n") << row.rule;
    EXPECT_EQ(f.fs.Exists("C:\\res.hda") ? f.fs.Content("C:\\res.hda") : "<none>", row.after)
        << row.rule;
    EXPECT_EQ(f.state.g_returnCode, protocol::kStatusUnparsable) << row.rule;
    EXPECT_EQ(f.state.g_lastErrorDescription, protocol::kUnableToParse) << row.rule;
    EXPECT_EQ(f.state.g_processImageName, "") << row.rule;
  }
}

}  // namespace
}  // namespace engine::testing
