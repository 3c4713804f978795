// The units' start-up and shutdown, in the order the subsystems depend on.
#pragma once

namespace vt {

void StartupUnits();
// Runs the main window and returns the process exit code.
int RunApplication();
void ShutdownUnits();

}  // namespace vt
