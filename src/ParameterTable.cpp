#include "ParameterTable.h"

#include <algorithm>
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
  // Sizes are kept in 32 bits: four bytes per entry less for a million of them.
  if (key.size() > UINT32_MAX || value.size() > UINT32_MAX) {
    throw EngineError("Out of memory: an entry of 4 GB or more");
  }
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
    if (static_cast<std::uint32_t>(slot >> 32) == hash &&
        SameKey(entries_[static_cast<std::uint32_t>(slot) - 1].Key(), key)) {
      return i;
    }
  }
}

// Makes room for |entries| at a load of at most one half.
void ParameterTable::Reserve(std::size_t entries) const {
  std::size_t capacity = slots_.empty() ? 16 : slots_.size();
  while (entries * 2 > capacity) capacity *= 2;
  if (capacity == slots_.size()) return;
  std::vector<std::uint64_t> old = std::move(slots_);
  slots_.assign(capacity, 0);
  const std::size_t mask = capacity - 1;
  for (const std::uint64_t slot : old) {
    if (slot == 0) continue;
    std::size_t i = static_cast<std::uint32_t>(slot >> 32) & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

void ParameterTable::IndexPending() const {
  if (indexed_ == entries_.size()) return;
  Reserve(size_ + entries_.size() - indexed_);
  const std::size_t mask = slots_.size() - 1;
  // Hashes run ahead of the inserts by kAhead entries, and each one's slot is
  // fetched into the cache as soon as its hash is known.
  constexpr std::size_t kAhead = 16;
  std::uint32_t ahead[kAhead];
  const std::size_t end = entries_.size();
  for (std::size_t j = indexed_; j < std::min(end, indexed_ + kAhead); ++j) {
    ahead[j % kAhead] = Hash(entries_[j].Key());
    __builtin_prefetch(&slots_[ahead[j % kAhead] & mask]);
  }
  for (std::size_t i = indexed_; i < end; ++i) {
    const std::uint32_t hash = ahead[i % kAhead];
    if (i + kAhead < end) {
      const std::uint32_t next = Hash(entries_[i + kAhead].Key());
      ahead[i % kAhead] = next;
      __builtin_prefetch(&slots_[next & mask]);
    }
    const std::size_t slot = Probe(entries_[i].Key(), hash);
    if (slots_[slot] != 0) continue;  // a later entry for a key already there
    slots_[slot] = (static_cast<std::uint64_t>(hash) << 32) | (i + 1);
    ++size_;
  }
  indexed_ = end;
}

void ParameterTable::AddUnchecked(std::string_view key, std::string_view value) {
  const char* text = Store(key, value);
  entries_.push_back(Entry{text, static_cast<std::uint32_t>(key.size()),
                           static_cast<std::uint32_t>(value.size())});
}

bool ParameterTable::Add(std::string_view key, std::string_view value) {
  IndexPending();
  Reserve(size_ + 1);
  const std::uint32_t hash = Hash(key);
  const std::size_t slot = Probe(key, hash);
  if (slots_[slot] != 0) return false;
  AddUnchecked(key, value);
  slots_[slot] = (static_cast<std::uint64_t>(hash) << 32) | entries_.size();
  ++size_;
  indexed_ = entries_.size();
  return true;
}

std::size_t ParameterTable::Size() const {
  IndexPending();
  return size_;
}

std::optional<std::string_view> ParameterTable::Find(std::string_view key) const {
  IndexPending();
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
  indexed_ = 0;
  size_ = 0;
  slots_.clear();
  blocks_.clear();
  free_ = nullptr;
  freeSize_ = 0;
}

}  // namespace engine
