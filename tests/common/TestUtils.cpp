#include "common/TestUtils.h"

#include <shellapi.h>

#include <algorithm>
#include <stdexcept>

#include "fw/uGraphics.h"
#include "log/uDebugLog.h"

namespace vt::test {

std::wstring EnvVar(const wchar_t* Name) {
  wchar_t buf[32768];
  DWORD n = GetEnvironmentVariableW(Name, buf, 32768);
  return n && n < 32768 ? std::wstring(buf, n) : std::wstring();
}

std::wstring WinPath(std::wstring Path) {
  if (!Path.empty() && Path[0] == L'/') Path = L"Z:" + Path;
  for (auto& c : Path)
    if (c == L'/') c = L'\\';
  return Path;
}

std::wstring ProductExe() { return WinPath(EnvVar(L"VT_PRODUCT_EXE")); }
std::wstring SourceDir() { return WinPath(EnvVar(L"VT_SOURCE_DIR")); }
std::wstring BinaryDir() { return WinPath(EnvVar(L"VT_BINARY_DIR")); }

TTempDir::TTempDir() {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  static LONG counter = 0;
  for (int i = 0; i < 100; ++i) {
    std::wstring p = std::wstring(tmp) + L"vttest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                     std::to_wstring(InterlockedIncrement(&counter));
    if (CreateDirectoryW(p.c_str(), nullptr)) {
      FPath = p + L"\\";
      return;
    }
  }
  throw std::runtime_error("no temp dir");
}

TTempDir::~TTempDir() {
  std::wstring from = FPath.substr(0, FPath.size() - 1);
  from.push_back(L'\0');
  from.push_back(L'\0');
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationW(&op);
}

std::string ReadFileBytes(const std::wstring& Path) {
  HANDLE h = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string out;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
  CloseHandle(h);
  return out;
}

void WriteFileBytes(const std::wstring& Path, const std::string& Data) {
  HANDLE h = CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write file");
  DWORD n = 0;
  WriteFile(h, Data.data(), static_cast<DWORD>(Data.size()), &n, nullptr);
  CloseHandle(h);
}

std::vector<std::string> ReadLines(const std::wstring& Path) {
  std::string all = ReadFileBytes(Path);
  std::vector<std::string> lines;
  size_t p = 0;
  while (p < all.size()) {
    size_t e = all.find("\r\n", p);
    if (e == std::string::npos) {
      lines.push_back(all.substr(p));
      break;
    }
    lines.push_back(all.substr(p, e - p));
    p = e + 2;
  }
  return lines;
}

namespace {

uint32_t Crc32(const std::string& Data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : Data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void PutBigEndian(std::string& Out, uint32_t V) {
  for (int s = 24; s >= 0; s -= 8) Out.push_back(char(V >> s));
}

}  // namespace

std::string MakePng(int W, int H, const std::vector<uint32_t>& Argb) {
  std::string raw;  // filter byte 0, then R G B A per pixel
  for (int y = 0; y < H; ++y) {
    raw.push_back(0);
    for (int x = 0; x < W; ++x) {
      uint32_t p = Argb[size_t(y) * W + x];
      raw += {char(p >> 16), char(p >> 8), char(p), char(p >> 24)};
    }
  }
  std::string z = "\x78\x01";
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t pos = 0;;) {
    size_t n = std::min<size_t>(65535, raw.size() - pos);
    bool last = pos + n == raw.size();
    z += {char(last ? 1 : 0), char(n), char(n >> 8), char(~n), char(~n >> 8)};
    z.append(raw, pos, n);
    pos += n;
    if (last) break;
  }
  PutBigEndian(z, (b << 16) | a);
  auto chunk = [](std::string& Out, const char* Kind, const std::string& Data) {
    PutBigEndian(Out, uint32_t(Data.size()));
    std::string body = Kind + Data;
    Out += body;
    PutBigEndian(Out, Crc32(body));
  };
  std::string ihdr;
  PutBigEndian(ihdr, uint32_t(W));
  PutBigEndian(ihdr, uint32_t(H));
  ihdr += {8, 6, 0, 0, 0};  // 8 bits, RGBA, deflate, no filter variants, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", "");
  return png;
}

std::string PngClaimingSize(uint32_t W, uint32_t H) {
  std::string p = SolidPng(1, 1, 0xFFFFFFFFu);
  std::string size;
  PutBigEndian(size, W);
  PutBigEndian(size, H);
  p.replace(16, 8, size);  // width and height follow the signature and the chunk's length and type
  std::string crc;
  PutBigEndian(crc, Crc32(p.substr(12, 17)));
  return p.replace(29, 4, crc);  // a consistent header: only the pixel data does not fit it
}

bool StartProcess(const std::wstring& CommandLine, const std::vector<std::wstring>& ExtraEnv,
                  PROCESS_INFORMATION& Info) {
  std::wstring env;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
      std::wstring entry(p);
      bool overridden = false;
      for (auto& e : ExtraEnv) {
        size_t eq = e.find(L'=');
        if (_wcsnicmp(entry.c_str(), e.c_str(), eq + 1) == 0) overridden = true;
      }
      if (!overridden) env += entry + L'\0';
    }
    FreeEnvironmentStringsW(block);
  }
  for (auto& e : ExtraEnv) env += e + L'\0';
  env += L'\0';
  STARTUPINFOW si{};
  si.cb = sizeof si;
  Info = PROCESS_INFORMATION{};
  std::wstring cmd = CommandLine;
  return CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, env.data(), nullptr,
                        &si, &Info) != FALSE;
}

TProcessResult RunProcess(const std::wstring& CommandLine, const std::vector<std::wstring>& ExtraEnv,
                          DWORD TimeoutMs) {
  PROCESS_INFORMATION pi{};
  TProcessResult r;
  if (!StartProcess(CommandLine, ExtraEnv, pi)) return r;
  if (WaitForSingleObject(pi.hProcess, TimeoutMs) == WAIT_TIMEOUT) {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    r.TimedOut = true;
  }
  GetExitCodeProcess(pi.hProcess, &r.ExitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return r;
}

namespace {
constexpr REGSAM kView = KEY_WOW64_32KEY;
}

TMakerRegValue::TMakerRegValue(const wchar_t* Name) : FName(Name) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, vt::kMakerRegistryKey, 0, KEY_READ | kView, &k) == ERROR_SUCCESS) {
    FKeyExisted = true;
    DWORD size = 0;
    if (RegQueryValueExW(k, Name, nullptr, &FType, nullptr, &size) == ERROR_SUCCESS) {
      FData.resize(size);
      RegQueryValueExW(k, Name, nullptr, &FType, FData.data(), &size);
      FHad = true;
    }
    RegCloseKey(k);
  }
}

TMakerRegValue::~TMakerRegValue() {
  HKEY k;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, vt::kMakerRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &k,
                      nullptr) != ERROR_SUCCESS)
    return;
  if (FHad)
    RegSetValueExW(k, FName.c_str(), 0, FType, FData.data(), static_cast<DWORD>(FData.size()));
  else
    RegDeleteValueW(k, FName.c_str());
  DWORD values = 0, subkeys = 0;
  RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(k);
  if (!FKeyExisted && values == 0 && subkeys == 0)
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, vt::kMakerRegistryKey, kView, 0);
}

static void SetValue(const std::wstring& Name, DWORD Type, const void* Data, DWORD Size) {
  HKEY k;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, vt::kMakerRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &k,
                      nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot create maker key");
  RegSetValueExW(k, Name.c_str(), 0, Type, static_cast<const BYTE*>(Data), Size);
  RegCloseKey(k);
}

void TMakerRegValue::SetDword(DWORD Value) { SetValue(FName, REG_DWORD, &Value, sizeof Value); }

void TMakerRegValue::SetString(const std::wstring& Value) {
  SetValue(FName, REG_SZ, Value.c_str(), static_cast<DWORD>((Value.size() + 1) * sizeof(wchar_t)));
}

void TMakerRegValue::Delete() {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, vt::kMakerRegistryKey, 0, KEY_ALL_ACCESS | kView, &k) == ERROR_SUCCESS) {
    RegDeleteValueW(k, FName.c_str());
    RegCloseKey(k);
  }
}

bool SaveScreenshot(const RECT& Area, const std::wstring& Name) {
  int w = Area.right - Area.left, h = Area.bottom - Area.top;
  if (w <= 0 || h <= 0) return false;
  std::wstring dir = BinaryDir() + L"\\screenshots";
  CreateDirectoryW(dir.c_str(), nullptr);
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  TBitmap32 shot(w, h);
  BitBlt(shot.DC(), 0, 0, w, h, screen, Area.left, Area.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  return shot.SaveToPng(dir + L"\\" + Name + L".png");
}

bool SaveWindowScreenshot(HWND Wnd, const std::wstring& Name) {
  RECT r;
  if (!GetWindowRect(Wnd, &r)) return false;
  UpdateWindow(Wnd);
  return SaveScreenshot(r, Name);
}

}  // namespace vt::test
