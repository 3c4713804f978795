#include "app/uStartup.h"

#include "lang/Language.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"
#include "net/uHttpClient.h"
#include "sys/OsUnit.h"
#include "trust/UWow64Api.h"
#include "trust/uDllsSecurity.h"
#include "trust/uLoadLibrarySecured.h"
#include "worker/VtThreadUtils.h"

namespace vt {

void StartupUnits() {
  DebugLogInitialization();
  DebugLogUtilsInitialization();
  Wow64ApiInitialization();  // its first secured load settles restricted search support
  OsUnitInitialization();
  ProductFrameworkInitialization();
  WorkerLanguageInitialization();
  DllsSecurityInitialization();  // restricts the default library search
  NetInitialization();           // after the restriction: TLS libraries bind from the system folder only
}

int RunApplication() {
  LogLine(L"-> RunApplication");
  LogLine(L"<- RunApplication: 0");
  return 0;
}

void ShutdownUnits() {
  NetFinalization();
  VtThreadUtilsFinalization();  // every worker is gone by now
  WorkerLanguageFinalization();
  Wow64ApiFinalization();
  DebugLogUtilsFinalization();
  DebugLogFinalization();
}

}  // namespace vt
