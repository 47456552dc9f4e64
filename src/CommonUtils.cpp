#include "CommonUtils.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "AnsiText.h"
#include "ComunicationUtils.h"
#include "EngineError.h"
#include "HostProtocol.h"
#include "PhotoShopMain.h"
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

using protocol::kEndLine;
using protocol::kSectionLine;
constexpr std::uint32_t kAttributeReadOnly = 1;
constexpr std::uint32_t kAttributeDirectory = 16;

// First pass of the path normalization: every "/\@" loses its backslash,
// unless the first occurrence stands at the very start, which stops the pass.
// Removing one backslash leaves "/@", which can't form a new occurrence before
// the next original one, so a single left-to-right walk gives what repeated
// searches from the start would.
std::string DropSlashBackslashAt(const AnsiCharacters& characters, const std::string& path) {
  constexpr std::string_view kPattern = "/\\@";
  AnsiText text(characters, path);
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
  AnsiText text(characters, path);
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
    // Asked in this order: the text counts positions cheapest going forward.
    const std::size_t position = text.Position(i);
    outUnits += text.Position(next) - position;
    out.append(path, i, next - i);
    i = next;
  }
  return out;
}

// Whether a line, seen piece by piece, contains the section line's text where
// a character begins. Only the tail that could start a match across two
// pieces is kept, from a character's beginning.
class SectionLine {
 public:
  explicit SectionLine(const AnsiCharacters& characters) : characters_(characters) {}

  void Add(std::string_view piece) {
    if (found_) return;
    if (carry_.empty() && characters_.kind != AnsiCharacters::Kind::DoubleByte) {
      // Every ASCII byte is a whole character here: no copy needed.
      found_ = piece.find(kSectionLine) != std::string_view::npos;
      carry_.assign(piece.substr(piece.size() - std::min(piece.size(), kCarry)));
      return;
    }
    carry_.append(piece);
    AnsiText text(characters_, carry_);
    found_ = text.Find(kSectionLine) != std::string::npos;
    carry_.erase(0, text.Begin(carry_.size() - std::min(carry_.size(), kCarry)));
  }
  bool Found() const { return found_; }

 private:
  static constexpr std::size_t kCarry = kSectionLine.size();
  const AnsiCharacters& characters_;
  std::string carry_;  // the last characters so far, enough to start the text
  bool found_ = false;
};

// One entry line, seen piece by piece. It checks what can fail the load (the
// position of the first "=") and keeps the line only when its key is one the
// engine looks up and the first of its kind; any other line is let go as it
// passes, so memory grows neither with the request nor with its lines.
class EntryLine {
 public:
  EntryLine(ParameterTable& table, const AnsiCharacters& characters)
      : table_(table), characters_(characters), counter_(characters) {}

  void Add(std::string_view piece) {
    if (keep_) {
      value_.append(piece);
      return;
    }
    // A line let go, or nothing to see (the empty line a CR LF pair yields).
    if (equals_ != std::string_view::npos || piece.empty()) return;
    const std::size_t eq = FindEquals(piece);
    if (eq == std::string_view::npos) {
      // Only a short start can still turn out to be a looked-up key or the end line.
      if (length_ + piece.size() <= kHead) head_.append(piece);
      length_ += piece.size();
      return;
    }
    equals_ = length_ + eq;
    Check16(unitsBefore_ + 2);  // the 1-based position of the value, past the "="
    std::string_view key = piece.substr(0, eq);
    if (length_ > 0) {  // the key began in an earlier piece
      if (equals_ > kHead) return;
      head_.append(key);
      key = head_;
    }
    keep_ = IsLookedUpKey(key) && !table_.Find(key);
    if (keep_) {
      key_.assign(key);
      value_.assign(piece.substr(eq + 1));
    }
  }

  // Ends the line: stores a kept entry and tells whether it was the end line.
  bool End() {
    const bool endLine = equals_ == std::string_view::npos && length_ == kEndLine.size() &&
                         head_ == kEndLine;
    if (keep_) table_.Add(key_, std::move(value_));
    head_.clear();
    length_ = 0;
    equals_ = std::string_view::npos;
    keep_ = false;
    counter_.Reset();
    return endLine;
  }

 private:
  // The offset in |piece| of the line's first "=" that is a character of its
  // own, or npos; sets unitsBefore_ to the characters before it in the line,
  // as the host counts them.
  std::size_t FindEquals(std::string_view piece) {
    if (characters_.kind == AnsiCharacters::Kind::SingleByte) {
      const std::size_t eq = piece.find('=');
      unitsBefore_ = length_ + eq;
      return eq;
    }
    for (std::size_t i = 0; i < piece.size(); ++i) {
      if (counter_.Take(static_cast<unsigned char>(piece[i])) && piece[i] == '=') {
        unitsBefore_ = counter_.Units() - 1;
        return i;
      }
    }
    return std::string_view::npos;
  }

  // Enough of a line's start for the longest looked-up key and for the end line.
  static constexpr std::size_t kHead = std::max(keys::kLongest, kEndLine.size());

  ParameterTable& table_;
  const AnsiCharacters& characters_;
  CharacterCounter counter_;  // the line's characters up to its first "=" (multi-byte code pages)
  std::size_t unitsBefore_ = 0;  // characters before the first "="
  std::string head_;   // the line's start, while it spans pieces and is short
  std::string key_;    // a kept entry's key
  std::string value_;  // a kept entry's whole value
  std::size_t length_ = 0;  // characters before the first "=", so far
  std::size_t equals_ = std::string_view::npos;  // 0-based position of the first "="
  bool keep_ = false;
};

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
    EntryLine entry(e.state.g_requestParameters, e.characters);
    bool lastWasEnd = false;  // whether the last line read is the end line
    bool inSection = false;
    while (!lastWasEnd && !file.AtEnd()) {
      if (!inSection) {
        // No end-of-file test while skipping: a file without the section line
        // reads past its end and fails.
        for (bool found = false; !found;) {
          SectionLine section(e.characters);
          ReadTextLine(file, [&section](std::string_view piece) { section.Add(piece); });
          found = section.Found();
        }
        inSection = true;
      }
      ReadTextLine(file, [&entry](std::string_view piece) { entry.Add(piece); });
      lastWasEnd = entry.End();
    }
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
  DeleteFileQuietly(e, s.g_requestParameters.Item(keys::kOutputFile));
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
      e.platform.fileSystem.AppendToFile(s.g_logDirectory + "templog.txt", message + "\r\n",
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
  WriteConsoleLine(e, kSectionLine);
  WriteConsoleLine(e, "Before=" + JoinPids(e.state.g_pidsBefore));
  WriteConsoleLine(e, "After=" + JoinPids(e.state.g_pidsAfter));
  WriteConsoleLine(e, kEndLine);
}

}  // namespace engine
