#include "NetTestUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "fw/uSysUtils.h"

namespace vt::test {

namespace {

// The client needs the network library once per process, as in the product.
class TNetEnvironment : public ::testing::Environment {
public:
  void SetUp() override { NetInitialization(); }
  void TearDown() override { NetFinalization(); }
};

[[maybe_unused]] ::testing::Environment* const gNetEnv = ::testing::AddGlobalTestEnvironment(new TNetEnvironment);

}  // namespace

std::string NetEnv(const char* Name) {
  const char* v = std::getenv(Name);
  return v ? std::string(v) : std::string();
}

int NetPort(const char* Name) {
  std::string var = std::string("VT_NET_") + Name + "_PORT";
  int port = std::atoi(NetEnv(var.c_str()).c_str());
  EXPECT_GT(port, 0) << var << " is not set: run the tests through run_net_tests.sh";
  return port;
}

std::wstring NetUrl(const wchar_t* Scheme, const char* PortName, const std::wstring& Path, const wchar_t* Host) {
  return std::wstring(Scheme) + L"://" + Host + L":" + std::to_wstring(NetPort(PortName)) + Path;
}

void TPatternStream::Write(const void* Buffer, size_t Count) {
  const unsigned char* p = static_cast<const unsigned char*>(Buffer);
  if (FirstBad < 0)
    for (size_t i = 0; i < Count; ++i)
      if (p[i] != static_cast<unsigned char>((Size + static_cast<int64_t>(i)) % 251)) {
        FirstBad = Size + static_cast<int64_t>(i);
        break;
      }
  Size += static_cast<int64_t>(Count);
}

TWorkRecorder::TWorkRecorder(TIdHTTP& Http) : FThread(GetCurrentThreadId()) {
  Http.OnWorkBegin = [this](TIdHTTP*, TWorkMode, int64_t Max) {
    if (GetCurrentThreadId() != FThread) WrongThread = true;
    ++BeginCount;
    BeginMax = Max;
  };
  Http.OnWork = [this](TIdHTTP* Sender, TWorkMode, int64_t Count) {
    if (GetCurrentThreadId() != FThread) WrongThread = true;
    if (BeginCount == 0) WorkBeforeBegin = true;
    Counts.push_back(Count);
    if (Action) Action(Sender, Count);
  };
}

void SetupInstallerClient(TIdHTTP& Http) {
  Http.UserAgent = kTestUserAgent;
  Http.HandleRedirects = true;
  Http.ConnectTimeout = 60000;
  Http.ReadTimeout = 60000;
}

std::exception_ptr Raised(const std::function<void()>& F) {
  try {
    F();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

std::string Describe(const std::exception_ptr& P) {
  if (!P) return "no exception";
  if (auto* e = As<Exception>(P)) return WideToUtf8(e->ClassName() + L": " + e->Message());
  if (auto* e = As<std::exception>(P)) return e->what();
  return "unknown exception";
}

}  // namespace vt::test
