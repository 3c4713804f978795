#include "trust/uDllsSecurity.h"

#include <windows.h>

#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"
#include "trust/uLoadLibrarySecured.h"
#include "trust/uTrustCheck.h"

namespace vt {

namespace {

using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);

// The signer names come from the signature block without checking it: a block
// copied from a genuine file would pass. Its signature must also verify.
bool SignatureVerifies(const std::wstring& Path) {
  int32_t result = -1;
  return FileTrust(Path, result, rcpCheckNone) && result == 0;
}

}  // namespace

bool DllLoadCheck(const std::wstring& Path) {
  if (VC(Path, TrustedSignerNames, 6) && SignatureVerifies(Path)) return true;
  if (SameTextAZ(ExtractFileName(Path), L"rerava.dll")) return VC(Path, {}, -1) && SignatureVerifies(Path);
  // An executable that is not itself signed by an accepted signer (a developer
  // build) loads any library; a signed one only those of accepted signers.
  return !VC(GetModulePath(), TrustedSignerNames, 6);
}

void DllsSecurityInitialization() {
  TModuleHandle kernel(LoadLibrarySecured(L"kernel32.dll"));
  if (!kernel) return;
  if (IsSecureSearchAvailable()) {
    // Windows 8 and Windows 7 with its update: looked up, as it may be absent.
    auto setDefault =
        reinterpret_cast<TSetDefaultDllDirectories>(GetProcAddress(kernel.Get(), "SetDefaultDllDirectories"));
    if (setDefault && setDefault(kLoadLibrarySearchSystem32)) SetDllLoadCheck(DllLoadCheck);
  }
}

}  // namespace vt
