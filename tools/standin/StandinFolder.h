#pragma once

// Where the stand-in keeps its files, for a host to name before it starts a
// job: the value "Folder" under this key of HKEY_CURRENT_USER. A server that
// COM starts on Windows gets the user's environment, not its client's, so the
// registry is what reaches it. The stand-in reads it, "/regserver <folder>"
// writes it, and so do the demo host and the tests.

#include <windows.h>

#include <string>

#define STANDIN_FOLDER_KEY "Software\\conversion-engine\\standin"
#define STANDIN_FOLDER_VALUE "Folder"

namespace standin {

/// Names |folder| (ANSI) the stand-in's folder for this user.
inline LSTATUS SetFolder(const std::string& folder) {
  return RegSetKeyValueA(HKEY_CURRENT_USER, STANDIN_FOLDER_KEY, STANDIN_FOLDER_VALUE, REG_SZ,
                         folder.c_str(), static_cast<DWORD>(folder.size() + 1));
}

/// Takes the name back: the stand-in's files go beside it again.
inline LSTATUS ClearFolder() {
  return RegDeleteKeyValueA(HKEY_CURRENT_USER, STANDIN_FOLDER_KEY, STANDIN_FOLDER_VALUE);
}

}  // namespace standin
