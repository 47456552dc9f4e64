#pragma once

// A second, deliberately literal implementation of the request reader, the
// request path normalization and the parameter-string scan: character by
// character, 1-based 16-bit positions, every search started again from the
// beginning. Slow on purpose; it exists so that the fast product code can be
// compared against it on any input, and speed work can't change behaviour
// unnoticed.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace engine::reference {

/// Entries in the order they were added; keys unique ignoring ASCII case.
using Entries = std::vector<std::pair<std::string, std::string>>;

/// Reads |content| as the request file reader does: whether the load succeeded;
/// |entries| holds what was added, also after a failure.
bool LoadRequest(const std::string& content, Entries& entries);

/// The value of the entry whose key equals |key| ignoring ASCII case.
std::optional<std::string> Lookup(const Entries& entries, const std::string& key);

/// The request path normalization; throws where a 16-bit position overflows.
std::string NormalizeRequestPath(const std::string& path);

/// The parameter-string scan for |key| in |s|; throws where the product's fails.
std::string FindInParameterString(const std::string& s, const std::string& key);

}  // namespace engine::reference
