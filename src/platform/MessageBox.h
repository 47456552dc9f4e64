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

  /// Whether a person can see a box shown now: false where nobody ever looks
  /// (a service, a task run with nobody logged on, a desktop of the host's
  /// own), where a box would wait forever for an OK that never comes.
  virtual bool CanBeSeen() = 0;
};

}  // namespace engine
