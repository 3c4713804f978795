// What a hostile or broken network does to the whole executable: each fault
// ends with its outcome and box, leaves nothing behind and ends within a bound
// (a hang check for a loaded two-core machine, not a speed test).
#include <gtest/gtest.h>

#include "E2eTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"

namespace vt::test {
namespace {

struct TFaultRow {
  const char* Name;
  const wchar_t* Topic;  // the download side's answer; "${VAR}" is the driver's variable
  const wchar_t* Args;   // proxy switches
  uint32_t Outcome;
  uint32_t Code;
  const wchar_t* Box;  // exact; "@key" is a catalogue text
  TAfter After;
  DWORD BoundSeconds;  // from the start to the end of the process
  bool Installs = false;
};

constexpr wchar_t kDefault[] = L"";  // the default package, msi/props-veltrano.msi
constexpr wchar_t kDirect[] = L"";
#define DL L"Error occurred during download of the product: "

const TFaultRow kRows[] = {
    // The redirect leads to a port where nothing listens.
    {"ConnectionRefused", L"to.http://127.0.0.1:${VT_NET_DEAD_PORT}/x", kDirect, 5, 0,
     DL L"Cannot connect to 127.0.0.1:${VT_NET_DEAD_PORT}: Connection refused (socket error 10061).",
     TAfter::RetryProxy, 60},
    // 200000 of 400000 bytes, then a TCP reset (which drops what the receiver
    // had not read yet; under Wine it ends the body like a close).
    {"ResetInTheBody", L"reset.400000/200000", kDirect, 5, 0,
     DL L"The connection to 127.0.0.1 was closed before the whole response arrived (* of 400000 bytes).", TAfter::Retry,
     60},
    // 200000 of 400000 bytes, then silence: the setup's own read time-out (60 s) ends it.
    {"StopsSending", L"stall.400000/200000", kDirect, 5, 0,
     DL L"Read timed out: no data from 127.0.0.1:47080 for 60000 ms.", TAfter::Retry, 150},
    {"RedirectLoop", L"loop", kDirect, 5, 0, DL L"Too many redirects (more than 15): HTTP/1.1 302 Found",
     TAfter::RetryProxy, 60},
    {"RedirectToHostThatDoesNotResolve", L"invalidhost", kDirect, 13, 0, L"@msgConnectionError", TAfter::RetryProxy,
     60},
    // A length of 400000, 200000 bytes, then the connection closes.
    {"LengthLargerThanBody", L"cut.400000/200000", kDirect, 5, 0,
     DL L"The connection to 127.0.0.1 was closed before the whole response arrived (200000 of 400000 bytes).",
     TAfter::Retry, 60},
    // A length of 150000, then 400000 bytes: only the announced 150000 are
    // taken, and they are no package.
    {"LengthSmallerThanBody", L"short.150000/400000", kDirect, 10, 8, L"Error loading installation database: 10/8",
     TAfter::Closes, 60},
    // A sign-in page where the package should be.
    {"HtmlPage", L"html.2048", kDirect, 7, 0, L"@msgDownloadWrongData", TAfter::RetryProxy, 60},
    {"LargeHtmlPage", L"html.300000", kDirect, 10, 8, L"Error loading installation database: 10/8", TAfter::Closes, 60},
    // The first 200 KiB of a signed package, as a complete answer.
    {"PackageTruncatedAfter200KiB", L"trunc.204800/msi/large-veltrano.msi", kDirect, 10, 8,
     L"Error loading installation database: 10/8", TAfter::Closes, 60},
    // The whole package at 16 KiB/s: slow, but it arrives and installs.
    {"SlowTrickleCompletes", L"pace.0/16384/msi/props-veltrano.msi", kDirect, 0, 0, L"", TAfter::Closes, 120, true},
    // The redirect leads to a server that speaks only TLS 1.3 (the setup's client stops at 1.2).
    {"TlsVersionRefused", L"to.https://127.0.0.1:${VT_NET_TLS13_PORT}/file/300000", kDirect, 5, 0,
     DL L"The secure (TLS) connection to 127.0.0.1 failed: *tlsv1 alert protocol version", TAfter::RetryProxy, 60},
    // A server that speaks only TLS 1.0, the client's floor: the bytes arrive (and are no package).
    {"TlsOneZeroAccepted", L"to.https://127.0.0.1:${VT_NET_TLS10_PORT}/file/300000", kDirect, 10, 8,
     L"Error loading installation database: 10/8", TAfter::Closes, 60},
    // An HTTP proxy that wants credentials the setup was not given.
    {"HttpProxyAnswers407", kDefault, L"/PROXYSERVER=127.0.0.1 /PROXYPORT=${VT_NET_HTTPPROXY_AUTH_PORT}", 5, 0,
     DL L"The HTTP proxy 127.0.0.1:${VT_NET_HTTPPROXY_AUTH_PORT} refused the connection: "
        L"HTTP/1.0 407 Proxy Authentication Required",
     TAfter::RetryProxy, 60},
    // An HTTP proxy that allows CONNECT to port 443 only.
    {"HttpProxyRefusesConnect", kDefault, L"/PROXYSERVER=127.0.0.1 /PROXYPORT=${VT_E2E_NOCONNECT_PORT}", 5, 0,
     DL L"The HTTP proxy 127.0.0.1:${VT_E2E_NOCONNECT_PORT} refused the connection: HTTP/1.1 403 Access violation",
     TAfter::RetryProxy, 60},
    {"SocksWrongCredentials", kDefault,
     L"/PROXYSERVER=127.0.0.1 /PROXYPORT=${VT_NET_SOCKS_AUTH_PORT} /PROXYTYPE=socks /PROXYUSERNAME=someone "
     L"/PROXYPASSWORD=wrong",
     5, 0, DL L"The SOCKS 5 proxy 127.0.0.1:${VT_NET_SOCKS_AUTH_PORT} rejected the user name or password.",
     TAfter::RetryProxy, 60},
    // A "SOCKS server" that closes every connection at once.
    {"SocksClosesAtOnce", kDefault, L"/PROXYSERVER=127.0.0.1 /PROXYPORT=${VT_NET_CLOSE_PORT} /PROXYTYPE=socks", 5, 0,
     DL L"The SOCKS 5 proxy 127.0.0.1:${VT_NET_CLOSE_PORT} closed the connection during its handshake.",
     TAfter::RetryProxy, 60},
    {"ProxyHostDoesNotResolve", kDefault, L"/PROXYSERVER=proxy.invalid /PROXYPORT=8080", 13, 0,
     L"@msgConnectionError", TAfter::RetryProxy, 60},
};
#undef DL

// A failing row names itself, not its bytes.
void PrintTo(const TFaultRow& Row, std::ostream* Out) { *Out << Row.Name; }

class FaultMatrix : public ::testing::TestWithParam<TFaultRow> {};

TEST_P(FaultMatrix, Row) {
  const TFaultRow& r = GetParam();
  TProductCleanup product(kPropsProduct);
  std::wstring exe = SetupWithTopic(Expand(r.Topic));
  DWORD started = GetTickCount();
  TProductRun run(exe, Expand(r.Args));
  ASSERT_TRUE(run.Started());
  TRunEnd end = FinishRun(run, started, r.BoundSeconds * 1000);
  std::wstring box = r.Box[0] == L'@' ? English(r.Box + 1) : Expand(r.Box);
  ExpectEnd(end, run.LogLines(), ExtractFileName(exe), r.Outcome, r.Code, box, r.After);
  EXPECT_LT(end.Milliseconds, r.BoundSeconds * 1000) << "the run took too long";
  EXPECT_EQ(product.Installed(), r.Installs);
}

INSTANTIATE_TEST_SUITE_P(Setup, FaultMatrix, ::testing::ValuesIn(kRows),
                         [](const auto& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace vt::test
