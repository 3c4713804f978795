#include "trust/uLoadLibrarySecured.h"

#include <atomic>
#include <vector>

#include "fw/uSysUtils.h"
#include "fw/uSystemLibraries.h"
#include "fw/uWinHandles.h"
#include "log/DebugLogUtils.h"

namespace vt {

namespace {

// Settled by the first secured load of start-up; the system libraries bound at
// their first call may load later, from any thread.
std::atomic<bool> gSecureSearch{true};
std::atomic<bool> gProbeDone{false};
TDllLoadCheck gDllLoadCheck = nullptr;

TModuleHandle gFramework;
FARPROC gFrameworkAllowDirectCalls = nullptr;
FARPROC gFrameworkIsPipeReady = nullptr;

}  // namespace

HMODULE UsualLoad(const std::wstring& Name) {
  TLogScope scope(L"-> UsualLoad(); Warning:", L"<- UsualLoad()");
  HMODULE h = LoadLibraryW(Name.c_str());
  if (!h) LogLastError(L"LoadLibrary failed", GetLastError());
  return h;
}

HMODULE LoadLibrarySecured(const std::wstring& Name) {
  TLogScope scope(L"-> LoadLibrarySecured()", L"<- LoadLibrarySecured('" + Name + L"')=0");
  HMODULE h = nullptr;
  if (gSecureSearch) {
    h = LoadLibraryExW(Name.c_str(), nullptr, kLoadLibrarySearchSystem32 | kLoadLibrarySearchDllLoadDir);
    // A bare name is refused with the load-folder flag; the system folder alone takes it.
    if (!h) h = LoadLibraryExW(Name.c_str(), nullptr, kLoadLibrarySearchSystem32);
    if (!h) {
      DWORD code = GetLastError();
      LogLastError(L"LoadLibraryEx warning:", code);
      if (code == ERROR_INVALID_PARAMETER) {
        // The system does not know the flags at all.
        gSecureSearch = false;
        h = UsualLoad(Name);
      }
    }
    gProbeDone = true;
  } else {
    h = UsualLoad(Name);
  }
  scope.SetClose(Format(L"<- LoadLibrarySecured('%s')=%d", {Name, reinterpret_cast<intptr_t>(h)}));
  return h;
}

bool IsSecureSearchAvailable() {
  if (gProbeDone) return gSecureSearch;
  TModuleHandle h(LoadLibraryExW(L"ntdll", nullptr, kLoadLibrarySearchSystem32));
  if (h) {
    gSecureSearch = true;
  } else if (GetLastError() == ERROR_INVALID_PARAMETER) {
    gSecureSearch = false;
  }
  gProbeDone = true;
  return gSecureSearch;
}

void SetDllLoadCheck(TDllLoadCheck Check) { gDllLoadCheck = Check; }
TDllLoadCheck GetDllLoadCheck() { return gDllLoadCheck; }

std::wstring GetFileVersionNumbers(const std::wstring& FileName, uint64_t& Version) {
  Version = 0;
  DWORD dummy = 0;
  DWORD size = GetFileVersionInfoSizeW(FileName.c_str(), &dummy);
  if (size > 0) {
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (GetFileVersionInfoW(FileName.c_str(), 0, size, data.data()) &&
        VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len) && info &&
        len >= sizeof(VS_FIXEDFILEINFO))
      Version = (static_cast<uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
  }
  return Format(L"%d.%d.%d.%d", {static_cast<uint32_t>((Version >> 48) & 0xFFFF),
                                 static_cast<uint32_t>((Version >> 32) & 0xFFFF),
                                 static_cast<uint32_t>((Version >> 16) & 0xFFFF),
                                 static_cast<uint32_t>(Version & 0xFFFF)});
}

HMODULE LoadProductLibrary(const std::wstring& Name, uint64_t& Version) {
  std::wstring candidate = Name;
  if (ExtractFileName(Name) == Name) {
    wchar_t exe[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      std::wstring beside = ExtractFilePath(std::wstring(exe, n)) + Name;
      if (FileExists(beside)) candidate = beside;
    }
  }
  Version = 0;
  if (!FileExists(candidate)) return nullptr;
  if (gDllLoadCheck && !gDllLoadCheck(candidate)) return nullptr;
  HMODULE h = LoadLibrarySecured(candidate);
  // The version of the file that was loaded, not of whatever a search finds by its name.
  if (h && h != INVALID_HANDLE_VALUE) GetFileVersionNumbers(candidate, Version);
  return h;
}

void ProductFrameworkInitialization() {
  if (gFramework) return;
  uint64_t version = 0;
  gFramework.Reset(LoadProductLibrary(L"q7framework.dll", version));
  if (!gFramework) return;
  // Resolved for the framework's users; the setup itself relies on none of them.
  gFrameworkAllowDirectCalls = GetProcAddress(gFramework.Get(), "AllowDirectCalls");
  gFrameworkIsPipeReady = GetProcAddress(gFramework.Get(), "IsPipeReady");
}

void ProductFrameworkFinalization() {
  gFrameworkAllowDirectCalls = nullptr;
  gFrameworkIsPipeReady = nullptr;
  gFramework.Reset();
}

HMODULE ProductFrameworkModule() { return gFramework.Get(); }

void SecuredBindingInitialization() {
  SetSystemLibraryLoader(&LoadLibrarySecured);
  LoadSystemLibraries(true);
}

void SystemLibrariesInitialization() { LoadSystemLibraries(false); }

}  // namespace vt
