#include "app/uStartup.h"

#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"
#include "trust/UWow64Api.h"
#include "trust/uDllsSecurity.h"
#include "trust/uLoadLibrarySecured.h"

namespace vt {

void StartupUnits() {
  DebugLogInitialization();
  DebugLogUtilsInitialization();
  Wow64ApiInitialization();
  // [system probes (OsUnit) start here]
  ProductFrameworkInitialization();
  // [worker catalogue and service-manager modules start here]
  DllsSecurityInitialization();  // last: restricts the default library search
}

int RunApplication() {
  LogLine(L"-> RunApplication");
  LogLine(L"<- RunApplication: 0");
  return 0;
}

void ShutdownUnits() {
  Wow64ApiFinalization();
  DebugLogUtilsFinalization();
  DebugLogFinalization();
}

}  // namespace vt
