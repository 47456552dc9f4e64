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
};

}  // namespace engine
