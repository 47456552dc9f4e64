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

// The request is read-only and pinned in a synced folder; C:\res.hda, when
// there, holds an earlier result longer than the one for an unparsable request.
TEST(StartupTest, LoadedRequestDeletesTheStaleResultAndUnparsableOneGetsStatusMinusThree) {
  const std::string stale(500, 'x'), request = kRequestStart + "outputhdaFile=C:\\res.hda\n";
  const std::string unparsable = request + std::string(40000, 'k') + "=v\n";
  const struct {
    const char* rule;
    const char* path;                // the command text, naming the request
    std::string content;             // of the request; empty: the path names a folder
    std::uint32_t resultAttributes;  // of C:\res.hda; 0: there is none
    const char* outcome;
    std::string after;  // C:\res.hda's content; "<none>": there is none
    bool unparsable = false;
    const char* parameterString = "";
    bool resultFolderMissing = false;
  } rows[] = {
      {"the key in any letter case, the parameter string set", "C:\\req.dat",
       kRequestStart + "OUTPUTHDAFILE=C:\\res.hda\nparameters=-script \"p.jsx\"\n",
       kAttributeNormal, "ready", "<none>", false, "-script \"p.jsx\""},
      {"a file called version is a request", "version", request, kAttributeNormal, "ready",
       "<none>"},
      {"blanks and ANSI letters reach the path test", "C:\\my jobs\\r\xe9q.dat  ", request,
       kAttributeNormal, "ready", "<none>"},
      {"no stale result", "C:\\req.dat", request, 0, "ready", "<none>"},
      {"a read-only stale result stays", "C:\\req.dat", request, kAttributeReadOnly, "ready",
       stale},
      {"a folder in its place stays", "C:\\req.dat", request, kAttributeDirectory, "ready", stale},
      {"no result path: abandoned", "C:\\req.dat",
       kRequestStart + "script=x.jsx\nparameters=-a 1\n", kAttributeNormal, "abandoned", stale},
      {"unparsable: a longer result replaced whole", "C:\\req.dat", unparsable, kAttributeNormal,
       "ended", kUnparsableResultFile, true},
      {"unparsable, read-only result", "C:\\req.dat", unparsable, kAttributeReadOnly, "abandoned",
       stale, true},
      {"unparsable, a folder in the result's place", "C:\\req.dat", unparsable, kAttributeDirectory,
       "abandoned", stale, true},
      {"unparsable, the result's folder missing", "C:\\req.dat", unparsable, 0, "abandoned",
       "<none>", true, "", true},
      {"no section line", "C:\\req.dat", "no section\noutputhdaFile=C:\\res.hda\n",
       kAttributeNormal, "abandoned", stale, true},
      {"a folder passes the path test", "C:\\jobs", "", kAttributeNormal, "abandoned", stale, true},
  };
  for (const auto& row : rows) {
    FakeEngine f;
    f.fs.files[row.path] = {
        row.content, row.content.empty() ? kAttributeDirectory : 0x80000 | kAttributeReadOnly};
    if (row.resultAttributes != 0) f.fs.AddFile("C:\\res.hda", stale, row.resultAttributes);
    if (row.resultFolderMissing) f.fs.unwritable.insert("C:\\res.hda");
    const bool ready = row.outcome == std::string("ready");
    EXPECT_EQ(Start(f, row.path), row.outcome) << row.rule;
    EXPECT_EQ(f.fs.opened, std::vector<std::string>{row.path}) << row.rule;
    EXPECT_EQ(f.fs.Exists("C:\\res.hda") ? f.fs.Content("C:\\res.hda") : "<none>", row.after)
        << row.rule;
    EXPECT_EQ(f.console.output,
              row.unparsable ? "Loading hda\n!nxWritingNativeResults\n" : "Loading hda\n")
        << row.rule;
    EXPECT_EQ(f.state.g_returnCode, row.unparsable ? protocol::kStatusUnparsable : 1) << row.rule;
    EXPECT_EQ(f.state.g_lastErrorDescription, row.unparsable ? protocol::kUnableToParse : "")
        << row.rule;
    EXPECT_EQ(f.state.g_parameterString, row.parameterString) << row.rule;
    EXPECT_EQ(f.state.g_processImageName, ready ? protocol::kApplicationImage : "") << row.rule;
  }
}

}  // namespace
}  // namespace engine::testing
