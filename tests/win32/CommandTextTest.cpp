#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "ChildProcess.h"
#include "TestFiles.h"
#include "platform/win32/Win32Platform.h"

namespace {

using testing_win32::LaunchOptions;
using testing_win32::RunToEnd;
using testing_win32::TempFolder;
using testing_win32::ToWindowsPath;

struct CommandLineCase {
  const char* name;
  std::string commandLine;
  std::string expected;
};

// How hosts and shells start programs, and what the engine must take as its
// command text: the rest after the name, never split, quotes kept.
const CommandLineCase kCommandLines[] = {
    {"plain", R"(C:\e\engine.exe C:\jobs\r.dat)", R"(C:\jobs\r.dat)"},
    {"quoted name with blanks", R"("C:\Program Files\e\engine.exe" C:\jobs\r.dat)",
     R"(C:\jobs\r.dat)"},
    {"quoted argument kept", R"("C:\a b\engine.exe" "C:\x y\r.dat")", R"("C:\x y\r.dat")"},
    {"name alone", R"(C:\e\engine.exe)", ""},
    {"quoted name alone", R"("C:\a b\engine.exe")", ""},
    {"blanks after the name only", "engine.exe   ", ""},
    {"several blanks skipped", "engine.exe    C:\\r.dat", "C:\\r.dat"},
    {"tab after the name", "engine.exe\tC:\\r.dat", "C:\\r.dat"},
    {"trailing blanks kept", "engine.exe C:\\r.dat   ", "C:\\r.dat   "},
    {"inner blanks kept", "engine.exe a   b\tc", "a   b\tc"},
    {"quotes inside the name", R"(C:\"a b"\engine.exe version)", "version"},
    {"text glued to the closing quote is name", R"("C:\a b\engine.exe"x version)", "version"},
    {"unterminated quote in the name", R"("C:\a b\engine.exe version)", ""},
    {"empty quotes kept", R"(engine.exe "")", R"("")"},
    {"unterminated quote in the text", R"(engine.exe "C:\x y\r.dat)", R"("C:\x y\r.dat)"},
    {"ANSI letters in the name", "C:\\\xC4rger\\\xE9ngine.exe C:\\r.dat", "C:\\r.dat"},
    {"ANSI letters in the text", "engine.exe C:\\d\xE9j\xE0\\r.dat", "C:\\d\xE9j\xE0\\r.dat"},
    {"empty command line", "", ""},
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class CommandTextExtraction : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandTextExtraction, TakesEverythingAfterTheNameAndItsBlanks) {
  EXPECT_EQ(engine::ExtractCommandText(GetParam().commandLine), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandTextExtraction, ::testing::ValuesIn(kCommandLines),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// The same extraction in a real process: what GetCommandLineA gives a program
// that a host started with CreateProcessA.
TEST(CommandTextOfProcess, IsTheExactTextAfterTheProgramName) {
  const std::string probe = ToWindowsPath(COMMAND_TEXT_PROBE);
  struct Case {
    std::string commandLine;
    std::string expected;
  };
  const Case cases[] = {
      {"\"" + probe + "\" C:\\jobs\\r.dat", "C:\\jobs\\r.dat"},
      {"\"" + probe + "\"   \"C:\\x y\\r.dat\"  ", "\"C:\\x y\\r.dat\"  "},
      {"probe.exe version", "version"},
      {"\"" + probe + "\"", ""},
      {"probe.exe a \"b c\" d", "a \"b c\" d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine);
    LaunchOptions options;
    options.application = probe;
    options.commandLine = c.commandLine;
    const auto run = RunToEnd(options, 60000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.output, "[" + c.expected + "]");
  }
}

}  // namespace
