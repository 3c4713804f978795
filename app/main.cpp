// Program entry: the units' start-up in their fixed order, then the
// application, then their shutdown in reverse (app/uStartup).
#include <windows.h>

#include "app/uStartup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vt::RunProgram(&vt::RunApplication); }
