// Cancel (confirmed) and the close button (confirmed) at every stage of an
// install attempt, through the whole executable: the codes the attempt ends
// with, whether the window closes or offers Retry, nothing left behind, and
// an end within a bound. The debug log shows that each cancel landed in the
// stage it was meant for.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "E2eTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"

namespace vt::test {
namespace {

enum class TStage {
  HeadRequest,     // the probe request, answered late by the server
  DownloadBefore,  // the download has begun, 102400 bytes or fewer have arrived
  DownloadAfter,   // more than 102400 bytes have arrived
  SignatureCheck,  // the downloaded package's signature is being checked
  Installing,      // the installer step runs
  TooLate,         // asked during the download, confirmed after the attempt has ended
};

enum class TBy { CancelLink, CloseButton };

struct TCancelRow {
  const char* Name;
  TStage Stage;
  TBy By;
  const wchar_t* Topic;
  const wchar_t* Args;
  uint32_t Outcome;
  uint32_t Code;
  const wchar_t* Box;  // exact text of the box after the cancel; empty: none
  TAfter After;
  const wchar_t* Product;  // the package's product
  bool Installs;
  DWORD BoundSeconds;
  // Wine's installer ignores the callback's cancel answer and completes; the
  // Windows Installer rolls back and answers 1602 (outcome 4, no box).
  bool WineIgnoresCancel = false;
};

constexpr wchar_t kDisconnected[] = L"Error occurred during download of the product: Disconnected.";
constexpr wchar_t kInstallLog[] = L"/L*v \"${VT_E2E_WORK}\\cancel-install.log\"";

const TCancelRow kRows[] = {
    // The HEAD request is answered after 5 s and is not interrupted; the GET
    // that follows stops at its first work event.
    {"HeadRequestCancel", TStage::HeadRequest, TBy::CancelLink, L"headdelay.5/300000", L"", 5, 0, kDisconnected,
     TAfter::RetryProxy, kPropsProduct, false, 45},
    {"HeadRequestClose", TStage::HeadRequest, TBy::CloseButton, L"headdelay.5/300000", L"", 5, 0, kDisconnected,
     TAfter::RetryProxy, kPropsProduct, false, 45},
    // 8 KiB at once, then 4 KiB/s: the cancel lands well below 102400 bytes,
    // so the package beside the executable is looked for (there is none).
    {"DownloadBeforeCancel", TStage::DownloadBefore, TBy::CancelLink, L"pace.8192/4096/msi/large-veltrano.msi", L"", 5,
     0, kDisconnected, TAfter::Retry, kLargeProduct, false, 60},
    {"DownloadBeforeClose", TStage::DownloadBefore, TBy::CloseButton, L"pace.8192/4096/msi/large-veltrano.msi", L"", 5,
     0, kDisconnected, TAfter::Retry, kLargeProduct, false, 60},
    // 150000 bytes at once, then 10 KiB/s: no fallback after real data.
    {"DownloadAfterCancel", TStage::DownloadAfter, TBy::CancelLink, L"slow.msi/large-veltrano.msi", L"", 5, 0,
     kDisconnected, TAfter::Retry, kLargeProduct, false, 60},
    {"DownloadAfterClose", TStage::DownloadAfter, TBy::CloseButton, L"slow.msi/large-veltrano.msi", L"", 5, 0,
     kDisconnected, TAfter::Retry, kLargeProduct, false, 60},
    // The 128 MiB package's signature check: the installer step never begins.
    {"SignatureCheckCancel", TStage::SignatureCheck, TBy::CancelLink, L"pkg.msi/large-veltrano.msi", L"", 0, 0, L"",
     TAfter::Closes, kLargeProduct, false, 120},
    {"SignatureCheckClose", TStage::SignatureCheck, TBy::CloseButton, L"pkg.msi/large-veltrano.msi", L"", 0, 0, L"",
     TAfter::Closes, kLargeProduct, false, 120},
    // The installer step with "/L": the installer's messages reach the
    // setup, whose progress answers carry the cancel.
    {"InstallingCancel", TStage::Installing, TBy::CancelLink, L"pace.0/131072/msi/props-veltrano.msi", kInstallLog, 0,
     0, L"", TAfter::Closes, kPropsProduct, true, 120, true},
    {"InstallingClose", TStage::Installing, TBy::CloseButton, L"pace.0/131072/msi/props-veltrano.msi", kInstallLog, 0,
     0, L"", TAfter::Closes, kPropsProduct, true, 120, true},
    // Without "/L" the installer passes the setup no message at all, so a
    // cancel cannot reach it, on Windows too: the product is installed.
    {"InstallingCancelWithoutLog", TStage::Installing, TBy::CancelLink, L"pace.0/131072/msi/props-veltrano.msi", L"", 0,
     0, L"", TAfter::Closes, kPropsProduct, true, 120},
    // The attempt ends (installed) while the confirmation waits: its end is
    // handled under the open box, and the late Yes changes nothing.
    {"TooLateCancel", TStage::TooLate, TBy::CancelLink, L"pace.0/131072/msi/props-veltrano.msi", L"", 0, 0, L"",
     TAfter::Closes, kPropsProduct, true, 120},
    {"TooLateClose", TStage::TooLate, TBy::CloseButton, L"pace.0/131072/msi/props-veltrano.msi", L"", 0, 0, L"",
     TAfter::Closes, kPropsProduct, true, 120},
};

// The size of the package being downloaded into the private temp folder; -1 when there is none.
int64_t DownloadedBytes() {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  if (!GetFileAttributesExW((SetupTempFolder() + L"VeltranoShieldSetup.msi").c_str(), GetFileExInfoStandard, &d))
    return -1;
  return static_cast<int64_t>(d.nFileSizeHigh) << 32 | d.nFileSizeLow;
}

// The size the download ended with, from "<- FileSize('...'): result = N".
int64_t MeasuredSize(const std::vector<std::string>& Lines) {
  long i = FindLine(Lines, "<- FileSize(");
  if (i < 0) return -1;
  size_t at = Lines[i].find("result = ");
  return at == std::string::npos ? -1 : std::atoll(Lines[i].c_str() + at + 9);
}

// Waits for the moment of the row's stage at which the user asks to cancel.
bool WaitForStage(TProductRun& Run, TStage Stage, size_t RequestsBefore) {
  switch (Stage) {
    case TStage::HeadRequest:
      return Eventually([&] {
        auto r = Requests();
        for (size_t i = RequestsBefore; i < r.size(); ++i)
          if (r[i].rfind("HEAD /headdelay/", 0) == 0) return true;
        return false;
      });
    case TStage::DownloadBefore:
    case TStage::SignatureCheck:
    case TStage::Installing:
    case TStage::TooLate:
      // The download runs (more than 4096 bytes): the Proxy link has gone.
      return Eventually([&] {
        HWND proxy = Run.FindControl(L"Proxy");
        return proxy && !IsWindowVisible(proxy) && DownloadedBytes() > 4096;
      });
    case TStage::DownloadAfter:
      return Eventually([&] {
        HWND proxy = Run.FindControl(L"Proxy");
        return proxy && !IsWindowVisible(proxy) && DownloadedBytes() > 102400;
      });
  }
  return false;
}

// The log line of the step the cancel must land in ("-> ..." opens it, "<- ..." closes it).
const char* StepOf(TStage Stage) {
  switch (Stage) {
    case TStage::HeadRequest: return "TIdHTTP.Head";
    case TStage::DownloadBefore:
    case TStage::DownloadAfter: return "TIdHTTP.Get";
    case TStage::SignatureCheck: return "TInstallThread.CheckPackageSignature";
    case TStage::Installing: return "TInstallThread.DoInstall";
    case TStage::TooLate: return "OnInstallThreadTerminate";
  }
  return "";
}

// A failing row names itself, not its bytes.
void PrintTo(const TCancelRow& Row, std::ostream* Out) { *Out << Row.Name; }

class CancelMatrix : public ::testing::TestWithParam<TCancelRow> {};

// One run of a row, from the start to the end of the process.
struct TAttemptEnd {
  TRunEnd End;
  std::vector<std::string> Lines;  // its debug log
  bool Landed = false;             // the cancel fell inside the step it was meant for
};

TAttemptEnd Attempt(const TCancelRow& R, const std::wstring& Exe) {
  TAttemptEnd a;
  size_t requests = Requests().size();
  DWORD started = GetTickCount();
  TProductRun run(Exe, Expand(R.Args));
  HWND main = run.WaitForMainWindow();
  EXPECT_NE(main, nullptr);
  EXPECT_TRUE(main && WaitForStage(run, R.Stage, requests)) << "the stage was never reached";

  // The user asks to cancel and is asked to confirm.
  if (R.By == TBy::CancelLink)
    run.Click(run.FindControl(L"Cancel"));
  else
    PostMessageW(main, WM_CLOSE, 0, 0);
  auto confirm = run.WaitForBox();
  EXPECT_TRUE(confirm);
  if (!confirm) return a;
  EXPECT_EQ(confirm->Text, English(L"msgConfirmCancel"));
  // The download goes on while the box waits; the later stages are answered
  // once their step has begun.
  std::string step = StepOf(R.Stage);
  if (R.Stage == TStage::SignatureCheck || R.Stage == TStage::Installing) {
    EXPECT_TRUE(run.WaitForLog("-> " + step, 60000));
  } else if (R.Stage == TStage::TooLate) {
    EXPECT_TRUE(run.WaitForLog(step, 60000));
  }
  run.AnswerBox(*confirm, IDYES);
  a.End = FinishRun(run, started, R.BoundSeconds * 1000, R.By == TBy::CloseButton);
  a.Lines = run.LogLines();
  long begun = FindLine(a.Lines, "-> " + step);
  long asked = FindLine(a.Lines, "cancel confirmed; the worker is asked to terminate");
  long ended = FindLine(a.Lines, "<- " + step, begun < 0 ? 0 : begun);
  a.Landed = begun >= 0 && begun < asked && asked < ended;
  return a;
}

TEST_P(CancelMatrix, Row) {
  const TCancelRow& r = GetParam();
  TProductCleanup product(r.Product);
  std::wstring exe = SetupWithTopic(r.Topic);
  // The two later steps last a few hundred milliseconds: on a loaded machine a
  // Yes may come after the step has ended. Such a run is repeated (bounded).
  const bool timed = r.Stage == TStage::SignatureCheck || r.Stage == TStage::Installing;
  TAttemptEnd a;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    a = Attempt(r, exe);
    if (a.Landed || !timed || HasFailure()) break;
    std::printf("%s: the cancel missed its step in attempt %d; again\n", r.Name, attempt);
    product.Remove();
  }

  bool wine = RunningOnWine();
  uint32_t outcome = r.WineIgnoresCancel && !wine ? 4 : r.Outcome;
  uint32_t code = r.WineIgnoresCancel && !wine ? 1602 : r.Code;
  ExpectEnd(a.End, a.Lines, ExtractFileName(exe), outcome, code, r.Box, r.After);
  EXPECT_LT(a.End.Milliseconds, r.BoundSeconds * 1000) << "the run took too long";
  EXPECT_EQ(product.Installed(), r.WineIgnoresCancel && !wine ? false : r.Installs);

  const auto& lines = a.Lines;
  if (r.Stage == TStage::TooLate) {
    // Only the close request still asks the (ended) worker to stop; nothing follows from it.
    EXPECT_EQ(CountLines(lines, "cancel confirmed"), r.By == TBy::CloseButton ? 1u : 0u);
    EXPECT_LT(FindLine(lines, "OnInstallThreadTerminate"), FindLine(lines, "Done with ExitCode=0"));
    return;
  }
  EXPECT_TRUE(a.Landed) << "the cancel did not land in " << StepOf(r.Stage);
  EXPECT_EQ(CountLines(lines, "cancel confirmed"), 1u);
  int64_t size = MeasuredSize(lines);
  switch (r.Stage) {
    case TStage::DownloadBefore:
      EXPECT_LE(size, 102400);
      EXPECT_EQ(CountLines(lines, "-> TInstallThread.GetLocalMsiFileName"), 1u) << "the package beside is looked for";
      break;
    case TStage::DownloadAfter:
      EXPECT_GT(size, 102400);
      EXPECT_EQ(CountLines(lines, "GetLocalMsiFileName"), 0u) << "no fallback after real data";
      break;
    case TStage::HeadRequest:
      break;
    case TStage::SignatureCheck:
      EXPECT_EQ(CountLines(lines, "cancelled during the signature check; nothing installed"), 1u);
      EXPECT_EQ(CountLines(lines, "TInstallThread.DoInstall"), 0u);
      break;
    case TStage::Installing:
      // The setup's part: with the installer's messages flowing it answers cancel.
      EXPECT_EQ(CountLines(lines, "the installer is answered IDCANCEL"), *r.Args ? 1u : 0u);
      break;
    case TStage::TooLate:
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Setup, CancelMatrix, ::testing::ValuesIn(kRows),
                         [](const auto& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace vt::test
