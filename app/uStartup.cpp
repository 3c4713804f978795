#include "app/uStartup.h"

#include "app/uMain.h"
#include "fw/uForms.h"
#include "fw/uGraphics.h"
#include "fw/uThread.h"
#include "lang/Language.h"
#include "ui/QsCombobox.h"
#include "ui/VtCheckBox.h"
#include "ui/uThreadImages.h"
#include "worker/VtThreadUtils.h"
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
  ThreadSyncInitialization();    // this thread becomes the window thread
  GraphicsInitialization();
  FormsInitialization();
  VtCheckBoxInitialization();  // control pictures, decoded once
  QsComboboxInitialization();
}

int RunApplication() { return RunMainWindow(); }

void ShutdownUnits() {
  QsComboboxFinalization();
  VtCheckBoxFinalization();
  FormsFinalization();
  ThreadImagesFinalization();
  GraphicsFinalization();
  ThreadSyncFinalization();
  NetFinalization();
  VtThreadUtilsFinalization();  // every worker is gone by now
  WorkerLanguageFinalization();
  Wow64ApiFinalization();
  DebugLogUtilsFinalization();
  DebugLogFinalization();
}

}  // namespace vt
