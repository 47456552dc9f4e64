#include "EngineError.h"
#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef DeleteFile

#include "platform/win32/Handle.h"
#include "platform/win32/Utf16.h"

#include <algorithm>
#include <limits>

namespace engine {
namespace {

// GetAttributes hands the system's flags on as they are.
static_assert(kAttributeReadOnly == FILE_ATTRIBUTE_READONLY);
static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(kAttributeNormal == FILE_ATTRIBUTE_NORMAL);

[[noreturn]] void ThrowLastError(std::string_view call, std::string_view path) {
  throw EngineError(DescribeFailure(call, path, GetLastError()));
}

// A path as the file calls take it: the ANSI text where the ANSI call reaches
// it (every path it reached before), else the extended-length form for the
// wide call.
class CallPath {
 public:
  explicit CallPath(const std::string& path) : ansi_(path), extended_(ExtendedLengthPath(path)) {}
  template <class Ansi, class Wide>
  auto Run(Ansi ansi, Wide wide) const {
    return extended_.empty() ? ansi(ansi_.c_str()) : wide(extended_.c_str());
  }
  // The name of the call that Run makes, for failure texts.
  std::string Name(std::string_view call) const {
    return std::string(call) + (extended_.empty() ? 'A' : 'W');
  }

 private:
  const std::string& ansi_;
  std::wstring extended_;
};

Handle Open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  // Windows refuses to open a read-only file for writing, but Wine run by
  // root does not; ask first, so that a read-only result file or log is
  // left alone everywhere.
  const CallPath at(path);
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (access & (GENERIC_WRITE | FILE_APPEND_DATA)) {
    const DWORD attributes = at.Run(GetFileAttributesA, GetFileAttributesW);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      throw EngineError(DescribeFailure(at.Name("CreateFile"), path, ERROR_ACCESS_DENIED));
    }
    // Windows refuses CREATE_ALWAYS over a hidden or system file unless the
    // call names those attributes again (Wine replaces it anyway); named, the
    // file is replaced like any other and keeps them.
    const DWORD hiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & hiddenOrSystem)) {
      flags = attributes & hiddenOrSystem;
    }
  }
  Handle file(at.Run(
      [&](const char* p) {
        return CreateFileA(p, access, share, nullptr, disposition, flags, nullptr);
      },
      [&](const wchar_t* p) {
        return CreateFileW(p, access, share, nullptr, disposition, flags, nullptr);
      }));
  if (!file.Valid()) ThrowLastError(at.Name("CreateFile"), path);
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

std::wstring ExtendedLengthPath(const std::string& path) {
  // Up to the first NUL, as far as the ANSI call reads it; in UTF-16, whose
  // units the system's length limit counts (MAX_PATH with the NUL).
  const std::wstring wide = AnsiToWide(path.c_str());
  if (wide.starts_with(L"\\\\?\\")) {
    return wide.size() < MAX_PATH ? L"" : wide;  // taken as it stands, never normalized
  }
  // The plain call makes the path absolute first, so its limit applies to both.
  const DWORD room = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(room, L'\0');
  const DWORD length = room == 0 ? 0 : GetFullPathNameW(wide.c_str(), room, full.data(), nullptr);
  if (length == 0 || length >= room) return L"";  // malformed: the ANSI call says why
  full.resize(length);
  if (wide.size() < MAX_PATH && full.size() < MAX_PATH) return L"";
  // A device path ("\\.\", or "//./" and "//?/" made absolute) names the
  // same object with "\\?\" once normalized; it is no share.
  if (full.starts_with(L"\\\\.\\") || full.starts_with(L"\\\\?\\")) {
    return L"\\\\?\\" + full.substr(4);
  }
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC" + full.substr(1);  // \\server\share
  return L"\\\\?\\" + full;
}

std::uint32_t Win32FileSystem::GetAttributes(const std::string& path) {
  const CallPath at(path);
  const DWORD attributes = at.Run(GetFileAttributesA, GetFileAttributesW);
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowLastError(at.Name("GetFileAttributes"), path);
  return attributes;
}

void Win32FileSystem::DeleteFile(const std::string& path) {
  const CallPath at(path);
  if (!at.Run(DeleteFileA, DeleteFileW)) ThrowLastError(at.Name("DeleteFile"), path);
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
