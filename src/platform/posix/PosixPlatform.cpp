#include "platform/posix/PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "EngineError.h"
#include "platform/posix/ErrorText.h"

namespace engine {
namespace {

[[noreturn]] void Fail(const char* call, const std::string& path, int error) {
  throw EngineError(DescribeFailure(call, path, error));
}

/// Owns a file descriptor.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  /// Closes now, so that a failing close can be reported.
  int Close() {
    const int r = ::close(fd_);
    fd_ = -1;
    return r;
  }

 private:
  int fd_;
};

class PosixReadableFile : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_.get(), buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) Fail("read", path_, errno);
    }
  }

 private:
  Fd fd_;
  std::string path_;
};

void WriteAll(int fd, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write", path, errno);
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

void WriteAndClose(const std::string& path, int flags, std::string_view data) {
  const std::string native = PosixFileSystem::ToNative(path);
  // A read-only file refuses writing as it would on Windows, also for root.
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) {
    Fail("open", path, EACCES);
  }
  Fd fd(::open(native.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) Fail("open", path, errno);
  WriteAll(fd.get(), data, path);
  if (fd.Close() != 0) Fail("close", path, errno);
}

}  // namespace

void PosixConsole::Write(std::string_view bytes) {
  // Closed or unread standard output loses the line; nothing is reported.
  const ssize_t ignored = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
  (void)ignored;
}

std::string PosixFileSystem::ToNative(const std::string& path) {
  std::string native = path;
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

std::uint32_t PosixFileSystem::GetAttributes(const std::string& path) {
  struct stat st {};
  if (path.empty()) Fail("stat", path, ENOENT);
  if (::stat(ToNative(path).c_str(), &st) != 0) Fail("stat", path, errno);
  if (S_ISDIR(st.st_mode)) return kAttributeDirectory;
  return (st.st_mode & S_IWUSR) ? kAttributeNormal : kAttributeReadOnly;
}

void PosixFileSystem::DeleteFile(const std::string& path) {
  const std::string native = ToNative(path);
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) Fail("unlink", path, errno);
  if (S_ISDIR(st.st_mode)) Fail("unlink", path, EISDIR);
  if (!(st.st_mode & S_IWUSR)) Fail("unlink", path, EACCES);
  if (::unlink(native.c_str()) != 0) Fail("unlink", path, errno);
}

std::unique_ptr<ReadableFile> PosixFileSystem::OpenForReading(const std::string& path) {
  const int fd = ::open(ToNative(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("open", path, errno);
  return std::make_unique<PosixReadableFile>(fd, path);
}

void PosixFileSystem::WriteNewFile(const std::string& path, std::string_view data) {
  WriteAndClose(path, O_TRUNC, data);
}

void PosixFileSystem::AppendToFile(const std::string& path, std::string_view data, bool) {
  // POSIX has no share modes: every open is "shared". Each call appends its
  // one line with O_APPEND, so concurrent writers never interleave within it.
  WriteAndClose(path, O_APPEND, data);
}

std::string PosixFileSystem::LocalTimestamp() {
  const time_t now = ::time(nullptr);
  struct tm local {};
  ::localtime_r(&now, &local);
  // The locale's own date and time formats, without touching the global locale.
  locale_t loc = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) loc = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  char buffer[128];
  const std::size_t n = ::strftime_l(buffer, sizeof buffer, "%x %X", &local, loc);
  ::freelocale(loc);
  return std::string(buffer, n);
}

void PosixMessageBox::ShowFatal(const std::string& caption, const std::string& text) {
  const std::string line = caption + ": " + text + "\n";
  const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

PosixProcesses::PosixProcesses(int argc, char** argv) : commandText_(JoinArguments(argc, argv)) {}

std::string PosixProcesses::JoinArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

std::string PosixProcesses::CommandText() { return commandText_; }

bool PosixProcesses::EnumProcesses(std::uint32_t* pids, std::uint32_t bufferBytes,
                                   std::uint32_t* returnedBytes) {
  *returnedBytes = 0;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  const std::uint32_t capacity = bufferBytes / 4;
  std::uint32_t count = 0;
  while (count < capacity) {
    const dirent* entry = ::readdir(proc);
    if (entry == nullptr) break;
    char* end = nullptr;
    const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0') continue;
    pids[count++] = static_cast<std::uint32_t>(pid);
  }
  ::closedir(proc);
  *returnedBytes = count * 4;
  return true;
}

ProcessHandle PosixProcesses::OpenProcess(std::uint32_t, bool, std::uint32_t pid) {
  // A process whose executable link can't be read counts as one that can't
  // be opened.
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  char target[4096];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
  if (n <= 0) return 0;
  const ProcessHandle handle = nextHandle_++;
  open_.emplace(handle, std::string(target, static_cast<std::size_t>(n)));
  return handle;
}

bool PosixProcesses::EnumProcessModules(ProcessHandle process, ModuleHandle* modules,
                                        std::uint32_t bufferBytes, std::uint32_t* neededBytes) {
  if (open_.find(process) == open_.end()) return false;
  *neededBytes = sizeof(ModuleHandle);
  if (bufferBytes >= sizeof(ModuleHandle)) modules[0] = 1;  // the executable itself
  return true;
}

std::uint32_t PosixProcesses::GetModuleFileNameEx(ProcessHandle process, ModuleHandle module,
                                                  char* name, std::uint32_t size) {
  auto it = open_.find(process);
  if (it == open_.end() || module != 1 || size == 0) return 0;
  // Like the Windows call: cut to fit, always NUL-terminated.
  const std::size_t n = std::min<std::size_t>(it->second.size(), size - 1);
  std::memcpy(name, it->second.data(), n);
  name[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

void PosixProcesses::CloseHandle(ProcessHandle process) { open_.erase(process); }

}  // namespace engine
