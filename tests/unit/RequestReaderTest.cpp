#include <gtest/gtest.h>

#include "CommonUtils.h"
#include "EngineError.h"
#include "Fakes.h"
#include "HostProtocol.h"
#include "RequestReader.h"

namespace engine::testing {
namespace {

// A file that hands out its pieces in order, each in reads of at most |most| bytes.
class Pieces : public ReadableFile {
 public:
  Pieces(std::vector<std::string> pieces, std::size_t most)
      : pieces_(std::move(pieces)), most_(most) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    for (; next_ < pieces_.size() && at_ == pieces_[next_].size(); ++next_) at_ = 0;
    if (next_ == pieces_.size()) return 0;
    const std::size_t n = pieces_[next_].copy(buffer, std::min(size, most_), at_);
    at_ += n;
    return n;
  }

 private:
  std::vector<std::string> pieces_;
  std::size_t most_, next_ = 0, at_ = 0;
};

// Reads |pieces| and tells the outcome and every looked-up value kept:
// "ok script=1" or "fails script=1".
std::string Read(std::vector<std::string> pieces, const AnsiCharacters& characters,
                 std::size_t most) {
  TextReader file(std::make_unique<Pieces>(std::move(pieces), most));
  ParameterTable table;
  std::string outcome = "ok";
  try {
    ReadRequest(file, characters, table);
  } catch (const EngineError&) {
    outcome = "fails";
  }
  for (const std::string_view key : protocol::keys::kLookedUp) {
    if (auto value = table.Find(key)) outcome += " " + std::string(key) + "=" + std::string(*value);
  }
  return outcome;
}

// The rows also hold the line reader's rules: CR and LF alone each end a
// line, and reading past the end fails.
TEST(RequestReaderTest, ReadsTheSameInAnyPieces) {
  const std::string many = Repeated("\x95\x5C", 32765);  // double-byte, its second byte "\"
  const std::string megabyte(1 << 20, 'v'), pad(70000, 'p');
  const struct {
    const char* rule;
    std::vector<std::string> pieces;  // one per read
    std::string read;
    bool doubleByte = false;  // code page 932, else single bytes
  } rows[] = {
      {"empty file: no entries", {}, "ok"},
      {"no section line: fails", {"script=1\n", "@end\n"}, "fails"},
      {"section line inside a line", {"x @Properties Local", "Data y\nscript=1"}, "ok script=1"},
      {"lines before the section ignored", {"script=0\n" + kRequestStart + "script=1"}, "ok script=1"},
      // Past the section line one line is read without looking for the end.
      {"section line last with LF: fails", {"@Properties LocalData\n"}, "fails"},
      {"section line last with CR: fails", {"@Properties LocalData\r"}, "fails"},
      {"section line last with CR LF: the LF ends an empty line", {"@Properties LocalData\r\n"}, "ok"},
      {"only the exact end line ends",
       {kRequestStart + "@END\n @end\n@end \n@end=x\nscript=1\n@e", "nd\nparameters=2\n"}, "ok script=1"},
      {"entries exactly as they stand",
       {kRequestStart + "scriptParams=b=c\nparameters=\noutputhdaFile=C:\\@res\t \n"},
       "ok outputhdaFile=C:\\@res\t  parameters= scriptParams=b=c"},
      {"blanks, tabs and other keys are not the key",
       {kRequestStart + "script =0\n\tscript=0\nscrip_=0\n=0\nscript=1"}, "ok script=1"},
      {"first key wins in any letter case", {kRequestStart + "SCRIPT=1\nscript=2\n"}, "ok script=1"},
      {"CR line ends", {"@Properties LocalData\rscript=1\rparameters=2\r@end\rscriptParams=3"},
       "ok parameters=2 script=1"},
      {"CR LF line ends",
       {"@Properties LocalData\r\nscript=1\r\nparameters=2\r\n@end\r\nscriptParams=3"},
       "ok parameters=2 script=1"},
      {"NUL and control characters kept", {kRequestStart + std::string("script=v\x01\0al", 12)},
       "ok script=" + std::string("v\x01\0al", 5)},
      {"a let-go line ends inside a read", {kRequestStart + "x=" + std::string(30, '1'), "script=0\nscript=2"},
       "ok script=2"},
      {"\"=\" at character 32766 loads", {kRequestStart + std::string(32765, 'k') + "=v\nscript=1"},
       "ok script=1"},
      {"\"=\" at 32767 fails, keeping what came before",
       {kRequestStart + "script=1\n" + std::string(32766, 'k') + "=v\nparameters=2"}, "fails script=1"},
      {"a megabyte value stays whole", {pad + kRequestStart + pad + "\nx=" + megabyte + "\nscriptParams=" + megabyte},
       "ok scriptParams=" + megabyte},
      {"double-byte: a second byte \"@\" opens no section", {"\x81@Properties LocalData\nscript=1\n"},
       "fails", true},
      {"double-byte: characters count one", {"\x81@" + kRequestStart + many + "=v\nscript=\x95\x5C"},
       "ok script=\x95\x5C", true},
      {"double-byte: one more fails", {kRequestStart + many + "\x95\x5C=v\nscript=1"}, "fails", true},
  };
  for (const auto& row : rows) {
    const AnsiCharacters characters = row.doubleByte ? DoubleByte932() : AnsiCharacters{};
    EXPECT_EQ(Read(row.pieces, characters, SIZE_MAX), row.read) << row.rule;
    EXPECT_EQ(Read(row.pieces, characters, 1), row.read) << row.rule << ", byte by byte";
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
      {"a second byte \"\\\" escapes no at sign", "C:\\" + hyo + "@1\\r.dat", "C:\\" + hyo + "@1\\r.dat"},
      {"a whole \"\\\" after it does", "C:\\" + hyo + "\\@2\\r.dat", "C:\\" + hyo + "@2\\r.dat"},
      {"slashes around it", "C:/" + hyo + "/\\@3/" + hyo + "/x", "C:\\" + hyo + "\\@3\\" + hyo + "\\x"},
      {"a UNC prefix before it", "//" + hyo + "/s", "\\\\" + hyo + "\\s"},
      {"20,000 characters in 40,000 bytes fit", many + "\\@x/\\@y", many + "@x\\@y"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(NormalizeRequestPath(DoubleByte932(), row.given), row.opened) << row.rule;
  }
}

}  // namespace
}  // namespace engine::testing
