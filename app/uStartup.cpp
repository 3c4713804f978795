#include "app/uStartup.h"

#include "lang/Language.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"

namespace vt {

void StartupUnits() {
  DebugLogInitialization();
  DebugLogUtilsInitialization();
  WorkerLanguageInitialization();
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
