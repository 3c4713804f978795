// What reaches the package: real installations of the package that records
// the properties it received in the registry, from command lines parsed as
// the setup parses them; and the installer's messages during a real run.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "WorkerTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"
#include "worker/uInstallThread.h"

namespace vt::test {
namespace {

struct TPropsCase {
  const char* Name;
  std::vector<std::wstring> Args;  // the command line after the program
  bool DialogCredentialsWithoutAuth;  // as the proxy dialog can leave them
  std::map<std::wstring, std::wstring> Expected;
};

class Properties : public ::testing::TestWithParam<TPropsCase> {};

TEST_P(Properties, ReachThePackage) {
  const TPropsCase& c = GetParam();
  // The folder "/DIR" named: Wine's removal leaves it and its file behind.
  auto folder = ScopeExit([] {
    DeleteFileW(L"C:\\vt-props-target\\payload.bin");
    RemoveDirectoryW(L"C:\\vt-props-target");
  });
  TProductRemoval removal(kPropsProductCode);
  TLocalPackage local(L"msi/props-veltrano.msi");
  TAttempt a;
  ParseInstallArguments(c.Args, a.Options);
  ASSERT_EQ(a.Options.FUnsupportedParams, L"");
  if (c.DialogCredentialsWithoutAuth) {
    a.Options.FProxyParams.UserName = L"dialog-user";
    a.Options.FProxyParams.Password = L"dialog-pass";
    a.Options.FProxyParams.UseAuth = false;
  }
  a.Options.FNoDownload = true;  // the proxy settings only go to the package here
  TAttemptResult r = RunAttempt(a);
  ASSERT_EQ(r.InstallResult, 0u) << r.ErrorCode;
  // Without a "/L" switch the installer passes no message to the worker.
  EXPECT_EQ(r.Stages, std::vector<TProgressStage>{vtpsInstallInit});
  std::map<std::wstring, std::wstring> got = PackageRecord();
  for (const auto& [name, value] : c.Expected) {
    ASSERT_TRUE(got.count(name)) << WideToUtf8(name) << " was not recorded";
    EXPECT_EQ(got[name], value) << WideToUtf8(name);
  }
}

const TPropsCase kPropsCases[] = {
    {"DirBeatsTheInstallFolderProperty",
     {L"INSTALLFOLDER=C:\\vt-props-elsewhere\\", L"/DIR=C:\\vt-props-target", L"vtcmdprop=hello",
      L"UNDERBOOTSTRAPPER=0", L"/CENV=staging"},
     false,
     {{L"INSTALLFOLDER", L"C:\\vt-props-target\\"},
      {L"UNDERBOOTSTRAPPER", L"1"},
      {L"VTCMDPROP", L"hello"},
      {L"CENV", L"staging"},
      {L"PROXYSERVER", L""},
      {L"PROXYPORT", L""},
      {L"PROXYTYPE", L""},
      {L"BSQUIET", L""}}},
    {"RelayWithPortZero",
     {L"/PROXYSERVER=relay.example", L"/PROXYTYPE=RelayProxy", L"/PROXYPORT=0"},
     false,
     // The relay account is the download's own: never passed on.
     {{L"PROXYSERVER", L"relay.example"},
      {L"PROXYPORT", L"0"},
      {L"PROXYTYPE", L"RelayProxy"},
      {L"PROXYUSERNAME", L""},
      {L"PROXYPASSWORD", L""}}},
    {"StandardSocksWithoutAuthentication",
     {L"/PROXYSERVER=socks.example", L"/PROXYTYPE=socks", L"/PROXYPORT=1080"},
     true,
     {{L"PROXYSERVER", L"socks.example"},
      {L"PROXYPORT", L"1080"},
      {L"PROXYTYPE", L"socks"},
      {L"PROXYUSERNAME", L""},
      {L"PROXYPASSWORD", L""}}},
    {"HttpProxyWithCredentials",
     {L"/PROXYSERVER=proxy.example", L"/PROXYPORT=3128", L"/PROXYUSERNAME=alice", L"/PROXYPASSWORD=s3 cret"},
     false,
     {{L"PROXYSERVER", L"proxy.example"},
      {L"PROXYPORT", L"3128"},
      {L"PROXYTYPE", L"http"},
      {L"PROXYUSERNAME", L"alice"},
      {L"PROXYPASSWORD", L"s3 cret"}}},
    {"QuietAndALowerCaseName",
     {L"/quiet", L"vtCmdProp=lower"},
     false,
     {{L"BSQUIET", L"1"}, {L"VTCMDPROP", L"lower"}, {L"INSTALLFOLDER", L"C:\\Program Files (x86)\\VeltranoProps\\"}}},
};
INSTANTIATE_TEST_SUITE_P(Worker, Properties, ::testing::ValuesIn(kPropsCases),
                         [](const auto& i) { return std::string(i.param.Name); });

struct TLoggedRunCase {
  const char* Name;
  std::vector<std::wstring> Args;  // "@LOG@" stands for a file in a temp folder
  bool WritesLog;
};

class LoggedRun : public ::testing::TestWithParam<TLoggedRunCase> {};

TEST_P(LoggedRun, MovesTheBarAndReportsTheCaption) {
  const TLoggedRunCase& c = GetParam();
  TProductRemoval removal(kPropsProductCode);
  TLocalPackage local(L"msi/props-veltrano.msi");
  TTempDir dir;
  const std::wstring logFile = dir.File(L"install.log");
  TAttempt a;
  std::vector<std::wstring> args = c.Args;
  for (auto& s : args)
    if (s == L"@LOG@") s = logFile;
  ParseInstallArguments(args, a.Options);
  a.Options.FNoDownload = true;
  std::vector<int32_t> positions, maxima;
  a.OnProgressSetPos = [&](TInstallThread*, int32_t P) { positions.push_back(P); };
  a.OnProgressSetMax = [&](TInstallThread*, int32_t M) { maxima.push_back(M); };
  TControllerWindow window;
  window.LinkCancel->SetEnabled(false);  // as after a cancel request the user took back
  a.Window = &window;
  TAttemptResult r = RunAttempt(a);
  ASSERT_EQ(r.InstallResult, 0u) << r.ErrorCode;
  ASSERT_GE(r.Stages.size(), 2u);
  EXPECT_EQ(r.Stages.front(), vtpsInstallInit);
  EXPECT_EQ(r.Stages.back(), vtpsInstallRunning);
  EXPECT_EQ(r.ProductName, L"Veltrano Props Fixture");
  ASSERT_FALSE(maxima.empty());
  EXPECT_GT(maxima.front(), 0);
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.front(), 0);  // the installer step begins at 0
  int32_t top = 0;
  for (int32_t p : positions) top = p > top ? p : top;
  EXPECT_GT(top, 0) << "the bar never moved";
  EXPECT_TRUE(ShowedPartialProgress(r.BarTexts));
  EXPECT_EQ(r.BarMax, static_cast<int64_t>(static_cast<uint32_t>(maxima.back())));
  // The installer step enables the link; the installer hides it while it
  // cannot be cancelled and shows it again.
  EXPECT_TRUE(r.CancelEnabled);
  EXPECT_TRUE(r.CancelVisible);
  EXPECT_NE(std::find(window.LinkCancel->VisibleChanges.begin(), window.LinkCancel->VisibleChanges.end(), false),
            window.LinkCancel->VisibleChanges.end());
  EXPECT_EQ(GetFileAttributesW(logFile.c_str()) != INVALID_FILE_ATTRIBUTES, c.WritesLog);
  if (c.WritesLog) {
    EXPECT_FALSE(ReadFileBytes(logFile).empty());
  }
}

const TLoggedRunCase kLoggedRunCases[] = {
    {"WithLogFile", {L"/L*", L"@LOG@"}, true},
    // Letters without a file: no log, but the messages still come.
    {"WithoutLogFile", {L"/L*"}, false},
};
INSTANTIATE_TEST_SUITE_P(Worker, LoggedRun, ::testing::ValuesIn(kLoggedRunCases),
                         [](const auto& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace vt::test
