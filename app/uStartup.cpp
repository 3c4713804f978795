#include "app/uStartup.h"

#include "lang/Language.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"
#include "sys/OsUnit.h"

namespace vt {

void StartupUnits() {
  DebugLogInitialization();
  DebugLogUtilsInitialization();
  // trust: WOW64 file helpers
  OsUnitInitialization();
  // trust: product framework library attempt
  WorkerLanguageInitialization();
  // trust: default library search restricted to the system folder
}

int RunApplication() {
  LogLine(L"-> RunApplication");
  LogLine(L"<- RunApplication: 0");
  return 0;
}

void ShutdownUnits() {
  WorkerLanguageFinalization();
  DebugLogUtilsFinalization();
  DebugLogFinalization();
}

}  // namespace vt
