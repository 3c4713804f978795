// HTTP/1.1 client over libcurl with OpenSSL 3 (both linked statically):
// redirects, HTTP and SOCKS 5 proxies, time-outs and byte-count work events.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "fw/uSysUtils.h"
#include "net/uNetStreams.h"

namespace vt {

// Once per process, before the first client and after the debug log (and after
// the library search restriction). Never raises: when the libraries cannot
// start, each client raises EIdException instead.
void NetInitialization();
// After the last client has been destroyed.
void NetFinalization();

// ---- Failures of a request. Every message is meant for the user.

class EIdException : public Exception {
public:
  using Exception::Exception;
  std::wstring ClassName() const override { return L"EIdException"; }
};

// A Windows Sockets failure; LastError is the Windows Sockets code
// (11001 when a host name, the server's or the proxy's, cannot be resolved).
class EIdSocketError : public EIdException {
public:
  EIdSocketError(std::wstring Message, int ALastError) : EIdException(std::move(Message)), LastError(ALastError) {}
  std::wstring ClassName() const override { return L"EIdSocketError"; }
  int LastError;
};

class EIdConnectTimeout : public EIdException {
public:
  using EIdException::EIdException;
  std::wstring ClassName() const override { return L"EIdConnectTimeout"; }
};

// No byte arrived for ReadTimeout milliseconds.
class EIdReadTimeout : public EIdException {
public:
  using EIdException::EIdException;
  std::wstring ClassName() const override { return L"EIdReadTimeout"; }
};

// The server answered with an error status (or too many redirects);
// the message holds the status line, for example "HTTP/1.1 404 Not Found".
class EIdHTTPProtocolException : public EIdException {
public:
  EIdHTTPProtocolException(std::wstring Message, int AErrorCode)
      : EIdException(std::move(Message)), ErrorCode(AErrorCode) {}
  std::wstring ClassName() const override { return L"EIdHTTPProtocolException"; }
  int ErrorCode;
};

// The HTTP or SOCKS proxy refused the connection or the credentials.
class EIdProxyError : public EIdException {
public:
  using EIdException::EIdException;
  std::wstring ClassName() const override { return L"EIdProxyError"; }
};

class EIdTLSError : public EIdException {
public:
  using EIdException::EIdException;
  std::wstring ClassName() const override { return L"EIdTLSError"; }
};

// The peer closed the connection before the response was complete.
class EIdConnClosedGracefully : public EIdException {
public:
  using EIdException::EIdException;
  std::wstring ClassName() const override { return L"EIdConnClosedGracefully"; }
};

// Disconnect ended the running request.
class EIdDisconnected : public EIdException {
public:
  using EIdException::EIdException;
  std::wstring ClassName() const override { return L"EIdDisconnected"; }
};

// ---- Settings

enum TIdSSLVersion : uint8_t { sslvTLSv1 = 0, sslvTLSv1_1 = 1, sslvTLSv1_2 = 2 };
enum TSocksVersion : uint8_t { svSocks5 = 0 };
enum TSocksAuthentication : uint8_t { saNoAuthentication = 0, saUsernamePassword = 1 };

// A SOCKS proxy that carries every connection of the client; the target
// host name is resolved by the proxy.
class TIdSocksInfo {
public:
  std::wstring Host;
  uint16_t Port = 1080;
  TSocksVersion Version = svSocks5;
  TSocksAuthentication Authentication = saNoAuthentication;
  std::wstring Username;
  std::wstring Password;
};

// TLS settings of https:// connections. The server certificate is not
// verified: the package's own signature is the trust check.
class TIdOpenSSLIOHandlerClient {
public:
  TIdSSLVersion MinimumTLSVersion = sslvTLSv1;
  TIdSSLVersion MaximumTLSVersion = sslvTLSv1_2;
  std::unique_ptr<TIdSocksInfo> TransparentProxy;  // none: connect directly
};

// HTTP proxy (Basic authentication when a user name is set); https:// goes through CONNECT.
class TIdProxyConnectionInfo {
public:
  std::wstring ProxyServer;  // empty: no HTTP proxy
  uint16_t ProxyPort = 0;
  std::wstring ProxyUsername;
  std::wstring ProxyPassword;
  void Clear() { *this = TIdProxyConnectionInfo(); }
};

enum TWorkMode : uint8_t { wmRead = 0, wmWrite = 1 };

class TIdHTTP;
// AWorkCountMax: the expected body size, 0 when unknown.
using TWorkBeginEvent = std::function<void(TIdHTTP* ASender, TWorkMode AWorkMode, int64_t AWorkCountMax)>;
// AWorkCount: body bytes received so far.
using TWorkEvent = std::function<void(TIdHTTP* ASender, TWorkMode AWorkMode, int64_t AWorkCount)>;

// One client per user (a worker); a request runs on the calling thread, which
// also receives the work events. Not for use by two threads at once, except
// Disconnect.
class TIdHTTP {
public:
  TIdHTTP();  // raises EIdException before NetInitialization
  ~TIdHTTP();
  TIdHTTP(const TIdHTTP&) = delete;
  TIdHTTP& operator=(const TIdHTTP&) = delete;

  std::wstring UserAgent;
  bool HandleRedirects = false;
  int RedirectMaximum = 15;  // redirects followed in a row; one more fails
  int ConnectTimeout = 0;    // ms for name look-up, connect, proxy and TLS set-up; 0: none
  int ReadTimeout = 0;       // ms without any received byte that end a request; 0: none
  // Work events (GET only): OnWorkBegin once the final response's headers are
  // in; then OnWork at most once per this many ms while the body is under way
  // (a quiet body repeats the count), and always once for the final count,
  // also when the request fails.
  unsigned WorkInterval = kDefaultWorkInterval;
  TIdProxyConnectionInfo ProxyParams;
  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;

  static constexpr unsigned kDefaultWorkInterval = 50;
  // A response whose header section grows beyond this fails.
  static constexpr size_t kMaxHeaderBytes = 256 * 1024;
  // All header sections of one request together (1xx answers and redirects included).
  static constexpr size_t kMaxTotalHeaderBytes = 1024 * 1024;

  // The client owns its I/O handler; none means default TLS settings and no SOCKS proxy.
  void SetIOHandler(std::unique_ptr<TIdOpenSSLIOHandlerClient> AHandler);
  TIdOpenSSLIOHandlerClient* IOHandler() const { return FIOHandler.get(); }

  void Head(const std::wstring& AURL);
  // Writes the body into AResponseContent as it arrives.
  void Get(const std::wstring& AURL, TIdWriteStream& AResponseContent);

  // Ends the running request, which then raises EIdDisconnected; meant for a
  // work event handler, safe from any thread. Without a running request it
  // only closes the idle connection.
  void Disconnect();

  // Of the last response received (after redirects).
  int ResponseCode() const { return FResponseCode; }
  const std::wstring& ResponseText() const { return FResponseText; }  // its status line
  int64_t ContentLength() const { return FContentLength; }            // -1 when not sent

  struct TImpl;

private:
  void DoRequest(const std::wstring& AURL, bool AHead, TIdWriteStream* AStream);

  std::unique_ptr<TIdOpenSSLIOHandlerClient> FIOHandler;
  std::unique_ptr<TImpl> FImpl;
  int FResponseCode = 0;
  std::wstring FResponseText;
  int64_t FContentLength = -1;
};

}  // namespace vt
