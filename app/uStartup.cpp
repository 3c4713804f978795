#include "app/uStartup.h"

#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"
#include "sys/OsUnit.h"

namespace vt {

void StartupUnits() {
  DebugLogInitialization();
  DebugLogUtilsInitialization();
  OsUnitInitialization();
}

int RunApplication() {
  LogLine(L"-> RunApplication");
  LogLine(L"<- RunApplication: 0");
  return 0;
}

void ShutdownUnits() {
  DebugLogUtilsFinalization();
  DebugLogFinalization();
}

}  // namespace vt
