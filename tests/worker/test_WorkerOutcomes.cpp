// Outcome paths of whole install attempts: a real worker started by the test
// as the controller starts it, against the loopback download side, with
// signed fixtures and the real Windows Installer (products installed for real
// are removed again by the test).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WorkerTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "worker/uInstallThread.h"

namespace vt::test {
namespace {

using TStages = std::vector<TProgressStage>;
const TStages kNone = {};
const TStages kStarting = {vtpsDownloadStarting};
const TStages kDownloaded = {vtpsDownloadStarting, vtpsDownloadRunning};
const TStages kInstallBegun = {vtpsDownloadStarting, vtpsDownloadRunning, vtpsInstallInit};

// Log lines written after construction that contain Part.
class TLogCount {
public:
  TLogCount() : FStart(ReadLines(EnvVar(L"VeltranoDbgLog")).size()) {}
  size_t Count(const std::string& Part) const {
    std::vector<std::string> all = ReadLines(EnvVar(L"VeltranoDbgLog"));
    size_t n = 0;
    for (size_t i = FStart; i < all.size(); ++i)
      if (all[i].find(Part) != std::string::npos) ++n;
    return n;
  }

private:
  size_t FStart;
};

struct TOutcomeCase {
  const char* Name;
  const wchar_t* Topic;  // what the download side does (package_server.py)
  bool NoDownload;
  const wchar_t* Local;  // fixture beside the executable, or none
  const wchar_t* Property;  // NAME=VALUE passed as from the command line, or none
  uint32_t LogMode;
  const wchar_t* LogFile;
  uint32_t Outcome;
  uint32_t Code;
  bool CodeOnlyOnWine;  // elsewhere only a non-zero code is expected
  const char* Text;     // part of the error text
  TStages Stages;
  bool BarFull;  // the bar ends at its maximum (a download that the installer step did not follow)
  bool Installs;
  bool SkipOnWine = false;
  const char* WineReason = "";
};

class Outcome : public ::testing::TestWithParam<TOutcomeCase> {};

TEST_P(Outcome, OfTheAttempt) {
  const TOutcomeCase& c = GetParam();
  if (c.SkipOnWine && RunningOnWine()) GTEST_SKIP() << c.WineReason;
  TProductRemoval removal(kPropsProductCode);
  std::unique_ptr<TLocalPackage> local;
  if (*c.Local) local = std::make_unique<TLocalPackage>(c.Local);
  TAttempt a;
  a.Topic = c.Topic;
  a.Options.FNoDownload = c.NoDownload;
  a.Options.FLogMode = c.LogMode;
  a.Options.FLogFile = c.LogFile;
  if (*c.Property) {
    std::wstring p = c.Property;
    size_t eq = p.find(L'=');
    a.Options.FMsiProperties.SetProperty(p.substr(0, eq), p.substr(eq + 1));
  }
  TAttemptResult r = RunAttempt(a);
  EXPECT_EQ(r.EndEvents, 1);
  EXPECT_TRUE(r.EventsOnWindowThread);
  EXPECT_EQ(r.InstallResult, c.Outcome);
  if (c.CodeOnlyOnWine && !RunningOnWine()) {
    EXPECT_NE(r.ErrorCode, 0u);
  } else {
    EXPECT_EQ(r.ErrorCode, c.Code);
  }
  if (*c.Text) {
    EXPECT_NE(r.ErrorText.find(Utf8ToWide(c.Text)), std::wstring::npos) << WideToUtf8(r.ErrorText);
  } else {
    EXPECT_EQ(r.ErrorText, L"");
  }
  EXPECT_EQ(r.Stages, c.Stages);
  // Every failure puts the bar back to 0; a finished download leaves it full.
  EXPECT_EQ(r.BarType, ptNormal);
  if (c.BarFull) {
    EXPECT_GT(r.BarMax, kRealPackageBytes);
    EXPECT_EQ(r.BarPosition, r.BarMax);
  } else {
    EXPECT_EQ(r.BarPosition, 0);
  }
  EXPECT_EQ(TProductRemoval::Installed(kPropsProductCode), c.Installs);
  EXPECT_EQ(r.OfflineMode, local != nullptr && !r.MsiFileName.empty() && r.MsiFileName == local->Path());
  if (local) {
    EXPECT_NE(GetFileAttributesW(local->Path().c_str()), INVALID_FILE_ATTRIBUTES) << "never deleted";
  }
  EXPECT_TRUE(PackagesInPrivateTemp().empty()) << "a package was left in the private temp folder";
}

const wchar_t* const kNoLog = L"";

const TOutcomeCase kOutcomeCases[] = {
    {"NoDownloadAndNoPackage", L"", true, L"", L"", 0, kNoLog, 0, 0, false, "", kNone, false, false},
    {"NotFound", L"status.404_", false, L"", L"", 0, kNoLog, 5, 0, false, "HTTP/1.1 404 Not Found", kStarting, false, false},
    {"HostNotFound", L"invalidhost_", false, L"", L"", 0, kNoLog, 13, 0, false, "", kStarting, false, false},
    {"ExactlyTheSmallestSize", L"bytes.102400_", false, L"", L"", 0, kNoLog, 7, 0, false, "", kDownloaded, false, false},
    {"OneByteMoreUnsigned", L"bytes.102401_", false, L"", L"", 0, kNoLog, 10, 8, false, "", kDownloaded, true, false},
    {"UnsignedPackage", L"pkg.msi/props-unsigned.msi_", false, L"", L"", 0, kNoLog, 10, 8, false, "", kDownloaded, true,
     false},
    // Wine: 0x80096004 (TRUST_E_CERT_SIGNATURE).
    {"CorruptedSignatureValue", L"pkg.msi/props-badsig.msi_", false, L"", L"", 0, kNoLog, 11, 0x80096004u, true, "",
     kDownloaded, true, false},
    {"SignerNotListed", L"pkg.msi/props-other.msi_", false, L"", L"", 0, kNoLog, 12, 5, false, "", kDownloaded, true,
     false},
    // Wine: 1627 for a file that is no package; Windows answers 1620.
    {"SignedFileThatIsNoPackage", L"pkg.dll/big/veltrano.dll_", false, L"", L"", 0, kNoLog, 1, 1627, true, "",
     kInstallBegun, false, false},
    {"Accepted", L"", false, L"", L"", 0, kNoLog, 0, 0, false, "", kInstallBegun, false, true},
    // Wine's installer refuses to clear a property whose name holds a quote
    // (1615, bad query syntax).
    {"PropertyRefused", L"", false, L"", L"A'B=", 0, kNoLog, 8, 1615, true, "", kInstallBegun, false, false},
    {"InstallationFails", L"", false, L"", L"VTFAIL=1", 0, kNoLog, 4, 1603, false, "", kInstallBegun, false, false},
    {"LogCannotBeEnabled", L"", false, L"", L"", 0xF9F, L"C:\\vt-no-such-folder\\sub\\install.log", 9, 0, true, "",
     kInstallBegun, false, false, true, "Wine's MsiEnableLogW answers 0 for every path, also one it cannot open"},
    // A package beside the executable after an early download failure: its
    // codes replace those of the download, and it is never deleted.
    {"LocalAfterNotFound", L"status.404_", false, L"msi/props-other.msi", L"", 0, kNoLog, 12, 5, false,
     "HTTP/1.1 404 Not Found", kStarting, false, false},
    {"LocalAfterTooSmall", L"bytes.102400_", false, L"msi/props-other.msi", L"", 0, kNoLog, 12, 5, false, "",
     kDownloaded, false, false},
    {"LocalAfterHostNotFound", L"invalidhost_", false, L"msi/props-other.msi", L"", 0, kNoLog, 12, 5, false, "",
     kStarting, false, false},
    {"LocalInstalledAfterNotFound", L"status.404_", false, L"msi/props-veltrano.msi", L"", 0, kNoLog, 0, 0, false,
     "HTTP/1.1 404 Not Found", {vtpsDownloadStarting, vtpsInstallInit}, false, true},
    {"NoDownloadWithLocalPackage", L"", true, L"msi/props-veltrano.msi", L"", 0, kNoLog, 0, 0, false, "",
     {vtpsInstallInit}, false, true},
};
INSTANTIATE_TEST_SUITE_P(Worker, Outcome, ::testing::ValuesIn(kOutcomeCases),
                         [](const auto& i) { return std::string(i.param.Name); });

TEST(Outcomes, CancelAfterRealDataHasArrivedFailsWithoutFallingBack) {
  TProductRemoval removal(kPropsProductCode);
  TLocalPackage local(L"msi/props-veltrano.msi");  // must not be used
  TAttempt a;
  a.Topic = L"slow.msi/props-veltrano.msi_";  // 150000 bytes, then a trickle
  a.OnStage = [](TInstallThread& W) {
    if (W.ProgressStage() == vtpsDownloadRunning) W.Terminate();
  };
  TLogCount log;
  TAttemptResult r = RunAttempt(a);
  EXPECT_EQ(r.InstallResult, 5u);
  EXPECT_EQ(r.ErrorText, L"Disconnected.");
  EXPECT_EQ(r.Stages, kDownloaded);
  EXPECT_TRUE(ShowedPartialProgress(r.BarTexts)) << "the bar did not follow the bytes that arrived";
  EXPECT_EQ(r.BarPosition, 0);
  EXPECT_EQ(r.BarType, ptNormal);
  EXPECT_FALSE(r.OfflineMode);
  EXPECT_EQ(log.Count("GetLocalMsiFileName"), 0u);
  EXPECT_FALSE(TProductRemoval::Installed(kPropsProductCode));
  EXPECT_TRUE(PackagesInPrivateTemp().empty());
}

TEST(Outcomes, TerminateAfterACompleteDownloadChecksAndInstallsNothing) {
  // The request is ended when the stage event comes in the final work event
  // (the whole body has arrived); in an earlier one it would cancel the
  // download instead, so such an attempt is repeated (bounded).
  const int64_t full = static_cast<int64_t>(ReadFileBytes(WorkerFixture(L"msi/props-veltrano.msi")).size());
  TProductRemoval removal(kPropsProductCode);
  for (int attempt = 0; attempt < 5; ++attempt) {
    bool terminated = false;
    TAttempt a;
    a.OnStage = [&](TInstallThread& W) {
      WIN32_FILE_ATTRIBUTE_DATA d{};
      if (W.ProgressStage() == vtpsDownloadRunning &&
          GetFileAttributesExW(W.MsiFileName().c_str(), GetFileExInfoStandard, &d) &&
          (static_cast<int64_t>(d.nFileSizeHigh) << 32 | d.nFileSizeLow) == full) {
        W.Terminate();
        terminated = true;
      } else if (W.ProgressStage() == vtpsDownloadRunning) {
        W.Terminate();  // too early: this attempt cancels the download
      }
    };
    TLogCount log;
    TAttemptResult r = RunAttempt(a);
    EXPECT_TRUE(PackagesInPrivateTemp().empty());
    if (!terminated) {
      EXPECT_EQ(r.InstallResult, 5u);
      continue;
    }
    EXPECT_EQ(r.InstallResult, 0u);
    EXPECT_EQ(r.ErrorCode, 0u);
    EXPECT_EQ(r.Stages, kDownloaded);
    EXPECT_EQ(r.BarMax, full);
    EXPECT_EQ(r.BarPosition, full);
    EXPECT_EQ(log.Count("CheckPackageSignature"), 0u);
    EXPECT_EQ(log.Count("DoInstall"), 0u);
    EXPECT_EQ(log.Count("DeleteDownloadedPackage: '" + WideToUtf8(r.MsiFileName) + "' deleted"), 1u);
    EXPECT_FALSE(TProductRemoval::Installed(kPropsProductCode));
    return;
  }
  FAIL() << "the whole body never arrived with the first stage event";
}

TEST(Outcomes, ALengthOfTheSmallestSizeOrLessNeverMovesTheBar) {
  TAttempt a;
  a.Topic = L"bytes.102400_";
  TAttemptResult r = RunAttempt(a);
  EXPECT_EQ(r.InstallResult, 7u);
  EXPECT_EQ(r.BarMax, kRealPackageBytes);
  for (const std::wstring& t : r.BarTexts) EXPECT_EQ(t, L"0 %");
  EXPECT_EQ(r.BarPosition, 0);
}

struct TProxyCase {
  const char* Name;
  TVtProxyType Type;
  const char* PortVar;  // the driver's port variable; none: a port where nothing listens
  uint32_t Outcome;
};

class ThroughProxy : public ::testing::TestWithParam<TProxyCase> {};

TEST_P(ThroughProxy, TheDownloadTakesTheProxy) {
  const TProxyCase& c = GetParam();
  TAttempt a;
  a.Topic = L"pkg.msi/props-other.msi_";
  a.Options.FProxyParams.HostName = L"127.0.0.1";
  a.Options.FProxyParams.ProxyType = c.Type;
  a.Options.FProxyParams.Port = *c.PortVar ? _wtoi(EnvVar(Utf8ToWide(c.PortVar).c_str()).c_str()) : 9;
  ASSERT_GT(a.Options.FProxyParams.Port, 0);
  TAttemptResult r = RunAttempt(a);
  EXPECT_EQ(r.InstallResult, c.Outcome) << WideToUtf8(r.ErrorText);
  EXPECT_TRUE(PackagesInPrivateTemp().empty());
}

const TProxyCase kProxyCases[] = {
    {"HttpProxy", vtptHttp, "VT_NET_HTTPPROXY_PORT", 12},
    {"Socks5", vtptSocks, "VT_NET_SOCKS_PORT", 12},
    {"NothingListens", vtptSocks, "", 5},
};
INSTANTIATE_TEST_SUITE_P(Worker, ThroughProxy, ::testing::ValuesIn(kProxyCases),
                         [](const auto& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace vt::test
