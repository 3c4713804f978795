// The install worker tests play the controller: the test's main thread is the
// window thread, a worker gets the options as the controller hands them over,
// and the test waits for its end while the worker's synchronised calls run.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/uInstallOptions.h"
#include "fw/uControls.h"
#include "fw/uForms.h"
#include "ui/VTProgressBar.h"
#include "worker/uInstallThread.h"

namespace vt::test {

bool RunningOnWine();

// Windows path of a signing fixture ("msi/props-veltrano.msi").
std::wstring WorkerFixture(const std::wstring& Relative);
// Windows path under the driver script's scratch folder (VT_WORKER_WORK).
std::wstring WorkerWork(const std::wstring& Relative);

// The product code of the package that records its properties.
inline constexpr wchar_t kPropsProductCode[] = L"{3F2A8C41-6B1D-4E7A-9C50-2D8E1F4A6B73}";
inline constexpr wchar_t kManyFilesProductCode[] = L"{6E4D2C1B-8A9F-4B3C-9D2E-1F0A3B4C5D6E}";

// A label that records each change of its visibility.
class TRecordingLabel : public TLabel {
public:
  using TLabel::TLabel;
  std::vector<bool> VisibleChanges;

protected:
  void VisibleChanged() override {
    VisibleChanges.push_back(Visible());
    TLabel::VisibleChanged();
  }
};

// The controller's window as the worker sees it: a hidden form with its
// progress bar and the Cancel link, owned by the test's main thread.
struct TControllerWindow {
  TControllerWindow();
  TForm Form{nullptr};
  TVtProgressBar* Bar;
  TRecordingLabel* LinkCancel;
  std::vector<std::wstring> BarTexts;  // the bar's percentage text at each change
};

// Whether a bar's texts held a percentage strictly between 0 and 100.
bool ShowedPartialProgress(const std::vector<std::wstring>& BarTexts);

// One install attempt as the controller starts it.
struct TAttempt {
  TInstallOptions Options;
  std::wstring DownloadName = L"VeltranoShieldSetup";
  std::wstring Refer;
  std::wstring Topic;
  // Runs inside each stage event, on the window thread.
  std::function<void(TInstallThread& Worker)> OnStage;
  TOnInstallProgressSetMax OnProgressSetMax;
  TOnInstallProgressSetPos OnProgressSetPos;
  DWORD TimeoutMs = 120000;
  // The window whose bar and Cancel link the worker gets; none: a new one.
  TControllerWindow* Window = nullptr;
};

struct TAttemptResult {
  uint32_t InstallResult = 0xFFFFFFFF;
  uint32_t ErrorCode = 0xFFFFFFFF;
  std::wstring ErrorText;
  std::vector<TProgressStage> Stages;
  std::wstring ProductName;
  int EndEvents = 0;
  bool EventsOnWindowThread = true;
  std::wstring URL;
  std::wstring MsiFileName;
  bool OfflineMode = false;
  // The bar and the Cancel link once the worker has ended.
  int64_t BarPosition = -1;
  int64_t BarMax = -1;
  TProgressBarType BarType = ptMarquee;
  std::vector<std::wstring> BarTexts;
  bool CancelVisible = false;
  bool CancelEnabled = false;
};

// Creates a worker, hands over the attempt, starts it and waits (bounded) for
// its end event; then frees it, as the controller does.
TAttemptResult RunAttempt(const TAttempt& Attempt);

// The name the worker gives its download (in the private temp folder).
std::wstring DownloadTarget(const std::wstring& Refer = L"");
// The package files (*.msi) in the private temp folder.
std::vector<std::wstring> PackagesInPrivateTemp();

// A copy of a fixture where the worker looks for a package beside its
// executable, removed again on destruction.
class TLocalPackage {
public:
  explicit TLocalPackage(const std::wstring& Fixture, const std::wstring& AltVer = L"");
  ~TLocalPackage();
  TLocalPackage(const TLocalPackage&) = delete;
  TLocalPackage& operator=(const TLocalPackage&) = delete;
  const std::wstring& Path() const { return FPath; }

private:
  std::wstring FPath;
};

// Removes the product when the scope begins (a leftover of an earlier run)
// and when it ends, whatever happened in between.
class TProductRemoval {
public:
  explicit TProductRemoval(std::wstring ProductCode);
  ~TProductRemoval();
  TProductRemoval(const TProductRemoval&) = delete;
  TProductRemoval& operator=(const TProductRemoval&) = delete;
  static bool Installed(const std::wstring& ProductCode);

private:
  std::wstring FCode;
};

// What the properties package recorded (value name -> data, without "v:").
std::map<std::wstring, std::wstring> PackageRecord();

// The request lines the package server logged after construction.
class TRequestLog {
public:
  TRequestLog();
  std::vector<std::string> Lines() const;
  // Whether Line arrives within TimeoutMs.
  bool WaitFor(const std::string& Line, DWORD TimeoutMs = 5000) const;

private:
  size_t FStart;
};

// Points TMP and TEMP at Folder for the scope (the private temp folder follows).
class TTempOverride {
public:
  explicit TTempOverride(const std::wstring& Folder);
  ~TTempOverride();
  TTempOverride(const TTempOverride&) = delete;
  TTempOverride& operator=(const TTempOverride&) = delete;

private:
  std::wstring FTmp, FTemp;
  bool FHadTmp, FHadTemp;
};

}  // namespace vt::test
