#pragma once

// Component automation on Windows: objects created from a programmatic
// identifier and driven by late-bound calls through IDispatch. This header
// stays free of <windows.h> (its macros would rename the interface methods of
// the other platform headers for every includer).

#include <chrono>
#include <memory>
#include <string>

#include "platform/Automation.h"

namespace engine {

/// The automation runtime of the thread that creates it: the constructor joins
/// the thread to a single-threaded apartment, the destructor leaves it again.
/// Create it, use it and every object it hands out, and destroy the objects
/// before it, all on that one thread.
///
/// A member call that the application rejects because it is busy is asked
/// again every |retryInterval|, this thread's messages pumped meanwhile, until
/// |retryBound| has passed since the member call began (its name lookup and the
/// call itself share the bound); then it fails with the rejection's
/// description. Creation is asked again the same way, also while the server is
/// still stopping; a server that failed to start is started once more, no
/// further. Nothing else is retried.
class Win32Automation final : public Automation {
 public:
  explicit Win32Automation(std::chrono::milliseconds retryInterval = std::chrono::milliseconds(250),
                           std::chrono::milliseconds retryBound = std::chrono::seconds(60));
  ~Win32Automation() override;
  Win32Automation(const Win32Automation&) = delete;
  Win32Automation& operator=(const Win32Automation&) = delete;

  std::unique_ptr<AutomationObject> CreateObject(const std::string& progId) override;

 private:
  long initResult_;  // the HRESULT of CoInitializeEx
  std::chrono::milliseconds retryInterval_;
  std::chrono::milliseconds retryBound_;
};

}  // namespace engine
