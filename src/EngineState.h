#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Automation.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Processes.h"

namespace engine {

/// ASCII case folding for the request table's keys.
struct CaseInsensitiveHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const noexcept;
};
struct CaseInsensitiveEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

/// Texts under text keys that compare case-insensitively; add-only.
class ParameterTable {
 public:
  /// Adds |value| under |key|. Returns false, leaving the table unchanged,
  /// when the key (in any letter case) is already present.
  bool Add(std::string key, std::string value);

  /// The value stored under |key|, or null when there is none.
  const std::string* Find(std::string_view key) const;

  /// The value stored under |key|; throws EngineError when there is none.
  const std::string& Item(std::string_view key) const;

  std::size_t Size() const { return map_.size(); }
  void Clear() { map_.clear(); }

 private:
  std::unordered_map<std::string, std::string, CaseInsensitiveHash, CaseInsensitiveEqual> map_;
};

using PidList = std::vector<std::uint32_t>;

/// The process-wide values of one run, alive until the process ends.
struct EngineState {
  ParameterTable g_requestParameters;
  std::string g_parameterString;
  std::int16_t g_returnCode = 0;
  std::string g_lastErrorDescription;
  std::string g_resultFilePath;
  std::string g_outExtension;
  std::string g_outFormat;
  std::string g_additionalData;
  bool g_forceLog = false;
  std::string g_logDirectory;
  PidList g_pidsBefore;
  PidList g_pidsAfter;
  std::string g_processImageName;
};

/// The outside services one run talks to.
struct Platform {
  Console& console;
  FileSystem& fileSystem;
  MessageBox& messageBox;
  Processes& processes;
  Automation& automation;
};

/// What every procedure works on: the state of the run and its platform.
struct Engine {
  EngineState state;
  Platform platform;

  explicit Engine(const Platform& p) : platform(p) {}
};

}  // namespace engine
