#include "log/uDebugLog.h"

#include <shlobj.h>
#include <userenv.h>

#include <memory>

#include "fw/uSysUtils.h"

namespace vt {

namespace {
TCriticalSection* gLogCs = nullptr;
TLogInfo* gDefaultTarget = nullptr;
}  // namespace

// ---- TIndentsMap ----

TIndentsMap::TIndentsMap() {
  for (auto& b : fHashTable) b = nullptr;
}

TIndentsMap::~TIndentsMap() {
  for (auto& b : fHashTable) {
    while (b) {
      TEntry* n = b->Next;
      delete b;
      b = n;
    }
  }
}

unsigned TIndentsMap::Bucket(DWORD ThreadId) {
  // Thread ids are multiples of 4; mix the bits before taking the bucket.
  uint32_t x = ThreadId;
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x % 1023;
}

int32_t TIndentsMap::GetIndent(DWORD ThreadId) const {
  for (TEntry* e = fHashTable[Bucket(ThreadId)]; e; e = e->Next)
    if (e->ThreadId == ThreadId) return e->Indent;
  return 0;
}

void TIndentsMap::IncIndent(DWORD ThreadId, int32_t Value) {
  TEntry*& head = fHashTable[Bucket(ThreadId)];
  for (TEntry* e = head; e; e = e->Next)
    if (e->ThreadId == ThreadId) {
      e->Indent += Value;
      return;
    }
  head = new TEntry{ThreadId, Value, head};
}

// ---- TLogInfo ----

TLogInfo::TLogInfo() {
  wchar_t sep[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, sep, 8) > 0 && sep[0]) FTimeSeparator = sep[0];
}

TLogInfo::~TLogInfo() { CloseFile(); }

void TLogInfo::CloseFile() {
  FFile.Reset();
  FFileOpened = false;
}

void TLogInfo::SetFileName(const std::wstring& Value) {
  if (Value == FFileName) return;
  CloseFile();
  FFileName = Value;
  // SHCreateDirectoryExW wants a full path with backslashes; the name may be
  // relative or use forward slashes.
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = GetFullPathNameW(FFileName.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = GetFullPathNameW(FFileName.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  full.resize(n < full.size() ? n : 0);
  for (auto& c : full)
    if (c == L'/') c = L'\\';
  std::wstring dir = ExtractFilePath(full);
  if (!dir.empty()) SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);  // missing folders only
}

bool TLogInfo::OpenFile() {
  if (FFileName.empty()) return false;
  HANDLE h = CreateFileW(FFileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FFile.Reset(h);
  FFileOpened = true;
  return true;
}

void TLogInfo::LockDebugLogging() {
  DWORD tid = GetCurrentThreadId();
  for (auto& l : FLocksInfo)
    if (l.TID == tid) {
      ++l.LockCnt;
      return;
    }
  FLocksInfo.push_back({tid, 1});
}

void TLogInfo::UnlockDebugLogging() {
  DWORD tid = GetCurrentThreadId();
  for (auto it = FLocksInfo.begin(); it != FLocksInfo.end(); ++it)
    if (it->TID == tid) {
      if (--it->LockCnt < 1) FLocksInfo.erase(it);
      return;
    }
}

bool TLogInfo::IsDebugLoggingLocked() const {
  DWORD tid = GetCurrentThreadId();
  for (auto& l : FLocksInfo)
    if (l.TID == tid) return l.LockCnt > 0;
  return false;
}

namespace {

std::wstring MakePrefix(wchar_t sep, DWORD ThreadId) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  std::wstring sepStr(1, sep);
  std::wstring time = Format(L"%.2d%s%.2d%s%.2d.%.3d",
                             {t.wHour, sepStr, t.wMinute, sepStr, t.wSecond, t.wMilliseconds});
  return Format(L"%s\t%-6d", {time, ThreadId});
}

// Every line break (CR LF, LF or a lone CR) is followed by 22 spaces.
std::wstring IndentContinuations(const std::wstring& s) {
  static const std::wstring pad(22, L' ');
  std::wstring r;
  r.reserve(s.size() + 32);
  for (size_t i = 0; i < s.size(); ++i) {
    wchar_t c = s[i];
    r += c;
    if (c == L'\n' || (c == L'\r' && (i + 1 >= s.size() || s[i + 1] != L'\n'))) r += pad;
  }
  return r;
}

}  // namespace

void TLogInfo::WriteLine(DWORD ThreadId, std::wstring_view Message, bool IsDefault) {
  if (IsDebugLoggingLocked()) return;
  std::wstring prefix, text, marker, line;
  try {
    prefix = MakePrefix(FTimeSeparator, ThreadId);
    text = TrimBlanks(Message);
    if (text.size() >= 2) marker = text.substr(0, 2);
  } catch (...) {
    text = L"Error: Cannot parse debug string";
    marker.clear();
  }
  try {
    if (IsDefault) {
      if (marker != L"->" && marker != L"<-") prefix = Format(L"%s%3s", {prefix, L" "});
      if (marker == L"<-") FIndentsMap.DecIndent(ThreadId, 1);
      int32_t level = FIndentsMap.GetIndent(ThreadId);
      line = prefix;
      if (level > 0) line.append(static_cast<size_t>(level) * 3, L' ');
      line += text;
    } else {
      line = prefix + text;
    }
    line = IndentContinuations(line);
  } catch (...) {
    line = L"Error: cannot apply format to the debug string";
  }
  try {
    // A file that cannot be created loses this line only; the next line tries again.
    if (FFileOpened || OpenFile()) {
      std::string bytes = WideToAnsi(line);
      bytes += "\r\n";
      DWORD written = 0;
      // One WriteFile per line: the line reaches the system at once, so a crash
      // of the process loses no finished line.
      WriteFile(FFile.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
  } catch (...) {
  }
  // The level follows the markers whether or not the line reached the file.
  if (IsDefault && marker == L"->") FIndentsMap.IncIndent(ThreadId, 1);
}

// ---- process-wide ----

TCriticalSection& DebugLogLock() { return *gLogCs; }
TLogInfo* DefaultLogTarget() { return gDefaultTarget; }

namespace {

std::wstring AllUsersProfileFolder() {
  DWORD size = 0;
  GetAllUsersProfileDirectoryW(nullptr, &size);
  if (size > 0) {
    std::wstring buf(size, L'\0');
    if (GetAllUsersProfileDirectoryW(buf.data(), &size)) {
      buf.resize(wcslen(buf.c_str()));
      if (!buf.empty()) return buf;
    }
  }
  // Where the profile call gives nothing (it is a stub on some systems) the
  // common application data folder is the same folder on Windows 10 and later.
  wchar_t path[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
    return path;
  return {};
}

}  // namespace

std::wstring MakeDefaultLogFileName(std::wstring_view BaseName) {
  try {
    std::wstring base(BaseName);
    if (base.empty()) {
      std::wstring exe = ExtractFileName(GetModulePath());
      base = ChangeFileExt(exe, L"");
    }
    std::wstring folder = AllUsersProfileFolder();
    if (folder.empty()) return {};
    if (folder.back() != L'\\') folder += L'\\';
    SYSTEMTIME t;
    GetLocalTime(&t);
    std::wstring stamp = Format(L"%.4d%.2d%.2d%.2d%.2d%.2d",
                                {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond});
    std::wstring path = folder + L"Veltrano\\Logs\\" +
                        Format(L"%s_%s(%d).log", {base, stamp, GetCurrentProcessId()});
    if (path.size() > 259) return {};
    return path;
  } catch (...) {
    return {};
  }
}

void DebugLogWrite(const wchar_t* Message, TLogInfo* Target) {
  if (!gLogCs) return;
  TPreserveLastError keep;
  TCsLock lock(*gLogCs);
  TLogInfo* t = Target ? Target : gDefaultTarget;
  if (!t) return;
  try {
    t->WriteLine(GetCurrentThreadId(), Message ? Message : L"", t == gDefaultTarget);
  } catch (...) {
  }
}

void DebugLogLockThread(TLogInfo* Target) {
  if (!gLogCs) return;
  TCsLock lock(*gLogCs);
  if (TLogInfo* t = Target ? Target : gDefaultTarget) t->LockDebugLogging();
}

void DebugLogUnlockThread(TLogInfo* Target) {
  if (!gLogCs) return;
  TCsLock lock(*gLogCs);
  if (TLogInfo* t = Target ? Target : gDefaultTarget) t->UnlockDebugLogging();
}

bool ReadMakerRegistryFlag(const wchar_t* Name, int Mode) {
  if (Mode != 1 && Mode != 2) return false;
  THKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMakerRegistryKey, 0, KEY_READ | KEY_WOW64_32KEY, key.Out()) !=
      ERROR_SUCCESS)
    return false;
  DWORD type = 0, data = 0, size = sizeof(data);
  if (Mode == 2) {
    return RegQueryValueExW(key.Get(), Name, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS;
  }
  LSTATUS rc = RegQueryValueExW(key.Get(), Name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(data) && data == 1;
}

void DebugLogInitialization() {
  if (gLogCs) return;
  gLogCs = new TCriticalSection();
  auto target = std::make_unique<TLogInfo>();
  wchar_t env[MAX_PATH + 1];
  DWORD n = GetEnvironmentVariableW(L"VeltranoDbgLog", env, MAX_PATH + 1);
  std::wstring name;
  if (n > 0 && n <= MAX_PATH) {
    name.assign(env, n);
  } else if (n > MAX_PATH) {
    name.resize(n);
    DWORD m = GetEnvironmentVariableW(L"VeltranoDbgLog", name.data(), n);
    name.resize(m < n ? m : 0);
  }
  if (name.empty()) name = MakeDefaultLogFileName(L"");
  target->SetFileName(name);
  gDefaultTarget = target.release();
}

void DebugLogFinalization() {
  if (!gLogCs) return;
  DebugLogWrite(L"uDebugLog.Finalization", nullptr);
  {
    TCsLock lock(*gLogCs);
    delete gDefaultTarget;
    gDefaultTarget = nullptr;
  }
  delete gLogCs;
  gLogCs = nullptr;
}

}  // namespace vt
