#pragma once

// A second, deliberately literal implementation of the request reader, the
// request path normalization and the parameter-string scan: character by
// character, 1-based 16-bit positions, every search started again from the
// beginning. Slow on purpose; it exists so that the fast product code can be
// compared against it on any input, and speed work can't change behaviour
// unnoticed.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace engine::reference {

/// Entries in the order they were added; keys unique ignoring ASCII case.
using Entries = std::vector<std::pair<std::string, std::string>>;

/// Reads |content| as the request file reader does. Returns whether the load
/// succeeded; |entries| holds what was added, also after a failure.
bool LoadRequest(const std::string& content, Entries& entries);

/// The value a lookup of |key| finds: the first entry whose key equals it
/// ignoring ASCII case.
std::optional<std::string> Lookup(const Entries& entries, const std::string& key);

/// What the engine can see of a load, as one text: whether it succeeded, and
/// the value of each key the engine looks up, asked as written, in upper case
/// and in lower case. |find| looks a key up in the loaded table.
std::string Visible(bool ok,
                    const std::function<std::optional<std::string>(const std::string&)>& find);

/// The request path normalization; throws std::overflow_error where a 16-bit
/// position overflows.
std::string NormalizeRequestPath(const std::string& path);

/// The parameter-string scan for |key| in |s|; throws std::runtime_error
/// where the product's scan fails.
std::string FindInParameterString(const std::string& s, const std::string& key);

}  // namespace engine::reference
