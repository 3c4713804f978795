#include "fw/uSystemLibraries.h"

#include <bcrypt.h>
#include <msi.h>
#include <msiquery.h>
#include <userenv.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>
#include <winver.h>

#include "fw/uWinHandles.h"

// The table is written for the 32-bit stdcall names of the import libraries
// ("_Name@bytes" and "__imp__Name@bytes").
static_assert(sizeof(void*) == 4, "uSystemLibraries.cpp binds 32-bit stdcall names");

namespace vt {

// The records the assembler rows below refer to.
struct TSystemLibrary {
  const wchar_t* Name;
  HMODULE Module;  // written once, with an interlocked exchange
};

struct TImportDesc {
  TSystemLibrary* Lib;
  const char* Name;
  void** Slot;  // what the import table's entry would hold: the function, once bound
};

namespace {

TSystemLibraryLoader gLoader = nullptr;

// Before a loader is set (the log's start, test programs): the system folder
// alone, for the library and for the libraries it imports.
HMODULE DefaultLoad(const std::wstring& Name) {
  constexpr DWORD kSearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  HMODULE h = LoadLibraryExW(Name.c_str(), nullptr, kSearchSystem32);
  if (h || GetLastError() != ERROR_INVALID_PARAMETER) return h;
  // A system without the search flags: the full path, and the library's own
  // folder (the system folder) first for what it imports.
  wchar_t dir[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  std::wstring full = std::wstring(dir, n) + L"\\" + Name;
  return LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The library's module, loaded now when it is not yet; 0 when it cannot be.
HMODULE LibraryModule(TSystemLibrary* Lib) {
  auto* slot = reinterpret_cast<PVOID*>(&Lib->Module);
  auto m = static_cast<HMODULE>(InterlockedCompareExchangePointer(slot, nullptr, nullptr));
  if (m) return m;
  auto loader = reinterpret_cast<TSystemLibraryLoader>(
      InterlockedCompareExchangePointer(reinterpret_cast<PVOID*>(&gLoader), nullptr, nullptr));
  const std::wstring name = Lib->Name;
  TModuleHandle loaded(loader ? loader(name) : DefaultLoad(name));
  if (!loaded) return nullptr;
  // Two threads may load at once: one module handle stays, the other is released.
  m = static_cast<HMODULE>(InterlockedCompareExchangePointer(slot, loaded.Get(), nullptr));
  return m ? m : loaded.Release();
}

[[noreturn]] void Unbindable(const TImportDesc* D, const wchar_t* What) {
  std::wstring text = std::wstring(L"System library ") + D->Lib->Name + L": " + What + L" (";
  for (const char* p = D->Name; *p; ++p) text += static_cast<wchar_t>(*p);
  text += L")";
  OutputDebugStringW(text.c_str());
  // Where Windows would have refused to start the process: a defined end
  // instead of a call into nothing.
  TerminateProcess(GetCurrentProcess(), kExitInternalFailure);
  for (;;) Sleep(INFINITE);
}

}  // namespace

void SetSystemLibraryLoader(TSystemLibraryLoader Loader) {
  InterlockedExchangePointer(reinterpret_cast<PVOID*>(&gLoader), reinterpret_cast<PVOID>(Loader));
}

}  // namespace vt

// Called by the stub of an unbound function (below) with its descriptor;
// returns the function, which the stub then enters with the caller's arguments.
extern "C" __attribute__((used)) void* vt_ResolveSystemImport(const vt::TImportDesc* D) {
  using namespace vt;
  TPreserveLastError keep;  // the call itself sets the caller's error, not the binding
  HMODULE m = LibraryModule(D->Lib);
  if (!m) Unbindable(D, L"cannot be loaded from the system folder");
  FARPROC f = GetProcAddress(m, D->Name);
  if (!f) Unbindable(D, L"function not found");
  InterlockedExchangePointer(D->Slot, reinterpret_cast<PVOID>(f));
  return reinterpret_cast<void*>(f);
}

#include "fw/uSystemLibraryTable.h"

namespace vt {
namespace {

template <class T>
struct TArgBytes;
template <class R, class... A>
struct TArgBytes<R(__stdcall*)(A...)> {
  static constexpr unsigned Value = (0u + ... + ((sizeof(A) + 3u) & ~3u));
};

#define VT_CHECK_ROW(Lib, Name, Bytes) \
  static_assert(TArgBytes<decltype(&::Name)>::Value == Bytes, #Name ": wrong argument bytes");
VT_SYSTEM_FUNCTIONS(VT_CHECK_ROW)
#undef VT_CHECK_ROW

}  // namespace
}  // namespace vt

#define VT_LIBRARY_RECORD(Lib, Early) vt::TSystemLibrary vt_lib_##Lib = {L"" #Lib ".dll", nullptr};
extern "C" {
VT_SYSTEM_LIBRARIES(VT_LIBRARY_RECORD)
}
#undef VT_LIBRARY_RECORD

void vt::LoadSystemLibraries(bool EarlyOnly) {
#define VT_LOAD_LIBRARY(Lib, Early) \
  if (Early || !EarlyOnly) LibraryModule(&vt_lib_##Lib);
  VT_SYSTEM_LIBRARIES(VT_LOAD_LIBRARY)
#undef VT_LOAD_LIBRARY
}
