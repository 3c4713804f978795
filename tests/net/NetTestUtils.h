// Helpers of the HTTP client tests: the loopback servers' ports, streams that
// check or keep what arrives, and a recorder of work events.
#pragma once
#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "net/uHttpClient.h"

namespace vt::test {

// Port of a server the driver script started (VT_NET_<Name>_PORT); fails the test when absent.
int NetPort(const char* Name);
std::string NetEnv(const char* Name);
std::wstring NetUrl(const wchar_t* Scheme, const char* PortName, const std::wstring& Path,
                    const wchar_t* Host = L"127.0.0.1");

inline constexpr wchar_t kTestUserAgent[] =
    L"Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/59.0.3071.115 Safari/537.36";

// Checks that byte i of the body is i % 251, without keeping the body.
class TPatternStream : public TIdWriteStream {
public:
  void Write(const void* Buffer, size_t Count) override;
  int64_t Size = 0;
  int64_t FirstBad = -1;
  bool Ok() const { return FirstBad < 0; }
};

class TStringStream : public TIdWriteStream {
public:
  void Write(const void* Buffer, size_t Count) override { Data.append(static_cast<const char*>(Buffer), Count); }
  std::string Data;
};

// Records the work events of one client; Action runs in each work event.
class TWorkRecorder {
public:
  explicit TWorkRecorder(TIdHTTP& Http);
  std::function<void(TIdHTTP*, int64_t)> Action;
  int BeginCount = 0;
  int64_t BeginMax = -1;
  std::vector<int64_t> Counts;
  bool WrongThread = false;
  bool WorkBeforeBegin = false;

private:
  DWORD FThread;
};

// The exception F raised, or none.
std::exception_ptr Raised(const std::function<void()>& F);

// The raised exception as E, or null; valid while P holds it.
template <class E>
const E* As(const std::exception_ptr& P) {
  if (!P) return nullptr;
  try {
    std::rethrow_exception(P);
  } catch (const E& e) {
    return &e;
  } catch (...) {
  }
  return nullptr;
}

// Class name and message of the raised exception, for failure messages.
std::string Describe(const std::exception_ptr& P);

// A client with the settings the installer gives it.
void SetupInstallerClient(TIdHTTP& Http);

}  // namespace vt::test
