#pragma once

#include "platform/Automation.h"

namespace engine {

/// No component automation runtime on POSIX: every creation fails with a
/// clear description, so the native engine runs its whole sequence and
/// reports the missing application like a host would see it on Windows.
class PosixAutomation : public Automation {
 public:
  std::unique_ptr<AutomationObject> CreateObject(const std::string& progId) override;
};

}  // namespace engine
