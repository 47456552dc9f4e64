// The floor for one whole job under Windows: a program that does nothing but
// create the same automation object and make the same four calls the engine
// makes. The engine's own cost per job is what it takes beyond this.
//
// usage: JobFloor.exe SCRIPT-PATH [SCRIPT-PARAMETERS [--no-quit]]
// --no-quit leaves the application running, as the engine does for a request
// that doesn't ask for it to be closed.

#include <cstdio>
#include <string>
#include <vector>

#include "EngineError.h"
#include "HostProtocol.h"
#include "platform/win32/Win32Automation.h"

int main(int argc, char** argv) {
  const std::string script = argc > 1 ? argv[1] : "";
  const std::string parameters = argc > 2 ? argv[2] : "";
  const bool quit = !(argc > 3 && std::string(argv[3]) == "--no-quit");
  namespace protocol = engine::protocol;
  try {
    engine::Win32Automation automation;
    auto app = automation.CreateObject(std::string(protocol::kApplicationProgId));
    app->SetProperty(std::string(protocol::kDisplayDialogs),
                     engine::AutomationArg::Int16(protocol::kNoDialogs));
    app->SetProperty(std::string(protocol::kVisible), engine::AutomationArg::Boolean(true));
    std::string result;
    app->CallMethod(std::string(protocol::kDoJavaScriptFile),
                    {engine::AutomationArg::Text(script, true),
                     engine::AutomationArg::TextArray({parameters}),
                     engine::AutomationArg::Int16(protocol::kNeverShowDebugger, true)},
                    &result);
    if (quit) app->CallMethod(std::string(protocol::kQuit), {}, nullptr);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return 1;
  }
  return 0;
}
