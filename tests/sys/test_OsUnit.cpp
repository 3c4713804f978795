// Windows version classification: the class table, the version text, the
// cache and retry of the version query.
#include <gtest/gtest.h>

#include <cwchar>

#include "fw/uSysUtils.h"
#include "sys/OsUnit.h"

namespace vt {
namespace {

struct TVersionCase {
  const wchar_t* What;
  DWORD Platform;
  DWORD Major, Minor, Build;
  BYTE ProductType;
  WORD SuiteMask;
  const wchar_t* ServicePack;
  bool Is64Bit;
  int32_t Class;
  const wchar_t* Text;
};

constexpr DWORD k9x = VER_PLATFORM_WIN32_WINDOWS;
constexpr DWORD kNT = VER_PLATFORM_WIN32_NT;
constexpr BYTE kWs = VER_NT_WORKSTATION;
constexpr BYTE kSrv = VER_NT_SERVER;
constexpr BYTE kDc = VER_NT_DOMAIN_CONTROLLER;

const TVersionCase kCases[] = {
    {L"Win32s", VER_PLATFORM_WIN32s, 3, 10, 0, 0, 0, L"", false, -1, L"Windows Unknown "},
    {L"9x 4.0", k9x, 4, 0, 950, 0, 0, L"", false, 0, L"Windows 95 "},
    {L"9x 4.10", k9x, 4, 10, 1998, 0, 0, L"", false, 1, L"Windows 98 "},
    {L"9x 4.10 SE", k9x, 4, 10, 2222, 0, 0, L" A ", false, 2, L"Windows 98SE  A "},
    {L"9x 4.10 B is not SE", k9x, 4, 10, 2222, 0, 0, L" B", false, 1, L"Windows 98  B"},
    {L"9x 4.90", k9x, 4, 90, 3000, 0, 0, L"", false, 3, L"Windows ME "},
    {L"9x unknown", k9x, 4, 20, 0, 0, 0, L"", false, -1, L"Windows Unknown "},
    {L"other platform", 3, 10, 0, 19045, kWs, 0, L"", true, -1, L"Windows Unknown "},
    {L"NT 3.51", kNT, 3, 51, 1057, kWs, 0, L"", false, 4, L"Windows NT "},
    {L"NT 4.0", kNT, 4, 0, 1381, kWs, 0, L"Service Pack 6", false, 4, L"Windows NT Service Pack 6"},
    {L"2000", kNT, 5, 0, 2195, kWs, 0, L"", false, 5, L"Windows 2000 "},
    {L"XP", kNT, 5, 1, 2600, kWs, 0, L"Service Pack 3", false, 6, L"Windows XP Service Pack 3"},
    {L"2003", kNT, 5, 2, 3790, kSrv, 0, L"", false, 7, L"Windows 2003 "},
    {L"XP x64 (5.2 workstation)", kNT, 5, 2, 3790, kWs, 0, L"", true, 7, L"Windows 2003 "},
    {L"5.3", kNT, 5, 3, 0, kWs, 0, L"", false, 128, L"Unknown (5.3) "},
    {L"Vista x86", kNT, 6, 0, 6002, kWs, 0, L"Service Pack 2", false, 8, L"Windows Vista x86 Service Pack 2"},
    {L"Vista x64", kNT, 6, 0, 6002, kWs, 0, L"", true, 9, L"Windows Vista x64 "},
    {L"2008 x86", kNT, 6, 0, 6002, kSrv, 0, L"", false, 10, L"Windows 2008x86 "},
    {L"2008 x64 DC", kNT, 6, 0, 6002, kDc, 0, L"", true, 11, L"Windows 2008x64 "},
    {L"7 x86", kNT, 6, 1, 7601, kWs, 0, L"Service Pack 1", false, 12, L"Windows 7x86 Service Pack 1"},
    {L"7 x64", kNT, 6, 1, 7601, kWs, 0, L"", true, 13, L"Windows 7x64 "},
    {L"7 with the WH suite bit stays 7", kNT, 6, 1, 7601, kWs, kSuiteWHServer, L"", true, 13, L"Windows 7x64 "},
    {L"2008 R2 x86", kNT, 6, 1, 7601, kSrv, 0, L"", false, 14, L"Windows 2008 R2x86 "},
    {L"2008 R2 x64", kNT, 6, 1, 7601, kSrv, VER_SUITE_ENTERPRISE, L"", true, 15, L"Windows 2008 R2x64 "},
    {L"2011 on 6.0 x86", kNT, 6, 0, 6002, kSrv, kSuiteWHServer, L"", false, 16, L"Windows 2011x86 "},
    {L"2011 on 6.1 x64", kNT, 6, 1, 7601, kSrv, kSuiteWHServer | VER_SUITE_SMALLBUSINESS, L"", true, 17,
     L"Windows 2011x64 "},
    {L"8 x86", kNT, 6, 2, 9200, kWs, 0, L"", false, 18, L"Windows 8x86 "},
    {L"8 x64", kNT, 6, 2, 9200, kWs, 0, L"", true, 19, L"Windows 8x64 "},
    {L"2012 x86", kNT, 6, 2, 9200, kSrv, 0, L"", false, 20, L"Windows 2012x86 "},
    {L"2012 x64, WH bit ignored on 6.2", kNT, 6, 2, 9200, kSrv, kSuiteWHServer, L"", true, 21,
     L"Windows 2012x64 "},
    {L"8.1 x86", kNT, 6, 3, 9600, kWs, 0, L"", false, 22, L"Windows 8.1x86 "},
    {L"8.1 x64", kNT, 6, 3, 9600, kWs, 0, L"", true, 23, L"Windows 8.1x64 "},
    {L"2012 R2 x86", kNT, 6, 3, 9600, kSrv, 0, L"", false, 24, L"Windows 2012 R2x86 "},
    {L"2012 R2 x64, WH bit ignored on 6.3", kNT, 6, 3, 9600, kSrv, kSuiteWHServer, L"", true, 25,
     L"Windows 2012 R2x64 "},
    {L"6.4 workstation", kNT, 6, 4, 9841, kWs, 0, L"", true, 128, L"Unknown (6.4) "},
    {L"6.4 server", kNT, 6, 4, 9841, kSrv, 0, L"Beta", true, 128, L"Unknown (6.4) Beta"},
    {L"10 x86", kNT, 10, 0, 19045, kWs, 0, L"", false, 26, L"Windows 10x86 "},
    {L"10 x64", kNT, 10, 0, 19045, kWs, 0, L"", true, 27, L"Windows 10x64 "},
    {L"10 x64 last build below 11", kNT, 10, 0, 21999, kWs, 0, L"", true, 27, L"Windows 10x64 "},
    {L"2016 x86", kNT, 10, 0, 14393, kSrv, 0, L"", false, 28, L"Windows 2016x86 "},
    {L"2016 x64", kNT, 10, 0, 14393, kSrv, 0, L"", true, 29, L"Windows 2016x64 "},
    {L"2016 x64 last build", kNT, 10, 0, 16999, kDc, 0, L"", true, 29, L"Windows 2016x64 "},
    {L"2019 x86 first build", kNT, 10, 0, 17000, kSrv, 0, L"", false, 30, L"Windows 2019x86 "},
    {L"2019 x64", kNT, 10, 0, 17763, kSrv, 0, L"", true, 31, L"Windows 2019x64 "},
    {L"2022 x64 (20348)", kNT, 10, 0, 20348, kSrv, 0, L"", true, 31, L"Windows 2019x64 "},
    {L"11 x86", kNT, 10, 0, 22631, kWs, 0, L"", false, 32, L"Windows 11x86 "},
    {L"11 x64 first build", kNT, 10, 0, 22000, kWs, 0, L"", true, 33, L"Windows 11x64 "},
    {L"11 x64", kNT, 10, 0, 22631, kWs, 0, L"", true, 33, L"Windows 11x64 "},
    {L"2021 x86", kNT, 10, 0, 22000, kSrv, 0, L"", false, 34, L"Windows 2021x86 "},
    {L"2025 x64 (26100)", kNT, 10, 0, 26100, kSrv, 0, L"", true, 35, L"Windows 2021x64 "},
    {L"10.1", kNT, 10, 1, 0, kWs, 0, L"", true, 128, L"Unknown (10.1) "},
    {L"7.0", kNT, 7, 0, 0, kWs, 0, L"", true, 128, L"Unknown (7.0) "},
    {L"11.0", kNT, 11, 0, 30000, kWs, 0, L"", true, 128, L"Unknown (11.0) "},
};

OSVERSIONINFOEXW MakeInfo(const TVersionCase& c) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwPlatformId = c.Platform;
  info.dwMajorVersion = c.Major;
  info.dwMinorVersion = c.Minor;
  info.dwBuildNumber = c.Build;
  info.wProductType = c.ProductType;
  info.wSuiteMask = c.SuiteMask;
  wcsncpy(info.szCSDVersion, c.ServicePack, 127);
  return info;
}

TEST(OsVersionClass, ClassAndTextForEveryRow) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << WideToUtf8(c.What));
    OSVERSIONINFOEXW info = MakeInfo(c);
    const int32_t cls = ClassifyOSVersion(info, c.Is64Bit);
    EXPECT_EQ(cls, c.Class);
    EXPECT_EQ(WideToUtf8(MakeOSVersionText(cls, info)), WideToUtf8(c.Text));
  }
}

TEST(OsVersionClass, ServerClasses) {
  const int32_t servers[] = {7, 10, 11, 14, 15, 20, 21, 24, 25, 28, 29, 30, 31};
  for (int32_t cls = -2; cls <= 130; ++cls) {
    bool expected = false;
    for (int32_t s : servers) expected = expected || s == cls;
    EXPECT_EQ(IsServerClass(cls), expected) << cls;
  }
}

TEST(OsVersionClass, PackageDecision) {
  EXPECT_TRUE(Decide64BitPackage(true, false));
  EXPECT_FALSE(Decide64BitPackage(true, true));
  EXPECT_FALSE(Decide64BitPackage(false, false));
  EXPECT_FALSE(Decide64BitPackage(false, true));
}

// A scripted version query: fails a given number of times, then reports 10.0.19045.
int gQueryCalls = 0;
int gQueryFailures = 0;
DWORD gQuerySize = 0;
bool ScriptedQuery(OSVERSIONINFOEXW& Info) {
  ++gQueryCalls;
  gQuerySize = Info.dwOSVersionInfoSize;
  if (gQueryCalls <= gQueryFailures) return false;
  Info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  Info.dwMajorVersion = 10;
  Info.dwMinorVersion = 0;
  Info.dwBuildNumber = 19045;
  Info.wProductType = VER_NT_WORKSTATION;
  Info.wServicePackMajor = 0;
  return true;
}

TEST(OsVersionProbe, FailedQueryIsRetriedThenCached) {
  gQueryCalls = 0;
  gQueryFailures = 2;
  TOSVersionProbe probe(&ScriptedQuery, true);
  EXPECT_EQ(probe.VersionClass(), -1);
  EXPECT_EQ(probe.VersionClass(), -1);
  EXPECT_EQ(gQueryCalls, 2);
  EXPECT_EQ(probe.VersionClass(), 27);
  EXPECT_EQ(gQueryCalls, 3);
  EXPECT_EQ(gQuerySize, 284u);
  EXPECT_EQ(probe.VersionClass(), 27);
  EXPECT_EQ(WideToUtf8(probe.VersionText()), "Windows 10x64 ");
  EXPECT_EQ(gQueryCalls, 3);
  EXPECT_EQ(probe.BuildNumber(), 19045u);
  EXPECT_EQ(probe.MajorVersion(), 10u);
  EXPECT_FALSE(probe.IsServer());
}

TEST(OsVersionProbe, TextIsEmptyWhileTheQueryFails) {
  gQueryCalls = 0;
  gQueryFailures = 100;
  TOSVersionProbe probe(&ScriptedQuery, false);
  EXPECT_EQ(WideToUtf8(probe.VersionText()), "");
  EXPECT_EQ(probe.VersionClass(), -1);
}

TEST(OsVersionProbe, NativeArchitectureOtherThanX64CountsAs32Bit) {
  gQueryCalls = 0;
  gQueryFailures = 0;
  TOSVersionProbe probe(&ScriptedQuery, false);
  EXPECT_EQ(probe.VersionClass(), 26);
  EXPECT_EQ(WideToUtf8(probe.VersionText()), "Windows 10x86 ");
}

}  // namespace
}  // namespace vt
