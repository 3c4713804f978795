// Library loading that never takes a system library's name from an unsafe
// folder, and the loading of product libraries from known places only.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace vt {

inline constexpr DWORD kLoadLibrarySearchDllLoadDir = 0x100;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
inline constexpr DWORD kLoadLibrarySearchSystem32 = 0x800;    // LOAD_LIBRARY_SEARCH_SYSTEM32

// Loads Name (a bare name: from the system folder only; a full path: that
// file, its dependencies from its own folder and the system folder). 0 on failure.
HMODULE LoadLibrarySecured(const std::wstring& Name);
// The plain Windows search order; only for systems without the search flags.
HMODULE UsualLoad(const std::wstring& Name);
// Whether LoadLibraryExW knows the LOAD_LIBRARY_SEARCH_* flags.
bool IsSecureSearchAvailable();

// The check a product library must pass before it is loaded.
using TDllLoadCheck = bool (*)(const std::wstring& Path);
void SetDllLoadCheck(TDllLoadCheck Check);
TDllLoadCheck GetDllLoadCheck();

// Loads a product library from a known place (Name with a folder, or beside the
// executable) when the registered check accepts it; 0 when nothing was loaded.
HMODULE LoadProductLibrary(const std::wstring& Name, uint64_t& Version);
// The fixed file version: "major.minor.release.build" and the same as one number
// (major in the top 16 bits); 0 when the file has no version resource.
std::wstring GetFileVersionNumbers(const std::wstring& FileName, uint64_t& Version);

// The product framework library beside the executable, tried once at start-up.
void ProductFrameworkInitialization();
void ProductFrameworkFinalization();
HMODULE ProductFrameworkModule();

// The system libraries bound at their first call (fw/uSystemLibraries) load
// through LoadLibrarySecured from here on; those that start-up itself calls
// load now. Start-up runs it after the first secured load.
void SecuredBindingInitialization();
// The other system libraries of the table, after the library search restriction.
void SystemLibrariesInitialization();

}  // namespace vt
