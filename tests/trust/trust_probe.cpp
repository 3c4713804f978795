// trust_probe.exe MODE [NAME]: one library load or signer check in a process
// of its own, so that the test chooses its folder, its signature and its
// environment. Exit code: bit 0 = loaded / accepted, bit 1 = the product
// framework library was loaded at start-up, bit 2 = the library check is
// registered after start-up, 100 = wrong arguments.
//   secured NAME    log and WOW64 units started, then LoadLibrarySecured(NAME)
//   startup NAME    the product's whole start-up, then LoadLibraryW(NAME) ("-": none)
//   plain NAME      log units only, then LoadLibraryW(NAME)
//   dllcheck PATH   DllLoadCheck(PATH)
#include <windows.h>

#include <cwchar>

#include "app/uStartup.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"
#include "trust/UWow64Api.h"
#include "trust/uDllsSecurity.h"
#include "trust/uLoadLibrarySecured.h"

namespace {

void StartLogs() {
  vt::DebugLogInitialization();
  vt::DebugLogUtilsInitialization();
}

void StopLogs() {
  vt::DebugLogUtilsFinalization();
  vt::DebugLogFinalization();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The product binds version.dll at its first call; the probe imports it, so
  // that Windows binds a library before any code runs (what the manifest's
  // pins are for). Any function will do; this one is not in the product's table.
  volatile auto imported = &VerLanguageNameW;
  (void)imported;
  if (argc != 3) return 100;
  const wchar_t* mode = argv[1];
  const wchar_t* name = argv[2];
  int code = 0;
  if (wcscmp(mode, L"secured") == 0) {
    StartLogs();
    vt::Wow64ApiInitialization();
    code = vt::LoadLibrarySecured(name) ? 1 : 0;
    vt::Wow64ApiFinalization();
    StopLogs();
  } else if (wcscmp(mode, L"startup") == 0) {
    vt::StartupUnits();
    if (wcscmp(name, L"-") != 0) code = LoadLibraryW(name) ? 1 : 0;
    if (vt::ProductFrameworkModule()) code |= 2;
    if (vt::GetDllLoadCheck() == vt::DllLoadCheck) code |= 4;
    vt::ShutdownUnits();
  } else if (wcscmp(mode, L"plain") == 0) {
    StartLogs();
    code = LoadLibraryW(name) ? 1 : 0;
    StopLogs();
  } else if (wcscmp(mode, L"dllcheck") == 0) {
    StartLogs();
    vt::Wow64ApiInitialization();
    code = vt::DllLoadCheck(name) ? 1 : 0;
    vt::Wow64ApiFinalization();
    StopLogs();
  } else {
    return 100;
  }
  return code;
}
