// The block that identifies a run at the top of the debug log.
#pragma once
#include <windows.h>

#include <string>

namespace vt {

// Writes the application information block when debug output is on.
void LogApplicationCommonInfo();

// Where the block's first line ("Os version") comes from: the system probes,
// which sit above the log and name themselves at their start-up. Until then
// the line is empty.
using TOSVersionTextSource = std::wstring (*)();
void SetOSVersionTextSource(TOSVersionTextSource Source);

// Forty upper-case hex digits (all zero when the file cannot be read or is
// empty); empty when the hasher itself failed.
std::wstring GetFileSHA1(const std::wstring& FileName);
// "DOMAIN\account" of the process's user; empty on failure.
std::wstring GetProcessUserName();
// The parent process's id (0 when not found) and its executable file name.
DWORD GetParentProcess(std::wstring& Name);

}  // namespace vt
