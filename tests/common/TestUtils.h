// Helpers shared by the tests: temp folders, files, child processes, registry.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vt::test {

std::wstring EnvVar(const wchar_t* Name);
// A path as Windows programs take it: "Z:/a/b" or "/a/b" becomes "Z:\\a\\b".
std::wstring WinPath(std::wstring Path);
// The product executable (VT_PRODUCT_EXE) and the source/build folders as Windows paths.
std::wstring ProductExe();
// Arguments for a run of the product that ends by itself: no window, no
// download, no environment check (and no package beside it: outcome 0).
inline constexpr wchar_t kQuietRun[] = L" /QUIET /NODOWNLOAD /NOCHECK";
std::wstring SourceDir();
std::wstring BinaryDir();
// A new empty folder under the temp folder, removed with its files on destruction.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::wstring& Path() const { return FPath; }  // ends in '\'
  std::wstring File(const std::wstring& Name) const { return FPath + Name; }

private:
  std::wstring FPath;
};

std::string ReadFileBytes(const std::wstring& Path);
void WriteFileBytes(const std::wstring& Path, const std::string& Data);
// The file's lines without their CR LF.
std::vector<std::string> ReadLines(const std::wstring& Path);

// A PNG file of W x H pixels given as straight ARGB values, rows top-down
// (stored deflate blocks: the tests need no compression library).
std::string MakePng(int W, int H, const std::vector<uint32_t>& Argb);
// A one-pixel PNG whose header claims W x H pixels.
std::string PngClaimingSize(uint32_t W, uint32_t H);
inline std::string SolidPng(int W, int H, uint32_t Argb) { return MakePng(W, H, std::vector<uint32_t>(size_t(W) * H, Argb)); }

struct TProcessResult {
  DWORD ExitCode = 0xFFFFFFFF;
  bool TimedOut = false;
};
// Starts CommandLine with the extra environment entries ("NAME=value") added
// to this process's environment; the caller closes both handles of Info.
bool StartProcess(const std::wstring& CommandLine, const std::vector<std::wstring>& ExtraEnv,
                  PROCESS_INFORMATION& Info);
// Starts CommandLine with the extra environment entries ("NAME=value") added
// to this process's environment and waits at most TimeoutMs.
TProcessResult RunProcess(const std::wstring& CommandLine, const std::vector<std::wstring>& ExtraEnv,
                          DWORD TimeoutMs = 60000);

// Sets (or with Data empty, deletes) a DWORD value under the maker's key in the
// 32-bit view, and restores the previous state when destroyed.
class TMakerRegValue {
public:
  TMakerRegValue(const wchar_t* Name);
  ~TMakerRegValue();
  void SetDword(DWORD Value);
  void SetString(const std::wstring& Value);
  void Delete();

private:
  std::wstring FName;
  bool FKeyExisted = false;
  bool FHad = false;
  DWORD FType = 0;
  std::vector<BYTE> FData;
};

// Saves what the screen shows in Area (screen coordinates) as
// <build>\screenshots\Name.png, for people to look at; false when it could not.
bool SaveScreenshot(const RECT& Area, const std::wstring& Name);
// The same for a window's whole area.
bool SaveWindowScreenshot(HWND Wnd, const std::wstring& Name);

}  // namespace vt::test
