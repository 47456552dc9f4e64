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

  /// The value stored under |key|, if any. Valid while the table lives.
  std::optional<std::string_view> Find(std::string_view key) const;

  /// The value stored under |key|; throws EngineError when there is none.
  std::string Item(std::string_view key) const;

  std::size_t Size() const { return entries_.size(); }
  void Clear();

 private:
  struct Entry {
    const char* text;  // the key, followed directly by the value
    std::size_t keySize;
    std::size_t valueSize;
  };

  const char* Store(std::string_view key, std::string_view value);
  std::size_t Probe(std::string_view key, std::uint32_t hash) const;
  void Grow();

  std::deque<Entry> entries_;
  std::vector<std::uint64_t> slots_;  // (hash << 32) | (entry index + 1); 0 is empty
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;
  std::size_t freeSize_ = 0;
};

}  // namespace engine
