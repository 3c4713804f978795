#include "trust/uDllsSecurity.h"

#include <windows.h>

#include "fw/uSysUtils.h"
#include "trust/uLoadLibrarySecured.h"
#include "trust/uTrustCheck.h"

namespace vt {

namespace {

using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);

}  // namespace

bool DllLoadCheck(const std::wstring& Path) {
  if (VC(Path, TrustedSignerNames, 6)) return true;
  if (SameTextAZ(ExtractFileName(Path), L"rerava.dll")) return VC(Path, {}, -1);
  // An executable that is not itself signed by an accepted signer (a developer
  // build) loads any library; a signed one only those of accepted signers.
  return !VC(GetModulePath(), TrustedSignerNames, 6);
}

void DllsSecurityInitialization() {
  HMODULE kernel = LoadLibrarySecured(L"kernel32.dll");
  if (!kernel) return;
  if (IsSecureSearchAvailable()) {
    auto setDefault =
        reinterpret_cast<TSetDefaultDllDirectories>(GetProcAddress(kernel, "SetDefaultDllDirectories"));
    if (setDefault && setDefault(kLoadLibrarySearchSystem32)) SetDllLoadCheck(DllLoadCheck);
  }
  FreeLibrary(kernel);
}

}  // namespace vt
