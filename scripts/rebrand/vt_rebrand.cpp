// Writes the branding resources of a copy of the setup executable through the
// system's resource-update functions (run under Wine at build time):
//   vt_rebrand.exe FILE [--set NAME VALUE | --set-file NAME DATAFILE | --remove NAME]...
// Every NAME must be one of REB_REFER, REB_PRODUCTNAME, REB_DOWNLOADNAME,
// REB_TOPIC; a value is stored as UTF-16 without terminator (it may be
// empty), a data file byte for byte (any size, odd ones and empty ones too).
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

bool WriteAll(const std::wstring& Path, const std::string& Data) {
  HANDLE f = CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  bool ok = WriteFile(f, Data.data(), static_cast<DWORD>(Data.size()), &n, nullptr) && n == Data.size();
  return CloseHandle(f) && ok;
}

// Sets the size of the RCDATA resource Name in the file image to zero. Wine's
// resource update refuses a resource of zero bytes, so such a resource is
// written with one byte first and its data entry shortened here.
bool MakeEmpty(std::string& Image, const std::wstring& Name) {
  auto at = [&](size_t Off, size_t Len) -> const char* { return Off + Len <= Image.size() ? &Image[Off] : nullptr; };
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0, sizeof(IMAGE_DOS_HEADER)));
  if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(at(dos->e_lfanew, sizeof(IMAGE_NT_HEADERS32)));
  if (!nt || nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
    return false;
  DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
  auto sec = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
      at(dos->e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader,
         nt->FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER)));
  if (!sec || !rva) return false;
  size_t base = 0;
  bool found = false;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections && !found; ++i)
    if (rva >= sec[i].VirtualAddress && rva < sec[i].VirtualAddress + sec[i].SizeOfRawData) {
      base = sec[i].PointerToRawData + (rva - sec[i].VirtualAddress);
      found = true;
    }
  if (!found) return false;
  // The entries of the directory at Off (relative to the resource section).
  auto entries = [&](size_t Off, const IMAGE_RESOURCE_DIRECTORY_ENTRY*& First, size_t& Count) {
    auto d = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY*>(at(base + Off, sizeof(IMAGE_RESOURCE_DIRECTORY)));
    if (!d) return false;
    Count = size_t(d->NumberOfNamedEntries) + d->NumberOfIdEntries;
    First = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY_ENTRY*>(
        at(base + Off + sizeof(IMAGE_RESOURCE_DIRECTORY), Count * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY)));
    return First != nullptr;
  };
  const IMAGE_RESOURCE_DIRECTORY_ENTRY* e = nullptr;
  size_t n = 0;
  if (!entries(0, e, n)) return false;
  size_t names = SIZE_MAX;
  for (size_t i = 0; i < n; ++i)
    if (!e[i].NameIsString && e[i].Id == 10 && e[i].DataIsDirectory) names = e[i].OffsetToDirectory;
  if (names == SIZE_MAX || !entries(names, e, n)) return false;
  size_t langs = SIZE_MAX;
  for (size_t i = 0; i < n; ++i) {
    if (!e[i].NameIsString || !e[i].DataIsDirectory) continue;
    auto str = reinterpret_cast<const IMAGE_RESOURCE_DIR_STRING_U*>(at(base + e[i].NameOffset, 2));
    if (!str || !at(base + e[i].NameOffset + 2, str->Length * 2)) return false;
    if (CompareStringOrdinal(str->NameString, str->Length, Name.c_str(), -1, TRUE) == CSTR_EQUAL)
      langs = e[i].OffsetToDirectory;
  }
  if (langs == SIZE_MAX || !entries(langs, e, n) || n != 1 || e[0].DataIsDirectory) return false;
  auto data = reinterpret_cast<IMAGE_RESOURCE_DATA_ENTRY*>(
      const_cast<char*>(at(base + e[0].OffsetToData, sizeof(IMAGE_RESOURCE_DATA_ENTRY))));
  if (!data) return false;
  data->Size = 0;
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
    // An empty one gets a placeholder byte, removed below.
    static char placeholder[1] = {0};
    void* data = c.Bytes.empty() ? placeholder : const_cast<char*>(c.Bytes.data());
    DWORD size = c.Bytes.empty() ? 1 : static_cast<DWORD>(c.Bytes.size());
    if (!UpdateResourceW(h, RT_RCDATA, c.Name.c_str(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), data, size)) {
      EndUpdateResourceW(h, TRUE);
      return Fail(L"UpdateResource (set)");
    }
  }
  if (!EndUpdateResourceW(h, FALSE)) return Fail(L"EndUpdateResource");
  std::string image;
  bool empties = false;
  for (const TChange& c : changes) {
    if (c.Remove || !c.Bytes.empty()) continue;
    if (!empties && !ReadAll(file, image)) return Fail(L"cannot read the file back");
    empties = true;
    if (!MakeEmpty(image, c.Name)) return Fail(L"the resource entry to empty was not found");
  }
  if (empties && !WriteAll(file, image)) return Fail(L"cannot write the file");
  return 0;
}
