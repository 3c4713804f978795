#include "net/uHttpClient.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "fw/uWinHandles.h"
#include "log/DebugLogUtils.h"

// OpenSSL's processor capability vector and the routine that fills it from the
// CPU (its x86 assembler part; no public header declares them).
extern "C" unsigned int OPENSSL_ia32cap_P[4];
extern "C" uint64_t OPENSSL_ia32_cpuid(unsigned int* Capabilities);

namespace vt {

namespace {

std::atomic<bool> gNetInitialized{false};

// Bytes handed to the write callback at most per call; larger pieces mean
// fewer socket reads and callbacks per megabyte.
constexpr long kReceiveBufferSize = 256 * 1024;
// Longest wait for socket activity before the loop looks at the clock again
// (heartbeat work events, read time-out, Disconnect).
constexpr unsigned kPollSliceMs = 100;

std::wstring Wide(const char* s) { return s ? Utf8ToWide(s) : std::wstring(); }

std::wstring WsaText(int Code) {
  switch (Code) {
    case 10013: return L"Permission denied";
    case 10048: return L"Address already in use";
    case 10049: return L"Cannot assign requested address";
    case 10050: return L"Network is down";
    case 10051: return L"Network is unreachable";
    case 10052: return L"Net dropped connection or reset";
    case 10053: return L"Software caused connection abort";
    case 10054: return L"Connection reset by peer";
    case 10055: return L"No buffer space available";
    case 10060: return L"Connection timed out";
    case 10061: return L"Connection refused";
    case 10064: return L"Host is down";
    case 10065: return L"No route to host";
    case 11001: return L"Host not found";
    case 11002: return L"Non-authoritative host not found";
    case 11003: return L"This is a non-recoverable error";
    case 11004: return L"Valid name, no data record of requested type";
    default: break;
  }
  std::wstring s = SysErrorMessage(static_cast<DWORD>(Code));
  return s.empty() ? L"Socket error" : s;
}

// Host names as resolvers accept them; anything else (blanks, '@', '/')
// can only fail to resolve, and must not reach curl's URL parser.
bool IsPlausibleHost(std::wstring_view Host) {
  if (Host.empty() || Host.size() > 255) return false;
  for (wchar_t c : Host) {
    bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' ||
              c == L'.' || c == L'_' || c == L':' || c == L'[' || c == L']';
    if (!ok) return false;
  }
  return true;
}

std::string HostForUrl(const std::wstring& Host) {
  std::string h = WideToUtf8(Host);
  if (h.find(':') != std::string::npos && h.front() != '[') h = "[" + h + "]";
  return h;
}

// The host of Url, with ":port" (the scheme's default when none is given) when WithPort.
std::string HostOfUrl(const char* Url, bool WithPort = false) {
  std::string host;
  if (!Url) return host;
  CURLU* u = curl_url();
  if (!u) return host;
  char* h = nullptr;
  if (curl_url_set(u, CURLUPART_URL, Url, 0) == CURLUE_OK && curl_url_get(u, CURLUPART_HOST, &h, 0) == CURLUE_OK) {
    host = h;
    curl_free(h);
    char* port = nullptr;
    if (WithPort && curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
      host = host + ":" + port;
      curl_free(port);
    }
  }
  curl_url_cleanup(u);
  return host;
}

bool StartsWithNoCase(const char* p, size_t n, const char* prefix) {
  size_t k = std::strlen(prefix);
  if (n < k) return false;
  for (size_t i = 0; i < k; ++i) {
    char a = p[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

long CurlSslVersion(TIdSSLVersion Min, TIdSSLVersion Max) {
  long lo = Min == sslvTLSv1 ? CURL_SSLVERSION_TLSv1_0 : Min == sslvTLSv1_1 ? CURL_SSLVERSION_TLSv1_1
                                                                           : CURL_SSLVERSION_TLSv1_2;
  long hi = Max == sslvTLSv1 ? CURL_SSLVERSION_MAX_TLSv1_0 : Max == sslvTLSv1_1 ? CURL_SSLVERSION_MAX_TLSv1_1
                                                                               : CURL_SSLVERSION_MAX_TLSv1_2;
  return lo | hi;
}

std::wstring ProxyErrorText(long Code, const std::wstring& Where, const std::wstring& Target,
                            const std::wstring& Detail) {
  switch (Code) {
    case CURLPX_NO_AUTH:
      return Format(L"The SOCKS 5 proxy %s accepts none of the offered authentication methods "
                    L"(it may need a user name and password).", {Where});
    case CURLPX_USER_REJECTED:
      return Format(L"The SOCKS 5 proxy %s rejected the user name or password.", {Where});
    case CURLPX_REPLY_CONNECTION_REFUSED:
      return Format(L"The SOCKS 5 proxy %s could not connect to %s: connection refused.", {Where, Target});
    case CURLPX_REPLY_HOST_UNREACHABLE:
      return Format(L"The SOCKS 5 proxy %s could not reach %s: host unreachable.", {Where, Target});
    case CURLPX_REPLY_NETWORK_UNREACHABLE:
      return Format(L"The SOCKS 5 proxy %s could not reach %s: network unreachable.", {Where, Target});
    case CURLPX_REPLY_NOT_ALLOWED:
      return Format(L"The SOCKS 5 proxy %s does not allow a connection to %s.", {Where, Target});
    case CURLPX_REPLY_GENERAL_SERVER_FAILURE:
      return Format(L"The SOCKS 5 proxy %s failed to connect to %s (general failure).", {Where, Target});
    case CURLPX_REPLY_TTL_EXPIRED:
      return Format(L"The SOCKS 5 proxy %s could not reach %s: TTL expired.", {Where, Target});
    case CURLPX_LONG_USER:
    case CURLPX_LONG_PASSWD:
      return Format(L"The user name or password for the SOCKS 5 proxy %s is too long (at most 255 bytes).",
                    {Where});
    case CURLPX_LONG_HOSTNAME:
      return Format(L"The host name %s is too long for the SOCKS 5 proxy %s.", {Target, Where});
    case CURLPX_BAD_VERSION:
      return Format(L"%s did not answer as a SOCKS 5 proxy.", {Where});
    case CURLPX_CLOSED:
    case CURLPX_RECV_AUTH:
    case CURLPX_RECV_CONNECT:
    case CURLPX_RECV_REQACK:
    case CURLPX_RECV_ADDRESS:
    case CURLPX_SEND_AUTH:
    case CURLPX_SEND_CONNECT:
    case CURLPX_SEND_REQUEST:
      return Format(L"The SOCKS 5 proxy %s closed the connection during its handshake.", {Where});
    default:
      return Format(L"The SOCKS 5 proxy %s refused the connection: %s", {Where, Detail});
  }
}

// Environment variables that libcurl 7.88 or OpenSSL 3.0 read, and that could
// change what this elevated process does or make it write a file. Each is
// removed before either library starts; most also have no reader in our build
// (no configuration file, engines, external providers or certificate store is
// loaded), which the removal keeps so should that change.
constexpr const wchar_t* kLibraryEnvironment[] = {
    L"SSLKEYLOGFILE",         // libcurl: appends the TLS session secrets to that file
    L"OPENSSL_ia32cap",       // processor features OpenSSL uses (see below)
    L"OPENSSL_CONF",          // configuration file
    L"OPENSSL_CONF_INCLUDE",  // folder of files the configuration includes
    L"OPENSSL_ENGINES",       // folder engines are loaded from
    L"OPENSSL_MODULES",       // folder providers are loaded from
    L"OPENSSL_WIN32_UTF8",    // how OpenSSL decodes the variables above
    L"SSL_CERT_FILE",         // default certificate file
    L"SSL_CERT_DIR",          // default certificate folder
    L"CTLOG_FILE",            // certificate transparency log list
    // libcurl's proxy defaults (each request also sets its own); Windows names
    // ignore case, so these cover every spelling
    L"http_proxy", L"https_proxy", L"ALL_PROXY", L"NO_PROXY",
};

void NeutraliseLibraryEnvironment() {
  // OpenSSL reads OPENSSL_ia32cap when the process starts, before any code of
  // ours: a value there can switch off the processor's AES instructions or
  // claim ones it lacks (and crash the process at the first TLS record). The
  // vector is taken from the processor again, as OpenSSL does without it.
  if (GetEnvironmentVariableW(L"OPENSSL_ia32cap", nullptr, 0) != 0) {
    const uint64_t vec = OPENSSL_ia32_cpuid(OPENSSL_ia32cap_P);
    OPENSSL_ia32cap_P[0] = static_cast<unsigned int>(vec) | (1u << 10);
    OPENSSL_ia32cap_P[1] = static_cast<unsigned int>(vec >> 32);
    LogLine(L"NetInitialization: OPENSSL_ia32cap ignored");
  }
  for (const wchar_t* name : kLibraryEnvironment) {
    const std::wstring clear = std::wstring(name) + L"=";
    bool found = false;
    // Both copies: the system's (libcurl reads it) and the C runtime's (OpenSSL's
    // getenv). A block may hold the name more than once, in different case.
    for (int i = 0; i < 16 && (GetEnvironmentVariableW(name, nullptr, 0) != 0 || _wgetenv(name)); ++i) {
      found = true;
      _wputenv(clear.c_str());
      SetEnvironmentVariableW(name, nullptr);
    }
    if (found) LogFmt(L"NetInitialization: environment variable %s removed", {name});
  }
}

}  // namespace

void NetInitialization() {
  TLogScope scope(L"-> NetInitialization()", L"<- NetInitialization()");
  if (!gNetInitialized.load()) {
    NeutraliseLibraryEnvironment();
    // Settle OpenSSL's configuration first: a static build would otherwise read
    // an openssl.cnf from its build-time folder (a path on the current drive
    // that any user may create) or from OPENSSL_CONF, into an elevated process.
    if (!OPENSSL_init_ssl(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr)) {
      // Start-up goes on: each client then fails, and with it only the download.
      scope.SetClose(L"<- NetInitialization(): the TLS library could not be initialised");
      return;
    }
    CURLcode rc = curl_global_init(CURL_GLOBAL_ALL);
    if (rc != CURLE_OK) {
      scope.SetClose(Format(L"<- NetInitialization(): the network library could not be initialised: %s",
                            {Wide(curl_easy_strerror(rc))}));
      return;
    }
    gNetInitialized = true;
  }
  scope.SetClose(Format(L"<- NetInitialization(): %s", {Wide(curl_version())}));
}

void NetFinalization() {
  TLogScope scope(L"-> NetFinalization()", L"<- NetFinalization()");
  if (gNetInitialized.exchange(false)) curl_global_cleanup();
}

namespace {

void CurlEasyCleanup(CURL* h) { curl_easy_cleanup(h); }
void CurlMultiCleanup(CURLM* h) { curl_multi_cleanup(h); }
using TCurlEasy = TUniqueHandle<CURL*, TNullHandleTraits<CURL*, &CurlEasyCleanup>>;
using TCurlMulti = TUniqueHandle<CURLM*, TNullHandleTraits<CURLM*, &CurlMultiCleanup>>;

// Where a request's connection goes: straight to the server, or through one proxy.
struct TRoute {
  const TIdSocksInfo* Socks = nullptr;
  bool HttpProxy = false;
  const std::wstring* ProxyHost = nullptr;  // either proxy's host; null when direct
  uint16_t ProxyPort = 0;
  std::wstring ProxyWhere;  // "host:port" for messages; empty when direct
};

EIdSocketError HostNotFound(const wchar_t* What, const std::wstring& Host) {
  return EIdSocketError(Format(L"%s not found: \"%s\" (socket error 11001).", {What, Host}), 11001);
}

// How a transfer ended: curl finished it (with Result), or we stopped it.
struct TTransferEnd {
  bool Finished = false;
  CURLcode Result = CURLE_OK;
};

}  // namespace

struct TIdHTTP::TImpl {
  // Released in reverse order: the multi handle before the easy one.
  TCurlEasy Easy;
  TCurlMulti Multi;
  std::atomic<bool> DisconnectRequested{false};
  std::atomic<bool> Running{false};
  char ErrBuf[CURL_ERROR_SIZE] = {};

  // The request in progress.
  TIdHTTP* Owner = nullptr;
  TIdWriteStream* Stream = nullptr;
  std::exception_ptr Error;
  std::string StatusLine;
  int Status = 0;
  size_t HeaderBytes = 0;       // of the current header section
  size_t TotalHeaderBytes = 0;  // of every section of this request, redirects included
  bool SectionStart = true;     // the next header line opens a section (its status line)
  bool Connected = false;  // connection set up; the read time-out runs
  bool BodyStarted = false;
  bool WorkFired = false;
  int64_t Received = 0;
  int64_t LastFired = 0;
  ULONGLONG LastFireTick = 0;
  ULONGLONG LastActivityTick = 0;

  bool StatusOk() const { return Status >= 200 && Status < 300; }
  bool ProxyAuthStatus() const { return Status == 407 && !Owner->ProxyParams.ProxyServer.empty(); }

  std::exception_ptr StatusError() const {
    std::wstring line = Wide(StatusLine.c_str());
    if (ProxyAuthStatus()) {
      auto& p = Owner->ProxyParams;
      return std::make_exception_ptr(
          EIdProxyError(Format(L"The HTTP proxy %s:%d refused the request: %s", {p.ProxyServer, p.ProxyPort, line})));
    }
    return std::make_exception_ptr(EIdHTTPProtocolException(line, Status));
  }

  void Fail(std::exception_ptr E) {
    if (!Error) Error = E;
  }

  void FireWork(ULONGLONG Now) {
    LastFireTick = Now;
    LastFired = Received;
    WorkFired = true;
    if (Owner->OnWork) Owner->OnWork(Owner, wmRead, Received);
  }

  // Runs in curl's write callback and between polls; false ends the request.
  bool AfterWork() {
    if (Error) return false;
    if (DisconnectRequested) {
      Fail(std::make_exception_ptr(EIdDisconnected(L"Disconnected.")));
      return false;
    }
    return true;
  }

  // The final response's body begins: its headers are complete (or its first
  // byte arrived). Raises OnWorkBegin with the announced length; false ends the request.
  bool BeginBody(ULONGLONG Now) {
    if (!StatusOk()) {
      Fail(StatusError());
      return false;
    }
    curl_off_t cl = -1;
    curl_easy_getinfo(Easy.Get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &cl);
    BodyStarted = true;
    LastFireTick = Now;
    if (Owner->OnWorkBegin) Owner->OnWorkBegin(Owner, wmRead, cl > 0 ? cl : 0);
    return AfterWork();
  }

  static size_t OnHeader(char* Buffer, size_t Size, size_t Count, void* UserData) {
    auto* self = static_cast<TImpl*>(UserData);
    size_t n = Size * Count;
    try {
      self->LastActivityTick = GetTickCount64();
      // Only the first line of a section is a status line: a later header line
      // that happens to begin with "HTTP/" must not replace the status.
      const bool statusLine = self->SectionStart && StartsWithNoCase(Buffer, n, "HTTP/");
      self->SectionStart = false;
      if (statusLine) {
        self->StatusLine.assign(Buffer, n);
        while (!self->StatusLine.empty() && (self->StatusLine.back() == '\r' || self->StatusLine.back() == '\n'))
          self->StatusLine.pop_back();
        self->Status = 0;
        size_t sp = self->StatusLine.find(' ');
        if (sp != std::string::npos) self->Status = std::atoi(self->StatusLine.c_str() + sp + 1);
        self->HeaderBytes = 0;
        LogFmt(L"TIdHTTP: %s", {Wide(self->StatusLine.c_str())});
      }
      self->HeaderBytes += n;
      self->TotalHeaderBytes += n;
      if (self->HeaderBytes > kMaxHeaderBytes || self->TotalHeaderBytes > kMaxTotalHeaderBytes) {
        self->Fail(std::make_exception_ptr(EIdHTTPProtocolException(
            Format(L"The server's response headers are too large (more than %d KiB): %s",
                   {(self->HeaderBytes > kMaxHeaderBytes ? kMaxHeaderBytes : kMaxTotalHeaderBytes) / 1024,
                    Wide(self->StatusLine.c_str())}),
            self->Status)));
        return 0;
      }
      if (n <= 2) {  // end of a header section
        self->SectionStart = true;
        if (self->Status >= 300 && self->Status < 400) {
          self->Connected = false;  // a new request follows
        } else if (self->Connected && self->Stream && !self->BodyStarted && self->Status >= 200) {
          // Not a proxy's CONNECT answer (that comes before the connection is set up).
          if (!self->BeginBody(self->LastActivityTick)) return 0;
        }
      }
    } catch (...) {
      self->Fail(std::current_exception());
      return 0;
    }
    return n;
  }

  static size_t OnBody(char* Buffer, size_t Size, size_t Count, void* UserData) {
    auto* self = static_cast<TImpl*>(UserData);
    size_t n = Size * Count;
    try {
      ULONGLONG now = GetTickCount64();
      self->LastActivityTick = now;
      if (!self->AfterWork()) return 0;
      if (!self->BodyStarted && !self->BeginBody(now)) return 0;
      self->Stream->Write(Buffer, n);
      self->Received += static_cast<int64_t>(n);
      if (now - self->LastFireTick >= self->Owner->WorkInterval) {
        self->FireWork(now);
        if (!self->AfterWork()) return 0;
      }
    } catch (...) {
      self->Fail(std::current_exception());
      return 0;
    }
    return n;
  }

  static int OnPrereq(void* UserData, char*, char*, int, int) {
    auto* self = static_cast<TImpl*>(UserData);
    self->Connected = true;
    self->LastActivityTick = GetTickCount64();
    return CURL_PREREQFUNC_OK;
  }

  // ---- The steps of one request (TIdHTTP::DoRequest runs them in order)

  // Forgets everything of the previous request.
  void Begin(TIdHTTP* AOwner, TIdWriteStream* AStream) {
    Owner = AOwner;
    Stream = AStream;
    Error = nullptr;
    StatusLine.clear();
    Status = 0;
    HeaderBytes = 0;
    TotalHeaderBytes = 0;
    SectionStart = true;
    Connected = false;
    BodyStarted = false;
    WorkFired = false;
    Received = 0;
    LastFired = 0;
    LastActivityTick = GetTickCount64();
    ErrBuf[0] = 0;
  }

  // The proxy, if any; raises before connecting when it cannot be used.
  TRoute Route(const TIdOpenSSLIOHandlerClient& Tls) const {
    TRoute r;
    r.Socks = Tls.TransparentProxy.get();
    r.HttpProxy = !Owner->ProxyParams.ProxyServer.empty();
    if (r.Socks && r.HttpProxy) throw EIdException(L"An HTTP proxy and a SOCKS proxy cannot be used together.");
    r.ProxyHost = r.Socks ? &r.Socks->Host : r.HttpProxy ? &Owner->ProxyParams.ProxyServer : nullptr;
    r.ProxyPort = r.Socks ? r.Socks->Port : Owner->ProxyParams.ProxyPort;
    if (r.ProxyHost) {
      r.ProxyWhere = Format(L"%s:%d", {*r.ProxyHost, r.ProxyPort});
      if (!IsPlausibleHost(*r.ProxyHost)) throw HostNotFound(L"Proxy host", *r.ProxyHost);
      if (r.ProxyPort == 0)
        throw EIdSocketError(
            Format(L"Cannot connect to the proxy %s: port 0 is not valid (socket error 10049).", {*r.ProxyHost}),
            10049);
    }
    return r;
  }

  // Everything curl is told for this request; the callbacks feed the members above.
  void SetOptions(const std::string& Url, bool AHead, bool Fresh, const TIdOpenSSLIOHandlerClient& Tls,
                  const TRoute& R) {
    const TIdHTTP& h = *Owner;
    CURL* e = Easy.Get();
    curl_easy_reset(e);
    curl_easy_setopt(e, CURLOPT_URL, Url.c_str());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, ErrBuf);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, Fresh ? 1L : 0L);
    if (AHead)
      curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    else
      curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    const std::string ua = WideToUtf8(h.UserAgent);  // curl keeps its own copy of every string
    if (!ua.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, ua.c_str());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, h.HandleRedirects ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(h.RedirectMaximum));
    if (h.ConnectTimeout > 0) curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(h.ConnectTimeout));
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferSize);

    // The package's signature is the trust check, not the server certificate;
    // the host-name check only has a meaning for a verified certificate.
    curl_easy_setopt(e, CURLOPT_SSLVERSION, CurlSslVersion(Tls.MinimumTLSVersion, Tls.MaximumTLSVersion));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(e, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
    // OpenSSL 3 refuses TLS 1.0 and 1.1 above security level 0.
    if (Tls.MinimumTLSVersion < sslvTLSv1_2) curl_easy_setopt(e, CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");

    SetProxyOptions(R);

    // Between a redirect's headers and the next request curl reads and drops the
    // redirect's body without our callbacks; its own speed check keeps the read
    // time-out running there. It counts whole seconds: rounded up, so that it
    // never ends a request before the read time-out has passed.
    if (h.ReadTimeout > 0) {
      curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
      curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>((h.ReadTimeout + 999) / 1000));
    }
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &TImpl::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &TImpl::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &TImpl::OnPrereq);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);

    const std::wstring user = R.Socks ? (R.Socks->Authentication == saUsernamePassword ? R.Socks->Username : L"")
                                      : (R.HttpProxy ? h.ProxyParams.ProxyUsername : L"");
    LogFmt(L"TIdHTTP: %s; proxy %s; user %s; tls %d-%d; connect %d ms; read %d ms; redirects %s/%d",
           {AHead ? L"HEAD" : L"GET",
            R.ProxyWhere.empty() ? std::wstring(L"none") : (R.Socks ? L"socks5 " : L"http ") + R.ProxyWhere,
            user.empty() ? std::wstring(L"none") : user, static_cast<int>(Tls.MinimumTLSVersion),
            static_cast<int>(Tls.MaximumTLSVersion), h.ConnectTimeout, h.ReadTimeout, BoolToStr(h.HandleRedirects),
            h.RedirectMaximum});
  }

  void SetProxyOptions(const TRoute& R) {
    CURL* e = Easy.Get();
    // An empty proxy also keeps curl from taking one from the environment, and an
    // empty no-proxy list keeps the environment from bypassing ours.
    curl_easy_setopt(e, CURLOPT_NOPROXY, "");
    if (R.Socks) {
      const std::string url = "socks5h://" + HostForUrl(R.Socks->Host);
      curl_easy_setopt(e, CURLOPT_PROXY, url.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_SOCKS5_HOSTNAME));
      curl_easy_setopt(e, CURLOPT_PROXYPORT, static_cast<long>(R.Socks->Port));
      if (R.Socks->Authentication == saUsernamePassword) {
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, WideToUtf8(R.Socks->Username).c_str());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, WideToUtf8(R.Socks->Password).c_str());
        curl_easy_setopt(e, CURLOPT_SOCKS5_AUTH, static_cast<unsigned long>(CURLAUTH_BASIC | CURLAUTH_NONE));
      } else {
        curl_easy_setopt(e, CURLOPT_SOCKS5_AUTH, static_cast<unsigned long>(CURLAUTH_NONE));
      }
    } else if (R.HttpProxy) {
      const TIdProxyConnectionInfo& p = Owner->ProxyParams;
      const std::string url = "http://" + HostForUrl(p.ProxyServer);
      curl_easy_setopt(e, CURLOPT_PROXY, url.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
      curl_easy_setopt(e, CURLOPT_PROXYPORT, static_cast<long>(p.ProxyPort));
      if (!p.ProxyUsername.empty()) {
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, WideToUtf8(p.ProxyUsername).c_str());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, WideToUtf8(p.ProxyPassword).c_str());
        curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
      }
    } else {
      curl_easy_setopt(e, CURLOPT_PROXY, "");
    }
  }

  // Drives curl until the transfer ends, a callback or a work handler failed,
  // Disconnect was called or nothing arrived for the read time-out.
  TTransferEnd Transfer(const std::string& Url, const TRoute& R) {
    TTransferEnd end;
    CURL* e = Easy.Get();
    const int readTimeout = Owner->ReadTimeout;
    if (curl_multi_add_handle(Multi.Get(), e) != CURLM_OK) throw EIdException(L"The HTTP request could not be started.");
    Running = true;
    auto detach = ScopeExit([this, e] {
      Running = false;
      curl_multi_remove_handle(Multi.Get(), e);
    });
    for (;;) {
      int running = 0;
      CURLMcode mc = curl_multi_perform(Multi.Get(), &running);
      if (mc != CURLM_OK) {
        Fail(std::make_exception_ptr(
            EIdException(Format(L"The HTTP transfer failed: %s", {Wide(curl_multi_strerror(mc))}))));
        break;
      }
      int left = 0;
      while (CURLMsg* m = curl_multi_info_read(Multi.Get(), &left)) {
        if (m->msg == CURLMSG_DONE && m->easy_handle == e) {
          end.Result = m->data.result;
          end.Finished = true;
        }
      }
      if (end.Finished || Error) break;
      ULONGLONG now = GetTickCount64();
      try {
        // A quiet body still reaches the handler, so a cancel does not wait for the next byte.
        if (BodyStarted && now - LastFireTick >= Owner->WorkInterval) FireWork(now);
      } catch (...) {
        Fail(std::current_exception());
      }
      if (!AfterWork()) break;
      ULONGLONG idle = now - LastActivityTick;
      if (readTimeout > 0 && Connected && idle >= static_cast<ULONGLONG>(readTimeout)) {
        char* effective = nullptr;
        curl_easy_getinfo(e, CURLINFO_EFFECTIVE_URL, &effective);
        std::wstring from = Wide(HostOfUrl(effective ? effective : Url.c_str(), true).c_str());
        if (!R.ProxyWhere.empty()) from += L" through the proxy " + R.ProxyWhere;
        Fail(std::make_exception_ptr(
            EIdReadTimeout(Format(L"Read timed out: no data from %s for %d ms.", {from, readTimeout}))));
        break;
      }
      long wait = kPollSliceMs;
      if (readTimeout > 0 && Connected && readTimeout - idle < static_cast<ULONGLONG>(wait))
        wait = static_cast<long>(readTimeout - idle);
      curl_multi_poll(Multi.Get(), nullptr, 0, static_cast<int>(wait), nullptr);
    }
    return end;
  }

  // The exception for a transfer that curl ended with Result.
  std::exception_ptr TransferError(CURLcode Result, const std::string& Url, const TRoute& R) const {
    CURL* e = Easy.Get();
    char* effective = nullptr;
    curl_easy_getinfo(e, CURLINFO_EFFECTIVE_URL, &effective);
    const char* where = effective ? effective : Url.c_str();
    const std::wstring host = Wide(HostOfUrl(where).c_str());
    std::wstring detail = ErrBuf[0] ? Wide(ErrBuf) : Wide(curl_easy_strerror(Result));
    while (!detail.empty() && (detail.back() == L'\n' || detail.back() == L'\r')) detail.pop_back();
    long osErr = 0, connectCode = 0, pxCode = 0;
    curl_off_t cl = -1;
    curl_easy_getinfo(e, CURLINFO_OS_ERRNO, &osErr);
    curl_easy_getinfo(e, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    curl_easy_getinfo(e, CURLINFO_PROXY_ERROR, &pxCode);
    curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &cl);
    const std::wstring peer =
        R.ProxyWhere.empty() ? Wide(HostOfUrl(where, true).c_str()) : L"the proxy " + R.ProxyWhere;
    const std::wstring status = Wide(StatusLine.c_str());
    const int readTimeout = Owner->ReadTimeout;

    if (R.HttpProxy && connectCode >= 300)
      return std::make_exception_ptr(
          EIdProxyError(Format(L"The HTTP proxy %s refused the connection: %s", {R.ProxyWhere, status})));
    switch (Result) {
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY:
        // Through a proxy only the proxy's own name is looked up here.
        return std::make_exception_ptr(R.ProxyHost ? HostNotFound(L"Proxy host", *R.ProxyHost)
                                                   : HostNotFound(L"Host", host));
      case CURLE_COULDNT_CONNECT: {
        int c = osErr ? static_cast<int>(osErr) : 10061;
        return std::make_exception_ptr(
            EIdSocketError(Format(L"Cannot connect to %s: %s (socket error %d).", {peer, WsaText(c), c}), c));
      }
      case CURLE_OPERATION_TIMEDOUT:
        if (std::strstr(ErrBuf, "too slow"))  // the speed check: no byte for the read time-out
          return std::make_exception_ptr(
              EIdReadTimeout(Format(L"Read timed out: no data from %s for %d ms.", {peer, readTimeout})));
        return std::make_exception_ptr(EIdConnectTimeout(Format(L"Connection to %s timed out.", {peer})));
      case CURLE_PROXY:
        return std::make_exception_ptr(EIdProxyError(ProxyErrorText(pxCode, R.ProxyWhere, host, detail)));
      case CURLE_SSL_CONNECT_ERROR:
      case CURLE_SSL_ENGINE_NOTFOUND:
      case CURLE_SSL_ENGINE_SETFAILED:
      case CURLE_SSL_CERTPROBLEM:
      case CURLE_SSL_CIPHER:
      case CURLE_PEER_FAILED_VERIFICATION:
      case CURLE_SSL_SHUTDOWN_FAILED:
      case CURLE_SSL_CACERT_BADFILE:
      case CURLE_SSL_ISSUER_ERROR:
      case CURLE_SSL_CRL_BADFILE:
      case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      case CURLE_SSL_INVALIDCERTSTATUS:
      case CURLE_SSL_CLIENTCERT:
        return std::make_exception_ptr(
            EIdTLSError(Format(L"The secure (TLS) connection to %s failed: %s", {host, detail})));
      case CURLE_PARTIAL_FILE:
        return std::make_exception_ptr(EIdConnClosedGracefully(
            cl > 0 ? Format(L"The connection to %s was closed before the whole response arrived (%d of %d bytes).",
                            {host, Received, static_cast<int64_t>(cl)})
                   : Format(L"The connection to %s was closed before the whole response arrived (%d bytes).",
                            {host, Received})));
      case CURLE_GOT_NOTHING:
        return std::make_exception_ptr(
            EIdConnClosedGracefully(Format(L"%s closed the connection without sending a response.", {peer})));
      case CURLE_TOO_MANY_REDIRECTS:
        return std::make_exception_ptr(EIdHTTPProtocolException(
            Format(L"Too many redirects (more than %d): %s", {Owner->RedirectMaximum, status}), Status));
      case CURLE_SEND_ERROR:
      case CURLE_RECV_ERROR:
        if (osErr) {
          int c = static_cast<int>(osErr);
          return std::make_exception_ptr(
              EIdSocketError(Format(L"The connection to %s failed: %s (socket error %d).", {peer, WsaText(c), c}), c));
        }
        return std::make_exception_ptr(
            EIdConnClosedGracefully(Format(L"The connection to %s was closed unexpectedly: %s", {peer, detail})));
      default:
        return std::make_exception_ptr(EIdException(Format(L"The request to %s failed: %s", {host, detail})));
    }
  }

  // The final count always reaches the handler, also after a failure: it
  // tells the caller how much arrived.
  void ReportFinalCount() {
    try {
      if (!Error && !BodyStarted) {
        BodyStarted = true;
        if (Owner->OnWorkBegin) Owner->OnWorkBegin(Owner, wmRead, 0);
      }
      if (BodyStarted && (!WorkFired || Received != LastFired)) FireWork(GetTickCount64());
    } catch (...) {
      Fail(std::current_exception());
    }
    AfterWork();
  }
};

TIdHTTP::TIdHTTP() {
  if (!gNetInitialized.load()) throw EIdException(L"The network library is not initialised.");
  FImpl = std::make_unique<TImpl>();
  FImpl->Easy.Reset(curl_easy_init());
  FImpl->Multi.Reset(curl_multi_init());
  if (!FImpl->Easy || !FImpl->Multi) throw EIdException(L"The HTTP client could not be created.");
}

TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::SetIOHandler(std::unique_ptr<TIdOpenSSLIOHandlerClient> AHandler) { FIOHandler = std::move(AHandler); }

void TIdHTTP::Disconnect() {
  FImpl->DisconnectRequested = true;
  if (FImpl->Running) curl_multi_wakeup(FImpl->Multi.Get());
}

namespace {

// Runs Request between the routine's "->" and "<-" log lines, also when it
// raises; the closing line names the exception.
template <class F>
void LoggedRequest(const wchar_t* Name, const std::wstring& AURL, F Request, const std::function<std::wstring()>& Result) {
  LogFmt(L"-> TIdHTTP.%s('%s')", {Name, AURL});
  try {
    Request();
  } catch (const Exception& e) {
    LogFmt(L"<- TIdHTTP.%s: %s: %s", {Name, e.ClassName(), e.Message()});
    throw;
  } catch (...) {
    LogFmt(L"<- TIdHTTP.%s: failed", {Name});
    throw;
  }
  LogFmt(L"<- TIdHTTP.%s: %s", {Name, Result()});
}

}  // namespace

void TIdHTTP::Head(const std::wstring& AURL) {
  LoggedRequest(L"Head", AURL, [&] { DoRequest(AURL, true, nullptr); },
                [&] { return Format(L"%s; length %d", {FResponseText, FContentLength}); });
}

void TIdHTTP::Get(const std::wstring& AURL, TIdWriteStream& AResponseContent) {
  LoggedRequest(L"Get", AURL, [&] { DoRequest(AURL, false, &AResponseContent); },
                [&] { return Format(L"%s; %d bytes", {FResponseText, FImpl->Received}); });
}

void TIdHTTP::DoRequest(const std::wstring& AURL, bool AHead, TIdWriteStream* AStream) {
  TImpl& s = *FImpl;
  // A Disconnect while no request ran closes the idle connection: this request opens a new one.
  const bool fresh = s.DisconnectRequested.exchange(false);
  s.Begin(this, AStream);
  FResponseCode = 0;
  FResponseText.clear();
  FContentLength = -1;

  const TIdOpenSSLIOHandlerClient defaults;
  const TIdOpenSSLIOHandlerClient& tls = FIOHandler ? *FIOHandler : defaults;
  const TRoute route = s.Route(tls);
  const std::string url = WideToUtf8(AURL);
  s.SetOptions(url, AHead, fresh, tls, route);
  const TTransferEnd end = s.Transfer(url, route);

  long code = 0;
  curl_easy_getinfo(s.Easy.Get(), CURLINFO_RESPONSE_CODE, &code);
  FResponseCode = s.Status ? s.Status : static_cast<int>(code);
  FResponseText = Wide(s.StatusLine.c_str());
  curl_off_t cl = -1;
  curl_easy_getinfo(s.Easy.Get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &cl);
  FContentLength = cl;

  if (!s.Error && end.Finished && end.Result != CURLE_OK) s.Fail(s.TransferError(end.Result, url, route));
  if (!s.Error && end.Finished && !s.StatusOk()) s.Fail(s.StatusError());
  if (!AHead) s.ReportFinalCount();
  if (s.Error) std::rethrow_exception(s.Error);
}

}  // namespace vt
