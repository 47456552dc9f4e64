#pragma once

// Registering the stand-in under the editor's name.

#include <string>

namespace standin {

/// The class the stand-in serves.
inline constexpr wchar_t kClassId[] = L"{5B2C9E71-3A4D-4F08-9C61-7E2D8B14A3F0}";

/// Whether this process runs above medium integrity (elevated, or a service),
/// where COM ignores the classes registered for the user alone.
bool AboveMediumIntegrity();

/// Registers the class under its name: for the machine when |machine|, else
/// for the user alone; and names |folder| (if any) the folder of its files, in
/// the same hive. Returns 0 or the registry's error code.
int Register(const std::wstring& folder, bool machine);

/// Takes back what Register(…, |machine|) wrote.
int Unregister(bool machine);

}  // namespace standin
