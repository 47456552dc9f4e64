#pragma once

// The Windows implementations of the platform services, apart from automation.
// This header stays free of <windows.h>: its macros (DeleteFile, MessageBox,
// GetModuleFileNameEx) would rename the interface methods for every includer.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Processes.h"
#include "platform/win32/ErrorText.h"

namespace engine {

/// The argument part of a full command line as GetCommandLineA gives it: what
/// follows the program's name and the blanks after it, unchanged. The program's
/// name ends at the first blank or control character outside double quotes, so
/// both "C:\Program Files\x.exe" and C:\"Program Files"\x.exe are one name. The
/// rest is not split and keeps its quotes and trailing blanks.
std::string ExtractCommandText(std::string_view commandLine);

/// The form of |path| (ANSI, up to its first NUL) to hand the wide file calls
/// when the ANSI ones can't reach it: longer than MAX_PATH - 1 characters as
/// given or once made absolute, where only long-path-aware processes on
/// systems with long paths switched on get through. Absolute, with the "\\?\"
/// prefix ("\\?\UNC\" for "\\server\share"; a device path "\\.\x" becomes
/// "\\?\x"), which no length limit applies to. A "\\?\" path as it stands.
/// Empty for every path the ANSI calls reach as given.
std::wstring ExtendedLengthPath(const std::string& path);

/// Once, before anything else: critical-error prompts off (the host's other
/// error-mode choices kept), and every DLL loaded later from the system folder.
void PrepareProcess();

class Win32Console final : public Console {
 public:
  void Write(std::string_view bytes) override;
};

class Win32FileSystem final : public FileSystem {
 public:
  std::uint32_t GetAttributes(const std::string& path) override;
  void DeleteFile(const std::string& path) override;
  std::unique_ptr<ReadableFile> OpenForReading(const std::string& path) override;
  void WriteNewFile(const std::string& path, std::string_view data) override;
  void AppendToFile(const std::string& path, std::string_view data, bool shared) override;
  std::string LocalTimestamp() override;
};

/// The system's session of this process; nothing when it can't say.
std::optional<std::uint32_t> ProcessSession();

class Win32MessageBox final : public MessageBox {
 public:
  using SessionQuery = std::optional<std::uint32_t> (*)();
  /// |session| tells this process's session (tests choose another).
  explicit Win32MessageBox(SessionQuery session = ProcessSession) : session_(session) {}
  void ShowFatal(const std::string& caption, const std::string& text) override;
  bool CanBeSeen() override;

 private:
  SessionQuery session_;
};

/// How code page |codePage| spells characters, as the system describes it;
/// single-byte for one it can't describe.
AnsiCharacters CharactersOf(std::uint32_t codePage);

/// The process's ANSI code page, as the system describes it.
class Win32CodePage final : public CodePage {
 public:
  AnsiCharacters Characters() override;
};

class Win32Processes final : public Processes {
 public:
  std::string CommandText() override;
  bool EnumProcesses(std::uint32_t* pids, std::uint32_t bufferBytes,
                     std::uint32_t* returnedBytes) override;
  ProcessHandle OpenProcess(std::uint32_t access, bool inheritHandle,
                            std::uint32_t pid) override;
  bool EnumProcessModules(ProcessHandle process, ModuleHandle* modules,
                          std::uint32_t bufferBytes, std::uint32_t* neededBytes) override;
  std::uint32_t GetModuleFileNameEx(ProcessHandle process, ModuleHandle module, char* name,
                                    std::uint32_t size) override;
  void CloseHandle(ProcessHandle process) override;
};

}  // namespace engine
