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

// One resource of the file: type and name (a number or a text), language, bytes.
struct TResId {
  bool IsNumber = false;
  WORD Number = 0;
  std::wstring Text;
  explicit TResId(LPCWSTR Id) {
    if (IS_INTRESOURCE(Id)) {
      IsNumber = true;
      Number = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(Id));
    } else {
      Text = Id;
    }
  }
  LPCWSTR Ptr() const { return IsNumber ? MAKEINTRESOURCEW(Number) : Text.c_str(); }
};

struct TResource {
  TResId Type;
  TResId Name;
  WORD Lang;
  std::string Bytes;
};

struct TCollect {
  HMODULE Module;
  std::vector<TResource>* Out;
};

BOOL CALLBACK CollectLanguage(HMODULE M, LPCWSTR Type, LPCWSTR Name, WORD Lang, LONG_PTR Param) {
  auto* c = reinterpret_cast<TCollect*>(Param);
  HRSRC r = FindResourceExW(M, Type, Name, Lang);
  HGLOBAL g = r ? LoadResource(M, r) : nullptr;
  const char* p = g ? static_cast<const char*>(LockResource(g)) : nullptr;
  DWORD n = r ? SizeofResource(M, r) : 0;
  c->Out->push_back({TResId(Type), TResId(Name), Lang, p ? std::string(p, n) : std::string()});
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE M, LPCWSTR Type, LPWSTR Name, LONG_PTR Param) {
  EnumResourceLanguagesW(M, Type, Name, CollectLanguage, Param);
  return TRUE;
}

BOOL CALLBACK CollectType(HMODULE M, LPWSTR Type, LONG_PTR Param) {
  EnumResourceNamesW(M, Type, CollectName, Param);
  return TRUE;
}

// Every resource the file holds now, with its bytes.
bool ReadResources(const std::wstring& File, std::vector<TResource>& Out) {
  HMODULE m = LoadLibraryExW(File.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return false;
  TCollect c{m, &Out};
  EnumResourceTypesW(m, CollectType, reinterpret_cast<LONG_PTR>(&c));
  FreeLibrary(m);
  return true;
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
  // Every resource is read first and written back (except the branding ones
  // changed here) into an empty resource section: deleting single resources
  // in place is not something every implementation of the update does.
  std::vector<TResource> all;
  if (!ReadResources(file, all)) return Fail(L"cannot read the file's resources");
  auto changed = [&](const TResource& r) {
    if (r.Type.IsNumber && r.Type.Number == 10 && !r.Name.IsNumber)
      for (const TChange& c : changes)
        if (_wcsicmp(c.Name.c_str(), r.Name.Text.c_str()) == 0) return true;
    return false;
  };
  HANDLE h = BeginUpdateResourceW(file.c_str(), TRUE);
  if (!h) return Fail(L"BeginUpdateResource");
  for (TResource& r : all) {
    if (changed(r)) continue;
    if (!UpdateResourceW(h, r.Type.Ptr(), r.Name.Ptr(), r.Lang, r.Bytes.data(), static_cast<DWORD>(r.Bytes.size()))) {
      EndUpdateResourceW(h, TRUE);
      return Fail(L"UpdateResource (keep)");
    }
  }
  for (const TChange& c : changes) {
    if (c.Remove) continue;
    // A zero-length value still needs a data pointer, or the call deletes.
    static char empty[1] = {0};
    void* data = c.Bytes.empty() ? empty : const_cast<char*>(c.Bytes.data());
    DWORD size = static_cast<DWORD>(c.Bytes.size());
    if (!UpdateResourceW(h, RT_RCDATA, c.Name.c_str(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), data, size)) {
      EndUpdateResourceW(h, TRUE);
      // Wine refuses a resource of zero bytes; Windows writes it.
      return Fail(size == 0 ? L"UpdateResource refused a resource of zero bytes" : L"UpdateResource (set)");
    }
  }
  if (!EndUpdateResourceW(h, FALSE)) return Fail(L"EndUpdateResource");
  return 0;
}
