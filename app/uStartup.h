// The units' start-up and shutdown, in the order the subsystems depend on, and
// the program's top level around them.
#pragma once
#include <span>

namespace vt {

// One unit: its start-up and its shutdown (none for a unit with nothing to undo).
struct TUnit {
  const wchar_t* Name;
  void (*Start)();
  void (*Stop)();
};

// The product's units in start-up order.
std::span<const TUnit> ProductUnits();

// Starts Units in order and records each that started; a unit whose start
// raises counts as not started, and the exception goes on to the caller.
void StartupUnits(std::span<const TUnit> Units = ProductUnits());
// Undoes exactly the units that started, in reverse order; never raises.
void ShutdownUnits();

// Runs the main window and returns the process exit code.
int RunApplication();

// The program: start-up, Run, shutdown. An exception that escapes start-up or
// Run is logged, the units that started are shut down, and the result is
// kExitInternalFailure (fw/uSystemLibraries.h) instead of Run's exit code.
int RunProgram(int (*Run)(), std::span<const TUnit> Units = ProductUnits());

}  // namespace vt
