#include "ParameterTable.h"

#include <cstdint>

#include "EngineError.h"
#include "HostProtocol.h"

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

// Asked of every line of a request, so the lengths of the keys answer most of it.
bool IsLookedUpKey(std::string_view key) {
  constexpr std::uint64_t kLengths = [] {
    std::uint64_t lengths = 0;
    for (const std::string_view k : protocol::keys::kLookedUp)
      lengths |= std::uint64_t{1} << k.size();
    return lengths;
  }();
  static_assert(protocol::keys::kLongest < 64);
  if (key.size() > protocol::keys::kLongest || ((kLengths >> key.size()) & 1) == 0) return false;
  for (const std::string_view wanted : protocol::keys::kLookedUp) {
    if (SameKey(wanted, key)) return true;
  }
  return false;
}

void ParameterTable::Add(std::string_view key, std::string value) {
  if (!Find(key)) entries_.emplace_back(std::string(key), std::move(value));
}

std::optional<std::string_view> ParameterTable::Find(std::string_view key) const {
  for (const auto& [k, v] : entries_) {
    if (SameKey(k, key)) return std::string_view(v);
  }
  return std::nullopt;
}

std::string ParameterTable::Item(std::string_view key) const {
  if (auto value = Find(key)) return std::string(*value);
  throw EngineError(kInvalidCall);
}

}  // namespace engine
