#include "net/uHttpClient.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <atomic>
#include <cstring>

#include "log/DebugLogUtils.h"

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

}  // namespace

void NetInitialization() {
  LogLine(L"-> NetInitialization()");
  if (!gNetInitialized.load()) {
    // Settle OpenSSL's configuration first: a static build would otherwise read
    // an openssl.cnf from its build-time folder (a path on the current drive
    // that any user may create) or from OPENSSL_CONF, into an elevated process.
    if (!OPENSSL_init_ssl(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr)) {
      // Start-up goes on: each client then fails, and with it only the download.
      LogLine(L"<- NetInitialization(): the TLS library could not be initialised");
      return;
    }
    CURLcode rc = curl_global_init(CURL_GLOBAL_ALL);
    if (rc != CURLE_OK) {
      LogFmt(L"<- NetInitialization(): the network library could not be initialised: %s",
             {Wide(curl_easy_strerror(rc))});
      return;
    }
    gNetInitialized = true;
  }
  LogFmt(L"<- NetInitialization(): %s", {Wide(curl_version())});
}

void NetFinalization() {
  LogLine(L"-> NetFinalization()");
  if (gNetInitialized.exchange(false)) curl_global_cleanup();
  LogLine(L"<- NetFinalization()");
}

struct TIdHTTP::TImpl {
  CURL* Easy = nullptr;
  CURLM* Multi = nullptr;
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

  ~TImpl() {
    if (Multi) {
      if (Easy) curl_multi_remove_handle(Multi, Easy);
      curl_multi_cleanup(Multi);
    }
    if (Easy) curl_easy_cleanup(Easy);
  }

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
    curl_easy_getinfo(Easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &cl);
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
};

TIdHTTP::TIdHTTP() {
  if (!gNetInitialized.load()) throw EIdException(L"The network library is not initialised.");
  FImpl = std::make_unique<TImpl>();
  FImpl->Easy = curl_easy_init();
  FImpl->Multi = curl_multi_init();
  if (!FImpl->Easy || !FImpl->Multi) throw EIdException(L"The HTTP client could not be created.");
}

TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::SetIOHandler(std::unique_ptr<TIdOpenSSLIOHandlerClient> AHandler) { FIOHandler = std::move(AHandler); }

void TIdHTTP::Disconnect() {
  FImpl->DisconnectRequested = true;
  if (FImpl->Running) curl_multi_wakeup(FImpl->Multi);
}

namespace {

// Runs Request between the routine's "->" and "<-" log lines, also when it raises.
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
  CURL* e = s.Easy;
  // A Disconnect while no request ran closes the idle connection: this request opens a new one.
  bool fresh = s.DisconnectRequested.exchange(false);
  s.Owner = this;
  s.Stream = AStream;
  s.Error = nullptr;
  s.StatusLine.clear();
  s.Status = 0;
  s.HeaderBytes = 0;
  s.TotalHeaderBytes = 0;
  s.SectionStart = true;
  s.Connected = false;
  s.BodyStarted = false;
  s.WorkFired = false;
  s.Received = 0;
  s.LastFired = 0;
  s.LastActivityTick = GetTickCount64();
  s.ErrBuf[0] = 0;
  FResponseCode = 0;
  FResponseText.clear();
  FContentLength = -1;

  TIdOpenSSLIOHandlerClient defaults;
  const TIdOpenSSLIOHandlerClient& tls = FIOHandler ? *FIOHandler : defaults;
  const TIdSocksInfo* socks = tls.TransparentProxy.get();
  const bool httpProxy = !ProxyParams.ProxyServer.empty();
  std::wstring proxyWhere;

  auto hostError = [](const wchar_t* What, const std::wstring& Host) {
    return EIdSocketError(Format(L"%s not found: \"%s\" (socket error 11001).", {What, Host}), 11001);
  };
  if (socks && httpProxy) throw EIdException(L"An HTTP proxy and a SOCKS proxy cannot be used together.");
  const std::wstring* pHost = socks ? &socks->Host : httpProxy ? &ProxyParams.ProxyServer : nullptr;
  uint16_t pPort = socks ? socks->Port : ProxyParams.ProxyPort;
  if (pHost) {
    proxyWhere = Format(L"%s:%d", {*pHost, pPort});
    if (!IsPlausibleHost(*pHost)) throw hostError(L"Proxy host", *pHost);
    if (pPort == 0)
      throw EIdSocketError(
          Format(L"Cannot connect to the proxy %s: port 0 is not valid (socket error 10049).", {*pHost}), 10049);
  }

  std::string url = WideToUtf8(AURL);
  std::string ua = WideToUtf8(UserAgent);
  std::string proxyUrl, proxyUser, proxyPass;
  curl_easy_reset(e);
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, s.ErrBuf);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 1L);
  curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, fresh ? 1L : 0L);
  if (AHead)
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  else
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  if (!ua.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, ua.c_str());
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, HandleRedirects ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(RedirectMaximum));
  if (ConnectTimeout > 0) curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ConnectTimeout));
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferSize);

  // The package's signature is the trust check, not the server certificate;
  // the host-name check only has a meaning for a verified certificate.
  curl_easy_setopt(e, CURLOPT_SSLVERSION, CurlSslVersion(tls.MinimumTLSVersion, tls.MaximumTLSVersion));
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(e, CURLOPT_CAINFO, nullptr);
  curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
  // OpenSSL 3 refuses TLS 1.0 and 1.1 above security level 0.
  if (tls.MinimumTLSVersion < sslvTLSv1_2) curl_easy_setopt(e, CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");

  // An empty proxy also keeps curl from taking one from the environment, and an
  // empty no-proxy list keeps the environment from bypassing ours.
  curl_easy_setopt(e, CURLOPT_NOPROXY, "");
  if (socks) {
    proxyUrl = "socks5h://" + HostForUrl(socks->Host);
    curl_easy_setopt(e, CURLOPT_PROXY, proxyUrl.c_str());
    curl_easy_setopt(e, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_SOCKS5_HOSTNAME));
    curl_easy_setopt(e, CURLOPT_PROXYPORT, static_cast<long>(socks->Port));
    if (socks->Authentication == saUsernamePassword) {
      proxyUser = WideToUtf8(socks->Username);
      proxyPass = WideToUtf8(socks->Password);
      curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxyPass.c_str());
      curl_easy_setopt(e, CURLOPT_SOCKS5_AUTH, static_cast<unsigned long>(CURLAUTH_BASIC | CURLAUTH_NONE));
    } else {
      curl_easy_setopt(e, CURLOPT_SOCKS5_AUTH, static_cast<unsigned long>(CURLAUTH_NONE));
    }
  } else if (httpProxy) {
    proxyUrl = "http://" + HostForUrl(ProxyParams.ProxyServer);
    curl_easy_setopt(e, CURLOPT_PROXY, proxyUrl.c_str());
    curl_easy_setopt(e, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    curl_easy_setopt(e, CURLOPT_PROXYPORT, static_cast<long>(ProxyParams.ProxyPort));
    if (!ProxyParams.ProxyUsername.empty()) {
      proxyUser = WideToUtf8(ProxyParams.ProxyUsername);
      proxyPass = WideToUtf8(ProxyParams.ProxyPassword);
      curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxyPass.c_str());
      curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
    }
  } else {
    curl_easy_setopt(e, CURLOPT_PROXY, "");
  }

  // Between a redirect's headers and the next request curl reads and drops the
  // redirect's body without our callbacks; its own speed check keeps the read
  // time-out running there.
  if (ReadTimeout > 0) {
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>((ReadTimeout + 999) / 1000));
  }
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &TImpl::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &s);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &TImpl::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &s);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &TImpl::OnPrereq);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, &s);

  LogFmt(L"TIdHTTP: %s; proxy %s; user %s; tls %d-%d; connect %d ms; read %d ms; redirects %s/%d",
         {AHead ? L"HEAD" : L"GET", proxyWhere.empty() ? std::wstring(L"none") : (socks ? L"socks5 " : L"http ") + proxyWhere,
          proxyUser.empty() ? std::wstring(L"none") : Wide(proxyUser.c_str()), static_cast<int>(tls.MinimumTLSVersion),
          static_cast<int>(tls.MaximumTLSVersion), ConnectTimeout, ReadTimeout, BoolToStr(HandleRedirects),
          RedirectMaximum});

  CURLcode result = CURLE_OK;
  bool finished = false;
  if (curl_multi_add_handle(s.Multi, e) != CURLM_OK) throw EIdException(L"The HTTP request could not be started.");
  s.Running = true;
  struct TRunGuard {
    TImpl& S;
    ~TRunGuard() {
      S.Running = false;
      curl_multi_remove_handle(S.Multi, S.Easy);
    }
  } guard{s};

  for (;;) {
    int running = 0;
    CURLMcode mc = curl_multi_perform(s.Multi, &running);
    if (mc != CURLM_OK) {
      s.Fail(std::make_exception_ptr(EIdException(Format(L"The HTTP transfer failed: %s", {Wide(curl_multi_strerror(mc))}))));
      break;
    }
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(s.Multi, &left)) {
      if (m->msg == CURLMSG_DONE && m->easy_handle == e) {
        result = m->data.result;
        finished = true;
      }
    }
    if (finished || s.Error) break;
    ULONGLONG now = GetTickCount64();
    try {
      // A quiet body still reaches the handler, so a cancel does not wait for the next byte.
      if (s.BodyStarted && now - s.LastFireTick >= WorkInterval) s.FireWork(now);
    } catch (...) {
      s.Fail(std::current_exception());
    }
    if (!s.AfterWork()) break;
    ULONGLONG idle = now - s.LastActivityTick;
    if (ReadTimeout > 0 && s.Connected && idle >= static_cast<ULONGLONG>(ReadTimeout)) {
      char* effective = nullptr;
      curl_easy_getinfo(e, CURLINFO_EFFECTIVE_URL, &effective);
      std::wstring from = Wide(HostOfUrl(effective ? effective : url.c_str(), true).c_str());
      if (!proxyWhere.empty()) from += L" through the proxy " + proxyWhere;
      s.Fail(std::make_exception_ptr(
          EIdReadTimeout(Format(L"Read timed out: no data from %s for %d ms.", {from, ReadTimeout}))));
      break;
    }
    long wait = kPollSliceMs;
    if (ReadTimeout > 0 && s.Connected && ReadTimeout - idle < static_cast<ULONGLONG>(wait))
      wait = static_cast<long>(ReadTimeout - idle);
    curl_multi_poll(s.Multi, nullptr, 0, static_cast<int>(wait), nullptr);
  }

  long code = 0;
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &code);
  FResponseCode = s.Status ? s.Status : static_cast<int>(code);
  FResponseText = Wide(s.StatusLine.c_str());
  curl_off_t cl = -1;
  curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &cl);
  FContentLength = cl;

  if (!s.Error && finished && result != CURLE_OK) {
    char* effective = nullptr;
    curl_easy_getinfo(e, CURLINFO_EFFECTIVE_URL, &effective);
    std::wstring host = Wide(HostOfUrl(effective ? effective : url.c_str()).c_str());
    std::wstring detail = s.ErrBuf[0] ? Wide(s.ErrBuf) : Wide(curl_easy_strerror(result));
    while (!detail.empty() && (detail.back() == L'\n' || detail.back() == L'\r')) detail.pop_back();
    long osErr = 0, connectCode = 0, pxCode = 0;
    curl_easy_getinfo(e, CURLINFO_OS_ERRNO, &osErr);
    curl_easy_getinfo(e, CURLINFO_HTTP_CONNECTCODE, &connectCode);
    curl_easy_getinfo(e, CURLINFO_PROXY_ERROR, &pxCode);
    std::wstring peer = proxyWhere.empty() ? Wide(HostOfUrl(effective ? effective : url.c_str(), true).c_str())
                                           : L"the proxy " + proxyWhere;
    std::exception_ptr err;
    if (httpProxy && connectCode >= 300) {
      err = std::make_exception_ptr(EIdProxyError(
          Format(L"The HTTP proxy %s refused the connection: %s", {proxyWhere, Wide(s.StatusLine.c_str())})));
    } else {
      switch (result) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
          // Through a proxy only the proxy's own name is looked up here.
          err = std::make_exception_ptr(pHost ? hostError(L"Proxy host", *pHost) : hostError(L"Host", host));
          break;
        case CURLE_COULDNT_CONNECT: {
          int c = osErr ? static_cast<int>(osErr) : 10061;
          err = std::make_exception_ptr(
              EIdSocketError(Format(L"Cannot connect to %s: %s (socket error %d).", {peer, WsaText(c), c}), c));
          break;
        }
        case CURLE_OPERATION_TIMEDOUT:
          if (std::strstr(s.ErrBuf, "too slow"))  // the speed check: no byte for the read time-out
            err = std::make_exception_ptr(
                EIdReadTimeout(Format(L"Read timed out: no data from %s for %d ms.", {peer, ReadTimeout})));
          else
            err = std::make_exception_ptr(EIdConnectTimeout(Format(L"Connection to %s timed out.", {peer})));
          break;
        case CURLE_PROXY:
          err = std::make_exception_ptr(EIdProxyError(ProxyErrorText(pxCode, proxyWhere, host, detail)));
          break;
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
          err = std::make_exception_ptr(
              EIdTLSError(Format(L"The secure (TLS) connection to %s failed: %s", {host, detail})));
          break;
        case CURLE_PARTIAL_FILE:
          err = std::make_exception_ptr(EIdConnClosedGracefully(
              cl > 0 ? Format(L"The connection to %s was closed before the whole response arrived (%d of %d bytes).",
                              {host, s.Received, static_cast<int64_t>(cl)})
                     : Format(L"The connection to %s was closed before the whole response arrived (%d bytes).",
                              {host, s.Received})));
          break;
        case CURLE_GOT_NOTHING:
          err = std::make_exception_ptr(EIdConnClosedGracefully(
              Format(L"%s closed the connection without sending a response.", {peer})));
          break;
        case CURLE_TOO_MANY_REDIRECTS:
          err = std::make_exception_ptr(EIdHTTPProtocolException(
              Format(L"Too many redirects (more than %d): %s", {RedirectMaximum, Wide(s.StatusLine.c_str())}),
              s.Status));
          break;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
          if (osErr) {
            int c = static_cast<int>(osErr);
            err = std::make_exception_ptr(
                EIdSocketError(Format(L"The connection to %s failed: %s (socket error %d).", {peer, WsaText(c), c}), c));
          } else {
            err = std::make_exception_ptr(
                EIdConnClosedGracefully(Format(L"The connection to %s was closed unexpectedly: %s", {peer, detail})));
          }
          break;
        default:
          err = std::make_exception_ptr(EIdException(Format(L"The request to %s failed: %s", {host, detail})));
          break;
      }
    }
    s.Fail(err);
  }
  if (!s.Error && finished && !s.StatusOk()) s.Fail(s.StatusError());

  // The final count always reaches the handler, also after a failure: it
  // tells the caller how much arrived.
  if (!AHead) {
    try {
      if (!s.Error && !s.BodyStarted) {
        s.BodyStarted = true;
        if (OnWorkBegin) OnWorkBegin(this, wmRead, 0);
      }
      if (s.BodyStarted && (!s.WorkFired || s.Received != s.LastFired)) s.FireWork(GetTickCount64());
    } catch (...) {
      s.Fail(std::current_exception());
    }
    s.AfterWork();
  }
  if (s.Error) std::rethrow_exception(s.Error);
}

}  // namespace vt
