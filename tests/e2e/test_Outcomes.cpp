// Every outcome code of the setup, each produced by a real cause through the
// whole executable: exit code, the error box's exact English text, the links
// the window offers afterwards, the end event's log line, and nothing left.
#include <gtest/gtest.h>

#include "E2eTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"

namespace vt::test {
namespace {

struct TOutcomeRow {
  const char* Name;
  const wchar_t* Topic;  // the download side's answer (tests/worker/package_server.py); empty: the default package
  const wchar_t* Args;
  uint32_t Outcome;
  uint32_t Code;
  const wchar_t* Box;  // exact text of the error box; empty: none
  TAfter After;
  bool Installs;  // the package's product is installed afterwards
  const char* Skip = "";  // why the row cannot be produced here
};

// The reboot request a package leaves when it stops with ForceReboot (a RunOnce
// entry named after its squashed product code), removed whatever a row did.
void RemoveRebootRequest() {
  const wchar_t* squashed = L"14C8A2F3D1B6A7E4C905D2E8F1A4B637";  // {3F2A8C41-6B1D-...}
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", squashed);
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\RunOnceEntries",
                     squashed);
}

const wchar_t* const kNone = L"";

// The default package is msi/props-veltrano.msi (signed by an accepted signer;
// VTFAIL and VTREBOOT steer its installation, tests/fixtures/props.wxs).
const TOutcomeRow kRows[] = {
    // The package downloads, its signer is accepted, it installs.
    {"Installed0", kNone, L"", 0, 0, kNone, TAfter::Closes, true},
    // Nothing downloaded and no package beside the executable: nothing to do.
    {"NoDownloadNothingBeside0", kNone, L"/NODOWNLOAD", 0, 0, kNone, TAfter::Closes, false},
    // A file signed by an accepted signer that is no package: the installer
    // cannot open it (Wine 1627; Windows answers 1620).
    {"OpenFails1", L"pkg.dll/big/veltrano.dll", L"", 1, 1627, L"Error loading installation database: 1/1627",
     TAfter::Closes, false},
    {"UIHandlerFails2", kNone, L"", 2, 0, kNone, TAfter::Closes, false,
     "Wine's MsiSetExternalUIRecord succeeds for every argument (a null handler included)"},
    {"InstallerStepBroken3", kNone, L"", 3, 0, kNone, TAfter::Closes, false,
     "only an exception inside the installer step leaves 3 (memory exhausted); no outside cause raises one"},
    // The package's sequence asks for a reboot at once (ForceReboot): the
    // installer stops before installing anything with 1604, an ordinary code.
    {"RunFails4", kNone, L"VTREBOOT=1", 4, 1604, L"Error occurred during installation: 4/1604", TAfter::Closes,
     false},
    // A launch condition fails: the installer's fatal error 1603, no box.
    {"RunFatal4Silent", kNone, L"VTFAIL=1", 4, 1603, kNone, TAfter::Closes, false},
    {"RunCancelled4Silent", kNone, L"", 4, 1602, kNone, TAfter::Closes, false,
     "Wine's installer ignores the cancel answer of the progress callback and completes (the cancel rows show "
     "what the setup does)"},
    // The redirect service answers 404.
    {"DownloadFails5", L"status.404", L"", 5, 0,
     L"Error occurred during download of the product: HTTP/1.1 404 Not Found", TAfter::RetryProxy, false},
    // The same in a quiet run: no window to retry in, so it ends after the box.
    {"DownloadFails5Quiet", L"status.404", L"/QUIET", 5, 0,
     L"Error occurred during download of the product: HTTP/1.1 404 Not Found", TAfter::Closes, false},
    {"Never6", kNone, L"", 6, 0, kNone, TAfter::Closes, false, "the worker never writes 6 (the controller ignores it)"},
    // Exactly 102400 bytes arrive: too small to be a package. The download had
    // hidden the Proxy link; the reaction shows it again.
    {"WrongData7", L"bytes.102400", L"", 7, 0, L"@msgDownloadWrongData", TAfter::RetryProxy, false},
    // A command-line property the installer refuses: Wine cannot clear a
    // property whose name holds a quote (1615, bad query syntax).
    {"PropertyFails8", kNone, L"A'B=", 8, 1615, L"Error loading installation database: 8/1615", TAfter::Closes, false},
    {"LogFails9", kNone, L"/L*v \"C:\\vt-no-such-folder\\x\\install.log\"", 9, 0, kNone, TAfter::Closes, false,
     "Wine's MsiEnableLogW answers 0 for every path, also one it cannot open"},
    // An unsigned package: no signer certificate (status 8).
    {"NoCertificate10", L"pkg.msi/props-unsigned.msi", L"", 10, 8, L"Error loading installation database: 10/8",
     TAfter::Closes, false},
    // The signature value is corrupted: not trusted (Wine 0x80096004, TRUST_E_CERT_SIGNATURE).
    {"NotTrusted11", L"pkg.msi/props-badsig.msi", L"", 11, 0x80096004u,
     L"Error loading installation database: 11/2148098052", TAfter::Closes, false},
    // Signed, but not by an accepted signer.
    {"WrongSigner12", L"pkg.msi/props-other.msi", L"", 12, 5, L"Error loading installation database: 12/5",
     TAfter::Closes, false},
    // The redirect leads to a host that does not resolve (".invalid").
    {"HostNotFound13", L"invalidhost", L"", 13, 0, L"@msgConnectionError", TAfter::RetryProxy, false},
};

// A failing row names itself, not its bytes.
void PrintTo(const TOutcomeRow& Row, std::ostream* Out) { *Out << Row.Name; }

class OutcomeMatrix : public ::testing::TestWithParam<TOutcomeRow> {};

TEST_P(OutcomeMatrix, Row) {
  const TOutcomeRow& r = GetParam();
  if (*r.Skip) GTEST_SKIP() << r.Skip;
  TProductCleanup product(kPropsProduct);
  RemoveRebootRequest();
  auto reboot = ScopeExit(RemoveRebootRequest);
  std::wstring exe = SetupWithTopic(r.Topic);
  DWORD started = GetTickCount();
  TProductRun run(exe, r.Args);
  ASSERT_TRUE(run.Started());
  TRunEnd end = FinishRun(run, started, 120000);
  std::wstring box = r.Box[0] == L'@' ? English(r.Box + 1) : std::wstring(r.Box);
  ExpectEnd(end, run.LogLines(), ExtractFileName(exe), r.Outcome, r.Code, box, r.After);
  EXPECT_EQ(product.Installed(), r.Installs);
}

INSTANTIATE_TEST_SUITE_P(Setup, OutcomeMatrix, ::testing::ValuesIn(kRows),
                         [](const auto& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace vt::test
