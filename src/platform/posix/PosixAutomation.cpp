#include "platform/posix/PosixAutomation.h"

#include "EngineError.h"
#include "platform/posix/ErrorText.h"

namespace engine {

std::unique_ptr<AutomationObject> PosixAutomation::CreateObject(const std::string& progId) {
  throw EngineError(DescribeFailure("CreateObject", progId,
                                    "component automation is not available on this platform"));
}

}  // namespace engine
