#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace engine {

/// The request keys the engine looks up, as the host spells them. The request
/// file reader keeps the entries of these keys and lets every other line go.
namespace keys {
inline constexpr std::string_view kOutputFile = "outputhdaFile";
inline constexpr std::string_view kParameters = "parameters";
inline constexpr std::string_view kScript = "script";
inline constexpr std::string_view kScriptParams = "scriptParams";
inline constexpr std::string_view kCloseAfter = "PhotoShopDAMCloseAfterEachRendition";
inline constexpr std::string_view kDebugger = "UsePhotoshopJsxDebug";
inline constexpr std::array<std::string_view, 6> kLookedUp = {
    kOutputFile, kParameters, kScript, kScriptParams, kCloseAfter, kDebugger};
inline constexpr std::size_t kLongest = [] {
  std::size_t longest = 0;
  for (const std::string_view key : kLookedUp) longest = std::max(longest, key.size());
  return longest;
}();
}  // namespace keys

/// Whether |a| and |b| are the same key: equal but for the case of ASCII letters.
bool SameKey(std::string_view a, std::string_view b);

/// Whether the engine looks |key| up, in any letter case.
bool IsLookedUpKey(std::string_view key);

/// Texts under text keys that compare case-insensitively (ASCII letters);
/// add-only. It holds the handful of entries the engine looks up, so a search
/// through them in order is all it needs.
class ParameterTable {
 public:
  /// Adds |value| under |key|. Returns false, leaving the table unchanged,
  /// when the key (in any letter case) is already present.
  bool Add(std::string_view key, std::string value);

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
