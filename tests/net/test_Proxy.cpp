// Proxy settings: what the installer's proxy parameters turn into, and
// transfers through real proxies (tinyproxy for HTTP, microsocks for SOCKS 5).
#include <gtest/gtest.h>

#include <exception>
#include <functional>

#include "NetTestUtils.h"
#include "fw/uSysUtils.h"
#include "net/uHttpClient.h"
#include "worker/uProxyHelper.h"

namespace vt::test {
namespace {

TInstallerProxyParams Params(const wchar_t* Host, int32_t Port, TVtProxyType Type, TVtProxyCustomKind Kind,
                             bool UseAuth, const wchar_t* User, const wchar_t* Pass) {
  TInstallerProxyParams p;
  p.HostName = Host;
  p.Port = Port;
  p.ProxyType = Type;
  p.ProxyKind = Kind;
  p.UseAuth = UseAuth;
  p.UserName = User;
  p.Password = Pass;
  return p;
}

// ---- The mapping itself

struct TMappingCase {
  const char* Name;
  TInstallerProxyParams In;
  int ReadTimeout;
  // HTTP proxy
  const wchar_t* HttpServer;
  uint16_t HttpPort;
  const wchar_t* HttpUser;
  const wchar_t* HttpPass;
  // SOCKS proxy (Socks false: none)
  bool Socks;
  const wchar_t* SocksHost;
  uint16_t SocksPort;
  TSocksAuthentication SocksAuth;
  const wchar_t* SocksUser;
  const wchar_t* SocksPass;
};

class ProxyMapping : public ::testing::TestWithParam<TMappingCase> {};

TEST_P(ProxyMapping, GivesTheClientTheseSettings) {
  const TMappingCase& c = GetParam();
  TIdHTTP http;
  // Settings of an earlier configuration must not survive.
  http.ProxyParams.ProxyServer = L"stale";
  http.ProxyParams.ProxyPort = 1;
  ConfigureHttpProxy(http, c.In);
  EXPECT_EQ(http.ReadTimeout, c.ReadTimeout);
  EXPECT_EQ(http.ConnectTimeout, 60000);
  EXPECT_EQ(http.ProxyParams.ProxyServer, c.HttpServer);
  EXPECT_EQ(http.ProxyParams.ProxyPort, c.HttpPort);
  EXPECT_EQ(http.ProxyParams.ProxyUsername, c.HttpUser);
  EXPECT_EQ(http.ProxyParams.ProxyPassword, c.HttpPass);
  TIdOpenSSLIOHandlerClient* tls = http.IOHandler();
  ASSERT_TRUE(tls);
  EXPECT_EQ(tls->MinimumTLSVersion, sslvTLSv1);
  EXPECT_EQ(tls->MaximumTLSVersion, sslvTLSv1_2);
  ASSERT_EQ(tls->TransparentProxy != nullptr, c.Socks);
  if (!c.Socks) return;
  const TIdSocksInfo& s = *tls->TransparentProxy;
  EXPECT_EQ(s.Version, svSocks5);
  EXPECT_EQ(s.Host, c.SocksHost);
  EXPECT_EQ(s.Port, c.SocksPort);
  EXPECT_EQ(s.Authentication, c.SocksAuth);
  EXPECT_EQ(s.Username, c.SocksUser);
  EXPECT_EQ(s.Password, c.SocksPass);
}

const wchar_t* const kRelayUser = L"vsh.proxy.user";
const wchar_t* const kRelayPass = L"tpqrBnd7&*KxVe";

const TMappingCase kMappings[] = {
    {"Direct", Params(L"", 8080, vtptHttp, vtpckStandard, true, L"u", L"p"), 60000, L"", 0, L"", L"", false},
    {"DirectSocksType", Params(L"", 1080, vtptSocks, vtpckVeltRelay, false, L"", L""), 60000, L"", 0, L"", L"",
     false},
    {"HttpNoAuth", Params(L"proxy.lan", 3128, vtptHttp, vtpckStandard, false, L"u", L"p"), 600000, L"proxy.lan",
     3128, L"", L"", false},
    {"HttpAuth", Params(L"proxy.lan", 3128, vtptHttp, vtpckStandard, true, L"u", L"p"), 600000, L"proxy.lan", 3128,
     L"u", L"p", false},
    {"SocksNoAuth", Params(L"s.lan", 1080, vtptSocks, vtpckStandard, false, L"u", L"p"), 600000, L"", 0, L"", L"",
     true, L"s.lan", 1080, saNoAuthentication, L"", L""},
    {"SocksAuth", Params(L"s.lan", 1080, vtptSocks, vtpckStandard, true, L"u", L"p"), 600000, L"", 0, L"", L"", true,
     L"s.lan", 1080, saUsernamePassword, L"u", L"p"},
    {"SocksPortLow16Bits", Params(L"s.lan", 0x12345, vtptSocks, vtpckStandard, false, L"", L""), 600000, L"", 0, L"",
     L"", true, L"s.lan", 0x2345, saNoAuthentication, L"", L""},
    {"RelayPort0", Params(L"relay.lan", 0, vtptSocks, vtpckVeltRelay, false, L"u", L"p"), 600000, L"", 0, L"", L"",
     true, L"relay.lan", 33500, saUsernamePassword, kRelayUser, kRelayPass},
    {"RelayPort8080", Params(L"relay.lan", 8080, vtptSocks, vtpckVeltRelay, true, L"u", L"p"), 600000, L"", 0, L"",
     L"", true, L"relay.lan", 8080, saUsernamePassword, kRelayUser, kRelayPass},
    {"BlankHostHttp", Params(L"   ", 3128, vtptHttp, vtpckStandard, false, L"", L""), 60000, L"   ", 3128, L"", L"",
     false},
    {"BlankHostSocks", Params(L" \t ", 1080, vtptSocks, vtpckStandard, false, L"", L""), 60000, L"", 0, L"", L"",
     true, L" \t ", 1080, saNoAuthentication, L"", L""},
    {"PaddedHost", Params(L" proxy.lan ", 3128, vtptHttp, vtpckStandard, false, L"", L""), 600000, L" proxy.lan ",
     3128, L"", L"", false},
};
INSTANTIATE_TEST_SUITE_P(Net, ProxyMapping, ::testing::ValuesIn(kMappings),
                         [](const auto& i) { return std::string(i.param.Name); });

// ---- Transfers through the proxies the driver started

enum class TOutcome { Ok, Proxy, Socket, Protocol };

struct TTransferCase {
  const char* Name;
  const char* ProxyPort;  // name of the proxy's port; nullptr: HostOverride with port 3128
  const wchar_t* HostOverride;
  TVtProxyType Type;
  TVtProxyCustomKind Kind;
  int Auth;  // 0 none, 1 the proxy's own account, 2 a wrong password
  const wchar_t* Scheme;
  const wchar_t* TargetHost;
  TOutcome Outcome;
  int Code;
  const wchar_t* Text;
};

class ProxyTransfer : public ::testing::TestWithParam<TTransferCase> {};

TInstallerProxyParams TransferParams(const TTransferCase& c) {
  TInstallerProxyParams p;
  p.HostName = c.HostOverride ? c.HostOverride : L"127.0.0.1";
  p.Port = c.ProxyPort ? NetPort(c.ProxyPort) : 3128;
  p.ProxyType = c.Type;
  p.ProxyKind = c.Kind;
  p.UseAuth = c.Auth != 0;
  if (c.Auth) {
    bool socks = c.Type == vtptSocks;
    p.UserName = Utf8ToWide(NetEnv(socks ? "VT_NET_SOCKS_USER" : "VT_NET_HTTPPROXY_USER"));
    p.Password = c.Auth == 2 ? L"wrong" : Utf8ToWide(NetEnv(socks ? "VT_NET_SOCKS_PASS" : "VT_NET_HTTPPROXY_PASS"));
  }
  return p;
}

TEST_P(ProxyTransfer, GoesThroughTheProxyOrFailsClearly) {
  const TTransferCase& c = GetParam();
  TIdHTTP http;
  SetupInstallerClient(http);
  ConfigureHttpProxy(http, TransferParams(c));
  TWorkRecorder rec(http);
  TPatternStream out;
  const bool tls = c.Scheme[4] != 0;
  auto p = Raised([&] { http.Get(NetUrl(c.Scheme, tls ? "HTTPS" : "HTTP", L"/file/700000", c.TargetHost), out); });
  switch (c.Outcome) {
    case TOutcome::Ok:
      ASSERT_FALSE(p) << Describe(p);
      EXPECT_EQ(out.Size, 700000);
      EXPECT_TRUE(out.Ok());
      EXPECT_EQ(rec.BeginMax, 700000);
      return;
    case TOutcome::Proxy: EXPECT_TRUE(As<EIdProxyError>(p)) << Describe(p); break;
    case TOutcome::Socket: {
      auto* e = As<EIdSocketError>(p);
      ASSERT_TRUE(e) << Describe(p);
      EXPECT_EQ(e->LastError, c.Code);
      break;
    }
    case TOutcome::Protocol: {
      auto* e = As<EIdHTTPProtocolException>(p);
      ASSERT_TRUE(e) << Describe(p);
      EXPECT_EQ(e->ErrorCode, c.Code);
      break;
    }
  }
  auto* e = As<Exception>(p);
  ASSERT_TRUE(e);
  EXPECT_NE(e->Message().find(c.Text), std::wstring::npos) << Describe(p);
  EXPECT_EQ(out.Size, 0);
}

const TTransferCase kTransfers[] = {
    {"HttpProxyPlainHttp", "HTTPPROXY", nullptr, vtptHttp, vtpckStandard, 0, L"http", L"127.0.0.1", TOutcome::Ok},
    {"HttpProxyConnect", "HTTPPROXY", nullptr, vtptHttp, vtpckStandard, 0, L"https", L"127.0.0.1", TOutcome::Ok},
    {"HttpProxyAuthPlainHttp", "HTTPPROXY_AUTH", nullptr, vtptHttp, vtpckStandard, 1, L"http", L"127.0.0.1",
     TOutcome::Ok},
    {"HttpProxyAuthConnect", "HTTPPROXY_AUTH", nullptr, vtptHttp, vtpckStandard, 1, L"https", L"localhost",
     TOutcome::Ok},
    // tinyproxy answers a wrong password with 401 and a missing one with 407.
    {"HttpProxyWrongPasswordConnect", "HTTPPROXY_AUTH", nullptr, vtptHttp, vtpckStandard, 2, L"https", L"127.0.0.1",
     TOutcome::Proxy, 0, L"refused the connection: HTTP/1.0 401 Unauthorized"},
    {"HttpProxyWrongPasswordPlainHttp", "HTTPPROXY_AUTH", nullptr, vtptHttp, vtpckStandard, 2, L"http",
     L"127.0.0.1", TOutcome::Protocol, 401, L"HTTP/1.0 401 Unauthorized"},
    {"HttpProxyNoCredentialsConnect", "HTTPPROXY_AUTH", nullptr, vtptHttp, vtpckStandard, 0, L"https",
     L"127.0.0.1", TOutcome::Proxy, 0, L"407 Proxy Authentication Required"},
    {"HttpProxyNoCredentialsPlainHttp", "HTTPPROXY_AUTH", nullptr, vtptHttp, vtpckStandard, 0, L"http",
     L"127.0.0.1", TOutcome::Proxy, 0, L"407 Proxy Authentication Required"},
    {"SocksPlainHttp", "SOCKS", nullptr, vtptSocks, vtpckStandard, 0, L"http", L"localhost", TOutcome::Ok},
    {"SocksHttps", "SOCKS", nullptr, vtptSocks, vtpckStandard, 0, L"https", L"localhost", TOutcome::Ok},
    {"SocksAuthHttps", "SOCKS_AUTH", nullptr, vtptSocks, vtpckStandard, 1, L"https", L"localhost", TOutcome::Ok},
    {"SocksWrongPassword", "SOCKS_AUTH", nullptr, vtptSocks, vtpckStandard, 2, L"https", L"localhost",
     TOutcome::Proxy, 0, L"rejected the user name or password"},
    {"SocksNoCredentials", "SOCKS_AUTH", nullptr, vtptSocks, vtpckStandard, 0, L"https", L"localhost",
     TOutcome::Proxy, 0, L"accepts none of the offered authentication methods"},
    {"RelayBuiltInAccount", "SOCKS_RELAY", nullptr, vtptSocks, vtpckVeltRelay, 0, L"https", L"localhost",
     TOutcome::Ok},
    {"RelayServerWithoutAccount", "SOCKS_RELAY", nullptr, vtptSocks, vtpckStandard, 0, L"https", L"localhost",
     TOutcome::Proxy, 0, L"accepts none"},
    // The proxy resolves the target: an unknown target is the proxy's answer, not a local look-up failure.
    {"SocksUnknownTarget", "SOCKS", nullptr, vtptSocks, vtpckStandard, 0, L"https", L"nosuchhost.invalid",
     TOutcome::Proxy, 0, L"nosuchhost.invalid"},
    {"SocksProxyNotFound", nullptr, L"nosuchproxy.invalid", vtptSocks, vtpckStandard, 0, L"https", L"localhost",
     TOutcome::Socket, 11001, L"nosuchproxy.invalid"},
    {"HttpProxyNotFound", nullptr, L"nosuchproxy.invalid", vtptHttp, vtpckStandard, 0, L"https", L"127.0.0.1",
     TOutcome::Socket, 11001, L"nosuchproxy.invalid"},
    {"HttpProxyOfBlanks", nullptr, L"   ", vtptHttp, vtpckStandard, 0, L"https", L"127.0.0.1", TOutcome::Socket,
     11001, L"not found"},
    {"SocksProxyOfBlanks", nullptr, L"  ", vtptSocks, vtpckStandard, 0, L"http", L"127.0.0.1", TOutcome::Socket,
     11001, L"not found"},
    {"SocksProxyRefuses", "DEAD", nullptr, vtptSocks, vtpckStandard, 0, L"https", L"localhost", TOutcome::Socket,
     10061, L"refused"},
};
INSTANTIATE_TEST_SUITE_P(Net, ProxyTransfer, ::testing::ValuesIn(kTransfers),
                         [](const auto& i) { return std::string(i.param.Name); });

TEST(ProxyTransferDetails, PlainHttpGoesThroughTheHttpProxy) {
  TIdHTTP http;
  SetupInstallerClient(http);
  ConfigureHttpProxy(http, Params(L"127.0.0.1", NetPort("HTTPPROXY"), vtptHttp, vtpckStandard, false, L"", L""));
  TStringStream out;
  ASSERT_NO_THROW(http.Get(NetUrl(L"http", "HTTP", L"/headers"), out));
  EXPECT_NE(out.Data.find("tinyproxy"), std::string::npos) << out.Data;  // its Via header
}

TEST(ProxyTransferDetails, ProxyPortZeroIsRefusedBeforeConnecting) {
  TIdHTTP http;
  SetupInstallerClient(http);
  ConfigureHttpProxy(http, Params(L"127.0.0.1", 0x10000, vtptHttp, vtpckStandard, false, L"", L""));
  TStringStream out;
  auto p = Raised([&] { http.Get(NetUrl(L"https", "HTTPS", L"/file/1000"), out); });
  auto* e = As<EIdSocketError>(p);
  ASSERT_TRUE(e) << Describe(p);
  EXPECT_EQ(e->LastError, 10049);
}

// ---- Nothing carries over from one client to the next

DWORD WINAPI RunFunction(void* Param) {
  (*static_cast<std::function<void()>*>(Param))();
  return 0;
}

void OnNewThread(std::function<void()> F) {
  THandle t(CreateThread(nullptr, 0, RunFunction, &F, 0, nullptr));
  ASSERT_TRUE(t);
  WaitForSingleObject(t.Get(), INFINITE);
}

TEST(ClientIsolation, ClientsOnThreadsOneAfterTheOtherShareNothing) {
  const std::wstring url = NetUrl(L"https", "HTTPS", L"/file/400000");
  const int authPort = NetPort("HTTPPROXY_AUTH");
  const std::wstring user = Utf8ToWide(NetEnv("VT_NET_HTTPPROXY_USER"));
  const std::wstring pass = Utf8ToWide(NetEnv("VT_NET_HTTPPROXY_PASS"));
  std::exception_ptr r1, r2, r3, r4, r5;
  int64_t size1 = 0, size4 = 0, size5 = 0;
  OnNewThread([&] {  // through the proxy with its account
    TIdHTTP http;
    SetupInstallerClient(http);
    ConfigureHttpProxy(http, Params(L"127.0.0.1", authPort, vtptHttp, vtpckStandard, true, user.c_str(), pass.c_str()));
    TPatternStream out;
    r1 = Raised([&] { http.Get(url, out); });
    size1 = out.Size;
  });
  OnNewThread([&] {  // same proxy without the account: no credentials or tunnel left over
    TIdHTTP http;
    SetupInstallerClient(http);
    ConfigureHttpProxy(http, Params(L"127.0.0.1", authPort, vtptHttp, vtpckStandard, false, L"", L""));
    TPatternStream out;
    r2 = Raised([&] { http.Get(url, out); });
  });
  OnNewThread([&] {  // a failed TLS handshake
    TIdHTTP http;
    SetupInstallerClient(http);
    TPatternStream out;
    r3 = Raised([&] { http.Get(NetUrl(L"https", "TLS13", L"/file/1000"), out); });
  });
  OnNewThread([&] {  // direct TLS after the failure, on a fresh thread
    TIdHTTP http;
    SetupInstallerClient(http);
    TPatternStream out;
    r4 = Raised([&] { http.Get(url, out); });
    size4 = out.Size;
  });
  OnNewThread([&] {  // a SOCKS proxy with a wrong password, then a direct client on the same thread
    {
      TIdHTTP http;
      SetupInstallerClient(http);
      ConfigureHttpProxy(http, Params(L"127.0.0.1", NetPort("SOCKS_AUTH"), vtptSocks, vtpckStandard, true, L"x", L"y"));
      TPatternStream out;
      Raised([&] { http.Get(url, out); });
    }
    TIdHTTP http;
    SetupInstallerClient(http);
    TPatternStream out;
    r5 = Raised([&] { http.Get(url, out); });
    size5 = out.Size;
  });
  EXPECT_FALSE(r1) << Describe(r1);
  EXPECT_EQ(size1, 400000);
  EXPECT_TRUE(As<EIdProxyError>(r2)) << Describe(r2);
  EXPECT_TRUE(As<EIdTLSError>(r3)) << Describe(r3);
  EXPECT_FALSE(r4) << Describe(r4);
  EXPECT_EQ(size4, 400000);
  EXPECT_FALSE(r5) << Describe(r5);
  EXPECT_EQ(size5, 400000);
}

}  // namespace
}  // namespace vt::test
