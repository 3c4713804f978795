// Service presence against the real service manager: a service created for
// the test and deleted again afterwards.
#include <gtest/gtest.h>

#include <string>

#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "sys/ServiceManager.h"

namespace vt {
namespace {

// Creates a stopped service that runs nothing, and deletes it on destruction.
class TTestService {
public:
  TTestService(const std::wstring& Name, DWORD StartType) : FName(Name) {
    FScm.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT));
    if (!FScm) return;
    // Remove a leftover of an aborted earlier run first.
    TScHandle old;
    old.Reset(OpenServiceW(FScm.Get(), Name.c_str(), DELETE));
    if (old) DeleteService(old.Get());
    old.Reset();
    FService.Reset(CreateServiceW(FScm.Get(), Name.c_str(), Name.c_str(), SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, StartType, SERVICE_ERROR_IGNORE,
                                  L"C:\\windows\\system32\\notepad.exe", nullptr, nullptr, nullptr, nullptr,
                                  nullptr));
    FCreateError = FService ? 0 : GetLastError();
  }
  ~TTestService() {
    if (FService) DeleteService(FService.Get());
  }
  bool Created() const { return static_cast<bool>(FService); }
  DWORD CreateError() const { return FCreateError; }
  const std::wstring& Name() const { return FName; }

private:
  std::wstring FName;
  TScHandle FScm;
  TScHandle FService;
  DWORD FCreateError = 0;
};

std::wstring UniqueName(const wchar_t* Base) {
  return Format(L"%s%u", {Base, static_cast<uint32_t>(GetCurrentProcessId())});
}

bool ServiceIsStopped(const std::wstring& Name) {
  TScHandle scm, svc;
  scm.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  svc.Reset(OpenServiceW(scm.Get(), Name.c_str(), SERVICE_QUERY_STATUS));
  SERVICE_STATUS st{};
  return svc && QueryServiceStatus(svc.Get(), &st) && st.dwCurrentState == SERVICE_STOPPED;
}

TEST(ServiceExists, CreatedServicePresentInAnyCaseMissingAndEmptyAbsent) {
  const std::wstring name = UniqueName(L"VtSysProbe");
  {
    TTestService svc(name, SERVICE_DEMAND_START);
    ASSERT_TRUE(svc.Created()) << svc.CreateError();
    ASSERT_TRUE(ServiceIsStopped(name));

    EXPECT_TRUE(ServiceExists(name));
    EXPECT_TRUE(ServiceExists(UpperCaseAZ(name)));
    std::wstring lower = name;
    for (auto& ch : lower)
      if (ch >= L'A' && ch <= L'Z') ch = static_cast<wchar_t>(ch + 32);
    EXPECT_TRUE(ServiceExists(lower));
    EXPECT_FALSE(ServiceExists(name + L"x"));
    EXPECT_FALSE(ServiceExists(L""));
  }
  // The teardown removed it.
  EXPECT_FALSE(ServiceExists(name));
}

TEST(ServiceExists, DisabledServiceIsPresent) {
  TTestService svc(UniqueName(L"VtSysDisabled"), SERVICE_DISABLED);
  ASSERT_TRUE(svc.Created()) << svc.CreateError();
  EXPECT_TRUE(ServiceExists(svc.Name()));
}

// The lines the test program's own debug log received since construction.
class TLogTail {
public:
  TLogTail() : FStart(test::ReadLines(test::EnvVar(L"VeltranoDbgLog")).size()) {}
  bool Has(const std::string& Line) const {
    std::vector<std::string> all = test::ReadLines(test::EnvVar(L"VeltranoDbgLog"));
    for (size_t i = FStart; i < all.size(); ++i)
      if (all[i].size() >= Line.size() && all[i].compare(all[i].size() - Line.size(), Line.size(), Line) == 0)
        return true;
    return false;
  }

private:
  size_t FStart;
};

TEST(ServiceManager, OpenRecordsNameAndLastError) {
  TLogTail log;
  TServiceManager m;
  ASSERT_TRUE(m.Connect(L".", L"", SC_MANAGER_CONNECT));
  EXPECT_EQ(m.DesiredAccess, static_cast<DWORD>(SC_MANAGER_CONNECT));

  EXPECT_FALSE(m.OpenServiceConnection(L"VtNoSuchService"));
  EXPECT_EQ(m.LastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(m.ServiceName(), L"");
  EXPECT_FALSE(m.ServiceOpen());
  EXPECT_FALSE(m.OpenServiceConnection(L""));
  EXPECT_EQ(m.LastError(), static_cast<DWORD>(ERROR_INVALID_NAME));

  const std::wstring name = UniqueName(L"VtSysOpen");
  TTestService svc(name, SERVICE_DEMAND_START);
  ASSERT_TRUE(svc.Created()) << svc.CreateError();
  EXPECT_TRUE(m.OpenServiceConnection(name));
  EXPECT_EQ(m.ServiceName(), name);
  EXPECT_TRUE(m.ServiceOpen());
  m.CloseServiceConnection();
  EXPECT_FALSE(m.ServiceOpen());
  EXPECT_EQ(m.ServiceName(), L"");
  EXPECT_TRUE(log.Has("OpenServiceConnection: 'VtNoSuchService'; False"));
  EXPECT_TRUE(log.Has("OpenServiceConnection: ''; False"));
  EXPECT_TRUE(log.Has("OpenServiceConnection: '" + WideToUtf8(name) + "'; True"));
}

TEST(ServiceManager, NoConnectionMeansNoService) {
  TServiceManager m;
  EXPECT_FALSE(m.OpenServiceConnection(L"eventlog"));
  EXPECT_EQ(m.LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ServiceExists(std::wstring(300, L'x')));
}

}  // namespace
}  // namespace vt
