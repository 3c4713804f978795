// Install worker benchmark program (run by bench/worker_download.sh and
// bench/worker_install.sh): one install worker under a shown main window with
// its progress bar and the application's message loop, as the setup runs it;
// prints what it measured as name=value lines.
//   worker_bench.exe download TOPIC   the download of the redirect service's TOPIC,
//                                     timed from its first stage event to the
//                                     bar's 100 %; then the worker is stopped
//   worker_bench.exe install LOGFILE  the installer step ("/L*v" into LOGFILE) of
//                                     the package beside this program, timed from
//                                     its stage event to the worker's end
//   worker_bench.exe msiexec PACKAGE  "msiexec /i PACKAGE /qn", timed to its exit
//   worker_bench.exe idle             the same start-up and window, no worker
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <memory>
#include <string>

#include "fw/uForms.h"
#include "fw/uGraphics.h"
#include "fw/uThread.h"
#include "fw/uWinHandles.h"
#include "lang/Language.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"
#include "net/uHttpClient.h"
#include "sys/OsUnit.h"
#include "ui/VTProgressBar.h"
#include "worker/uInstallThread.h"

namespace {

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  return GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc) ? pmc.PeakWorkingSetSize : 0;
}

int RunMsiexec(const std::wstring& Package) {
  std::wstring cmd = L"msiexec /i \"" + Package + L"\" /qn";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  double t0 = Now();
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
  vt::THandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(process.Get(), 300000) != WAIT_OBJECT_0) return 1;
  double t1 = Now();
  DWORD code = 1;
  GetExitCodeProcess(process.Get(), &code);
  std::printf("seconds=%.4f\nexit_code=%lu\n", t1 - t0, static_cast<unsigned long>(code));
  return code == 0 ? 0 : 1;
}

int RunWorker(const std::wstring& Mode, const std::wstring& Arg, uint32_t LogMode) {
  using namespace vt;
  // The main window as the setup shows it: 800 by 157 with its bar.
  auto* form = new TForm(nullptr);
  std::unique_ptr<TForm> formOwner(form);
  form->SetBounds(100, 100, 800, 157);
  form->SetCaption(L"Veltrano Shield");
  auto* bar = new TVtProgressBar(form);
  bar->SetParent(form);
  bar->SetBounds(51, 90, 697, 19);
  auto* cancel = new TLabel(form);
  cancel->SetParent(form);
  cancel->SetBounds(690, 125, 60, 16);
  cancel->SetCaption(L"Cancel");
  form->LoadedAll();
  Application().SetMainForm(form);

  auto worker = std::make_unique<TInstallThread>();
  worker->SetPBActionProgress(bar);
  worker->SetPBDownloadProgress(bar);
  worker->SetLinkCancel(cancel);
  worker->FDownloadName = L"VeltranoShieldSetup";
  const bool download = Mode == L"download";
  if (download) {
    worker->FTopic = Arg;
  } else {
    worker->FNoDownload = true;
    worker->FLogMode = LogMode;
    worker->FLogFile = Arg == L"-" ? L"" : Arg;
  }
  double t0 = 0, t1 = 0, tEnd = 0;
  int percentEvents = 0;
  worker->SetOnSetStage([&](TThread*) {
    TProgressStage s = worker->ProgressStage();
    if ((download && s == vtpsDownloadStarting) || (!download && s == vtpsInstallInit)) t0 = Now();
  });
  bar->OnTextChange = [&](TComponent*, const std::wstring& Text) {
    ++percentEvents;
    if (download && Text == L"100 %" && t1 == 0 && worker->ProgressStage() == vtpsDownloadRunning) {
      t1 = Now();
      worker->Terminate();  // the body then neither checks nor installs
    }
  };
  worker->OnTerminate = [&](TThread*) {
    tEnd = Now();
    Application().Terminate();
  };
  bool started = false;
  Application().OnIdle = [&](bool&) {
    if (!started) {
      started = true;
      worker->Start();
    }
  };
  Application().Run();
  const uint32_t outcome = worker->FInstallResult, code = worker->FErrorCode;
  const std::wstring text = worker->ErrorText();
  worker.reset();
  if (download) {
    if (t1 == 0) {
      std::fprintf(stderr, "the download did not complete: outcome %u, %ls\n", outcome, text.c_str());
      return 1;
    }
    std::printf("seconds=%.4f\n", t1 - t0);
  } else {
    if (outcome != 0) {
      std::fprintf(stderr, "the installation failed: outcome %u, error %u\n", outcome, code);
      return 1;
    }
    std::printf("seconds=%.4f\n", tEnd - t0);
  }
  std::printf("bar_text_changes=%d\n", percentEvents);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring mode = argc >= 2 ? argv[1] : L"";
  std::wstring arg = argc >= 3 ? argv[2] : L"";
  if (mode == L"msiexec" && !arg.empty()) return RunMsiexec(arg);
  if (mode != L"idle" && (arg.empty() || (mode != L"download" && mode != L"install"))) {
    std::fprintf(stderr, "usage: worker_bench download TOPIC | install LOGFILE | msiexec PACKAGE | idle\n");
    return 2;
  }
  vt::DebugLogInitialization();
  vt::DebugLogUtilsInitialization();
  vt::ThreadSyncInitialization();
  vt::GraphicsInitialization();
  vt::FormsInitialization();
  vt::OsUnitInitialization();
  vt::WorkerLanguageInitialization();
  vt::NetInitialization();
  int rc = 0;
  try {
    // "/L*v" unless a third argument gives other log mode bits (hexadecimal).
    uint32_t logMode = argc >= 4 ? static_cast<uint32_t>(wcstoul(argv[3], nullptr, 16)) : 0x1F9F;
    if (mode != L"idle") rc = RunWorker(mode, arg, logMode);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "worker_bench: %s\n", e.what());
    rc = 1;
  }
  std::printf("peak_working_set=%lu\n", static_cast<unsigned long>(PeakWorkingSet()));
  vt::NetFinalization();
  vt::WorkerLanguageFinalization();
  vt::FormsFinalization();
  vt::GraphicsFinalization();
  vt::ThreadSyncFinalization();
  vt::DebugLogUtilsFinalization();
  vt::DebugLogFinalization();
  return rc;
}
