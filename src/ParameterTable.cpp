#include "ParameterTable.h"

#include <cstring>

#include "EngineError.h"

namespace engine {
namespace {

constexpr std::size_t kBlockSize = 1 << 20;

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::uint32_t Hash(std::string_view s) {
  std::uint32_t h = 2166136261u;  // FNV-1a over the folded bytes
  for (char c : s) {
    h ^= static_cast<unsigned char>(Fold(c));
    h *= 16777619u;
  }
  return h;
}

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

}  // namespace

const char* ParameterTable::Store(std::string_view key, std::string_view value) {
  const std::size_t size = key.size() + value.size();
  char* at = nullptr;
  if (size > kBlockSize / 4) {
    // A long value gets a block of its own, so a block's unused tail stays small.
    blocks_.emplace_back(new char[size]);
    at = blocks_.back().get();
  } else {
    if (size > freeSize_) {
      blocks_.emplace_back(new char[kBlockSize]);
      free_ = blocks_.back().get();
      freeSize_ = kBlockSize;
    }
    at = free_;
    free_ += size;
    freeSize_ -= size;
  }
  if (!key.empty()) std::memcpy(at, key.data(), key.size());
  if (!value.empty()) std::memcpy(at + key.size(), value.data(), value.size());
  return at;
}

// The slot holding |key|, or the empty slot where it would go.
std::size_t ParameterTable::Probe(std::string_view key, std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const std::uint64_t slot = slots_[i];
    if (slot == 0) return i;
    if (static_cast<std::uint32_t>(slot >> 32) == hash) {
      const Entry& e = entries_[static_cast<std::uint32_t>(slot) - 1];
      if (SameKey(std::string_view(e.text, e.keySize), key)) return i;
    }
  }
}

void ParameterTable::Grow() {
  std::vector<std::uint64_t> old = std::move(slots_);
  slots_.assign(old.empty() ? 16 : old.size() * 2, 0);
  const std::size_t mask = slots_.size() - 1;
  for (const std::uint64_t slot : old) {
    if (slot == 0) continue;
    std::size_t i = static_cast<std::uint32_t>(slot >> 32) & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

bool ParameterTable::Add(std::string_view key, std::string_view value) {
  if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
  const std::uint32_t hash = Hash(key);
  const std::size_t i = Probe(key, hash);
  if (slots_[i] != 0) return false;
  entries_.push_back(Entry{Store(key, value), key.size(), value.size()});
  slots_[i] = (static_cast<std::uint64_t>(hash) << 32) | entries_.size();
  return true;
}

std::optional<std::string_view> ParameterTable::Find(std::string_view key) const {
  if (slots_.empty()) return std::nullopt;
  const std::uint64_t slot = slots_[Probe(key, Hash(key))];
  if (slot == 0) return std::nullopt;
  const Entry& e = entries_[static_cast<std::uint32_t>(slot) - 1];
  return std::string_view(e.text + e.keySize, e.valueSize);
}

std::string ParameterTable::Item(std::string_view key) const {
  if (auto value = Find(key)) return std::string(*value);
  throw EngineError("Invalid procedure call or argument");
}

void ParameterTable::Clear() {
  entries_.clear();
  slots_.clear();
  blocks_.clear();
  free_ = nullptr;
  freeSize_ = 0;
}

}  // namespace engine
