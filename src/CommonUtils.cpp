#include "CommonUtils.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "AnsiText.h"
#include "ComunicationUtils.h"
#include "EngineError.h"
#include "HostProtocol.h"
#include "PhotoShopMain.h"
#include "RequestReader.h"
#include "TextReader.h"

namespace engine {
namespace {

constexpr std::size_t kModuleHandles = 50;
constexpr std::uint32_t kNameBufferSize = 260;

std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// The PIDs in decimal, separated by single blanks. The list is counted with a
// 16-bit integer, so one of 32 767 entries or more overflows.
std::string JoinPids(const PidList& pids) {
  if (pids.size() >= kMaxPosition16) throw EngineError(kOverflow);
  std::string text;
  for (std::size_t i = 0; i < pids.size(); ++i) {
    if (i > 0) text += ' ';
    text += std::to_string(pids[i]);
  }
  return text;
}

// First pass of the path normalization: every "/\@" loses its backslash,
// unless the first occurrence stands at the very start, which stops the pass.
// Removing one backslash leaves "/@", which can't form a new occurrence before
// the next original one, so a single left-to-right walk gives what repeated
// searches from the start would.
std::string DropSlashBackslashAt(const AnsiCharacters& characters, const std::string& path) {
  constexpr std::string_view kPattern = "/\\@";
  const AnsiText text(characters, path);
  std::size_t found = text.Find(kPattern);
  if (found == std::string::npos) return path;
  std::string out;
  out.reserve(path.size());
  std::size_t from = 0;
  std::size_t removed = 0;
  while (found != std::string::npos) {
    const std::size_t p = text.Position(found) - removed;  // in the text as it is by now
    if (p < 2) return path;  // only possible for the first occurrence
    Check16(p + 2);          // bounds p too
    out.append(path, from, found + 1 - from);  // up to and including the "/"
    from = found + 2;                          // skip the backslash
    ++removed;
    found = text.Find(kPattern, from);
  }
  out.append(path, from, std::string::npos);
  return out;
}

// Second pass: a run of backslashes in front of an at sign shrinks one
// backslash at a time, always at the first occurrence, until it is gone or
// until what is left of it reaches the first character, which stops the pass
// with everything behind it unchanged.
std::string DropBackslashAt(const AnsiCharacters& characters, const std::string& path) {
  const AnsiText text(characters, path);
  std::string out;
  out.reserve(path.size());
  std::size_t outUnits = 0;  // the length of |out| as the host counts it
  std::size_t run = 0;       // backslash characters that end |out|
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t next = text.Next(i);
    if (run > 0 && text.Is(i, '@')) {
      Check16(outUnits + 1);  // the run's last backslash and the at sign, 1-based
      if (run == out.size()) {  // the run reaches the first character
        out.resize(1);  // one backslash stays, at the first character
        out.push_back('@');
        out.append(path, i + 1, std::string::npos);
        return out;
      }
      out.resize(out.size() - run);
      outUnits -= run;
    }
    run = text.Is(i, '\\') ? run + 1 : 0;
    const std::size_t position = text.Position(i);
    outUnits += text.Position(next) - position;
    out.append(path, i, next - i);
    i = next;
  }
  return out;
}

}  // namespace

std::string FixUncPrefix(const std::string& path) {
  if (path.starts_with("\\\\\\\\")) return "\\\\" + path.substr(4);
  if (path.starts_with("\\\\\\")) return "\\\\" + path.substr(3);
  return path;
}

std::string NormalizeRequestPath(const AnsiCharacters& characters, const std::string& path) {
  // The prefix's backslashes begin the text, so they are whole characters.
  return FixUncPrefix(ReplaceCharacter(
      characters, DropBackslashAt(characters, DropSlashBackslashAt(characters, path)), '/', '\\'));
}

bool LoadRequestFile(Engine& e, const std::string& path) {
  try {
    TextReader file(
        e.platform.fileSystem.OpenForReading(NormalizeRequestPath(e.characters, path)));
    ReadRequest(file, e.characters, e.state.g_requestParameters);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::int16_t GetPathKind(Engine& e, const std::string& path) {
  try {
    const std::uint32_t attributes = e.platform.fileSystem.GetAttributes(path);
    // Only the two flags that decide the kind are looked at: pinned, online-only
    // or integrity-stream files carry high flags and are files like any other.
    if (attributes & kAttributeDirectory) return 1;
    return (attributes & kAttributeReadOnly) ? 2 : 3;
  } catch (const std::exception&) {
    return 0;
  }
}

void DeleteFileQuietly(Engine& e, const std::string& path) {
  try {
    e.platform.fileSystem.DeleteFile(path);
  } catch (const std::exception&) {
    // A stale result file that can't be deleted stays; nobody is told.
  }
}

void InitializeEngine(Engine& e, const std::string& commandText) {
  EngineState& s = e.state;
  s.g_requestParameters.Clear();
  s.g_pidsBefore.clear();
  s.g_pidsAfter.clear();
  s.g_returnCode = 1;

  if (GetPathKind(e, commandText) == 0) {
    if (AnsiText(e.characters, commandText).Find("version") != std::string::npos) {
      ReportVersion(e);
    } else if (e.platform.messageBox.CanBeSeen()) {
      e.platform.messageBox.ShowFatal(kApplicationTitle, std::string(protocol::kNoDataPassed));
    } else {
      // Nobody could press OK on a window station no one sees: say it where a
      // host's log catches it, and end as if it had been pressed.
      WriteConsoleLine(e, protocol::kNoDataPassed);
    }
    throw ProcessEnd{};
  }

  WriteConsoleLine(e, protocol::kLoading);
  if (!LoadRequestFile(e, commandText)) {
    s.g_lastErrorDescription = protocol::kUnableToParse;
    s.g_returnCode = protocol::kStatusUnparsable;
    WriteResultFile(e);
    throw ProcessEnd{};
  }

  // The table's own lookup: no default, and a missing key is a failure.
  DeleteFileQuietly(e, s.g_requestParameters.Item(protocol::keys::kOutputFile));
}

void WriteConsoleLine(Engine& e, std::string_view text) {
  e.platform.console.Write(std::string(text) + '\n');  // one write: the line arrives whole
}

std::string ToForwardSlashes(const AnsiCharacters& characters, const std::string& text) {
  return ReplaceCharacter(characters, text, '\\', '/');
}

void LogMessage(Engine& e, std::string& message, std::string& type) {
  EngineState& s = e.state;
  bool setHere = false;
  try {
    if (type.starts_with("ERROR") && !s.g_forceLog) {
      s.g_forceLog = true;
      setHere = true;
    }
    if (s.g_forceLog) {
      if (type.empty()) type = "Info";
      message = ToForwardSlashes(e.characters, message);
      e.platform.fileSystem.AppendToFile(s.g_logDirectory + std::string(protocol::kDiagnosticLog),
                                         message + "\r\n",
                                         /*shared=*/true);
    }
    if (setHere) s.g_forceLog = false;
    WriteConsoleLine(e, message);
  } catch (const std::exception& failure) {
    if (setHere) s.g_forceLog = false;
    std::string description = "Error description = " + DescriptionOf(failure);
    std::string original = "Original Reporting Message: " + message;
    std::string originalType = "Original Reporting Type" + type;
    WriteSevereError(e, description);
    WriteSevereError(e, original);
    WriteSevereError(e, originalType);
  }
}

void CollectProcessIds(Engine& e, PidList& pids) {
  Processes& processes = e.platform.processes;

  // Grow the buffer until the enumeration leaves room to spare; only the
  // returned size drives the loop.
  std::uint32_t bufferBytes = 8;
  std::uint32_t returnedBytes = 96;
  std::vector<std::uint32_t> all;
  while (bufferBytes <= returnedBytes) {
    bufferBytes *= 2;
    all.assign(bufferBytes / 4, 0);
    returnedBytes = 0;
    processes.EnumProcesses(all.data(), bufferBytes, &returnedBytes);
  }
  all.resize(std::min<std::size_t>(returnedBytes / 4, all.size()));

  // When start-up was abandoned the image name was never set; an empty name
  // would match every process, and a host that stops the listed processes
  // after a job would stop the whole machine. Look for the application then too.
  const std::string wanted = ToUpperAscii(e.state.g_processImageName.empty()
                                              ? protocol::kApplicationImage
                                              : e.state.g_processImageName);

  for (const std::uint32_t pid : all) {
    // Closed before the next PID whatever happens below.
    const OwnedProcess owned = processes.Open(kProcessQueryInformation | kProcessVmRead, pid);
    const ProcessHandle process = owned.Get();
    if (process == 0) continue;

    ModuleHandle modules[kModuleHandles] = {};
    std::uint32_t neededBytes;  // the enumeration's to fill; not needed here
    if (!processes.EnumProcessModules(process, modules, sizeof modules, &neededBytes)) continue;

    // The name buffer keeps its full length: the path, its NUL, then blanks.
    char name[kNameBufferSize + 1];
    std::fill(name, name + kNameBufferSize, ' ');
    name[kNameBufferSize] = '\0';
    processes.GetModuleFileNameEx(process, modules[0], name, kNameBufferSize);
    // Upper-casing ASCII letters leaves every lead byte as it is.
    const std::string upper = ToUpperAscii(std::string_view(name, kNameBufferSize));
    if (AnsiText(e.characters, upper).Find(wanted) != std::string::npos) pids.push_back(pid);
  }
}

void ReportProcessIds(Engine& e) {
  WriteConsoleLine(e, protocol::kSectionLine);
  WriteConsoleLine(e, std::string(protocol::kPidsBefore) + JoinPids(e.state.g_pidsBefore));
  WriteConsoleLine(e, std::string(protocol::kPidsAfter) + JoinPids(e.state.g_pidsAfter));
  WriteConsoleLine(e, protocol::kEndLine);
}

}  // namespace engine
