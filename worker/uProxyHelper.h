// Turns the installer's proxy settings into the HTTP client's settings.
#pragma once
#include <cstdint>

#include "app/uInstallOptions.h"
#include "net/uHttpClient.h"

namespace vt {

// The maker's relay proxy: SOCKS 5 with a built-in account.
inline constexpr wchar_t kVeltRelayUserName[] = L"vsh.proxy.user";
inline constexpr wchar_t kVeltRelayPassword[] = L"tpqrBnd7&*KxVe";
inline constexpr uint16_t kVeltRelayDefaultPort = 33500;

inline constexpr int kDownloadConnectTimeout = 60000;
inline constexpr int kDownloadReadTimeout = 60000;
inline constexpr int kProxyDownloadReadTimeout = 600000;

// 600000 ms when HostName without surrounding blanks is not empty, else 60000 ms.
int ProxyReadTimeout(const TInstallerProxyParams& Params);

// Gives AHttp a new TLS handler (TLS 1.0 to 1.2) with the time-outs for
// Params, and the proxy Params names (none when HostName is empty). A host of
// blanks still configures that proxy, with the short read time-out.
void ConfigureHttpProxy(TIdHTTP& AHttp, const TInstallerProxyParams& Params);

}  // namespace vt
