// Windows version classification and the 64-bit package decision, known once
// per process from the unit's initialisation.
#pragma once
#include <cstdint>
#include <string>

namespace vt {

// Version class -1..35 or 128; computed on first call and cached (a failed
// version query returns -1 and is retried on the next call).
int32_t GetOSVersionClass();
std::wstring GetOSVersionText();
bool IsServerWindows();
// The class the unit's initialisation obtained (-1 when that query failed).
int32_t StartupOSVersionClass();
bool Use64BitPackage();
bool IsWow64Process32();
bool Is64BitWindows();
// The running executable's full path and its folder (with a trailing backslash).
const std::wstring& AppExePath();
const std::wstring& AppExeFolder();

void OsUnitInitialization();

}  // namespace vt
