#include "EngineState.h"

#include "EngineError.h"

namespace engine {
namespace {

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::size_t CaseInsensitiveHash::operator()(std::string_view s) const noexcept {
  // FNV-1a over the folded bytes.
  std::size_t h = 1469598103934665603ull;
  for (char c : s) {
    h ^= static_cast<unsigned char>(FoldCase(c));
    h *= 1099511628211ull;
  }
  return h;
}

bool CaseInsensitiveEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool ParameterTable::Add(std::string key, std::string value) {
  return map_.try_emplace(std::move(key), std::move(value)).second;
}

const std::string* ParameterTable::Find(std::string_view key) const {
  auto it = map_.find(key);
  return it == map_.end() ? nullptr : &it->second;
}

const std::string& ParameterTable::Item(std::string_view key) const {
  if (const std::string* v = Find(key)) return *v;
  throw EngineError("Invalid procedure call or argument");
}

}  // namespace engine
