#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Processes.h"

namespace engine {

/// Standard output through one write(2) on file descriptor 1.
class PosixConsole : public Console {
 public:
  void Write(std::string_view bytes) override;
};

/// The file system with "\" read as a separator. Attributes follow the
/// Windows values: a directory is 16, a file whose owner-write bit is clear is
/// read-only (1). The permission bit is read rather than access(2) asked,
/// since the engine may run as root, for whom everything is writable. Such a
/// read-only file also refuses deletion and writing, as it would on Windows.
class PosixFileSystem : public FileSystem {
 public:
  std::uint32_t GetAttributes(const std::string& path) override;
  void DeleteFile(const std::string& path) override;
  std::unique_ptr<ReadableFile> OpenForReading(const std::string& path) override;
  void WriteNewFile(const std::string& path, std::string_view data) override;
  void AppendToFile(const std::string& path, std::string_view data, bool shared) override;
  std::string LocalTimestamp() override;

  /// |path| with every "\" turned into "/".
  static std::string ToNative(const std::string& path);
};

/// No desktop to show a box on: one line on standard error, the caption, a
/// colon, a blank and the text. Returns at once.
class PosixMessageBox : public MessageBox {
 public:
  void ShowFatal(const std::string& caption, const std::string& text) override;
  /// Standard error has no window station: whoever reads it sees the line.
  bool CanBeSeen() override { return true; }
};

/// The native build reads every text as single-byte characters.
class PosixCodePage : public CodePage {
 public:
  AnsiCharacters Characters() override { return {}; }
};

/// The command text from argv, and a census over /proc where a process's
/// executable link stands in for its first module.
class PosixProcesses : public Processes {
 public:
  PosixProcesses(int argc, char** argv);

  /// The arguments after the program's name, joined by single blanks.
  static std::string JoinArguments(int argc, char** argv);

  std::string CommandText() override;
  bool EnumProcesses(std::uint32_t* pids, std::uint32_t bufferBytes,
                     std::uint32_t* returnedBytes) override;
  ProcessHandle OpenProcess(std::uint32_t access, bool inheritHandle, std::uint32_t pid) override;
  bool EnumProcessModules(ProcessHandle process, ModuleHandle* modules, std::uint32_t bufferBytes,
                          std::uint32_t* neededBytes) override;
  std::uint32_t GetModuleFileNameEx(ProcessHandle process, ModuleHandle module, char* name,
                                    std::uint32_t size) override;
  void CloseHandle(ProcessHandle process) override;

 private:
  std::string commandText_;
  std::map<ProcessHandle, std::string> open_;  // handle -> executable path
  ProcessHandle nextHandle_ = 1;
};

}  // namespace engine
