// Writes the branding resources of a copy of the setup executable through the
// system's resource-update functions (run under Wine at build time):
//   vt_rebrand.exe FILE [--set NAME VALUE | --set-file NAME DATAFILE | --remove NAME]...
// Every NAME must be one of REB_REFER, REB_PRODUCTNAME, REB_DOWNLOADNAME,
// REB_TOPIC; a value is stored as UTF-16 without terminator (it may be
// empty), a data file byte for byte (any size, odd ones too).
// Every other resource stays as it is. Exit code 0 on success.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t* const kNames[] = {L"REB_REFER", L"REB_PRODUCTNAME", L"REB_DOWNLOADNAME", L"REB_TOPIC"};

bool KnownName(const std::wstring& n) {
  for (const wchar_t* k : kNames)
    if (n == k) return true;
  return false;
}

struct TChange {
  std::wstring Name;
  bool Remove;
  std::string Bytes;
};

bool ReadAll(const std::wstring& Path, std::string& Out) {
  HANDLE f = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  char buf[65536];
  DWORD n = 0;
  bool ok = true;
  while ((ok = ReadFile(f, buf, sizeof(buf), &n, nullptr)) && n > 0) Out.append(buf, n);
  CloseHandle(f);
  return ok;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD Lang, LONG_PTR Param) {
  reinterpret_cast<std::vector<WORD>*>(Param)->push_back(Lang);
  return TRUE;
}

// The languages under which the file holds the resource now.
std::vector<WORD> LanguagesOf(const std::wstring& File, const std::wstring& Name) {
  std::vector<WORD> langs;
  HMODULE m = LoadLibraryExW(File.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return langs;
  EnumResourceLanguagesW(m, RT_RCDATA, Name.c_str(), CollectLanguage, reinterpret_cast<LONG_PTR>(&langs));
  FreeLibrary(m);
  return langs;
}

int Fail(const wchar_t* What) {
  std::fwprintf(stderr, L"vt_rebrand: %ls (error %lu)\n", What, GetLastError());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fwprintf(stderr, L"usage: vt_rebrand FILE [--set NAME VALUE | --set-file NAME DATAFILE | --remove NAME]...\n");
    return 2;
  }
  std::wstring file = argv[1];
  std::vector<TChange> changes;
  for (int i = 2; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"--set" && i + 2 < argc) {
      std::wstring v = argv[i + 2];
      changes.push_back({argv[i + 1], false, std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(wchar_t))});
      i += 2;
    } else if (a == L"--set-file" && i + 2 < argc) {
      changes.push_back({argv[i + 1], false, {}});
      if (!ReadAll(argv[i + 2], changes.back().Bytes)) return Fail(L"cannot read the data file");
      i += 2;
    } else if (a == L"--remove" && i + 1 < argc) {
      changes.push_back({argv[i + 1], true, {}});
      i += 1;
    } else {
      std::fwprintf(stderr, L"vt_rebrand: unexpected argument '%ls'\n", a.c_str());
      return 2;
    }
    if (!KnownName(changes.back().Name)) {
      std::fwprintf(stderr, L"vt_rebrand: '%ls' is not a branding resource\n", changes.back().Name.c_str());
      return 2;
    }
  }
  // Languages are read before the update handle exists (it holds the file).
  std::vector<std::vector<WORD>> existing;
  for (const TChange& c : changes) existing.push_back(LanguagesOf(file, c.Name));

  HANDLE h = BeginUpdateResourceW(file.c_str(), FALSE);
  if (!h) return Fail(L"BeginUpdateResource");
  for (size_t i = 0; i < changes.size(); ++i) {
    const TChange& c = changes[i];
    for (WORD lang : existing[i])
      if (!UpdateResourceW(h, RT_RCDATA, c.Name.c_str(), lang, nullptr, 0)) {
        EndUpdateResourceW(h, TRUE);
        return Fail(L"UpdateResource (remove)");
      }
    if (!c.Remove) {
      // A zero-length value still needs a data pointer, or the call deletes.
      static char empty[1] = {0};
      void* data = c.Bytes.empty() ? empty : const_cast<char*>(c.Bytes.data());
      DWORD size = static_cast<DWORD>(c.Bytes.size());
      if (!UpdateResourceW(h, RT_RCDATA, c.Name.c_str(), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), data, size)) {
        EndUpdateResourceW(h, TRUE);
        // Wine refuses a resource of zero bytes; Windows writes it.
        return Fail(size == 0 ? L"UpdateResource refused a resource of zero bytes" : L"UpdateResource (set)");
      }
    }
  }
  if (!EndUpdateResourceW(h, FALSE)) return Fail(L"EndUpdateResource");
  return 0;
}
