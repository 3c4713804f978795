#include "app/uStartup.h"

#include <exception>

#include "app/uMain.h"
#include "fw/uForms.h"
#include "fw/uGraphics.h"
#include "fw/uSystemLibraries.h"
#include "fw/uThread.h"
#include "lang/Language.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"
#include "net/uHttpClient.h"
#include "sys/OsUnit.h"
#include "trust/UWow64Api.h"
#include "trust/uDllsSecurity.h"
#include "trust/uLoadLibrarySecured.h"
#include "ui/QsCombobox.h"
#include "ui/VtCheckBox.h"
#include "ui/uThreadImages.h"
#include "worker/VtThreadUtils.h"

namespace vt {

namespace {

// A unit is one row. Rows without a shutdown have nothing to undo: the secured
// binding, the system libraries and the library search restriction hold for
// the rest of the process, and the system probes only read and cache. Rows
// without a start-up only clean up what later work left.
const TUnit kProductUnits[] = {
    {L"uDebugLog", &DebugLogInitialization, &DebugLogFinalization},
    {L"DebugLogUtils", &DebugLogUtilsInitialization, &DebugLogUtilsFinalization},
    // Its first secured load settles restricted search support.
    {L"UWow64Api", &Wow64ApiInitialization, &Wow64ApiFinalization},
    // System libraries bound at their first call load through LoadLibrarySecured from here on.
    {L"SecuredBinding", &SecuredBindingInitialization, nullptr},
    {L"OsUnit", &OsUnitInitialization, nullptr},
    {L"ProductFramework", &ProductFrameworkInitialization, &ProductFrameworkFinalization},
    {L"WorkerLanguage", &WorkerLanguageInitialization, &WorkerLanguageFinalization},
    // Restricts the default library search: after every unit that loads libraries at start-up.
    {L"uDllsSecurity", &DllsSecurityInitialization, nullptr},
    // After the restriction, as whatever they load in turn is then searched in the system folder only.
    {L"SystemLibraries", &SystemLibrariesInitialization, nullptr},
    // Nothing to start; its shutdown comes when every worker is gone.
    {L"VtThreadUtils", nullptr, &VtThreadUtilsFinalization},
    // After the restriction: the TLS libraries bind from the system folder only.
    {L"Net", &NetInitialization, &NetFinalization},
    // This thread becomes the window thread.
    {L"ThreadSync", &ThreadSyncInitialization, &ThreadSyncFinalization},
    {L"Graphics", &GraphicsInitialization, &GraphicsFinalization},
    // Nothing to start; its pictures go before the drawing layer does.
    {L"ThreadImages", nullptr, &ThreadImagesFinalization},
    {L"Forms", &FormsInitialization, &FormsFinalization},
    // Control pictures, decoded once.
    {L"VtCheckBox", &VtCheckBoxInitialization, &VtCheckBoxFinalization},
    {L"QsCombobox", &QsComboboxInitialization, &QsComboboxFinalization},
};

// What started, for the shutdown.
std::span<const TUnit> gUnits;
size_t gStarted = 0;

// Inside a catch block: logs the exception being handled; never raises.
void LogFailure(const std::wstring& Text) noexcept {
  try {
    try {
      throw;
    } catch (const std::exception& e) {
      LogException(&e, Text);
    } catch (...) {
      LogLine(Text + L" (an exception of unknown type)");
    }
  } catch (...) {
  }
}

}  // namespace

std::span<const TUnit> ProductUnits() { return kProductUnits; }

void StartupUnits(std::span<const TUnit> Units) {
  gUnits = Units;
  gStarted = 0;
  for (const TUnit& u : Units) {
    if (u.Start) u.Start();
    ++gStarted;
  }
}

void ShutdownUnits() {
  while (gStarted > 0) {
    const TUnit& u = gUnits[--gStarted];
    if (!u.Stop) continue;
    try {
      u.Stop();
    } catch (...) {
      LogFailure(Format(L"Shutdown of %s failed", {u.Name}));
    }
  }
}

int RunApplication() { return RunMainWindow(); }

int RunProgram(int (*Run)(), std::span<const TUnit> Units) {
  int code = static_cast<int>(kExitInternalFailure);
  try {
    StartupUnits(Units);
    code = Run();
  } catch (...) {
    LogFailure(Format(L"Internal failure; exit code %d", {code}));
  }
  try {
    LogFmt(L"Done with ExitCode=%d", {code});
  } catch (...) {
  }
  ShutdownUnits();
  return code;
}

}  // namespace vt
