#pragma once

// What a host, the tests and the demo share with the stand-in application:
// where its files are and their names, the control file's keys, and how a
// server is told to stop. Each spelled here once; README.md beside this file
// is the user's guide to them.

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace standin {

/// The folder of its files: this environment variable where the server has it
/// (a server that COM starts on Windows gets the user's environment, not its
/// client's), else the value under this key of HKEY_CURRENT_USER, else of
/// HKEY_LOCAL_MACHINE (a machine-wide registration), else beside the program.
inline constexpr char kFolderVariable[] = "STANDIN_DIR";
inline constexpr char kFolderKey[] = "Software\\conversion-engine\\standin";
inline constexpr char kFolderValue[] = "Folder";

/// Its files in that folder.
inline constexpr char kPidsFile[] = "standin-pids.txt";  // each server's id, once it serves
inline constexpr char kJournalFile[] = "standin-journal.txt";
inline constexpr char kControlFile[] = "standin-control.txt";

/// The control file's keys ("key=value" lines); those ending in "." are
/// followed by a member's name.
namespace key {
inline constexpr char kBusy[] = "busy";
inline constexpr char kBusyOn[] = "busy-on";
inline constexpr char kBusyCode[] = "busy-code";
inline constexpr char kResult[] = "result";
inline constexpr char kResultType[] = "result-vt";
inline constexpr char kFail[] = "fail.";
inline constexpr char kFailDeferred[] = "fail-deferred.";
inline constexpr char kSleepMs[] = "sleep-ms.";
inline constexpr char kExit[] = "exit.";
}  // namespace key

/// The event that, signalled, stops server |pid| (it withdraws its class
/// first, which ending the process would not do).
inline std::string StopEvent(unsigned long pid) {
  return "Local\\standin-stop-" + std::to_string(pid);
}

/// The whole CR LF lines of |text|.
inline std::vector<std::string> Lines(std::string text) {
  std::vector<std::string> lines;
  for (std::size_t end; (end = text.find("\r\n")) != text.npos; text.erase(0, end + 2))
    lines.push_back(text.substr(0, end));
  return lines;
}

/// The whole CR LF lines of its file |name| in |folder| (none when it can't be read).
inline std::vector<std::string> Lines(const std::string& folder, const char* name) {
  std::ifstream file(folder + "\\" + name, std::ios::binary);
  return Lines(std::string(std::istreambuf_iterator<char>(file), {}));
}

/// Waits up to |ms| for each server listed in |folder| to end, telling it to stop
/// first when |stop|; one that doesn't end is passed to |late|, told to stop and waited
/// for again.
template <class Late>
void EndServers(const std::string& folder, bool stop, DWORD ms, Late late) {
  for (const std::string& line : Lines(folder, kPidsFile)) {
    const unsigned long pid = std::stoul(line);
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, StopEvent(pid).c_str());
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    for (bool tell : {stop, true}) {
      if (tell && event != nullptr) SetEvent(event);
      if (process == nullptr || WaitForSingleObject(process, ms) == WAIT_OBJECT_0) break;
      late(pid);
    }
    for (HANDLE h : {event, process}) CloseHandle(h);
  }
}

/// Names |folder| (ANSI) the stand-in's folder for this user.
inline LSTATUS SetFolder(const std::string& folder) {
  return RegSetKeyValueA(HKEY_CURRENT_USER, kFolderKey, kFolderValue, REG_SZ, folder.c_str(),
                         static_cast<DWORD>(folder.size() + 1));
}

/// Takes the name back: the stand-in's files go beside it again.
inline LSTATUS ClearFolder() {
  return RegDeleteKeyValueA(HKEY_CURRENT_USER, kFolderKey, kFolderValue);
}

}  // namespace standin
