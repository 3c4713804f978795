// The HTTP client against the loopback test server (HTTP and HTTPS).
#include <gtest/gtest.h>

#include <cpuid.h>

#include <exception>
#include <functional>

#include "NetTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "net/uHttpClient.h"

// OpenSSL's processor feature vector (no public header declares it).
extern "C" unsigned int OPENSSL_ia32cap_P[4];

namespace vt::test {
namespace {

bool Contains(const std::wstring& S, const std::wstring& Part) { return S.find(Part) != std::wstring::npos; }

// ---- Bodies that arrive whole

struct TDownloadCase {
  const char* Name;
  const wchar_t* Scheme;
  const char* Port;
  const wchar_t* Path;
  int64_t Size;
  int64_t BeginMax;  // the length the server announced, 0 when none
};

class Download : public ::testing::TestWithParam<TDownloadCase> {};

TEST_P(Download, ArrivesWholeWithWorkEventsOnTheCallingThread) {
  const TDownloadCase& c = GetParam();
  TIdHTTP http;
  SetupInstallerClient(http);
  TWorkRecorder rec(http);
  TPatternStream out;
  ASSERT_NO_THROW(http.Get(NetUrl(c.Scheme, c.Port, c.Path), out));
  EXPECT_EQ(out.Size, c.Size);
  EXPECT_TRUE(out.Ok()) << "first wrong byte at " << out.FirstBad;
  EXPECT_EQ(http.ResponseCode(), 200);
  EXPECT_EQ(rec.BeginCount, 1);
  EXPECT_EQ(rec.BeginMax, c.BeginMax);
  ASSERT_FALSE(rec.Counts.empty());
  EXPECT_EQ(rec.Counts.back(), c.Size);
  for (size_t i = 1; i < rec.Counts.size(); ++i) EXPECT_LE(rec.Counts[i - 1], rec.Counts[i]);
  EXPECT_FALSE(rec.WrongThread);
  EXPECT_FALSE(rec.WorkBeforeBegin);
}

const TDownloadCase kDownloads[] = {
    {"HttpFile", L"http", "HTTP", L"/file/1000000", 1000000, 1000000},
    {"HttpsFile", L"https", "HTTPS", L"/file/3000000", 3000000, 3000000},
    {"HttpsEmptyBody", L"https", "HTTPS", L"/file/0", 0, 0},
    {"HttpChunkedNoLength", L"http", "HTTP", L"/chunked/300000", 300000, 0},
    {"HttpsChunkedNoLength", L"https", "HTTPS", L"/chunked/300001", 300001, 0},
    {"HttpsFifteenRedirects", L"https", "HTTPS", L"/redirect/15/200000", 200000, 200000},
    {"HttpFifteenRedirects", L"http", "HTTP", L"/redirect/15/5000", 5000, 5000},
    {"Tls10OnlyServer", L"https", "TLS10", L"/file/50000", 50000, 50000},
};
INSTANTIATE_TEST_SUITE_P(Net, Download, ::testing::ValuesIn(kDownloads),
                         [](const auto& i) { return std::string(i.param.Name); });

// ---- Failures

enum class TKind { Socket, Protocol, ReadTimeout, Tls, Closed };

struct TFailureCase {
  const char* Name;
  const wchar_t* Scheme;
  const char* Port;
  const wchar_t* Path;
  const wchar_t* Host;
  int ReadTimeout;
  TKind Kind;
  int Code;               // LastError or HTTP status; 0: not checked
  const wchar_t* Text;    // part of the message
  bool ExactText = false; // the message is Text
};

class Failure : public ::testing::TestWithParam<TFailureCase> {};

TEST_P(Failure, RaisesTheMatchingExceptionAndWritesNoErrorBody) {
  const TFailureCase& c = GetParam();
  TIdHTTP http;
  SetupInstallerClient(http);
  if (c.ReadTimeout) http.ReadTimeout = c.ReadTimeout;
  TStringStream out;
  const ULONGLONG start = GetTickCount64();
  std::exception_ptr p = Raised([&] { http.Get(NetUrl(c.Scheme, c.Port, c.Path, c.Host), out); });
  const ULONGLONG elapsed = GetTickCount64() - start;
  ASSERT_TRUE(p) << "the request succeeded";
  // Not one moment before the read time-out had passed.
  if (c.Kind == TKind::ReadTimeout) {
    EXPECT_GE(elapsed, static_cast<ULONGLONG>(c.ReadTimeout));
  }
  const EIdException* e = As<EIdException>(p);
  ASSERT_TRUE(e) << Describe(p);
  switch (c.Kind) {
    case TKind::Socket: {
      auto* s = As<EIdSocketError>(p);
      ASSERT_TRUE(s) << Describe(p);
      EXPECT_EQ(s->LastError, c.Code);
      break;
    }
    case TKind::Protocol: {
      auto* s = As<EIdHTTPProtocolException>(p);
      ASSERT_TRUE(s) << Describe(p);
      if (c.Code) {
        EXPECT_EQ(s->ErrorCode, c.Code);
      }
      EXPECT_TRUE(out.Data.empty()) << "an error body was written";
      break;
    }
    case TKind::ReadTimeout: EXPECT_TRUE(As<EIdReadTimeout>(p)) << Describe(p); break;
    case TKind::Tls: EXPECT_TRUE(As<EIdTLSError>(p)) << Describe(p); break;
    case TKind::Closed: EXPECT_TRUE(As<EIdConnClosedGracefully>(p)) << Describe(p); break;
  }
  if (c.ExactText)
    EXPECT_EQ(e->Message(), c.Text);
  else
    EXPECT_TRUE(Contains(e->Message(), c.Text)) << Describe(p);
}

const TFailureCase kFailures[] = {
    {"SixteenRedirects", L"https", "HTTPS", L"/redirect/16/1000", L"127.0.0.1", 0, TKind::Protocol, 302,
     L"Too many redirects (more than 15)"},
    {"NotFound", L"https", "HTTPS", L"/status/404", L"127.0.0.1", 0, TKind::Protocol, 404, L"HTTP/1.1 404 Not Found",
     true},
    {"ServerError", L"http", "HTTP", L"/status/500", L"127.0.0.1", 0, TKind::Protocol, 500,
     L"HTTP/1.1 500 Internal Server Error", true},
    {"BodyCutOff", L"https", "HTTPS", L"/cut/1000000/300000", L"127.0.0.1", 0, TKind::Closed, 0,
     L"(300000 of 1000000 bytes)"},
    {"ChunkedBodyCutOff", L"http", "HTTP", L"/cutchunked/200000", L"127.0.0.1", 0, TKind::Closed, 0,
     L"closed"},
    {"BodyStops", L"https", "HTTPS", L"/stall/1000000/200000", L"127.0.0.1", 1500, TKind::ReadTimeout, 0,
     L"Read timed out"},
    {"NoAnswer", L"http", "HTTP", L"/stallheaders", L"127.0.0.1", 1500, TKind::ReadTimeout, 0, L"Read timed out"},
    {"HugeHeaderSection", L"http", "HTTP", L"/bigheaders/4", L"127.0.0.1", 0, TKind::Protocol, 200,
     L"too large"},
    // Header lines that begin like a status line neither replace the status nor escape the size limit.
    {"ErrorStatusDisguised", L"http", "HTTP", L"/fakestatus/404/3", L"127.0.0.1", 0, TKind::Protocol, 404,
     L"HTTP/1.1 404 Not Found", true},
    {"HugeHeadersOfFakeStatusLines", L"http", "HTTP", L"/fakestatus/200/20000", L"127.0.0.1", 0, TKind::Protocol,
     200, L"too large"},
    {"RedirectBodyStops", L"http", "HTTP", L"/stallredirect", L"127.0.0.1", 1500, TKind::ReadTimeout, 0,
     L"Read timed out"},
    {"TlsHandshakeFails", L"https", "TLS13", L"/file/1000", L"127.0.0.1", 0, TKind::Tls, 0, L"TLS"},
    {"HostNotFoundHttps", L"https", "HTTPS", L"/file/1000", L"nosuchhost.invalid", 0, TKind::Socket, 11001,
     L"nosuchhost.invalid"},
    {"HostNotFoundHttp", L"http", "HTTP", L"/file/1000", L"nosuchhost.invalid", 0, TKind::Socket, 11001,
     L"Host not found"},
    {"ConnectionRefused", L"http", "DEAD", L"/file/1000", L"127.0.0.1", 0, TKind::Socket, 10061, L"refused"},
};
INSTANTIATE_TEST_SUITE_P(Net, Failure, ::testing::ValuesIn(kFailures),
                         [](const auto& i) { return std::string(i.param.Name); });

TEST(HttpClient, RedirectsAreAnErrorWhenNotHandled) {
  TIdHTTP http;
  SetupInstallerClient(http);
  http.HandleRedirects = false;
  TStringStream out;
  auto p = Raised([&] { http.Get(NetUrl(L"http", "HTTP", L"/redirect/1/1000"), out); });
  auto* e = As<EIdHTTPProtocolException>(p);
  ASSERT_TRUE(e) << Describe(p);
  EXPECT_EQ(e->Message(), L"HTTP/1.1 302 Found");
}

TEST(HttpClient, HeadGivesStatusAndLengthWithoutWorkEvents) {
  TIdHTTP http;
  SetupInstallerClient(http);
  TWorkRecorder rec(http);
  ASSERT_NO_THROW(http.Head(NetUrl(L"https", "HTTPS", L"/redirect/3/123456")));
  EXPECT_EQ(http.ResponseCode(), 200);
  EXPECT_EQ(http.ResponseText(), L"HTTP/1.1 200 OK");
  EXPECT_EQ(http.ContentLength(), 123456);
  EXPECT_EQ(rec.BeginCount, 0);
  EXPECT_TRUE(rec.Counts.empty());
}

TEST(HttpClient, RefusedHeadLeavesTheClientReadyForGet) {
  TIdHTTP http;
  SetupInstallerClient(http);
  const std::wstring url = NetUrl(L"https", "HTTPS", L"/nohead/250000");
  auto p = Raised([&] { http.Head(url); });
  auto* e = As<EIdHTTPProtocolException>(p);
  ASSERT_TRUE(e) << Describe(p);
  EXPECT_EQ(e->ErrorCode, 405);
  TPatternStream out;
  ASSERT_NO_THROW(http.Get(url, out));
  EXPECT_EQ(out.Size, 250000);
  EXPECT_TRUE(out.Ok());
}

TEST(HttpClient, SendsTheUserAgentOverHttp11) {
  TIdHTTP http;
  SetupInstallerClient(http);
  TStringStream out;
  ASSERT_NO_THROW(http.Get(NetUrl(L"https", "HTTPS", L"/headers"), out));
  EXPECT_EQ(out.Data.rfind("GET /headers HTTP/1.1\r\n", 0), 0u) << out.Data;
  EXPECT_NE(out.Data.find("User-Agent: " + WideToUtf8(kTestUserAgent) + "\n"), std::string::npos) << out.Data;
}

TEST(HttpClient, MinimumTlsVersionIsApplied) {
  TIdHTTP http;
  SetupInstallerClient(http);
  auto tls = std::make_unique<TIdOpenSSLIOHandlerClient>();
  tls->MinimumTLSVersion = sslvTLSv1_2;
  http.SetIOHandler(std::move(tls));
  TStringStream out;
  auto p = Raised([&] { http.Get(NetUrl(L"https", "TLS10", L"/file/1000"), out); });
  EXPECT_TRUE(As<EIdTLSError>(p)) << Describe(p);
}

// The driver poisons the environment (run_net_tests.sh): proxies where nothing
// listens, an OpenSSL configuration that breaks every handshake, a key log
// file, processor features switched off, and every other variable libcurl or
// OpenSSL would read. The client must work as if none were set, write no key
// log, and run with the processor's own features.
bool CpuHasAesNi() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) && ((c >> 25) & 1);
}

TEST(HttpClient, IgnoresTheLibrariesEnvironmentVariables) {
  const std::string log = ReadFileBytes(EnvVar(L"VeltranoDbgLog"));
  for (const char* name : {"SSLKEYLOGFILE", "OPENSSL_ia32cap", "OPENSSL_CONF", "OPENSSL_CONF_INCLUDE",
                           "OPENSSL_ENGINES", "OPENSSL_MODULES", "OPENSSL_WIN32_UTF8", "SSL_CERT_FILE",
                           "SSL_CERT_DIR", "CTLOG_FILE", "http_proxy", "https_proxy", "ALL_PROXY", "NO_PROXY"}) {
    // Set by the driver, and gone before the libraries started.
    EXPECT_NE(log.find(std::string("environment variable ") + name + " removed"), std::string::npos) << name;
  }
  for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                           "no_proxy", "NO_PROXY", "SSLKEYLOGFILE", "OPENSSL_CONF", "OPENSSL_ia32cap"})
    EXPECT_TRUE(NetEnv(name).empty()) << name;  // the C runtime's copy too
  EXPECT_NE(log.find("OPENSSL_ia32cap ignored"), std::string::npos);
  // OpenSSL read its processor features before any code of ours ran.
  EXPECT_EQ((OPENSSL_ia32cap_P[1] >> (57 - 32)) & 1, CpuHasAesNi() ? 1u : 0u) << "AES instructions";
  for (const wchar_t* scheme : {L"http", L"https"}) {
    TIdHTTP http;
    SetupInstallerClient(http);
    TPatternStream out;
    ASSERT_NO_THROW(http.Get(NetUrl(scheme, scheme[4] ? "HTTPS" : "HTTP", L"/file/20000"), out)) << scheme;
    EXPECT_EQ(out.Size, 20000);
  }
  const std::wstring keyLog = WinPath(Utf8ToWide(NetEnv("VT_NET_KEYLOG")));
  ASSERT_FALSE(keyLog.empty());
  EXPECT_EQ(GetFileAttributesW(keyLog.c_str()), INVALID_FILE_ATTRIBUTES) << "the TLS secrets were written";
}

// What the client offers in its ClientHello: versions, cipher suites,
// extensions, groups and signature algorithms, as the loopback HELLO listener
// records them. They follow from the OpenSSL and libcurl builds; a build with
// fewer features must offer exactly what the full build offered (recorded in
// the files).
struct THelloCase {
  const char* Name;
  TIdSSLVersion Minimum;
  const wchar_t* Expected;  // under tests/net
};

class ClientHello : public ::testing::TestWithParam<THelloCase> {};

TEST_P(ClientHello, OffersWhatTheFullLibraryBuildOffered) {
  const THelloCase& c = GetParam();
  const std::wstring file = WinPath(Utf8ToWide(NetEnv("VT_NET_HELLO")));
  DeleteFileW(file.c_str());
  TIdHTTP http;
  SetupInstallerClient(http);
  auto tls = std::make_unique<TIdOpenSSLIOHandlerClient>();
  tls->MinimumTLSVersion = c.Minimum;
  http.SetIOHandler(std::move(tls));
  TStringStream out;
  EXPECT_TRUE(Raised([&] { http.Get(NetUrl(L"https", "HELLO", L"/"), out); }));  // no TLS answers it
  const std::string got = ReadFileBytes(file);
  ASSERT_FALSE(got.empty()) << "no ClientHello arrived";
  EXPECT_EQ(got, ReadFileBytes(SourceDir() + L"\\tests\\net\\" + c.Expected)) << got;
}

const THelloCase kHellos[] = {
    {"Installer", sslvTLSv1, L"clienthello-tls10.txt"},  // what the worker configures (TLS 1.0 to 1.2)
    {"Tls12Only", sslvTLSv1_2, L"clienthello-tls12.txt"},
};
INSTANTIATE_TEST_SUITE_P(Net, ClientHello, ::testing::ValuesIn(kHellos),
                         [](const auto& i) { return std::string(i.param.Name); });

// ---- Disconnect and the events around it

class DisconnectAfter100K : public ::testing::TestWithParam<unsigned> {};

TEST_P(DisconnectAfter100K, EndsTheRequestAndTheClientStaysUsable) {
  TIdHTTP http;
  SetupInstallerClient(http);
  http.WorkInterval = GetParam();
  TWorkRecorder rec(http);
  int disconnects = 0;
  rec.Action = [&](TIdHTTP* Sender, int64_t Count) {
    if (Count > 102400 && disconnects++ == 0) Sender->Disconnect();
  };
  TPatternStream out;
  const int64_t total = 16000000;
  auto p = Raised([&] { http.Get(NetUrl(L"https", "HTTPS", L"/file/" + std::to_wstring(total)), out); });
  auto* e = As<EIdDisconnected>(p);
  ASSERT_TRUE(e) << Describe(p);
  EXPECT_EQ(e->Message(), L"Disconnected.");
  EXPECT_EQ(disconnects, 1) << "work events went on after the disconnect";
  ASSERT_FALSE(rec.Counts.empty());
  EXPECT_GT(rec.Counts.back(), 102400);
  if (GetParam() == 0) {
    EXPECT_LT(out.Size, total);
  }

  rec.Action = nullptr;
  TPatternStream again;
  ASSERT_NO_THROW(http.Get(NetUrl(L"https", "HTTPS", L"/file/300000"), again));
  EXPECT_EQ(again.Size, 300000);
}

INSTANTIATE_TEST_SUITE_P(Net, DisconnectAfter100K, ::testing::Values(0u, TIdHTTP::kDefaultWorkInterval),
                         [](const auto& i) { return "Interval" + std::to_string(i.param); });

TEST(HttpClient, DisconnectInTheFinalWorkEventStillFails) {
  TIdHTTP http;
  SetupInstallerClient(http);
  http.WorkInterval = 600000;  // only the final count
  TWorkRecorder rec(http);
  rec.Action = [](TIdHTTP* Sender, int64_t Count) {
    if (Count > 102400) Sender->Disconnect();
  };
  TPatternStream out;
  auto p = Raised([&] { http.Get(NetUrl(L"http", "HTTP", L"/file/150000"), out); });
  EXPECT_TRUE(As<EIdDisconnected>(p)) << Describe(p);
  ASSERT_EQ(rec.Counts.size(), 1u);
  EXPECT_EQ(rec.Counts[0], 150000);
}

// A body that stops arriving still reaches the handler (with the same count),
// so a cancel does not wait for the read time-out.
// Also when not one byte of the body has come yet.
TEST(HttpClient, QuietBodyKeepsRaisingWorkEvents) {
  for (int64_t sent : {200000, 0}) {
    TIdHTTP http;
    SetupInstallerClient(http);
    http.ReadTimeout = 30000;
    TWorkRecorder rec(http);
    rec.Action = [&](TIdHTTP* Sender, int64_t Count) {
      size_t n = rec.Counts.size();
      if (n >= 2 && rec.Counts[n - 2] == Count) Sender->Disconnect();
    };
    TPatternStream out;
    auto p = Raised([&] { http.Get(NetUrl(L"https", "HTTPS", L"/stall/1000000/" + std::to_wstring(sent)), out); });
    EXPECT_TRUE(As<EIdDisconnected>(p)) << sent << ": " << Describe(p);
    EXPECT_EQ(rec.BeginMax, 1000000);
    EXPECT_EQ(out.Size, sent);
  }
}

DWORD WINAPI DisconnectWhenSignalled(void* Param) {
  auto* args = static_cast<std::pair<TIdHTTP*, HANDLE>*>(Param);
  if (WaitForSingleObject(args->second, 30000) == WAIT_OBJECT_0) args->first->Disconnect();
  return 0;
}

TEST(HttpClient, DisconnectFromAnotherThreadEndsAQuietRequest) {
  TIdHTTP http;
  SetupInstallerClient(http);
  http.ReadTimeout = 30000;
  http.WorkInterval = 600000;  // no heartbeat: the other thread alone must end it
  THandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  http.OnWorkBegin = [&](TIdHTTP*, TWorkMode, int64_t) { SetEvent(started.Get()); };
  std::pair<TIdHTTP*, HANDLE> args(&http, started.Get());
  THandle thread(CreateThread(nullptr, 0, DisconnectWhenSignalled, &args, 0, nullptr));
  ASSERT_TRUE(thread);
  TPatternStream out;
  auto p = Raised([&] { http.Get(NetUrl(L"http", "HTTP", L"/stall/1000000/0"), out); });
  SetEvent(started.Get());
  WaitForSingleObject(thread.Get(), INFINITE);
  EXPECT_TRUE(As<EIdDisconnected>(p)) << Describe(p);
}

TEST(HttpClient, ExceptionOfAWorkHandlerEndsTheRequest) {
  TIdHTTP http;
  SetupInstallerClient(http);
  http.WorkInterval = 0;
  http.OnWork = [](TIdHTTP*, TWorkMode, int64_t Count) {
    if (Count > 200000) throw EConvertError(L"handler failed");
  };
  TPatternStream out;
  auto p = Raised([&] { http.Get(NetUrl(L"https", "HTTPS", L"/file/5000000"), out); });
  auto* e = As<EConvertError>(p);
  ASSERT_TRUE(e) << Describe(p);
  EXPECT_EQ(e->Message(), L"handler failed");
  EXPECT_LT(out.Size, 5000000);
}

class TFailingStream : public TIdWriteStream {
public:
  void Write(const void*, size_t Count) override {
    if (Written + Count > 200000) throw EOSError(L"disk full", ERROR_DISK_FULL);
    Written += Count;
  }
  size_t Written = 0;
};

TEST(HttpClient, StreamFailureEndsTheRequestAndReportsTheFinalCount) {
  TIdHTTP http;
  SetupInstallerClient(http);
  http.WorkInterval = 600000;
  TWorkRecorder rec(http);
  TFailingStream out;
  auto p = Raised([&] { http.Get(NetUrl(L"http", "HTTP", L"/file/5000000"), out); });
  auto* e = As<EOSError>(p);
  ASSERT_TRUE(e) << Describe(p);
  EXPECT_EQ(e->ErrorCode, static_cast<DWORD>(ERROR_DISK_FULL));
  ASSERT_EQ(rec.Counts.size(), 1u);
  EXPECT_EQ(rec.Counts[0], static_cast<int64_t>(out.Written));
}

// A failure after part of the body still reports how much arrived.
TEST(HttpClient, CutBodyReportsTheBytesThatArrived) {
  TIdHTTP http;
  SetupInstallerClient(http);
  http.WorkInterval = 600000;
  TWorkRecorder rec(http);
  TPatternStream out;
  auto p = Raised([&] { http.Get(NetUrl(L"http", "HTTP", L"/cut/1000000/150000"), out); });
  EXPECT_TRUE(As<EIdConnClosedGracefully>(p)) << Describe(p);
  EXPECT_EQ(rec.BeginMax, 1000000);
  ASSERT_EQ(rec.Counts.size(), 1u);
  EXPECT_EQ(rec.Counts[0], 150000);
  EXPECT_EQ(out.Size, 150000);
}

TEST(HttpClient, WritesIntoAFileStream) {
  TTempDir dir;
  const std::wstring name = dir.File(L"package.msi");
  WriteFileBytes(name, std::string(500000, 'x'));  // overwritten, not appended to
  {
    TIdFileStream file(name);
    TIdHTTP http;
    SetupInstallerClient(http);
    ASSERT_NO_THROW(http.Get(NetUrl(L"https", "HTTPS", L"/file/300000"), file));
    EXPECT_EQ(file.Written(), 300000u);
    file.Close();
  }
  std::string data = ReadFileBytes(name);
  ASSERT_EQ(data.size(), 300000u);
  TPatternStream check;
  check.Write(data.data(), data.size());
  EXPECT_TRUE(check.Ok());
  auto p = Raised([&] { TIdFileStream missing(dir.File(L"no\\such\\folder.msi")); });
  EXPECT_TRUE(As<EOSError>(p)) << Describe(p);
}

}  // namespace
}  // namespace vt::test
