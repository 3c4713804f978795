#include "trust/UWow64Api.h"

#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"
#include "trust/uLoadLibrarySecured.h"

namespace vt {

namespace {

using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
using TWow64EnableFsRedirection = BOOLEAN(WINAPI*)(BOOLEAN);
using TWow64RevertFsRedirection = BOOL(WINAPI*)(PVOID);
using TWow64DisableFsRedirection = BOOL(WINAPI*)(PVOID*);

TModuleHandle gKernel32;
TModuleHandle gAdvapi32;
TIsWow64Process gIsWow64Process = nullptr;
TWow64EnableFsRedirection gWow64EnableWow64FsRedirection = nullptr;
TWow64RevertFsRedirection gWow64RevertWow64FsRedirection = nullptr;
TWow64DisableFsRedirection gWow64DisableWow64FsRedirection = nullptr;
TRegDeleteKeyExA gRegDeleteKeyExA = nullptr;
bool gRunningUnderWow64 = false;

template <class T>
T Proc(const TModuleHandle& Module, const char* Name) {
  return Module ? reinterpret_cast<T>(GetProcAddress(Module.Get(), Name)) : nullptr;
}

}  // namespace

bool RunningUnderWow64() { return gRunningUnderWow64; }

std::wstring ToSysNativePath(std::wstring_view Path) {
  std::wstring result(Path);
  if (!gRunningUnderWow64) return result;
  wchar_t win[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryW(win, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return result;
  std::wstring prefix = std::wstring(win, n) + L"\\System32\\";
  if (result.compare(0, prefix.size(), prefix) != 0) return result;
  std::wstring upper = UpperCaseAZ(result);
  size_t at = upper.find(L"\\SYSTEM32\\");
  if (at != std::wstring::npos) result.replace(at, 10, L"\\SysNative\\");
  return result;
}

HANDLE WINAPI W64API_CreateFileW(LPCWSTR FileName, DWORD DesiredAccess, DWORD ShareMode,
                          LPSECURITY_ATTRIBUTES SecurityAttributes, DWORD CreationDisposition,
                          DWORD FlagsAndAttributes, HANDLE TemplateFile) {
  if (!gRunningUnderWow64)
    return CreateFileW(FileName, DesiredAccess, ShareMode, SecurityAttributes, CreationDisposition,
                       FlagsAndAttributes, TemplateFile);
  // Redirection comes back on when the call is done, however it ends.
  const bool off = gWow64EnableWow64FsRedirection && gWow64EnableWow64FsRedirection(FALSE);
  auto restore = ScopeExit([off] {
    if (off) gWow64EnableWow64FsRedirection(TRUE);
  });
  return CreateFileW(FileName, DesiredAccess, ShareMode, SecurityAttributes, CreationDisposition,
                     FlagsAndAttributes, TemplateFile);
}

TRegDeleteKeyExA W64API_RegDeleteKeyExA() { return gRegDeleteKeyExA; }

void Wow64ApiInitialization() {
  if (gKernel32) return;
  gKernel32.Reset(LoadLibraryW(L"kernel32.dll"));
  gIsWow64Process = Proc<TIsWow64Process>(gKernel32, "IsWow64Process");
  gWow64EnableWow64FsRedirection = Proc<TWow64EnableFsRedirection>(gKernel32, "Wow64EnableWow64FsRedirection");
  gWow64RevertWow64FsRedirection = Proc<TWow64RevertFsRedirection>(gKernel32, "Wow64RevertWow64FsRedirection");
  gWow64DisableWow64FsRedirection = Proc<TWow64DisableFsRedirection>(gKernel32, "Wow64DisableWow64FsRedirection");
  BOOL wow64 = FALSE;
  gRunningUnderWow64 = gIsWow64Process && gIsWow64Process(GetCurrentProcess(), &wow64) && wow64;
  // The first secured load of the run: it also settles whether the system
  // knows the restricted search flags.
  gAdvapi32.Reset(LoadLibrarySecured(L"advapi32.dll"));
  gRegDeleteKeyExA = Proc<TRegDeleteKeyExA>(gAdvapi32, "RegDeleteKeyExA");
}

void Wow64ApiFinalization() {
  gRegDeleteKeyExA = nullptr;
  gAdvapi32.Reset();
  gIsWow64Process = nullptr;
  gWow64EnableWow64FsRedirection = nullptr;
  gWow64RevertWow64FsRedirection = nullptr;
  gWow64DisableWow64FsRedirection = nullptr;
  gRunningUnderWow64 = false;
  gKernel32.Reset();
}

}  // namespace vt
