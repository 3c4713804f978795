// planted_probe.exe MODE ARGS: what the setup does with libraries, in a process
// whose folder, manifest and environment the planted-library test chooses.
//   fetch URL FILE  the product's start-up, the package download into FILE and
//                   the package's signature check as the install worker does
//                   them, then the shutdown. Exit code 0: downloaded and
//                   accepted; 1 download failed, 10 no signer certificate,
//                   11 not trusted, 12 signer not accepted.
//   plain NAME...   no start-up: LoadLibraryW of each name (the control).
//                   Exit code: how many loaded.
//   Exit code 100: wrong arguments.
#include <windows.h>

#include <cwchar>

#include "app/uInstallOptions.h"
#include "app/uStartup.h"
#include "fw/uSysUtils.h"
#include "log/DebugLogUtils.h"
#include "net/uHttpClient.h"
#include "net/uNetStreams.h"
#include "trust/uTrustCheck.h"
#include "worker/uProxyHelper.h"

namespace {

int FetchAndCheck(const std::wstring& Url, const std::wstring& File) {
  using namespace vt;
  try {
    TIdHTTP http;
    ConfigureHttpProxy(http, TInstallerProxyParams());
    TIdFileStream out(File);
    http.Get(Url, out);
    out.Close();
  } catch (const std::exception& e) {
    LogException(&e, L"planted_probe: download");
    return 1;
  }
  TCertificateDetails details;
  if (GetCertificateDetails(File, details, true) != kCertDetailsRead) return 10;
  int32_t result = 0;
  FileTrust(File, result, rcpCheckAlways);
  if (result != 0) return 11;
  for (std::wstring_view name : TrustedSignerNames)
    if (SameTextAZ(details.CertNameFriendly, name)) return 0;
  return 12;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && wcscmp(argv[1], L"fetch") == 0) {
    vt::StartupUnits();
    int code = FetchAndCheck(argv[2], argv[3]);
    vt::ShutdownUnits();
    return code;
  }
  if (argc >= 3 && wcscmp(argv[1], L"plain") == 0) {
    int loaded = 0;
    for (int i = 2; i < argc; ++i)
      if (LoadLibraryW(argv[i])) ++loaded;
    return loaded;
  }
  return 100;
}
