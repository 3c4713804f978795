// Windows version classification and the 64-bit package decision, known once
// per process from the unit's initialisation.
#pragma once
#include <windows.h>

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

// --- The pieces the above is made of -------------------------------------

inline constexpr int32_t kOSClassNotComputed = -2;
inline constexpr int32_t kOSClassOther = 128;
inline constexpr WORD kSuiteWHServer = 0x8000;  // VER_SUITE_WH_SERVER

// The class for the result of a successful version query; Is64Bit is the
// native x64 flag.
int32_t ClassifyOSVersion(const OSVERSIONINFOEXW& Info, bool Is64Bit);
// "Windows <name>" (or "Unknown (major.minor)") followed by a space and the
// service pack text.
std::wstring MakeOSVersionText(int32_t VersionClass, const OSVERSIONINFOEXW& Info);
bool IsServerClass(int32_t VersionClass);
// True when the 64-bit package is to be installed.
bool Decide64BitPackage(bool IsWow64, bool ForceX86Present);

// The version query: fills Info (its size field already set), false on failure.
using TOSVersionQuery = bool (*)(OSVERSIONINFOEXW& Info);
bool QueryOSVersionInfo(OSVERSIONINFOEXW& Info);

// The cached classification of one system. The process-wide instance behind
// GetOSVersionClass uses the real query.
class TOSVersionProbe {
public:
  TOSVersionProbe(TOSVersionQuery Query, bool Is64Bit) : FQuery(Query), FIs64Bit(Is64Bit) {}
  TOSVersionProbe(const TOSVersionProbe&) = delete;
  TOSVersionProbe& operator=(const TOSVersionProbe&) = delete;

  int32_t VersionClass();
  // Empty while no query has succeeded.
  std::wstring VersionText();

  DWORD BuildNumber() const { return FBuildNumber; }
  DWORD MajorVersion() const { return FMajorVersion; }
  DWORD MinorVersion() const { return FMinorVersion; }
  WORD ServicePackMajor() const { return FServicePackMajor; }
  bool IsServer() const { return FIsServer; }

private:
  SRWLOCK FLock = SRWLOCK_INIT;
  TOSVersionQuery FQuery;
  bool FIs64Bit;
  int32_t FClass = kOSClassNotComputed;
  std::wstring FText;
  DWORD FBuildNumber = 0;
  DWORD FMajorVersion = 0;
  DWORD FMinorVersion = 0;
  WORD FServicePackMajor = 0;
  bool FIsServer = false;
};

// The process-wide probe.
TOSVersionProbe& OSVersionProbe();

// The legacy file association removed at start (errors ignored).
void RemoveLegacyFileAssociation();

}  // namespace vt
