#include "WorkerTestUtils.h"

#include <windows.h>
#include <msi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "common/TestUtils.h"
#include "fw/uGraphics.h"
#include "fw/uSysUtils.h"
#include "fw/uThread.h"
#include "lang/Language.h"
#include "net/uHttpClient.h"
#include "sys/OsUnit.h"

namespace vt::test {
namespace {

// The units the worker relies on start as in the product.
class TWorkerEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    GraphicsInitialization();
    FormsInitialization();
    OsUnitInitialization();
    WorkerLanguageInitialization();
    NetInitialization();
  }
  void TearDown() override {
    NetFinalization();
    WorkerLanguageFinalization();
    FormsFinalization();
    GraphicsFinalization();
  }
};

[[maybe_unused]] ::testing::Environment* const gWorkerEnv =
    ::testing::AddGlobalTestEnvironment(new TWorkerEnvironment);

std::wstring Slashes(std::wstring Path) {
  for (auto& c : Path)
    if (c == L'/') c = L'\\';
  return Path;
}

}  // namespace

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::wstring WorkerFixture(const std::wstring& Relative) {
  return Slashes(L"Z:" + EnvVar(L"VT_BINARY_DIR") + L"/fixtures/" + Relative);
}

std::wstring WorkerWork(const std::wstring& Relative) {
  std::wstring base = EnvVar(L"VT_WORKER_WORK");
  EXPECT_FALSE(base.empty()) << "VT_WORKER_WORK is not set: run the tests through run_worker_tests.sh";
  return Slashes(base + L"/" + Relative);
}

TControllerWindow::TControllerWindow() {
  Form.SetBounds(0, 0, 800, 157);
  Bar = new TVtProgressBar(&Form);
  Bar->SetParent(&Form);
  Bar->SetBounds(20, 90, 697, 19);
  Bar->OnTextChange = [this](TComponent*, const std::wstring& T) { BarTexts.push_back(T); };
  LinkCancel = new TRecordingLabel(&Form);
  LinkCancel->SetParent(&Form);
  LinkCancel->SetBounds(700, 130, 60, 16);
  LinkCancel->SetCaption(L"Cancel");
  Form.LoadedAll();
}

bool ShowedPartialProgress(const std::vector<std::wstring>& BarTexts) {
  for (const std::wstring& t : BarTexts) {
    int percent = _wtoi(t.c_str());
    if (percent > 0 && percent < 100) return true;
  }
  return false;
}

TAttemptResult RunAttempt(const TAttempt& A) {
  TAttemptResult r;
  std::unique_ptr<TControllerWindow> own;
  TControllerWindow* window = A.Window;
  if (!window) {
    own = std::make_unique<TControllerWindow>();
    window = own.get();
  }
  auto w = std::make_unique<TInstallThread>();
  // The window's one bar serves both steps; no action label.
  w->SetPBActionProgress(window->Bar);
  w->SetPBDownloadProgress(window->Bar);
  w->SetLinkCancel(window->LinkCancel);
  // The hand-over of the controller: options by value, proxy and properties as copies.
  w->SetProxyParams(A.Options.FProxyParams);
  w->SetMsiProperties(A.Options.FMsiProperties);
  w->FAltVer = A.Options.FAltVer;
  w->FCenv = A.Options.FCenv;
  w->FLogMode = A.Options.FLogMode;
  w->FLogAttributes = A.Options.FLogAttributes;
  w->FLogFile = A.Options.FLogFile;
  w->FInstallDir = A.Options.FInstallDir;
  w->FRefer = A.Refer;
  w->FDownloadName = A.DownloadName;
  w->FTopic = A.Topic;
  w->FNoDownload = A.Options.FNoDownload;
  w->SetLabelActionDisplayName(nullptr);
  w->SetOnProgressSetMax(A.OnProgressSetMax);
  w->SetOnProgressSetPos(A.OnProgressSetPos);
  w->SetOnSetStage([&](TThread* Sender) {
    auto* t = static_cast<TInstallThread*>(Sender);
    r.EventsOnWindowThread = r.EventsOnWindowThread && IsMainThread();
    r.Stages.push_back(t->ProgressStage());
    if (t->ProgressStage() == vtpsInstallRunning) r.ProductName = t->ProductName();
    if (A.OnStage) A.OnStage(*t);
  });
  w->OnTerminate = [&](TThread* Sender) {
    auto* t = dynamic_cast<TInstallThread*>(Sender);
    if (!t) return;
    r.EventsOnWindowThread = r.EventsOnWindowThread && IsMainThread();
    ++r.EndEvents;
    r.InstallResult = t->FInstallResult;
    r.ErrorCode = t->FErrorCode;
    r.ErrorText = t->ErrorText();
  };
  w->Start();
  if (WaitForHandle(w->Handle(), A.TimeoutMs) == WAIT_TIMEOUT) {
    ADD_FAILURE() << "the worker did not end within " << A.TimeoutMs << " ms; terminating it";
    w->Terminate();
    WaitForHandle(w->Handle(), 60000);
  }
  r.URL = w->URL();
  r.MsiFileName = w->MsiFileName();
  r.OfflineMode = w->OfflineMode();
  w.reset();
  r.BarPosition = window->Bar->Position();
  r.BarMax = window->Bar->Max();
  r.BarType = window->Bar->ProgressBarType();
  r.BarTexts = window->BarTexts;
  r.CancelVisible = window->LinkCancel->Visible();
  r.CancelEnabled = window->LinkCancel->Enabled();
  return r;
}

std::wstring DownloadTarget(const std::wstring& Refer) {
  std::wstring exe = ExtractFileName(GetModulePath());
  return PrivateTempFolder() + ReferNameOf(Refer) + EditionNameOf(exe) + L"Setup" + NameSuffixOf(exe, L"") + L".msi";
}

std::vector<std::wstring> PackagesInPrivateTemp() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd{};
  HANDLE h = FindFirstFileW((PrivateTempFolder() + L"*.msi").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  TFindHandle guard(h);
  do {
    names.push_back(fd.cFileName);
  } while (FindNextFileW(h, &fd));
  return names;
}

TLocalPackage::TLocalPackage(const std::wstring& Fixture, const std::wstring& AltVer) {
  std::wstring exe = ExtractFileName(GetModulePath());
  FPath = ExtractFilePath(GetModulePath()) + ReferNameOf(L"") + EditionNameOf(exe) + L"Setup" +
          (Use64BitPackage() ? L"64" : L"32") + NameSuffixOf(exe, AltVer) + L".msi";
  EXPECT_TRUE(CopyFileW(WorkerFixture(Fixture).c_str(), FPath.c_str(), FALSE)) << "cannot place " << WideToUtf8(FPath);
}

TLocalPackage::~TLocalPackage() { DeleteFileW(FPath.c_str()); }

TProductRemoval::TProductRemoval(std::wstring ProductCode) : FCode(std::move(ProductCode)) {
  if (Installed(FCode)) MsiConfigureProductW(FCode.c_str(), INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
}

TProductRemoval::~TProductRemoval() {
  if (Installed(FCode)) {
    UINT r = MsiConfigureProductW(FCode.c_str(), INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
    EXPECT_EQ(r, 0u) << "the product could not be removed";
  }
}

bool TProductRemoval::Installed(const std::wstring& ProductCode) {
  return MsiQueryProductStateW(ProductCode.c_str()) == INSTALLSTATE_DEFAULT;
}

std::map<std::wstring, std::wstring> PackageRecord() {
  std::map<std::wstring, std::wstring> values;
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\VeltranoFixture\\Props", 0, KEY_READ | KEY_WOW64_32KEY, &k))
    return values;
  THKey key(k);
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256, type = 0, size = 0;
    if (RegEnumValueW(k, i, name, &nameLen, nullptr, &type, nullptr, &size)) break;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    nameLen = 256;
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegEnumValueW(k, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes)) break;
    data.resize(wcsnlen(data.c_str(), data.size()));
    if (data.starts_with(L"v:")) data.erase(0, 2);
    values[name] = data;
  }
  return values;
}

TRequestLog::TRequestLog() : FStart(ReadLines(EnvVar(L"VT_PKG_LOG")).size()) {}

std::vector<std::string> TRequestLog::Lines() const {
  std::vector<std::string> all = ReadLines(EnvVar(L"VT_PKG_LOG"));
  if (all.size() <= FStart) return {};
  return std::vector<std::string>(all.begin() + static_cast<ptrdiff_t>(FStart), all.end());
}

bool TRequestLog::WaitFor(const std::string& Line, DWORD TimeoutMs) const {
  for (DWORD waited = 0;; waited += 50) {
    std::vector<std::string> lines = Lines();
    if (std::find(lines.begin(), lines.end(), Line) != lines.end()) return true;
    if (waited >= TimeoutMs) return false;
    Sleep(50);
  }
}

TTempOverride::TTempOverride(const std::wstring& Folder)
    : FTmp(EnvVar(L"TMP")), FTemp(EnvVar(L"TEMP")), FHadTmp(!FTmp.empty()), FHadTemp(!FTemp.empty()) {
  SetEnvironmentVariableW(L"TMP", Folder.c_str());
  SetEnvironmentVariableW(L"TEMP", Folder.c_str());
}

TTempOverride::~TTempOverride() {
  SetEnvironmentVariableW(L"TMP", FHadTmp ? FTmp.c_str() : nullptr);
  SetEnvironmentVariableW(L"TEMP", FHadTemp ? FTemp.c_str() : nullptr);
}

}  // namespace vt::test
