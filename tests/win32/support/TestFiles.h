#pragma once

// File helpers for tests that run on Windows (or under Wine). They use the
// Windows calls directly, never the engine's own file system, so that a fault
// there can't hide itself. No <windows.h> here: its macros would rename the
// engine's interface methods in the tests that include this.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_win32 {

/// A new, empty folder under the user's temp folder, removed with everything in
/// it (read-only files too) when the owner goes.
class TempFolder {
 public:
  explicit TempFolder(std::string_view tag = "t");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  /// path() + "\" + name
  std::string operator/(std::string_view name) const;

 private:
  std::string path_;
};

// Paths are ANSI like the engine's; these helpers also reach paths longer than
// the classic 260-character limit, so that tests can set up such files.

/// Creates or replaces |path| with exactly |bytes|; false when it can't.
bool WriteBytes(const std::string& path, std::string_view bytes);
/// The whole content of |path|, or nothing when it can't be read.
std::optional<std::string> ReadBytes(const std::string& path);
bool Exists(const std::string& path);
bool MakeFolder(const std::string& path);
bool SetReadOnly(const std::string& path, bool readOnly);
/// Names of the entries of |folder|, "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& folder);
/// Removes |path| and, for a folder, everything inside it; quietly.
void RemoveTree(const std::string& path);
/// The CR LF-ended lines of |text|, without their line ends (a last line
/// without one included).
std::vector<std::string> SplitCrLfLines(const std::string& text);

/// Whether this system refuses to open a read-only file for writing. Windows
/// does; Wine run by root does not (it leaves that check to the Unix file
/// permissions, which root passes), so tests of that refusal skip there.
bool ReadOnlyFilesRefuseWriting();

/// A path as Windows programs take it: a Unix absolute path (what CMake hands
/// to a test run under Wine) becomes the same path on drive Z:, where Wine maps
/// the Unix root; anything else stays as it is.
std::string ToWindowsPath(std::string path);

/// The current process's ANSI code page.
unsigned AnsiCodePage();

}  // namespace testing_win32
