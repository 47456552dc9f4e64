#pragma once

#include "EngineState.h"
#include "EngineVersion.h"

namespace engine {

/// Start-up: examines the command text, loads the request and sets the
/// parameter string and the process image name. Ends the process (throws
/// ProcessEnd) for the version query, a missing request and a request that
/// can't be parsed; every other failure passes to the caller.
void PrepareEngine(Engine& e);

/// The whole run: start-up, then the automation steps, each guarded by
/// itself. Returns when the process is to end.
void Main(Engine& e);

}  // namespace engine
