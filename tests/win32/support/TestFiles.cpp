#include "TestFiles.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

namespace testing_win32 {
namespace {

std::atomic<unsigned> folderCounter{0};

// The wide form of an ANSI path; absolute drive paths past the classic limit
// get the "\\?\" prefix that lifts it.
std::wstring Wide(const std::string& path) {
  std::wstring wide;
  if (!path.empty()) {
    const int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                      nullptr, 0);
    wide.resize(static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
  }
  if (wide.size() >= MAX_PATH - 12 && wide.size() > 2 && wide[1] == L':') {
    wide.insert(0, L"\\\\?\\");
  }
  return wide;
}

std::string Narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), n, nullptr, nullptr);
  narrow.resize(narrow.size() - 1);
  return narrow;
}

std::string FolderPath(std::string_view tag) {
  char temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(sizeof temp, temp);
  std::string base(temp, n);
  if (!base.empty() && base.back() == '\\') base.pop_back();
  return base + "\\ce-" + std::string(tag) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount64()) + "-" + std::to_string(folderCounter++);
}

}  // namespace

TempFolder::TempFolder(std::string_view tag) : path_(FolderPath(tag)) { MakeFolder(path_); }

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string TempFolder::operator/(std::string_view name) const {
  return path_ + "\\" + std::string(name);
}

bool WriteBytes(const std::string& path, std::string_view bytes) {
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

std::optional<std::string> ReadBytes(const std::string& path) {
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
  CloseHandle(h);
  return content;
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryW(Wide(path).c_str(), nullptr) != FALSE;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
  return SetFileAttributesW(Wide(path).c_str(),
                            readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(Wide(folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = Narrow(entry.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

void RemoveTree(const std::string& path) {
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    for (const std::string& name : ListFolder(path)) RemoveTree(path + "\\" + name);
    RemoveDirectoryW(wide.c_str());
  } else {
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(wide.c_str());
  }
}

bool ReadOnlyFilesRefuseWriting() {
  static const bool refused = [] {
    TempFolder folder("ro-probe");
    const std::string path = folder / "probe";
    if (!WriteBytes(path, "") || !SetReadOnly(path, true)) return true;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return true;
    CloseHandle(h);
    return false;
  }();
  return refused;
}

std::string ToWindowsPath(std::string path) {
  if (path.empty() || path.front() != '/') return path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

unsigned AnsiCodePage() { return GetACP(); }

std::vector<std::string> SplitCrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace testing_win32
