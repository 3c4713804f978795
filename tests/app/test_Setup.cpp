// The setup executable as a user meets it: started as a child process against
// the loopback download side, its window and message boxes read and answered
// through the window system, its links clicked, its exit code and debug log
// read. run_setup_tests.sh starts the servers and makes the rebranded copies.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>

#include <memory>
#include <string>
#include <vector>

#include "common/ProductRun.h"
#include "common/TestUtils.h"
#include "common/UiTestUtils.h"
#include "fw/uForms.h"
#include "fw/uGraphics.h"
#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"
#include "lang/LngStrings.h"

namespace vt {
namespace {

using test::TProductRun;

[[maybe_unused]] const bool kWindows = test::UseWindows();

constexpr wchar_t kPropsProduct[] = L"{3F2A8C41-6B1D-4E7A-9C50-2D8E1F4A6B73}";

std::wstring CopyOf(const wchar_t* Name) { return test::WinPath(test::EnvVar(L"VT_COPIES")) + L"\\" + Name; }

// The English text of a main-window catalogue key.
std::wstring English(const wchar_t* Key) {
  for (const TLocale& l : GetBuiltInLocales())
    if (l.LngID == L"en-us")
      for (const TLocaleSection& s : l.Sections)
        if (s.SectionID == L"frmMain")
          for (const TLngItem& i : s.Items)
            if (i.StringID == Key) return i.Value;
  return L"?";
}

// The fixture package's product leaves the prefix again, whatever a test did.
struct TRemoveProps {
  TRemoveProps() { Remove(); }
  ~TRemoveProps() { Remove(); }
  static void Remove() {
    if (MsiQueryProductStateW(kPropsProduct) == INSTALLSTATE_DEFAULT)
      MsiConfigureProductW(kPropsProduct, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
  }
  static bool Installed() { return MsiQueryProductStateW(kPropsProduct) == INSTALLSTATE_DEFAULT; }
};

// Requests the download side has answered so far.
size_t RequestCount() { return test::ReadLines(test::WinPath(test::EnvVar(L"VT_PKG_LOG"))).size(); }

size_t Count(const std::vector<std::string>& Lines, const std::string& Text) {
  size_t n = 0;
  for (const auto& l : Lines) n += l.find(Text) != std::string::npos;
  return n;
}

bool NoPackageLeft() {
  for (const auto& f : test::SetupTempFiles())
    if (f.size() > 4 && _wcsicmp(f.c_str() + f.size() - 4, L".msi") == 0) return false;
  return true;
}

// Waits (bounded) until Pred holds.
template <class F>
bool Eventually(F Pred, DWORD TimeoutMs = 20000) {
  DWORD start = GetTickCount();
  while (!Pred()) {
    if (GetTickCount() - start > TimeoutMs) return false;
    Sleep(20);
  }
  return true;
}

TEST(Setup, ASuccessfulRunInstallsAndClosesSilentlyWithExitCode0) {
  TRemoveProps cleanup;
  TProductRun run(test::LoopbackExe(), L"");
  ASSERT_TRUE(run.Started());
  ASSERT_NE(run.WaitForMainWindow(), nullptr);
  EXPECT_EQ(run.WaitForExit(), 0u);
  EXPECT_FALSE(run.WaitForBox(0));
  EXPECT_TRUE(run.LogContains("OnInstallThreadTerminate: ir=0; ec=0"));
  EXPECT_TRUE(run.LogContains("Done with ExitCode=0"));
  EXPECT_TRUE(TRemoveProps::Installed());
  EXPECT_TRUE(NoPackageLeft());
}

TEST(Setup, QuietNeverShowsTheWindowAndAGoodRunEndsWithExitCode0) {
  TRemoveProps cleanup;
  TProductRun run(test::LoopbackExe(), L"/QUIET");
  ASSERT_TRUE(run.Started());
  bool shown = false;
  while (run.Running()) {
    HWND w = run.WaitForMainWindow(0);  // a quiet run may never make its window at all
    shown |= w && IsWindowVisible(w);
    Sleep(5);
  }
  EXPECT_FALSE(shown);
  EXPECT_EQ(run.WaitForExit(), 0u);
  EXPECT_TRUE(TRemoveProps::Installed());
}

TEST(Setup, AQuietRunEndsAfterADownloadErrorWithItsOutcomeCode) {
  // The window would offer Retry; a quiet run has none, so it ends with the code.
  TProductRun run(CopyOf(L"notfound.exe"), L"/QUIET");
  EXPECT_EQ(run.AnswerNextBox(IDOK), L"Error occurred during download of the product: HTTP/1.1 404 Not Found");
  EXPECT_EQ(run.WaitForExit(), 5u);
  HWND w = run.WaitForMainWindow(0);
  EXPECT_FALSE(w && IsWindowVisible(w));
}

TEST(Setup, UnsupportedArgumentsGiveOneBoxEachOnItsLineAndNoRequest) {
  size_t before = RequestCount();
  TProductRun run(test::LoopbackExe(), L"/foo -Bar");
  auto box = run.WaitForBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->Text, L"Following parameters are wrong:\r\n/foo\r\n-Bar");
  EXPECT_EQ(box->Caption, L"Veltrano Shield");
  run.AnswerBox(*box, IDOK);
  EXPECT_EQ(run.WaitForExit(), 0u);
  EXPECT_FALSE(run.WaitForBox(0));
  EXPECT_EQ(RequestCount(), before);
  EXPECT_EQ(Count(run.LogLines(), "TET+TInstallThread"), 0u);
}

TEST(Setup, AFatalInstallerErrorClosesSilentlyWithExitCode4) {
  TRemoveProps cleanup;
  TProductRun run(test::LoopbackExe(), L"VTFAIL=1");
  EXPECT_EQ(run.WaitForExit(), 4u);
  EXPECT_FALSE(run.WaitForBox(0));
  EXPECT_TRUE(run.LogContains("OnInstallThreadTerminate: ir=4; ec=1603"));
  EXPECT_FALSE(TRemoveProps::Installed());
  EXPECT_TRUE(NoPackageLeft());
}

// Cancel, close, Retry and the links around a download that runs slowly.
TEST(Setup, CancelCloseAndRetryAroundADownload) {
  TProductRun run(CopyOf(L"slow.exe"), L"");
  ASSERT_NE(run.WaitForMainWindow(), nullptr);
  HWND proxy = nullptr, cancel = nullptr;
  ASSERT_TRUE(Eventually([&] { return (proxy = run.FindControl(L"Proxy")) && (cancel = run.FindControl(L"Cancel")); }));
  // The download runs: the Proxy link goes.
  ASSERT_TRUE(Eventually([&] { return !IsWindowVisible(proxy); }));
  HWND title = run.FindControl(English(L"msgDownloading"));
  ASSERT_NE(title, nullptr);
  test::SaveWindowScreenshot(run.WaitForMainWindow(), L"setup-downloading");

  // Cancel asks; Yes ends the download with the client's disconnect.
  run.Click(cancel);
  auto confirm = run.WaitForBox();
  ASSERT_TRUE(confirm);
  EXPECT_EQ(confirm->Text, English(L"msgConfirmCancel"));
  run.AnswerBox(*confirm, IDYES);
  auto error = run.WaitForBox();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Text.rfind(L"Error occurred during download of the product: ", 0), 0u) << WideToUtf8(error->Text);
  run.AnswerBox(*error, IDOK);
  HWND retry = nullptr;
  ASSERT_TRUE(Eventually([&] { return (retry = run.FindControl(L"Retry")) && IsWindowVisible(retry); }));
  EXPECT_FALSE(IsWindowVisible(proxy));
  EXPECT_EQ(run.ControlText(title), L"");
  EXPECT_TRUE(run.Running());

  // Idle moments come and go; no second worker starts by itself.
  for (int i = 0; i < 20; ++i) {
    PostMessageW(run.WaitForMainWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    Sleep(10);
  }
  Sleep(300);
  EXPECT_EQ(Count(run.LogLines(), "TET+TInstallThread"), 1u);

  // Retry: a new worker, the old one freed, the Proxy link back.
  run.Click(retry);
  ASSERT_TRUE(run.WaitForLog("TET-TInstallThread"));
  EXPECT_TRUE(Eventually([&] { return Count(run.LogLines(), "TET+TInstallThread") == 2; }));
  EXPECT_FALSE(IsWindowVisible(retry));
  ASSERT_TRUE(Eventually([&] { return !IsWindowVisible(proxy); }));  // shown, then hidden by the running download

  // The close button during the download: confirmed, the window stays until
  // the worker has ended and reported.
  PostMessageW(run.WaitForMainWindow(), WM_CLOSE, 0, 0);
  confirm = run.WaitForBox();
  ASSERT_TRUE(confirm);
  run.AnswerBox(*confirm, IDYES);
  error = run.WaitForBox();
  ASSERT_TRUE(error);
  EXPECT_TRUE(run.Running());
  EXPECT_TRUE(IsWindow(run.WaitForMainWindow()));
  run.AnswerBox(*error, IDOK);
  ASSERT_TRUE(Eventually([&] { return IsWindowVisible(retry); }));

  // Cancel after the error: asks, then closes with the download's code.
  run.Click(cancel);
  confirm = run.WaitForBox();
  ASSERT_TRUE(confirm);
  run.AnswerBox(*confirm, IDYES);
  EXPECT_EQ(run.WaitForExit(), 5u);
  EXPECT_TRUE(run.LogContains("OnInstallThreadTerminate: ir=5; ec=0"));
  EXPECT_TRUE(NoPackageLeft());
}

TEST(Setup, ADownloadErrorShowsItsTextTheRetryAndProxyLinksAndZeroPercent) {
  TProductRun run(CopyOf(L"notfound.exe"), L"");
  HWND main = run.WaitForMainWindow();
  ASSERT_NE(main, nullptr);
  auto error = run.WaitForBox();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Text, L"Error occurred during download of the product: HTTP/1.1 404 Not Found");
  run.AnswerBox(*error, IDOK);
  wchar_t caption[64] = {};
  GetWindowTextW(main, caption, 64);
  EXPECT_EQ(std::wstring(caption), L"Veltrano Shield");
  HWND retry = nullptr, proxy = nullptr;
  ASSERT_TRUE(Eventually([&] { return (retry = run.FindControl(L"Retry")) && IsWindowVisible(retry); }));
  proxy = run.FindControl(L"Proxy");
  EXPECT_TRUE(proxy && IsWindowVisible(proxy));
  EXPECT_NE(run.FindControl(L"0 %"), nullptr);
  Sleep(100);
  test::SaveWindowScreenshot(main, L"setup-download-error");

  // The links: hover gives the hover colour and an underline; leaving
  // restores exactly what was there.
  RECT r;
  GetWindowRect(retry, &r);
  ASSERT_TRUE(test::MoveMouse(r.left - 200, r.top - 300));
  Sleep(100);
  auto before = test::Grab(retry);
  ASSERT_TRUE(test::MoveMouse((r.left + r.right) / 2, (r.top + r.bottom) / 2));
  bool hover = Eventually([&] {
    auto now = test::Grab(retry);
    for (int y = 0; y < now->Height(); ++y)
      for (int x = 0; x < now->Width(); ++x)
        if (now->Pixel(x, y) == RGBColor(4, 169, 251)) return true;
    return false;
  }, 5000);
  EXPECT_TRUE(hover);
  ASSERT_TRUE(test::MoveMouse(r.left - 200, r.top - 300));
  bool restored = Eventually([&] {
    auto now = test::Grab(retry);
    for (int y = 0; y < now->Height(); ++y)
      for (int x = 0; x < now->Width(); ++x)
        if (now->Pixel(x, y) != before->Pixel(x, y)) return false;
    return true;
  }, 5000);
  EXPECT_TRUE(restored);

  // The top band drags the window; a press on the body does not.
  RECT w0;
  GetWindowRect(main, &w0);
  auto drag = [&](int x, int y) {
    ASSERT_TRUE(test::MoveMouse(x, y));
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &in, sizeof(in));
    Sleep(100);
    test::MoveMouse(x + 30, y + 20);
    Sleep(100);
    in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof(in));
    Sleep(200);
  };
  drag(w0.left + 300, w0.top + 20);
  RECT w1;
  GetWindowRect(main, &w1);
  EXPECT_EQ(w1.left - w0.left, 30);
  EXPECT_EQ(w1.top - w0.top, 20);
  drag(w1.left + 300, w1.top + 100);
  RECT w2;
  GetWindowRect(main, &w2);
  EXPECT_EQ(w2.left, w1.left);
  EXPECT_EQ(w2.top, w1.top);

  run.Click(run.FindControl(L"Cancel"));
  auto confirm = run.WaitForBox();
  ASSERT_TRUE(confirm);
  run.AnswerBox(*confirm, IDYES);
  EXPECT_EQ(run.WaitForExit(), 5u);
}

TEST(Setup, InstallingShowsTheProductCaption) {
  TRemoveProps cleanup;
  test::TTempDir dir;
  TProductRun run(test::LoopbackExe(), L"/L*v \"" + dir.File(L"install.log") + L"\"");
  HWND main = run.WaitForMainWindow();
  ASSERT_NE(main, nullptr);
  HWND title = nullptr;
  // The caption arrives with the installer's messages ("/L*" lets them through).
  bool seen = Eventually([&] { return (title = run.FindControl(L"Installing Veltrano Props Fixture...")) != nullptr; },
                         60000);
  if (seen) test::SaveWindowScreenshot(main, L"setup-installing");
  EXPECT_EQ(run.WaitForExit(), 0u);
  EXPECT_TRUE(seen || run.LogContains("vtpsInstallRunning"));
  EXPECT_FALSE(test::ReadFileBytes(dir.File(L"install.log")).empty());
}

// The branding resources of an executable file: name and text.
std::vector<std::pair<std::wstring, std::wstring>> BrandingOf(const std::wstring& Exe) {
  std::vector<std::pair<std::wstring, std::wstring>> out;
  HMODULE m = LoadLibraryExW(Exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return out;
  for (const wchar_t* n : {L"REB_REFER", L"REB_PRODUCTNAME", L"REB_DOWNLOADNAME", L"REB_TOPIC"}) {
    HRSRC r = FindResourceW(m, n, RT_RCDATA);
    if (!r) continue;
    DWORD size = SizeofResource(m, r);
    const wchar_t* p = static_cast<const wchar_t*>(LockResource(LoadResource(m, r)));
    out.emplace_back(n, std::wstring(p, size / 2));
  }
  FreeLibrary(m);
  return out;
}

// Whether the file still carries the other resources: manifest, version, pictures.
bool KeepsOtherResources(const std::wstring& Exe) {
  HMODULE m = LoadLibraryExW(Exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return false;
  bool ok = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) &&
            FindResourceW(m, MAKEINTRESOURCEW(1), RT_VERSION) && FindResourceW(m, L"QSCLOSE", RT_RCDATA) &&
            FindResourceW(m, L"chbNormSel", RT_RCDATA);
  FreeLibrary(m);
  return ok;
}

TEST(Setup, RebrandedCopiesCarryExactlyTheResourcesAskedFor) {
  using TList = std::vector<std::pair<std::wstring, std::wstring>>;
  EXPECT_EQ(BrandingOf(test::LoopbackExe()),
            (TList{{L"REB_PRODUCTNAME", L"Veltrano Shield"}, {L"REB_DOWNLOADNAME", L"VeltranoShieldSetup"}}));
  EXPECT_EQ(BrandingOf(CopyOf(L"refer.exe")), (TList{{L"REB_REFER", L"partner7"},
                                                     {L"REB_PRODUCTNAME", L"Veltrano Shield"},
                                                     {L"REB_DOWNLOADNAME", L"VeltranoShieldSetup"}}));
  EXPECT_EQ(BrandingOf(CopyOf(L"noproduct.exe")), (TList{{L"REB_DOWNLOADNAME", L"VeltranoShieldSetup"}}));
  EXPECT_EQ(BrandingOf(CopyOf(L"notfound.exe")), (TList{{L"REB_PRODUCTNAME", L"Veltrano Shield"},
                                                        {L"REB_DOWNLOADNAME", L"VeltranoShieldSetup"},
                                                        {L"REB_TOPIC", L"status.404_"}}));
  for (const wchar_t* c : {L"refer.exe", L"noproduct.exe", L"seven.exe", L"emptyrefer.exe"})
    EXPECT_TRUE(KeepsOtherResources(CopyOf(c))) << WideToUtf8(c);
}

struct TBrandCase {
  const wchar_t* Copy;  // nullptr: the template
  const wchar_t* Args;
  const char* Expected;  // in the log
  const wchar_t* Caption;
};

TEST(Setup, BrandingResources) {
  const TBrandCase cases[] = {
      {nullptr, L"", "product='Veltrano Shield'; download='VeltranoShieldSetup'; refer=''; topic=''", L"Veltrano Shield"},
      {nullptr, L"/NOREB", "product='Veltrano Shield'; download='VeltranoShieldSmallSetup'; refer=''", L"Veltrano Shield"},
      {L"refer.exe", L"/NOREB", "product='Veltrano Shield'; download='VeltranoShieldSetup'; refer='partner7'",
       L"Veltrano Shield"},
      // A referrer resource of zero bytes.
      {L"emptyrefer.exe", L"/NOREB", "download='VeltranoShieldSmallSetup'; refer=''", L"Veltrano Shield"},
      {L"seven.exe", L"", "product='ABC'; download='VeltranoShieldSetup'", L"ABC"},
  };
  for (const TBrandCase& c : cases) {
    SCOPED_TRACE(c.Copy ? WideToUtf8(c.Copy) : std::string("template"));
    TProductRun run(c.Copy ? CopyOf(c.Copy) : test::LoopbackExe(), std::wstring(c.Args) + test::kQuietRun);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_TRUE(run.LogContains(c.Expected)) << c.Expected;
    // The window's caption is the product name (a quiet run may never make the window).
    EXPECT_TRUE(run.LogContains("product='" + WideToUtf8(c.Caption) + "'"));
  }
  // Without its product name the template refuses to start.
  size_t before = RequestCount();
  TProductRun run(CopyOf(L"noproduct.exe"), L"");
  EXPECT_EQ(run.AnswerNextBox(IDOK), L"Error loading installation database: 1001/1");
  EXPECT_EQ(run.WaitForExit(), 0u);
  EXPECT_EQ(RequestCount(), before);
}

// A service in Wine's service manager for the length of a scope.
class TService {
public:
  explicit TService(const wchar_t* Name) {
    TUniqueHandle<SC_HANDLE, TNullHandleTraits<SC_HANDLE, &CloseServiceHandle>> scm(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    SC_HANDLE s = CreateServiceW(scm.Get(), Name, Name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, L"C:\\windows\\system32\\notepad.exe",
                                 nullptr, nullptr, nullptr, nullptr, nullptr);
    if (s) {
      FName = Name;
      CloseServiceHandle(s);
    }
  }
  ~TService() {
    if (FName.empty()) return;
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (SC_HANDLE s = OpenServiceW(scm, FName.c_str(), DELETE)) {
      DeleteService(s);
      CloseServiceHandle(s);
    }
    CloseServiceHandle(scm);
  }
  bool Created() const { return !FName.empty(); }

private:
  std::wstring FName;
};

TEST(Setup, InstalledProductsOfTheMakerStopTheSetupInOrder) {
  struct TCase {
    std::vector<const wchar_t*> Services;
    const wchar_t* Key;
  };
  const TCase cases[] = {
      {{L"q7Shield"}, L"msgOtherProdInstalled"},
      {{L"Brevik"}, L"msgBrevikInstalled"},
      {{L"VeltCommService", L"Brevik"}, L"msgOtherProdInstalled"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.Key));
    std::vector<std::unique_ptr<TService>> services;
    for (const wchar_t* s : c.Services) {
      services.push_back(std::make_unique<TService>(s));
      ASSERT_TRUE(services.back()->Created());
    }
    size_t before = RequestCount();
    TProductRun run(test::LoopbackExe(), L"");
    EXPECT_EQ(run.AnswerNextBox(IDOK), English(c.Key));
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_FALSE(run.WaitForBox(0));  // one box only
    EXPECT_EQ(RequestCount(), before);
  }
}

TEST(Setup, OlderWindowsGetsMinOSUnlessNoCheck) {
  // Wine's per-program version: only this copy sees Windows 7.
  const wchar_t* key = L"Software\\Wine\\AppDefaults\\VtSetupWin7.exe";
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
  RegSetValueExW(k, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"win7"), 10);
  RegCloseKey(k);
  auto restore = ScopeExit([&] { RegDeleteTreeW(HKEY_CURRENT_USER, key); });
  {
    TProductRun run(CopyOf(L"VtSetupWin7.exe"), L"");
    EXPECT_EQ(run.AnswerNextBox(IDOK), English(L"msgMinOS"));
    EXPECT_EQ(run.WaitForExit(), 0u);
  }
  {
    TProductRun run(CopyOf(L"VtSetupWin7.exe"), std::wstring(L"/NOCHECK") + L" /QUIET /NODOWNLOAD");
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_TRUE(run.LogContains("CheckEnvironment: True (no check)"));
  }
}

}  // namespace
}  // namespace vt
