#include "log/uFileInfo.h"

#include <windows.h>

#include <vector>

#include "fw/uSysUtils.h"

namespace vt {

std::wstring TFileInfo::GetVersionString(const std::wstring& Key) {
  if (GetFileAttributesW(FFileName.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  DWORD dummy = 0;
  DWORD size = GetFileVersionInfoSizeW(FFileName.c_str(), &dummy);
  if (size == 0) return {};
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(FFileName.c_str(), 0, size, data.data())) return {};
  if (FCharSet.empty()) {
    void* p = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &p, &len) || !p || len < 4) return {};
    const WORD* t = static_cast<const WORD*>(p);
    FCharSet = Format(L"%.4x%.4x", {t[0], t[1]});
  }
  std::wstring subBlock = Format(L"\\StringFileInfo\\%s\\%s", {FCharSet, Key});
  void* p = nullptr;
  UINT len = 0;
  if (!VerQueryValueW(data.data(), subBlock.c_str(), &p, &len) || !p) return {};
  // The length counts characters and may include the terminator.
  std::wstring text(static_cast<const wchar_t*>(p), len);
  size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  return text;
}

std::wstring GetFileVersionText(const std::wstring& FileName) {
  TFileInfo info;
  info.FFileName = FileName;
  return info.GetVersionString(L"FileVersion");
}

}  // namespace vt
