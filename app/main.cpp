// Program entry: runs the units' start-up in their fixed order, then the
// application, then their shutdown in reverse.
#include <windows.h>

#include "app/uStartup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  vt::StartupUnits();
  int code = vt::RunApplication();
  vt::ShutdownUnits();
  return code;
}
