#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace engine {

/// Whether |a| and |b| are the same key: equal but for the case of ASCII letters.
bool SameKey(std::string_view a, std::string_view b);

/// Whether the engine looks |key| up, in any letter case.
bool IsLookedUpKey(std::string_view key);

/// Texts under text keys that compare case-insensitively (ASCII letters);
/// add-only. It holds the handful of entries the engine looks up, so a search
/// through them in order is all it needs.
class ParameterTable {
 public:
  /// Adds |value| under |key|, unless the key (in any letter case) is already
  /// present: the first entry of a key is the one that counts.
  void Add(std::string_view key, std::string value);

  /// The value stored under |key|, if any. Valid until the table changes.
  std::optional<std::string_view> Find(std::string_view key) const;

  /// The value stored under |key|; throws EngineError when there is none.
  std::string Item(std::string_view key) const;

  std::size_t Size() const { return entries_.size(); }
  void Clear() { entries_.clear(); }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace engine
