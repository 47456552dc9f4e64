#pragma once

// Finds the message box that another process shows, reads what a person would
// see in it, and dismisses it the way a click on its OK button does.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_win32 {

struct MessageBoxView {
  std::uintptr_t window = 0;         // the box's window handle
  std::string caption;
  std::vector<std::string> texts;    // non-empty texts of its static controls
  std::vector<std::string> buttons;  // labels of its visible buttons, in window order
  bool showsIcon = false;            // a visible icon control that holds an icon
};

/// Polls the top-level dialog windows of process |pid| until one captioned
/// |caption| is visible, for at most |milliseconds|.
std::optional<MessageBoxView> WaitForMessageBox(std::uint32_t pid, const std::string& caption,
                                                std::uint32_t milliseconds);

/// Presses the box's OK button. False when the box had none or is gone.
bool PressOk(const MessageBoxView& box);

}  // namespace testing_win32
