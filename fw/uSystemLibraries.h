// System libraries that are not on Windows' KnownDLLs list, bound at the first
// call instead of through the import table.
//
// Windows binds an import table before any code runs and looks for each
// library that is not a KnownDLL beside the executable first, which for a setup
// started from a download folder means: wherever anyone dropped a DLL. So every
// such library is named here instead; the first call of one of its functions
// loads it from the system folder only (its own dependencies too) and binds
// that function for every later call. The executable imports only KnownDLLs
// (a test reads its import table); a new function of such a library is one row
// in uSystemLibraries.cpp.
#pragma once
#include <windows.h>

#include <string>

namespace vt {

// Loads a library by bare name from the system folder; 0 on failure. The loader
// used before one is set asks for the system folder alone (and, on a system
// that does not know that flag, loads by the system folder's full path).
using TSystemLibraryLoader = HMODULE (*)(const std::wstring& Name);
void SetSystemLibraryLoader(TSystemLibraryLoader Loader);
// Loads the libraries of the table that are not loaded yet, through the loader
// (start-up: in one place of the log, on one thread): with EarlyOnly those
// that start-up calls before the library search is restricted, otherwise all.
// Loading a library can make the system load others by the usual search (the
// user interface's theme and driver when a library registers a window class),
// so the rest wait for the restriction. A library that fails here is tried
// again at its first call, which ends the process when it fails.
void LoadSystemLibraries(bool EarlyOnly);

// Process exit code when a library or function of the table cannot be bound:
// the loader would have refused to start such an executable; the same code
// ends the program when an internal failure escapes to its entry.
inline constexpr UINT kExitInternalFailure = 255;

}  // namespace vt
