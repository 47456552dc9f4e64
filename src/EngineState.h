#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ParameterTable.h"
#include "platform/Automation.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Processes.h"

namespace engine {

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
  CodePage& codePage;
};

/// What every procedure works on: the state of the run and its platform.
struct Engine {
  EngineState state;
  Platform platform;
  AnsiCharacters characters;  // the code page's, asked once for the run

  explicit Engine(const Platform& p) : platform(p), characters(p.codePage.Characters()) {}
};

}  // namespace engine
