#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace engine {

/// Attribute flags as GetAttributes reports them, with the Windows values.
inline constexpr std::uint32_t kAttributeReadOnly = 1;
inline constexpr std::uint32_t kAttributeDirectory = 16;
inline constexpr std::uint32_t kAttributeNormal = 128;  // a file with no other flag

/// A file opened for sequential reading. Closed when destroyed.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;

  /// Reads up to |size| bytes into |buffer| and returns how many were read;
  /// 0 means the end of the file. Throws EngineError when the read fails
  /// (for instance when the path names a directory).
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

/// The file system as the engine sees it. Paths are byte strings in the ANSI
/// code page; "\" separates their components on every platform. Every failure
/// throws EngineError with a description shaped "call(path): reason".
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  /// Attribute flags of |path|: kAttributeReadOnly, kAttributeDirectory,
  /// others as the platform gives them. Throws when nothing
  /// exists there, the path is empty or malformed, or it can't be examined.
  virtual std::uint32_t GetAttributes(const std::string& path) = 0;

  /// Deletes the file at |path|. Throws on any failure (missing, a directory,
  /// read-only, locked, no access).
  virtual void DeleteFile(const std::string& path) = 0;

  /// Opens |path| for sequential reading. Throws when it can't be opened.
  virtual std::unique_ptr<ReadableFile> OpenForReading(const std::string& path) = 0;

  /// Creates |path|, or truncates it when it exists, writes |data| and closes
  /// it, all within this call. The file is not shared with other processes
  /// while it is open. Throws when it can't be created or written.
  virtual void WriteNewFile(const std::string& path, std::string_view data) = 0;

  /// Appends |data| to |path|, creating it when missing, and closes it again
  /// within this call. With |shared| other processes may read and write the
  /// file meanwhile; without, it is opened exclusively. Throws on failure.
  virtual void AppendToFile(const std::string& path, std::string_view data, bool shared) = 0;

  /// The current local date and time in the general date format: the
  /// regional short date, one blank, the regional long time.
  virtual std::string LocalTimestamp() = 0;
};

}  // namespace engine
