#include "ParameterTable.h"

#include "EngineError.h"

namespace engine {
namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

bool ParameterTable::Add(std::string_view key, std::string value) {
  if (Find(key)) return false;
  entries_.emplace_back(std::string(key), std::move(value));
  return true;
}

std::optional<std::string_view> ParameterTable::Find(std::string_view key) const {
  for (const auto& [k, v] : entries_) {
    if (SameKey(k, key)) return std::string_view(v);
  }
  return std::nullopt;
}

std::string ParameterTable::Item(std::string_view key) const {
  if (auto value = Find(key)) return std::string(*value);
  throw EngineError("Invalid procedure call or argument");
}

}  // namespace engine
