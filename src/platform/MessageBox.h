#pragma once

#include <string>

namespace engine {

/// The one dialog the engine ever shows.
class MessageBox {
 public:
  virtual ~MessageBox() = default;

  /// Shows a modal box with |text|, captioned |caption|, the single button OK
  /// and no icon, and returns once it is dismissed. Never throws.
  virtual void ShowFatal(const std::string& caption, const std::string& text) = 0;

  /// Whether a person can see a box shown now: false when the process's
  /// window station is not visible (a service, a task run with nobody logged
  /// on), where a box would wait forever for an OK that never comes.
  virtual bool CanBeSeen() = 0;
};

}  // namespace engine
