#include "ComunicationUtils.h"

#include <string_view>

#include "CommonUtils.h"
#include "EngineError.h"
#include "TextReader.h"

namespace engine {
namespace {

constexpr int kVersionMajor = 8;
constexpr int kVersionMinor = 0;
constexpr int kVersionRevision = 1;

constexpr std::size_t kMaxPosition16 = 32767;

void Check16(std::size_t position) {
  if (position > kMaxPosition16) throw EngineError(kOverflow);
}

bool IsWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// 0-based index of the first place where |key| stands as a whole key outside
// any double-quoted section, or npos. Keys inside longer keys or inside quoted
// values would otherwise hand back fragments of other parameters.
std::size_t FindWholeKey(const std::string& s, std::string_view key) {
  if (key.empty()) return std::string::npos;
  std::size_t quotes = 0;
  std::size_t counted = 0;  // quotes have been counted in s[0, counted)
  for (std::size_t at = s.find(key); at != std::string::npos; at = s.find(key, at + 1)) {
    for (; counted < at; ++counted) {
      if (s[counted] == '"') ++quotes;
    }
    const bool wholeBefore = at == 0 || !IsWordCharacter(s[at - 1]);
    const std::size_t after = at + key.size();
    // At the end of |s| this reads its terminating NUL, which is no word character.
    const bool wholeAfter = !IsWordCharacter(s.c_str()[after]);
    if (wholeBefore && wholeAfter && quotes % 2 == 0) return at;
  }
  return std::string::npos;
}

// The character at 1-based |position|, or 0 beyond the end of |s|.
char At(const std::string& s, std::size_t position) {
  return position >= 1 && position <= s.size() ? s[position - 1] : '\0';
}

// 1-based position of the first |c| at or after 1-based |from|, or 0.
std::size_t Find1(const std::string& s, char c, std::size_t from) {
  if (from < 1 || from > s.size()) return 0;
  const std::size_t i = s.find(c, from - 1);
  return i == std::string::npos ? 0 : i + 1;
}

std::string TrimBlanks(std::string_view v) {
  const std::size_t first = v.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = v.find_last_not_of(' ');
  return std::string(v.substr(first, last - first + 1));
}

}  // namespace

void ReportVersion(Engine& e) {
  WriteConsoleLine(e, std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
                          ".0." + std::to_string(kVersionRevision));
}

std::string FindInParameterString(const EngineState& state, std::string_view key) {
  const std::string& s = state.g_parameterString;
  const std::size_t at = FindWholeKey(s, key);
  if (at == std::string::npos) return {};

  const std::size_t p = at + 1;
  const std::size_t c = p + key.size();
  Check16(c + 1);  // bounds p and c too

  std::size_t start = 0;
  std::size_t end = 0;
  if (At(s, c) == '"' || At(s, c + 1) == '"') {
    start = (At(s, c) == '"' ? c : c + 1) + 1;
    Check16(start);
    // The closing quote is searched from the value's first character on, so
    // that "" reads as the empty text.
    end = Find1(s, '"', start);
  } else {
    start = c + 1;  // one separator character after the key
    Check16(start + 1);
    // From one past the first character: an unquoted value may begin with "-".
    end = Find1(s, '-', start + 1);
    if (end == 0) end = s.size() + 1;
  }
  Check16(end);
  if (end < start) throw EngineError("Invalid procedure call or argument");

  if (start > s.size()) return {};
  return TrimBlanks(std::string_view(s).substr(start - 1, end - start));
}

std::string GetParameter(Engine& e, std::string_view name, const std::string& defaultValue) {
  try {
    std::string value = FindInParameterString(e.state, name);
    if (!value.empty()) return value;
    if (auto stored = e.state.g_requestParameters.Find(name)) return std::string(*stored);
  } catch (const std::exception&) {
  }
  return defaultValue;
}

bool GetBooleanParameter(Engine& e, std::string_view name, bool defaultValue) {
  try {
    std::string value = FindInParameterString(e.state, name);
    if (value.empty()) {
      auto stored = e.state.g_requestParameters.Find(name);
      if (!stored) return defaultValue;
      value = *stored;
    }
    return ParseBoolean(value, defaultValue);
  } catch (const std::exception&) {
    return defaultValue;
  }
}

bool ParseBoolean(const std::string& value, bool defaultValue) {
  if (value.empty()) return defaultValue;
  if (value == "-1") return true;
  switch (value[0]) {
    case '1':
    case 'T':
    case 't':
    case 'Y':
    case 'y':
      return true;
    default:
      return false;  // "0", "F", "N" and anything unrecognised alike
  }
}

void WriteSevereError(Engine& e, std::string& message) {
  if (message.empty()) return;
  try {
    if (message.find("* ERROR ") == std::string::npos) message = std::string(10, ' ') + message;
    std::string path = e.state.g_logDirectory + "\\" + "SevereError.log";
    for (char& c : path) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const std::string line = e.platform.fileSystem.LocalTimestamp() + "     " + message + "\r\n";
    e.platform.fileSystem.AppendToFile(path, line, /*shared=*/false);
  } catch (const std::exception& failure) {
    e.state.g_lastErrorDescription = DescriptionOf(failure);
  }
}

void ReplaceInErrorDescription(Engine& e, const std::string& character) {
  if (character.empty()) return;
  std::string& d = e.state.g_lastErrorDescription;
  // Replacing by a blank never creates a new occurrence (unless the character
  // is the blank itself, which is then already in place), so one walk finds
  // the same occurrences as searching again from the start each time.
  for (std::size_t at = d.find(character); at != std::string::npos;
       at = d.find(character, at + 1)) {
    Check16(at + 2);  // the 1-based position after the replaced character
    d.replace(at, character.size(), " ");
  }
}

void WriteResultFile(Engine& e) {
  EngineState& s = e.state;
  const std::string path = GetParameter(e, keys::kOutputFile, "");

  std::string announcement = "!nxWritingNativeResults";
  std::string type;
  LogMessage(e, announcement, type);

  ReplaceInErrorDescription(e, "\n");
  ReplaceInErrorDescription(e, "\r");
  s.g_outExtension.clear();
  s.g_outFormat = "application/x-unknown";
  s.g_resultFilePath = "<Not Converted>";

  const std::string status =
      s.g_returnCode >= 0 ? " " + std::to_string(s.g_returnCode) : std::to_string(s.g_returnCode);
  std::string content;
  for (const std::string& line : {
           std::string("@Properties LocalData"),
           std::string("StatusMsg=finished"),
           "OutExtension=" + s.g_outExtension,
           "OutFormat=" + s.g_outFormat,
           "ResultFilePath=" + ToForwardSlashes(s.g_resultFilePath),
           "LastErrorDescription=" + ToForwardSlashes(s.g_lastErrorDescription),
           "ErrorStatusCode=" + status,
           "AdditionalData=" + s.g_additionalData,
           std::string("@end"),
       }) {
    content += line;
    content += "\r\n";
  }
  e.platform.fileSystem.WriteNewFile(path, content);
}

void UpdateProcessIds(Engine& e) {
  try {
    ReportProcessIds(e);
  } catch (const std::exception&) {
    std::string message = "!nxErrorUpdatingPIDs";
    std::string type = "ERROR";
    LogMessage(e, message, type);
  }
}

}  // namespace engine
