// The main window and the setup controller: start-up checks, the install
// worker's start, stages and end, Cancel, Retry and Proxy, and the exit code.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/uInstallOptions.h"
#include "fw/uForms.h"

namespace vt {

class TInstallThread;
class TLanguage;
class TQSSystemButton;
class TThread;
class TVtProgressBar;

// Link colours of the three text links.
inline constexpr TColor kLinkColor = 13010179;
inline constexpr TColor kLinkHoverColor = 16492804;
inline constexpr TColor kBorderColor = 13010179;

// Branding resources (RCDATA, UTF-16 without terminator).
inline constexpr wchar_t kResRefer[] = L"REB_REFER";
inline constexpr wchar_t kResProductName[] = L"REB_PRODUCTNAME";
inline constexpr wchar_t kResDownloadName[] = L"REB_DOWNLOADNAME";
inline constexpr wchar_t kResTopic[] = L"REB_TOPIC";
// The names used with "/NOREB" when the executable has no referrer.
inline constexpr wchar_t kBuiltInProductName[] = L"Veltrano Shield";
inline constexpr wchar_t kBuiltInDownloadName[] = L"VeltranoShieldSmallSetup";

// The services that stop the setup: the product itself, the maker's
// communication service and the maker's other product.
inline constexpr wchar_t kServiceProduct[] = L"q7Shield";
inline constexpr wchar_t kServiceComm[] = L"VeltCommService";
inline constexpr wchar_t kServiceOtherProduct[] = L"Brevik";
// 64-bit Windows 10: the lowest version class the setup runs on.
inline constexpr int32_t kMinVersionClass = 27;

// The text of the executable's RCDATA resource Name: UTF-16 characters, as
// many as its size in bytes divided by two. Raises when it does not exist.
std::wstring ReadResourceText(const std::wstring& Name, HMODULE Module = nullptr);

// The outcome codes a finished worker leaves (see the README's exit codes).
enum TOutcome : uint32_t {
  ocInstalled = 0,
  ocOpenPackageFailed = 1,
  ocUIHandlerFailed = 2,
  ocInstallerStepBroken = 3,
  ocInstallFailed = 4,
  ocDownloadFailed = 5,
  ocWrongData = 7,
  ocPropertyFailed = 8,
  ocLogFailed = 9,
  ocNoCertificate = 10,
  ocNotTrusted = 11,
  ocWrongSigner = 12,
  ocHostNotFound = 13,
};

class TfrmMain : public TForm {
public:
  explicit TfrmMain(TComponent* AOwner);
  ~TfrmMain() override;

  // ---- Components, in declaration order
  TPanel* pnlBodyMain;
  TPanel* pnlContent;
  TQSSystemButton* sbClose;
  TVtProgressBar* pbActionProgress;
  TLabel* labTitle;
  TLabel* labProxy;
  TApplicationEvents* ApplicationEvents;
  TShape* shpBorder;
  TLabel* labProgress;
  TLabel* labRetry;
  TLabel* labCancel;
  TPanel* Panel1;

  // ---- Controller
  void FormCreate();
  void ApplicationEventsIdle(TComponent* Sender, bool& Done);
  void Go();
  void StartInstall();
  void CancelAndWaitInstallThread();
  void OnInstallThreadTerminate(TThread* Sender);
  void OnInstallThreadSetStage(TThread* Sender);
  bool ConfirmCancel();
  void labCancelClick(TComponent* Sender);
  void labRetryClick(TComponent* Sender);
  void labProxyClick(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormDestroy();
  bool CheckDllDirectories();
  void Prepare();
  bool LoadRebranding();
  bool CheckEnvironment();
  void LinkMouseEnter(TComponent* Sender);
  void LinkMouseLeave(TComponent* Sender);
  void pbActionProgressTextChange(TComponent* Sender, const std::wstring& Text);

  // The process exit code: the outcome code of the last worker that ended.
  uint32_t ExitCode() const { return FExitCode; }
  TInstallThread* InstallThread() const { return FInstallThread.get(); }
  bool QuietMode() const { return FOptions.FQuietMode; }
  const TInstallOptions& Options() const { return FOptions; }
  TInstallerProxyParams& ProxyParams() { return FOptions.FProxyParams; }
  const std::wstring& ProductName() const { return FProductName; }
  const std::wstring& DownloadName() const { return FDownloadName; }
  const std::wstring& Refer() const { return FRefer; }
  const std::wstring& Topic() const { return FTopic; }

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  void BuildComponents();
  // An error box (error icon, one OK button) with a catalogue text.
  void ErrorBox(const std::wstring& Text);
  std::wstring BoxCaption() const;
  // Ends the start-up: no worker will ever start, the window closes.
  void AbortStartup();
  void PostClose();

  bool FFirstOnIdleCalled = false;
  std::unique_ptr<TInstallThread> FInstallThread;
  // The install options from the command line (proxy settings first), then
  // the branding fields.
  TInstallOptions FOptions;
  std::wstring FProductName;
  std::wstring FDownloadName;
  std::wstring FRefer;
  std::wstring FTopic;
  TLanguage* Lang = nullptr;
  uint32_t FExitCode = 0;
};

// Creates the main window, runs the application until it has closed and
// returns the process exit code ("Done with ExitCode=%d" in the log).
int RunMainWindow();

}  // namespace vt
