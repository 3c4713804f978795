// File access for a 32-bit process on 64-bit Windows: the native system
// folder instead of its 32-bit counterpart.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace vt {

// True when the process is a 32-bit process on 64-bit Windows; settled at start.
bool RunningUnderWow64();
// Path with the Windows folder's "\System32\" turned into "\SysNative\" under
// WOW64, so that the native file is reached; otherwise Path unchanged.
std::wstring ToSysNativePath(std::wstring_view Path);
// CreateFileW with file-system redirection off for the call when under WOW64.
HANDLE WINAPI W64API_CreateFileW(LPCWSTR FileName, DWORD DesiredAccess, DWORD ShareMode,
                          LPSECURITY_ATTRIBUTES SecurityAttributes, DWORD CreationDisposition,
                          DWORD FlagsAndAttributes, HANDLE TemplateFile);

// "RegDeleteKeyExA" of advapi32.dll from the system folder; null when absent.
using TRegDeleteKeyExA = LONG(WINAPI*)(HKEY Key, LPCSTR SubKey, REGSAM SamDesired, DWORD Reserved);
TRegDeleteKeyExA W64API_RegDeleteKeyExA();

void Wow64ApiInitialization();
void Wow64ApiFinalization();

}  // namespace vt
