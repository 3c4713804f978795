#include "sys/OsUnit.h"

#include "fw/uWinHandles.h"
#include "log/DebugLogUtils.h"
#include "log/uCommonAppInfo.h"
#include "log/uDebugLog.h"

namespace vt {

namespace {

// Names of classes -1..35 in the version text; index = class + 1.
constexpr const wchar_t* kClassNames[] = {
    L"Unknown",    L"95",         L"98",         L"98SE",       L"ME",         L"NT",
    L"2000",       L"XP",         L"2003",       L"Vista x86",  L"Vista x64",  L"2008x86",
    L"2008x64",    L"7x86",       L"7x64",       L"2008 R2x86", L"2008 R2x64", L"2011x86",
    L"2011x64",    L"8x86",       L"8x64",       L"2012x86",    L"2012x64",    L"8.1x86",
    L"8.1x64",     L"2012 R2x86", L"2012 R2x64", L"10x86",      L"10x64",      L"2016x86",
    L"2016x64",    L"2019x86",    L"2019x64",    L"11x86",      L"11x64",      L"2021x86",
    L"2021x64"};
static_assert(sizeof(kClassNames) / sizeof(kClassNames[0]) == 37);

// Module state, written by the initialisation and read-only afterwards.
int32_t gStartupClass = -1;
bool gWow64 = false;
bool gIs64Bit = false;
bool gUse64BitPackage = false;
std::wstring gExePath;
std::wstring gExeFolder;

bool DetectWow64() {
  using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return false;
  auto fn = reinterpret_cast<TIsWow64Process>(GetProcAddress(kernel, "IsWow64Process"));
  if (!fn) return false;
  BOOL wow = FALSE;
  if (!fn(GetCurrentProcess(), &wow)) return false;
  return wow != FALSE;
}

bool DetectNativeX64() {
  SYSTEM_INFO si{};
  GetNativeSystemInfo(&si);
  return si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

// Two numbers per class pair: 32-bit first, 64-bit second.
int32_t Pick(int32_t Class32, bool Is64Bit) { return Is64Bit ? Class32 + 1 : Class32; }

void DeleteKeyIgnoringErrors(HKEY Root, const wchar_t* SubKey) {
  RegDeleteTreeW(Root, SubKey);
  RegDeleteKeyW(Root, SubKey);
}

bool KeyExists(HKEY Root, const wchar_t* SubKey) {
  THKey key;
  return RegOpenKeyExW(Root, SubKey, 0, KEY_READ, key.Out()) == ERROR_SUCCESS;
}

}  // namespace

int32_t ClassifyOSVersion(const OSVERSIONINFOEXW& Info, bool Is64Bit) {
  const DWORD major = Info.dwMajorVersion;
  const DWORD minor = Info.dwMinorVersion;
  if (Info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    if (major == 4 && minor == 0) return 0;
    if (major == 4 && minor == 10) return Info.szCSDVersion[0] && Info.szCSDVersion[1] == L'A' ? 2 : 1;
    if (major == 4 && minor == 90) return 3;
    return -1;
  }
  if (Info.dwPlatformId != VER_PLATFORM_WIN32_NT) return -1;

  const bool workstation = Info.wProductType == VER_NT_WORKSTATION;
  const DWORD build = Info.dwBuildNumber;
  if (major <= 4) return 4;
  if (major == 5 && minor == 0) return 5;
  if (major == 5 && minor == 1) return 6;
  if (major == 5 && minor == 2) return 7;
  if (major == 6) {
    if (workstation) {
      switch (minor) {
        case 0: return Pick(8, Is64Bit);
        case 1: return Pick(12, Is64Bit);
        case 2: return Pick(18, Is64Bit);
        case 3: return Pick(22, Is64Bit);
        default: return kOSClassOther;
      }
    }
    if (minor == 3) return Pick(24, Is64Bit);
    if (minor == 2) return Pick(20, Is64Bit);
    if (minor <= 1) {
      if (Info.wSuiteMask & kSuiteWHServer) return Pick(16, Is64Bit);
      return minor == 1 ? Pick(14, Is64Bit) : Pick(10, Is64Bit);
    }
    return kOSClassOther;
  }
  if (major == 10 && minor == 0) {
    if (!workstation) {
      if (build < 17000) return Pick(28, Is64Bit);
      if (build < 22000) return Pick(30, Is64Bit);
      return Pick(34, Is64Bit);
    }
    return build < 22000 ? Pick(26, Is64Bit) : Pick(32, Is64Bit);
  }
  return kOSClassOther;
}

std::wstring MakeOSVersionText(int32_t VersionClass, const OSVERSIONINFOEXW& Info) {
  std::wstring text;
  if (VersionClass >= -1 && VersionClass <= 35)
    text = std::wstring(L"Windows ") + kClassNames[VersionClass + 1];
  else
    text = Format(L"Unknown (%d.%d)", {Info.dwMajorVersion, Info.dwMinorVersion});
  text += L' ';
  text += Info.szCSDVersion;  // the array is zero-terminated by the query
  return text;
}

bool IsServerClass(int32_t VersionClass) {
  switch (VersionClass) {
    case 7: case 10: case 11: case 14: case 15: case 20: case 21:
    case 24: case 25: case 28: case 29: case 30: case 31:
      return true;
    default:
      return false;
  }
}

bool Decide64BitPackage(bool IsWow64, bool ForceX86Present) { return IsWow64 && !ForceX86Present; }

bool QueryOSVersionInfo(OSVERSIONINFOEXW& Info) {
  // GetVersionExW is deprecated in the headers but is the query the manifest
  // governs; the result follows the supportedOS entries of the manifest.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&Info)) != FALSE;
#pragma GCC diagnostic pop
}

int32_t TOSVersionProbe::VersionClass() {
  // Held on every path out, exceptions included.
  TWriteLock lock(FLock);
  if (FClass != kOSClassNotComputed) return FClass;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!FQuery || !FQuery(info)) return -1;  // cache stays "not computed": the next call retries
  info.szCSDVersion[127] = L'\0';
  FBuildNumber = info.dwBuildNumber;
  FMajorVersion = info.dwMajorVersion;
  FMinorVersion = info.dwMinorVersion;
  FServicePackMajor = info.wServicePackMajor;
  FIsServer = info.wProductType != VER_NT_WORKSTATION;
  const int32_t cls = ClassifyOSVersion(info, FIs64Bit);
  FText = MakeOSVersionText(cls, info);
  FClass = cls;
  return cls;
}

std::wstring TOSVersionProbe::VersionText() {
  VersionClass();
  TReadLock lock(FLock);
  return FText;
}

TOSVersionProbe& OSVersionProbe() {
  static TOSVersionProbe probe(&QueryOSVersionInfo, DetectNativeX64());
  return probe;
}

int32_t GetOSVersionClass() { return OSVersionProbe().VersionClass(); }
std::wstring GetOSVersionText() { return OSVersionProbe().VersionText(); }
bool IsServerWindows() { return IsServerClass(GetOSVersionClass()); }
int32_t StartupOSVersionClass() { return gStartupClass; }
bool Use64BitPackage() { return gUse64BitPackage; }
bool IsWow64Process32() { return gWow64; }
bool Is64BitWindows() { return gIs64Bit; }
const std::wstring& AppExePath() { return gExePath; }
const std::wstring& AppExeFolder() { return gExeFolder; }

void RemoveLegacyFileAssociation() {
  if (KeyExists(HKEY_CLASSES_ROOT, L".q7s")) DeleteKeyIgnoringErrors(HKEY_CLASSES_ROOT, L".q7s");
  if (KeyExists(HKEY_CLASSES_ROOT, L"Torvane.Scanner.Settings")) {
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Torvane.Scanner.Settings\\shell\\open\\command");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Torvane.Scanner.Settings\\DefaultIcon");
    // What is left (the emptied shell\open branch) goes with the key itself.
    DeleteKeyIgnoringErrors(HKEY_CLASSES_ROOT, L"Torvane.Scanner.Settings");
  }
}

void OsUnitInitialization() {
  SetOSVersionTextSource(&GetOSVersionText);
  ApplyRegistryDebugSwitches();
  gWow64 = DetectWow64();
  gIs64Bit = DetectNativeX64();
  gUse64BitPackage = Decide64BitPackage(gWow64, ReadMakerRegistryFlag(L"ForceX86", 2));
  gStartupClass = GetOSVersionClass();
  gExePath = GetModulePath();
  gExeFolder = ExtractFilePath(gExePath);
  try {
    RemoveLegacyFileAssociation();
  } catch (...) {
  }
  LogApplicationCommonInfo();
  LogLine(L"OsUnit.Initialization finished");
}

}  // namespace vt
