#include "ComunicationUtils.h"

#include <string_view>

#include "AnsiText.h"
#include "CommonUtils.h"
#include "EngineError.h"
#include "EngineVersion.h"
#include "HostProtocol.h"
#include "TextReader.h"

namespace engine {
namespace {

bool IsWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// 0-based index of the first place where |key| stands as a whole key outside
// any double-quoted section, or npos. Keys inside longer keys or inside quoted
// values would otherwise hand back fragments of other parameters. Only whole
// characters count: a double-byte character is no word character, whatever
// its second byte.
std::size_t FindWholeKey(const AnsiText& text, const std::string& s, std::string_view key) {
  if (key.empty()) return std::string::npos;
  std::size_t quotes = 0;
  std::size_t counted = 0;  // quotes have been counted in s[0, counted)
  std::size_t before = std::string::npos;  // where the character before |counted| begins
  for (std::size_t at = text.Find(key); at != std::string::npos; at = text.Find(key, at + 1)) {
    for (; counted < at; counted = text.Next(counted)) {
      before = counted;
      if (s[counted] == '"') ++quotes;
    }
    const bool wholeBefore = at == 0 || !IsWordCharacter(s[before]);
    const std::size_t after = at + key.size();
    // At the end of |s| this reads its terminating NUL, which is no word character.
    const bool wholeAfter = !IsWordCharacter(s.c_str()[after]);
    if (wholeBefore && wholeAfter && quotes % 2 == 0) return at;
  }
  return std::string::npos;
}

std::string TrimBlanks(std::string_view v) {
  const std::size_t first = v.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = v.find_last_not_of(' ');
  return std::string(v.substr(first, last - first + 1));
}

}  // namespace

void ReportVersion(Engine& e) { WriteConsoleLine(e, kVersionText); }

// Works on byte offsets and checks positions as the host counts them: a
// separator or value character may be a double-byte one. (Where a UTF-8
// separator needs two UTF-16 units, the value starts after the whole
// character rather than between the two halves of a surrogate pair.)
std::string FindInParameterString(const EngineState& state, const AnsiCharacters& characters,
                                  std::string_view key) {
  const std::string& s = state.g_parameterString;
  const AnsiText text(characters, s);
  const std::size_t at = FindWholeKey(text, s, key);
  if (at == std::string::npos) return {};

  // Every position checked below lies past the key, so the checks bound it too.
  const std::size_t c = at + key.size();  // the character after the key
  const std::size_t c1 = text.Next(c);    // and the one after that

  std::size_t start;  // where the value begins, and where it ends
  std::size_t end;
  if (text.Is(c, '"') || text.Is(c1, '"')) {
    start = text.Is(c, '"') ? c1 : text.Next(c1);
    Check16(text.Position(start));
    // The closing quote is searched from the value's first character on, so
    // that "" reads as the empty text.
    end = text.Find("\"", start);
    if (end == std::string::npos) throw EngineError(kInvalidCall);
    Check16(text.Position(end));
  } else {
    start = c1;  // one separator character after the key
    Check16(text.Position(start) + 1);
    // From the value's second character: an unquoted value may begin with "-".
    const std::size_t from = text.Next(start);
    end = text.Find("-", from);
    if (end == std::string::npos) end = s.size();
    Check16(text.Position(end));
    if (end < start) throw EngineError(kInvalidCall);
  }

  if (start >= s.size()) return {};
  return TrimBlanks(std::string_view(s).substr(start, end - start));
}

std::string GetParameter(Engine& e, std::string_view name, const std::string& defaultValue) {
  try {
    std::string value = FindInParameterString(e.state, e.characters, name);
    if (!value.empty()) return value;
    if (auto stored = e.state.g_requestParameters.Find(name)) return std::string(*stored);
  } catch (const std::exception&) {
  }
  return defaultValue;
}

bool GetBooleanParameter(Engine& e, std::string_view name, bool defaultValue) {
  try {
    std::string value = FindInParameterString(e.state, e.characters, name);
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
    if (AnsiText(e.characters, message).Find("* ERROR ") == std::string::npos) {
      message = std::string(10, ' ') + message;
    }
    std::string path = e.state.g_logDirectory + "\\" + std::string(protocol::kSevereErrorLog);
    for (char& c : path) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const std::string line = e.platform.fileSystem.LocalTimestamp() + "     " + message + "\r\n";
    e.platform.fileSystem.AppendToFile(path, line, /*shared=*/false);
  } catch (const std::exception& failure) {
    e.state.g_lastErrorDescription = DescriptionOf(failure);
  }
}

void ReplaceInErrorDescription(Engine& e, char character) {
  std::string& d = e.state.g_lastErrorDescription;
  // Replacing by a blank never creates a new occurrence (unless the character
  // is the blank itself, which is then already in place), so one walk finds
  // the same occurrences as searching again from the start each time.
  const AnsiText text(e.characters, d);
  const std::string_view needle(&character, 1);
  for (std::size_t at = text.Find(needle); at != std::string::npos;
       at = text.Find(needle, at + 1)) {
    Check16(text.Position(at) + 1);  // the 1-based position after the replaced character
    d[at] = ' ';
  }
}

void WriteResultFile(Engine& e) {
  EngineState& s = e.state;
  const std::string path = GetParameter(e, protocol::keys::kOutputFile, "");

  std::string announcement(protocol::kWritingResults);
  std::string type;
  LogMessage(e, announcement, type);

  ReplaceInErrorDescription(e, '\n');
  ReplaceInErrorDescription(e, '\r');
  s.g_outExtension.clear();
  s.g_outFormat = protocol::kUnknownFormat;
  s.g_resultFilePath = protocol::kNotConverted;

  const std::string status =
      s.g_returnCode >= 0 ? " " + std::to_string(s.g_returnCode) : std::to_string(s.g_returnCode);
  const auto forward = [&e](const std::string& text) {
    return ToForwardSlashes(e.characters, text);
  };
  std::string content;
  for (const std::string& line : {
           std::string(protocol::kSectionLine),
           std::string(protocol::kResultStatus),
           std::string(protocol::kResultExtension) + s.g_outExtension,
           std::string(protocol::kResultFormat) + s.g_outFormat,
           std::string(protocol::kResultPath) + forward(s.g_resultFilePath),
           std::string(protocol::kResultDescription) + forward(s.g_lastErrorDescription),
           std::string(protocol::kResultStatusCode) + status,
           std::string(protocol::kResultAdditionalData) + s.g_additionalData,
           std::string(protocol::kEndLine),
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
    std::string message(protocol::kErrorUpdatingPids);
    std::string type = "ERROR";
    LogMessage(e, message, type);
  }
}

}  // namespace engine
