#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "EngineError.h"
#include "Fakes.h"
#include "HostProtocol.h"
#include "RequestReader.h"

namespace engine::testing {
namespace {

using namespace std::string_literals;

// Loads |content| in reads of at most |chunk| bytes and tells the outcome and
// every looked-up value kept: "ok script=1" or "fails script=1".
std::string Read(const std::string& content, const AnsiCharacters& characters, std::size_t chunk) {
  FakeEngine f;
  f.engine.characters = characters;
  f.fs.readChunk = chunk;
  f.fs.AddFile("C:\\req.dat", content);
  std::string outcome = LoadRequestFile(f.engine, "C:\\req.dat") ? "ok" : "fails";
  for (const std::string_view key : protocol::keys::kLookedUp) {
    if (auto value = f.state.g_requestParameters.Find(key)) {
      outcome += " " + std::string(key) + "=" + std::string(*value);
    }
  }
  return outcome;
}

// The single-byte rules are the seeds of the request fuzz target, checked
// against the literal reference; what its inputs can't spell is here: tabs,
// NUL and the low control bytes, and double-byte characters.
TEST(RequestReaderTest, ReadsTheSameInAnyPieces) {
  const std::string many = Repeated("\x95\x5C", 32765);  // double-byte, its second byte "\"
  const struct {
    const char* rule;
    std::string content;
    std::string read;
    bool doubleByte = false;  // code page 932, else single bytes
  } rows[] = {
      {"tabs, NUL and control characters kept; a tab is not part of the key",
       kRequestStart + "\tscript=0\nscript=\tv\x01\0al\t\n"s, "ok script=" + "\tv\x01\0al\t"s},
      {"double-byte: a second byte \"@\" opens no section", "\x81@Properties LocalData\nscript=1\n",
       "fails", true},
      {"double-byte: characters count one", "\x81@" + kRequestStart + many + "=v\nscript=\x95\x5C",
       "ok script=\x95\x5C", true},
      {"double-byte: one more fails", kRequestStart + many + "\x95\x5C=v\nscript=1", "fails", true},
  };
  for (const auto& row : rows) {
    const AnsiCharacters characters = row.doubleByte ? DoubleByte932() : AnsiCharacters{};
    EXPECT_EQ(Read(row.content, characters, SIZE_MAX), row.read) << row.rule;
    EXPECT_EQ(Read(row.content, characters, 1), row.read) << row.rule << ", byte by byte";
  }
}

TEST(LoadRequestFileTest, NormalizesThePathAndFailsWhereNothingCanBeRead) {
  FakeEngine f;
  f.fs.AddFile("C:\\jobs@req.dat", kRequestStart + "script=1");
  EXPECT_TRUE(LoadRequestFile(f.engine, "C:\\jobs\\@req.dat"));
  EXPECT_EQ(f.state.g_requestParameters.Find("script"), "1");
  f.fs.AddDirectory("C:\\dir");
  f.fs.unreadable.insert("C:\\jobs@req.dat");
  for (const char* path : {"C:\\missing.dat", "C:\\dir", "C:\\jobs@req.dat", ""}) {
    EXPECT_FALSE(LoadRequestFile(f.engine, path)) << path;
  }
}

TEST(ParameterTableTest, KeysCompareIgnoringTheCaseOfAsciiLettersAndTheFirstStays) {
  ParameterTable table;
  EXPECT_TRUE(table.Add("Script", "1"));
  EXPECT_FALSE(table.Add("sCRIPT", "2"));
  EXPECT_TRUE(table.Add("scr\xc9pt", "3"));  // only ASCII letters fold
  EXPECT_EQ(table.Item("SCRIPT"), "1");
  EXPECT_EQ(table.Find("scr\xe9pt"), std::nullopt);
  EXPECT_THROW(table.Item("script "), EngineError);
}

TEST(NormalizeRequestPathTest, DoubleByteCharactersStayWholeAndCountOne) {
  const std::string hyo = "\x95\x5C";  // its second byte is "\"
  const std::string many = Repeated(hyo, 20000);
  const struct {
    const char* rule;
    std::string given, opened;
  } rows[] = {
      {"a second byte \"\\\" escapes no at sign", "C:\\" + hyo + "@1\\r.dat",
       "C:\\" + hyo + "@1\\r.dat"},
      {"a whole \"\\\" after it does", "C:\\" + hyo + "\\@2\\r.dat", "C:\\" + hyo + "@2\\r.dat"},
      {"slashes around it", "C:/" + hyo + "/\\@3/" + hyo + "/x",
       "C:\\" + hyo + "\\@3\\" + hyo + "\\x"},
      {"a UNC prefix before it", "//" + hyo + "/s", "\\\\" + hyo + "\\s"},
      {"20,000 characters in 40,000 bytes fit", many + "\\@x/\\@y", many + "@x\\@y"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(NormalizeRequestPath(DoubleByte932(), row.given), row.opened) << row.rule;
  }
}

}  // namespace
}  // namespace engine::testing
