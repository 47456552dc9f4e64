#include "EngineError.h"
#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef DeleteFile

#include "platform/win32/Handle.h"

#include <algorithm>
#include <limits>

namespace engine {
namespace {

[[noreturn]] void ThrowLastError(std::string_view call, std::string_view path) {
  throw EngineError(DescribeFailure(call, path, GetLastError()));
}

Handle Open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  // Windows refuses to open a read-only file for writing, but Wine run by
  // root does not; ask first, so that a read-only result file or log is
  // left alone everywhere.
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (access & (GENERIC_WRITE | FILE_APPEND_DATA)) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      throw EngineError(DescribeFailure("CreateFileA", path, ERROR_ACCESS_DENIED));
    }
    // Windows refuses CREATE_ALWAYS over a hidden or system file unless the
    // call names those attributes again (Wine replaces it anyway); named, the
    // file is replaced like any other and keeps them.
    const DWORD hiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & hiddenOrSystem)) {
      flags = attributes & hiddenOrSystem;
    }
  }
  Handle file(CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr));
  if (!file.Valid()) ThrowLastError("CreateFileA", path);
  return file;
}

void WriteAll(const Handle& file, const std::string& path, std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(
        std::min<std::size_t>(data.size(), std::numeric_limits<DWORD>::max() / 2));
    DWORD written = 0;
    if (!WriteFile(file.Get(), data.data(), chunk, &written, nullptr)) {
      ThrowLastError("WriteFile", path);
    }
    if (written == 0) throw EngineError(DescribeFailure("WriteFile", path, "nothing was written"));
    data.remove_prefix(written);
  }
}

class Win32ReadableFile final : public ReadableFile {
 public:
  Win32ReadableFile(Handle file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    const DWORD want =
        static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max() / 2));
    DWORD got = 0;
    if (!ReadFile(file_.Get(), buffer, want, &got, nullptr)) ThrowLastError("ReadFile", path_);
    return got;
  }

 private:
  Handle file_;
  std::string path_;
};

using FormatFunction = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCSTR, LPSTR, int);

// The regional rendering of |when| by GetDateFormatA or GetTimeFormatA.
std::string FormatWith(FormatFunction format, std::string_view call, DWORD flags,
                       const SYSTEMTIME& when) {
  const int needed = format(LOCALE_USER_DEFAULT, flags, &when, nullptr, nullptr, 0);
  if (needed <= 0) ThrowLastError(call, "");
  std::string text(static_cast<std::size_t>(needed), '\0');
  const int written = format(LOCALE_USER_DEFAULT, flags, &when, nullptr, text.data(), needed);
  if (written <= 0) ThrowLastError(call, "");
  text.resize(static_cast<std::size_t>(written) - 1);  // the count includes the NUL
  return text;
}

}  // namespace

std::uint32_t Win32FileSystem::GetAttributes(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowLastError("GetFileAttributesA", path);
  return attributes;
}

void Win32FileSystem::DeleteFile(const std::string& path) {
  if (!DeleteFileA(path.c_str())) ThrowLastError("DeleteFileA", path);
}

std::unique_ptr<ReadableFile> Win32FileSystem::OpenForReading(const std::string& path) {
  // Others may go on reading or writing the file meanwhile: the engine only
  // reads it once, start to end.
  Handle file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  return std::make_unique<Win32ReadableFile>(std::move(file), path);
}

void Win32FileSystem::WriteNewFile(const std::string& path, std::string_view data) {
  Handle file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  WriteAll(file, path, data);
}

void Win32FileSystem::AppendToFile(const std::string& path, std::string_view data, bool shared) {
  // Append-only access: every write lands at the current end, also when another
  // process appends to the shared file between our open and our write.
  Handle file =
      Open(path, FILE_APPEND_DATA, shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0, OPEN_ALWAYS);
  WriteAll(file, path, data);
}

std::string Win32FileSystem::LocalTimestamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return FormatWith(GetDateFormatA, "GetDateFormatA", DATE_SHORTDATE, now) + " " +
         FormatWith(GetTimeFormatA, "GetTimeFormatA", 0, now);
}

}  // namespace engine
