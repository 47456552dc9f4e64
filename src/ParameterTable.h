#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

/// Texts under text keys that compare case-insensitively (ASCII letters);
/// add-only. Requests can hold a million entries, so keys and values live in
/// large shared blocks and an open-addressing index finds them: the table
/// takes little more memory than the text it holds and needs no allocation
/// per entry.
class ParameterTable {
 public:
  /// Adds |value| under |key|. Returns false, leaving the table unchanged,
  /// when the key (in any letter case) is already present.
  bool Add(std::string_view key, std::string_view value);

  /// Adds |value| under |key| like Add, for a caller that ignores refusals:
  /// the check for an earlier entry of the same key is put off until the
  /// table is next used, and then made for all such entries at once, in the
  /// order they came, so that the first entry for a key still wins. Loading a
  /// large request spends most of its time waiting for the index's memory;
  /// done in bulk, those waits overlap.
  void AddUnchecked(std::string_view key, std::string_view value);

  /// The value stored under |key|, if any. Valid while the table lives.
  std::optional<std::string_view> Find(std::string_view key) const;

  /// The value stored under |key|; throws EngineError when there is none.
  std::string Item(std::string_view key) const;

  std::size_t Size() const;
  void Clear();

 private:
  struct Entry {
    const char* text;  // the key, followed directly by the value
    std::uint32_t keySize;
    std::uint32_t valueSize;
    std::string_view Key() const { return {text, keySize}; }
  };

  const char* Store(std::string_view key, std::string_view value);
  std::size_t Probe(std::string_view key, std::uint32_t hash) const;
  void Reserve(std::size_t entries) const;
  void IndexPending() const;

  // Entries in the order they came, refused ones included; only the index
  // knows which are in the table.
  std::deque<Entry> entries_;
  mutable std::size_t indexed_ = 0;  // entries_[indexed_, end) await their check
  mutable std::size_t size_ = 0;     // entries in the index
  mutable std::vector<std::uint64_t> slots_;  // (hash << 32) | (entry index + 1); 0 is empty
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;
  std::size_t freeSize_ = 0;
};

}  // namespace engine
