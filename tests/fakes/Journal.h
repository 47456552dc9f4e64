#pragma once

// A job's calls on the application as the stand-in journals them (without its
// process id): what the fake automation records and the Windows tests read back.

#include <string>

namespace engine::testing {

inline const std::string kPutDialogsOff = "PUT DisplayDialogs VT_I2 3";
inline const std::string kPutVisible = "PUT Visible VT_BOOL -1";
inline const std::string kCallQuit = "CALL Quit";

/// The script call with |path|, |parameters| as the array's one element, |mode|.
inline std::string ScriptCall(const std::string& path, const std::string& parameters = "",
                              int mode = 1) {
  return "CALL DoJavaScriptFile VT_BSTR|VT_BYREF \"" + path +
         "\" ; VT_ARRAY|VT_VARIANT [0..0] {VT_BSTR \"" + parameters + "\"} ; VT_I2|VT_BYREF " +
         std::to_string(mode);
}

}  // namespace engine::testing
