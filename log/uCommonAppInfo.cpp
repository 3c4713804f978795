#include "log/uCommonAppInfo.h"

#include <tlhelp32.h>

#include <atomic>
#include <vector>

#include "fw/uWinHandles.h"
#include "log/DebugLogUtils.h"
#include "log/UHash.h"
#include "log/uFileInfo.h"

namespace vt {

namespace {

std::atomic<TOSVersionTextSource> gOSVersionText{nullptr};

std::wstring OSVersionText() {
  TOSVersionTextSource source = gOSVersionText.load();
  return source ? source() : std::wstring();
}

}  // namespace

void SetOSVersionTextSource(TOSVersionTextSource Source) { gOSVersionText.store(Source); }

std::wstring GetFileSHA1(const std::wstring& FileName) {
  try {
    TLbSHA1 hasher;
    TSHA1Digest digest{};
    hasher.HashFile(FileName, digest);
    return TLbSHA1::HashPrint(digest);
  } catch (...) {
    return {};
  }
}

std::wstring GetProcessUserName() {
  try {
    THandle threadToken;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, threadToken.Out()) &&
        GetLastError() != ERROR_NO_TOKEN)
      return {};
    // The user reported is always the process's, even while the thread impersonates.
    THandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Out())) return {};
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buf(size);
    if (!GetTokenInformation(token.Get(), TokenUser, buf.data(), size, &size)) return {};
    PSID sid = reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid;
    DWORD nameLen = 0, domainLen = 0;
    SID_NAME_USE use;
    LookupAccountSidW(nullptr, sid, nullptr, &nameLen, nullptr, &domainLen, &use);
    if (nameLen == 0) return {};
    std::vector<wchar_t> name(nameLen + 1), domain(domainLen + 1);
    nameLen = static_cast<DWORD>(name.size());
    domainLen = static_cast<DWORD>(domain.size());
    if (!LookupAccountSidW(nullptr, sid, name.data(), &nameLen, domain.data(), &domainLen, &use)) return {};
    return std::wstring(domain.data()) + L"\\" + name.data();
  } catch (...) {
    return {};
  }
}

DWORD GetParentProcess(std::wstring& Name) {
  Name.clear();
  THandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return 0;
  const DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  PROCESSENTRY32W pe{};
  pe.dwSize = sizeof(pe);
  for (BOOL ok = Process32FirstW(snap.Get(), &pe); ok; ok = Process32NextW(snap.Get(), &pe)) {
    if (pe.th32ProcessID == self) {
      parent = pe.th32ParentProcessID;
      break;
    }
  }
  if (parent == 0) return 0;
  pe.dwSize = sizeof(pe);
  for (BOOL ok = Process32FirstW(snap.Get(), &pe); ok; ok = Process32NextW(snap.Get(), &pe)) {
    if (pe.th32ProcessID == parent) {
      pe.szExeFile[MAX_PATH - 1] = L'\0';
      Name = pe.szExeFile;
      break;
    }
  }
  return parent;
}

void LogApplicationCommonInfo() {
  if (!IsDebugOutput()) return;
  try {
    TLogScope scope(L"-> LogApplicationCommonInfo()", L"<- LogApplicationCommonInfo()");
    LogFmt(L"Os version    : %s", {OSVersionText()});
    LogFmt(L"Os user       : %s", {GetProcessUserName()});
    LogFmt(L"App.CmdLine   : %s", {GetCommandLineW()});
    const std::wstring exe = GetModulePath();
    LogFmt(L"App.hash(SHA1): %s", {GetFileSHA1(exe)});
    LogFmt(L"App.version   : %s", {GetFileVersionText(exe)});
    LogFmt(L"Config        : %s", {L"RELEASE "});
    std::wstring parentName;
    const DWORD parent = GetParentProcess(parentName);
    LogFmt(L"Parent process: %s (%d)", {parentName, parent});
  } catch (...) {
  }
}

}  // namespace vt
