#include "Reference.h"

#include <algorithm>
#include <stdexcept>

namespace engine::reference {
namespace {

// A 16-bit signed position: anything beyond its range overflows.
long I16(long v) {
  if (v > 32767 || v < -32768) throw std::overflow_error("Overflow");
  return v;
}

// InStr: 1-based position of |pattern| in |s| searching from |start|, or 0.
long InStr(long start, const std::string& s, const std::string& pattern) {
  if (start < 1) throw std::runtime_error("Invalid procedure call or argument");
  if (start > static_cast<long>(s.size())) return 0;
  for (long i = start; i + static_cast<long>(pattern.size()) - 1 <= static_cast<long>(s.size());
       ++i) {
    if (s.compare(i - 1, pattern.size(), pattern) == 0) return i;
  }
  return 0;
}

// Mid(s, start[, length]) with 1-based start.
std::string Mid(const std::string& s, long start, long length = -1) {
  if (start < 1 || (length < -1)) throw std::runtime_error("Invalid procedure call or argument");
  if (start > static_cast<long>(s.size())) return "";
  return length < 0 ? s.substr(start - 1) : s.substr(start - 1, length);
}

std::string Left(const std::string& s, long n) {
  if (n < 0) throw std::runtime_error("Invalid procedure call or argument");
  return s.substr(0, n);
}

// Keys compare in ASCII upper case.
std::string UCase(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

struct File {
  const std::string& content;
  std::size_t pos = 0;
  bool Eof() const { return pos >= content.size(); }
  std::string ReadLine() {
    if (Eof()) throw std::runtime_error("Input past end of file");
    std::string line;
    while (!Eof()) {
      const char c = content[pos++];
      if (c == '\n' || c == '\r') break;
      line += c;
    }
    return line;
  }
};

bool IsWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::optional<std::string> Lookup(const Entries& entries, const std::string& key) {
  for (const auto& [k, v] : entries) {
    if (UCase(k) == UCase(key)) return v;
  }
  return std::nullopt;
}

bool LoadRequest(const std::string& content, Entries& entries) {
  try {
    File file{content};
    std::string last;
    bool inSection = false;
    for (;;) {
      if (last == "@end" || file.Eof()) return true;
      if (!inSection) {
        std::string line;
        do {
          line = file.ReadLine();
        } while (InStr(1, line, "@Properties LocalData") == 0);
        inSection = true;
      }
      last = file.ReadLine();
      const long p = I16(InStr(1, last, "="));
      if (p == 0) continue;
      const std::string key = Left(last, I16(p - 1));
      const std::string value = Mid(last, I16(p + 1));
      if (!Lookup(entries, key)) entries.emplace_back(key, value);
    }
  } catch (const std::exception&) {
    return false;
  }
}

std::string NormalizeRequestPath(const std::string& path) {
  std::string s = path;
  long p = I16(InStr(1, s, "/\\@"));
  while (p >= 2) {
    s = Left(s, p) + Mid(s, I16(p + 2));
    p = I16(InStr(1, s, "/\\@"));
  }
  p = I16(InStr(1, s, "\\@"));
  while (p >= 2) {
    s = Left(s, I16(p - 1)) + Mid(s, I16(p + 1));
    p = I16(InStr(1, s, "\\@"));
  }
  std::replace(s.begin(), s.end(), '/', '\\');
  if (Left(s, 4) == "\\\\\\\\") return "\\\\" + Mid(s, 5);
  if (Left(s, 3) == "\\\\\\") return "\\\\" + Mid(s, 4);
  return s;
}

std::string FindInParameterString(const std::string& s, const std::string& key) {
  if (key.empty()) return "";
  // The first occurrence standing as a whole key outside double quotes.
  long found = 0;
  for (long at = InStr(1, s, key); at != 0 && found == 0; at = InStr(at + 1, s, key)) {
    long quotes = 0;
    for (long i = 1; i < at; ++i) quotes += s[i - 1] == '"';
    const long after = at + static_cast<long>(key.size());
    const bool before = at == 1 || !IsWordCharacter(s[at - 2]);
    const bool behind = after > static_cast<long>(s.size()) || !IsWordCharacter(s[after - 1]);
    if (before && behind && quotes % 2 == 0) found = at;
  }
  if (found == 0) return "";

  const long c = I16(I16(found) + static_cast<long>(key.size()));
  const std::string first = Mid(s, c, 1);
  const std::string second = Mid(s, I16(c + 1), 1);
  long start = 0, end = 0;
  if (first == "\"" || second == "\"") {
    start = I16((first == "\"" ? c : c + 1) + 1);
    end = I16(InStr(start, s, "\""));
  } else {
    start = I16(c + 1);
    end = I16(InStr(I16(start + 1), s, "-"));
    if (end == 0) end = I16(static_cast<long>(s.size()) + 1);
  }
  const long length = I16(end - start);
  if (length < 0) throw std::runtime_error("Invalid procedure call or argument");
  std::string v = Mid(s, start, length);
  while (!v.empty() && v.front() == ' ') v.erase(0, 1);
  while (!v.empty() && v.back() == ' ') v.pop_back();
  return v;
}

}  // namespace engine::reference
