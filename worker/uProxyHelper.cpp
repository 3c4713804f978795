#include "worker/uProxyHelper.h"

#include "fw/uSysUtils.h"
#include "log/DebugLogUtils.h"

namespace vt {

int ProxyReadTimeout(const TInstallerProxyParams& Params) {
  return TrimBlanks(Params.HostName).empty() ? kDownloadReadTimeout : kProxyDownloadReadTimeout;
}

void ConfigureHttpProxy(TIdHTTP& AHttp, const TInstallerProxyParams& Params) {
  TLogScope scope(
      Format(L"-> ConfigureHttpProxy(HostName='%s', Port=%d, UseAuth=%s, UserName='%s', ProxyType=%d, ProxyKind=%d)",
             {Params.HostName, Params.Port, BoolToStr(Params.UseAuth), Params.UserName, Params.ProxyType,
              Params.ProxyKind}),
      L"<- ConfigureHttpProxy", L"<- ConfigureHttpProxy: exception");
  auto handler = std::make_unique<TIdOpenSSLIOHandlerClient>();
  handler->MinimumTLSVersion = sslvTLSv1;
  handler->MaximumTLSVersion = sslvTLSv1_2;
  AHttp.ConnectTimeout = kDownloadConnectTimeout;
  AHttp.ReadTimeout = ProxyReadTimeout(Params);
  AHttp.ProxyParams.Clear();

  const wchar_t* how = L"direct";
  if (!Params.HostName.empty()) {
    // The port field is 16 bits wide on the wire; higher bits are dropped.
    uint16_t port = static_cast<uint16_t>(static_cast<uint32_t>(Params.Port) & 0xFFFFu);
    if (Params.ProxyType == vtptHttp) {
      how = L"http";
      AHttp.ProxyParams.ProxyServer = Params.HostName;
      AHttp.ProxyParams.ProxyPort = port;
      if (Params.UseAuth) {
        AHttp.ProxyParams.ProxyUsername = Params.UserName;
        AHttp.ProxyParams.ProxyPassword = Params.Password;
      }
    } else {
      auto socks = std::make_unique<TIdSocksInfo>();
      socks->Host = Params.HostName;
      socks->Port = port;
      socks->Version = svSocks5;
      if (Params.ProxyKind == vtpckVeltRelay) {
        how = L"relay";
        socks->Authentication = saUsernamePassword;
        socks->Username = kVeltRelayUserName;
        socks->Password = kVeltRelayPassword;
        if (Params.Port == 0) socks->Port = kVeltRelayDefaultPort;
      } else if (Params.UseAuth) {
        how = L"socks5 with authentication";
        socks->Authentication = saUsernamePassword;
        socks->Username = Params.UserName;
        socks->Password = Params.Password;
      } else {
        how = L"socks5";
        socks->Authentication = saNoAuthentication;
      }
      handler->TransparentProxy = std::move(socks);
    }
  }
  AHttp.SetIOHandler(std::move(handler));
  scope.SetClose(Format(L"<- ConfigureHttpProxy: %s; ReadTimeout=%d", {how, AHttp.ReadTimeout}));
}

}  // namespace vt
