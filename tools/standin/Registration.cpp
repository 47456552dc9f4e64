#include "Registration.h"

#include <windows.h>

#include <utility>

#include "Files.h"
#include "HostProtocol.h"
#include "StandinProtocol.h"
#include "platform/win32/Handle.h"
#include "platform/win32/Utf16.h"

namespace standin {
namespace {

// The machine's classes take an administrator; the user's own, which that
// user's programs see first, need none (HKEY_CLASSES_ROOT would send new keys
// to the machine's hive).
HKEY Hive(bool machine) { return machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

// The name hosts create the application by.
std::wstring ProgId() { return engine::AnsiToWide(engine::protocol::kApplicationProgId); }

LSTATUS SetText(HKEY root, const std::wstring& key, const wchar_t* name,
                const std::wstring& value) {
  return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

bool AboveMediumIntegrity() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  const engine::Handle token(raw);
  alignas(TOKEN_MANDATORY_LABEL) unsigned char
      buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_MANDATORY_LABEL)];
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenIntegrityLevel, buffer, sizeof buffer, &size)) {
    return false;
  }
  const PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
  const DWORD level = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1u);
  return level > SECURITY_MANDATORY_MEDIUM_RID;
}

int Register(const std::wstring& folder, bool machine) {
  const std::wstring clsid = std::wstring(L"CLSID\\") + kClassId;
  const std::pair<std::wstring, std::wstring> values[] = {
      {ProgId(), L"Photoshop stand-in"},
      {ProgId() + L"\\CLSID", kClassId},
      {clsid, L"Photoshop stand-in"},
      {clsid + L"\\ProgID", ProgId()},
      {clsid + L"\\LocalServer32", L"\"" + ProgramPath() + L"\""},
  };
  for (const auto& [key, value] : values) {
    const LSTATUS status = SetText(Hive(machine), L"Software\\Classes\\" + key, nullptr, value);
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
  }
  if (folder.empty()) return 0;
  return static_cast<int>(SetText(Hive(machine), engine::AnsiToWide(kFolderKey),
                                  engine::AnsiToWide(kFolderValue).c_str(), folder));
}

int Unregister(bool machine) {
  const std::wstring classes = L"Software\\Classes\\", folder = engine::AnsiToWide(kFolderKey);
  // The folder's name goes from this user's hive too, where a host may have
  // written it.
  for (const auto& [root, key] : {std::pair{Hive(machine), classes + ProgId()},
                                  {Hive(machine), classes + L"CLSID\\" + kClassId},
                                  {Hive(machine), folder},
                                  {HKEY_CURRENT_USER, folder}}) {
    LSTATUS status = RegDeleteTreeW(root, key.c_str());
    if (status == ERROR_SUCCESS) status = RegDeleteKeyW(root, key.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return static_cast<int>(status);
  }
  return 0;
}

}  // namespace standin
