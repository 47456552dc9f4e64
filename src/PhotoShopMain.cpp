#include "PhotoShopMain.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "CommonUtils.h"
#include "ComunicationUtils.h"
#include "EngineError.h"
#include "HostProtocol.h"

namespace engine {
namespace {

using protocol::kDebuggerBeforeScript, protocol::kNeverShowDebugger, protocol::kNoDialogs;

// Continue-on-error: a failure ends the step it arose in and nothing else.
// Ending the process (ProcessEnd) is not a failure and passes through.
template <typename Step>
void Guarded(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

// The application object, or the failure that kept it from being created:
// that is what a host needs to read in the script's error line.
struct Application {
  std::unique_ptr<AutomationObject> object;
  std::string creationFailure = "the application object was not created";

  // The object to call, or the creation's failure when there is none.
  AutomationObject& Get() const {
    if (!object) throw EngineError(creationFailure);
    return *object;
  }
};

}  // namespace

void PrepareEngine(Engine& e) {
  const std::string commandText = e.platform.processes.CommandText();
  InitializeEngine(e, commandText);
  e.state.g_parameterString = GetParameter(e, protocol::keys::kParameters, "");
  e.state.g_processImageName = protocol::kApplicationImage;
}

void Main(Engine& e) {
  try {
    PrepareEngine(e);
  } catch (const ProcessEnd&) {
    return;
  } catch (const std::exception&) {
    // Start-up abandoned part way: go on with what the state holds.
  }

  std::string scriptPath;
  std::string scriptParameters;
  bool closeAfter = false;
  Application app;
  std::int16_t executionMode = kNeverShowDebugger;
  std::string scriptResult;

  Guarded([&] { scriptPath = GetParameter(e, protocol::keys::kScript, ""); });
  Guarded([&] { scriptParameters = GetParameter(e, protocol::keys::kScriptParams, ""); });
  Guarded([&] { closeAfter = GetBooleanParameter(e, protocol::keys::kCloseAfter, false); });
  try {
    app.object = e.platform.automation.CreateObject(std::string(protocol::kApplicationProgId));
  } catch (const std::exception& failure) {
    app.creationFailure = DescriptionOf(failure);
  }
  Guarded([&] { CollectProcessIds(e, e.state.g_pidsAfter); });
  Guarded([&] { UpdateProcessIds(e); });
  Guarded([&] {
    app.Get().SetProperty(std::string(protocol::kDisplayDialogs), AutomationArg::Int16(kNoDialogs));
  });
  Guarded([&] {
    app.Get().SetProperty(std::string(protocol::kVisible), AutomationArg::Boolean(true));
  });
  Guarded([&] {
    if (GetBooleanParameter(e, protocol::keys::kDebugger, false))
      executionMode = kDebuggerBeforeScript;
  });

  // The script step is the only one whose failure is looked at.
  std::optional<std::string> scriptFailure;
  try {
    std::vector<AutomationArg> args{
        AutomationArg::Text(scriptPath, /*byRef=*/true),
        AutomationArg::TextArray({scriptParameters}),
        AutomationArg::Int16(executionMode, /*byRef=*/true),
    };
    app.Get().CallMethod(std::string(protocol::kDoJavaScriptFile), args, &scriptResult);
  } catch (const std::exception& failure) {
    scriptFailure = DescriptionOf(failure);
  }

  if (scriptFailure) {
    Guarded([&] {
      WriteConsoleLine(e, std::string(protocol::kScriptErrorPrefix) + *scriptFailure);
    });
    closeAfter = true;
  }
  if (closeAfter) {
    Guarded([&] { app.Get().CallMethod(std::string(protocol::kQuit), {}, nullptr); });
  }
  // The reference is released here, after Quit or without asking the application to quit.
}

}  // namespace engine
