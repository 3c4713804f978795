#include "app/uMain.h"

#include <cstring>

#include "fw/uThread.h"
#include "fw/uWinHandles.h"
#include "lang/Language.h"
#include "lang/LngStrings.h"
#include "log/DebugLogUtils.h"
#include "sys/OsUnit.h"
#include "sys/ServiceManager.h"
#include "ui/QSSystemButton.h"
#include "ui/VTProgressBar.h"
#include "ui/uProxySettings.h"
#include "worker/uInstallThread.h"

namespace vt {

namespace {

TFont SegoeUI(int Height, TColor Color, bool Bold = false) {
  TFont f;
  f.SetName(L"Segoe UI");
  f.SetHeight(Height);
  f.SetColor(Color);
  f.SetBold(Bold);
  return f;
}

}  // namespace

std::wstring ReadResourceText(const std::wstring& Name, HMODULE Module) {
  HRSRC res = FindResourceW(Module, Name.c_str(), RT_RCDATA);
  if (!res) throw EOSError(Format(L"The resource %s cannot be found", {Name}), GetLastError());
  DWORD size = SizeofResource(Module, res);
  HGLOBAL data = LoadResource(Module, res);
  const void* bytes = data ? LockResource(data) : nullptr;
  if (!bytes && size) throw EOSError(Format(L"The resource %s cannot be read", {Name}), GetLastError());
  // UTF-16 without terminator; an odd last byte is not part of the text.
  std::wstring text(size / 2, L'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes, text.size() * sizeof(wchar_t));
  return text;
}

TfrmMain::TfrmMain(TComponent* AOwner) : TForm(AOwner) {
  BuildComponents();
  LoadedAll();
  FormCreate();
}

TfrmMain::~TfrmMain() {
  FormDestroy();
  DestroyComponents();
}

// The window's design: every component in declaration order, then parents,
// places, fonts and colours.
void TfrmMain::BuildComponents() {
  SetName(L"frmMain");
  pnlBodyMain = CreateNamed<TPanel>(this, L"pnlBodyMain");
  pnlContent = CreateNamed<TPanel>(this, L"pnlContent");
  sbClose = CreateNamed<TQSSystemButton>(this, L"sbClose");
  pbActionProgress = CreateNamed<TVtProgressBar>(this, L"pbActionProgress");
  labTitle = CreateNamed<TLabel>(this, L"labTitle");
  labProxy = CreateNamed<TLabel>(this, L"labProxy");
  ApplicationEvents = CreateNamed<TApplicationEvents>(this, L"ApplicationEvents");
  shpBorder = CreateNamed<TShape>(this, L"shpBorder");
  labProgress = CreateNamed<TLabel>(this, L"labProgress");
  labRetry = CreateNamed<TLabel>(this, L"labRetry");
  labCancel = CreateNamed<TLabel>(this, L"labCancel");
  Panel1 = CreateNamed<TPanel>(this, L"Panel1");

  // The window: borderless, 800 by 157, centred, base font 15 pixels.
  SetBounds(0, 0, 800, 157);
  Position = poScreenCenter;
  SetFont(SegoeUI(15, clWindowText));
  SetColor(clWhite);

  shpBorder->SetParent(this);
  shpBorder->SetAlign(alClient);
  shpBorder->SetBrushColor(clWhite);

  pnlBodyMain->SetParent(this);
  pnlBodyMain->SetBounds(1, 40, 798, 116);
  pnlBodyMain->SetMargins(1, 40, 1, 1);
  pnlBodyMain->SetAlign(alClient);
  pnlBodyMain->SetColor(clWhite);
  pnlBodyMain->SetFont(SegoeUI(12, 2960685));

  pnlContent->SetParent(pnlBodyMain);
  pnlContent->SetBounds(48, 0, 707, 92);
  pnlContent->SetMargins(48, 0, 43, 24);
  pnlContent->SetAlign(alClient);
  pnlContent->SetColor(clWhite);

  sbClose->SetParent(this);
  sbClose->SetBounds(749, 8, 45, 26);
  sbClose->SetAnchors(akTop | akRight);
  sbClose->SetColor(clWhite);

  pbActionProgress->SetParent(pnlContent);
  pbActionProgress->SetBounds(0, 32, 697, 19);
  pbActionProgress->SetFont(SegoeUI(13, 13010177, true));
  pbActionProgress->SetSmoothProgressEdge(false);
  pbActionProgress->OnTextChange = [this](TComponent* s, const std::wstring& t) { pbActionProgressTextChange(s, t); };

  labTitle->SetParent(pnlContent);
  labTitle->SetBounds(0, 9, 353, 17);
  labTitle->SetAlignment(taLeftJustify);
  labTitle->SetFont(SegoeUI(13, clWindowText));

  labProgress->SetParent(pnlContent);
  labProgress->SetBounds(359, 9, 338, 17);
  labProgress->SetAlignment(taRightJustify);
  labProgress->SetAnchors(akTop | akRight);
  labProgress->SetFont(SegoeUI(13, clWindowText));

  Panel1->SetParent(pnlContent);
  Panel1->SetBounds(0, 54, 697, 22);
  Panel1->SetAnchors(akLeft | akTop | akRight);
  Panel1->SetColor(clWhite);

  // Links: the right-most first (Cancel), Retry left of it.
  labCancel->SetParent(Panel1);
  labCancel->SetBounds(659, 0, 38, 22);
  labCancel->SetAlign(alRight);
  labRetry->SetParent(Panel1);
  labRetry->SetBounds(624, 0, 30, 22);
  labRetry->SetMargins(0, 0, 5, 0);
  labRetry->SetAlign(alRight);
  labProxy->SetParent(pnlBodyMain);
  labProxy->SetBounds(662, 95, 131, 21);
  labProxy->SetAlignment(taRightJustify);

  const std::pair<TLabel*, const wchar_t*> links[] = {{labProxy, L"Proxy"}, {labRetry, L"Retry"}, {labCancel, L"Cancel"}};
  for (auto [link, caption] : links) {
    link->SetCaption(caption);
    link->SetFont(SegoeUI(13, kLinkColor));
    link->SetCursor(crHandPoint);
    link->OnMouseEnter = [this](TComponent* s) { LinkMouseEnter(s); };
    link->OnMouseLeave = [this](TComponent* s) { LinkMouseLeave(s); };
  }
  labCancel->OnClick = [this](TComponent* s) { labCancelClick(s); };
  labRetry->OnClick = [this](TComponent* s) { labRetryClick(s); };
  labProxy->OnClick = [this](TComponent* s) { labProxyClick(s); };
  ApplicationEvents->OnIdle = [this](TComponent* s, bool& Done) { ApplicationEventsIdle(s, Done); };
  OnClose = [this](TComponent* s, TCloseAction& a) { FormClose(s, a); };
}

void TfrmMain::FormCreate() {
  TLogScope log(L"-> TfrmMain.FormCreate", L"<- TfrmMain.FormCreate");
  Lang = new TLanguage(this, false, L"frmMain");
  Lang->SetLocales(GetBuiltInLocales());
  shpBorder->SetPenColor(kBorderColor);
  FOptions.FProxyParams = TInstallerProxyParams();
  Lang->Reset(false);
  Lang->LocalForm(L"frmMain", L"");

  if (!CheckDllDirectories()) {
    log.SetClose(L"<- TfrmMain.FormCreate: the library search path cannot be restricted");
    ApplicationEvents->OnIdle = nullptr;
    ErrorBox(Lang->GetMessageFmt(L"msgMsiStartError", {2002, 1}));
    PostClose();
    return;
  }
  Prepare();
  if (!LoadRebranding()) {
    log.SetClose(L"<- TfrmMain.FormCreate: branding resources cannot be read");
    ApplicationEvents->OnIdle = nullptr;
    ErrorBox(Lang->GetMessageFmt(L"msgMsiStartError", {1001, 1}));
    PostClose();
    return;
  }
  if (!CheckEnvironment()) {
    log.SetClose(L"<- TfrmMain.FormCreate: the environment check failed");
    ApplicationEvents->OnIdle = nullptr;
    PostClose();
    return;
  }
  if (!FOptions.FUnsupportedParams.empty()) {
    log.SetClose(L"<- TfrmMain.FormCreate: unsupported parameters");
    ApplicationEvents->OnIdle = nullptr;
    ErrorBox(Lang->GetMessageFmt(L"msgUnsuppParams", {FOptions.FUnsupportedParams}));
    PostClose();
    return;
  }
  if (FOptions.FQuietMode) Application().ShowMainForm = false;
}

bool TfrmMain::CheckDllDirectories() {
  TLogScope log(L"-> TfrmMain.CheckDllDirectories", L"<- TfrmMain.CheckDllDirectories: False");
  TModuleHandle kernel(LoadLibraryExW(L"kernel32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!kernel) {
    LogLastError(L"LoadLibraryEx(kernel32.dll)");
    return false;
  }
  using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  auto fn = reinterpret_cast<TSetDefaultDllDirectories>(GetProcAddress(kernel.Get(), "SetDefaultDllDirectories"));
  if (!fn) {
    LogLastError(L"GetProcAddress(SetDefaultDllDirectories)");
    return false;
  }
  if (!fn(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    LogLastError(L"SetDefaultDllDirectories");
    return false;
  }
  log.SetClose(L"<- TfrmMain.CheckDllDirectories: True");
  return true;
}

void TfrmMain::Prepare() {
  TLogScope log(L"-> TfrmMain.Prepare", L"<- TfrmMain.Prepare");
  ParseProcessCommandLine(FOptions);
}

bool TfrmMain::LoadRebranding() {
  TLogScope log(L"-> TfrmMain.LoadRebranding", L"<- TfrmMain.LoadRebranding: False");
  try {
    if (FindResourceW(nullptr, kResRefer, RT_RCDATA))
      FRefer = ReadResourceText(kResRefer);
    else
      FRefer.clear();
  } catch (const std::exception& e) {
    LogException(&e, L"REB_REFER");
  }
  try {
    if (FOptions.FNoRebranding && FRefer.empty()) {
      FProductName = kBuiltInProductName;
      FDownloadName = kBuiltInDownloadName;
    } else {
      FProductName = ReadResourceText(kResProductName);
      FDownloadName = ReadResourceText(kResDownloadName);
    }
    if (FindResourceW(nullptr, kResTopic, RT_RCDATA))
      FTopic = ReadResourceText(kResTopic);
    else
      FTopic.clear();
    SetCaption(FProductName);
  } catch (const std::exception& e) {
    LogException(&e, L"TfrmMain.LoadRebranding");
    return false;
  }
  log.SetClose(Format(L"<- TfrmMain.LoadRebranding: True; product='%s'; download='%s'; refer='%s'; topic='%s'",
                      {FProductName, FDownloadName, FRefer, FTopic}));
  return true;
}

bool TfrmMain::CheckEnvironment() {
  TLogScope log(L"-> TfrmMain.CheckEnvironment", L"<- TfrmMain.CheckEnvironment: False");
  // Probed always, whatever the options say: the log records what is installed.
  bool product = ServiceExists(kServiceProduct);
  bool other = ServiceExists(kServiceOtherProduct);
  bool comm = ServiceExists(kServiceComm);
  if (FOptions.FNoEnvCheck) {
    log.SetClose(L"<- TfrmMain.CheckEnvironment: True (no check)");
    return true;
  }
  if (GetOSVersionClass() < kMinVersionClass) {
    ErrorBox(Lang->GetMessageW(L"msgMinOS"));
    return false;
  }
  if (product || comm) {
    ErrorBox(Lang->GetMessageW(L"msgOtherProdInstalled"));
    return false;
  }
  if (other) {
    ErrorBox(Lang->GetMessageW(L"msgBrevikInstalled"));
    return false;
  }
  log.SetClose(L"<- TfrmMain.CheckEnvironment: True");
  return true;
}

void TfrmMain::ApplicationEventsIdle(TComponent*, bool&) {
  if (FFirstOnIdleCalled) return;
  FFirstOnIdleCalled = true;
  Go();
}

void TfrmMain::Go() { StartInstall(); }

void TfrmMain::StartInstall() {
  TLogScope log(L"-> TfrmMain.StartInstall", L"<- TfrmMain.StartInstall");
  if (FInstallThread) CancelAndWaitInstallThread();
  labProxy->SetVisible(true);
  labRetry->SetVisible(false);
  labCancel->SetEnabled(true);

  // Not yet running and never freeing itself; freed here if it cannot start.
  auto t = std::make_unique<TInstallThread>();
  t->SetLabelActionDisplayName(nullptr);
  t->SetPBActionProgress(pbActionProgress);
  t->SetPBDownloadProgress(pbActionProgress);
  t->SetLinkCancel(labCancel);
  t->SetOnSetStage([this](TThread* s) { OnInstallThreadSetStage(s); });
  t->OnTerminate = [this](TThread* s) { OnInstallThreadTerminate(s); };
  t->SetProxyParams(FOptions.FProxyParams);
  t->SetMsiProperties(FOptions.FMsiProperties);
  t->FAltVer = FOptions.FAltVer;
  t->FCenv = FOptions.FCenv;
  t->FLogMode = FOptions.FLogMode;
  t->FLogAttributes = FOptions.FLogAttributes;
  t->FLogFile = FOptions.FLogFile;
  t->FInstallDir = FOptions.FInstallDir;
  t->FRefer = FRefer;
  t->FDownloadName = FDownloadName;
  t->FTopic = FTopic;
  t->FNoDownload = FOptions.FNoDownload;
  t->Start();
  FInstallThread = std::move(t);
}

void TfrmMain::CancelAndWaitInstallThread() {
  if (!FInstallThread) return;
  TLogScope log(L"-> TfrmMain.CancelAndWaitInstallThread", L"<- TfrmMain.CancelAndWaitInstallThread");
  FInstallThread->Terminate();
  // The worker may be waiting for this thread to run one of its calls.
  while (FInstallThread->Running()) CheckSynchronize(100);
  FInstallThread.reset();
}

void TfrmMain::OnInstallThreadSetStage(TThread* Sender) {
  auto* t = dynamic_cast<TInstallThread*>(Sender);
  if (!t) return;
  switch (t->ProgressStage()) {
    case vtpsDownloadStarting:
      labTitle->SetCaption(Lang->GetMessageW(L"msgDownloading"));
      break;
    case vtpsDownloadRunning:
      labProxy->SetVisible(false);
      break;
    case vtpsInstallInit:
      labTitle->SetCaption(Lang->GetMessageW(L"msgInstallInit"));
      break;
    case vtpsInstallRunning:
      labTitle->SetCaption(Lang->GetMessageFmt(L"msgProductNameCaption", {t->ProductName()}));
      break;
  }
}

void TfrmMain::OnInstallThreadTerminate(TThread* Sender) {
  auto* t = dynamic_cast<TInstallThread*>(Sender);
  if (!t) return;
  const uint32_t ir = t->FInstallResult, ec = t->FErrorCode;
  LogFmt(L"OnInstallThreadTerminate: ir=%d; ec=%d", {ir, ec});
  FExitCode = ir;
  // After 5, 7 and 13 the window offers Retry; a quiet run has no window to
  // offer it in, so it ends with the outcome code instead.
  auto offerRetry = [&](bool AProxyLink) {
    labTitle->SetCaption(L"");
    labRetry->SetVisible(true);
    if (AProxyLink) labProxy->SetVisible(true);
    // A cancelled download disabled the link: Cancel must still end the program.
    labCancel->SetEnabled(true);
    if (FOptions.FQuietMode) PostClose();
  };
  switch (ir) {
    case ocInstalled:
      PostClose();
      break;
    case ocOpenPackageFailed:
    case ocUIHandlerFailed:
    case ocInstallerStepBroken:
    case ocPropertyFailed:
    case ocLogFailed:
    case ocNoCertificate:
    case ocNotTrusted:
    case ocWrongSigner:
      ErrorBox(Lang->GetMessageFmt(L"msgMsiStartError", {ir, ec}));
      PostClose();
      break;
    case ocInstallFailed:
      // Cancelled by the user, or the installer has reported its own fatal error.
      if (ec != ERROR_INSTALL_USEREXIT && ec != ERROR_INSTALL_FAILURE)
        ErrorBox(Lang->GetMessageFmt(L"msgMsiRunError", {ir, ec}));
      PostClose();
      break;
    case ocDownloadFailed:
      ErrorBox(Lang->GetMessageFmt(L"msgDownloadError", {t->ErrorText()}));
      offerRetry(false);
      break;
    case ocWrongData:
      ErrorBox(Lang->GetMessageW(L"msgDownloadWrongData"));
      offerRetry(true);
      break;
    case ocHostNotFound:
      ErrorBox(Lang->GetMessageW(L"msgConnectionError"));
      offerRetry(false);
      break;
    default:
      break;
  }
}

bool TfrmMain::ConfirmCancel() {
  return MessageBoxExW(Handle(), Lang->GetMessageW(L"msgConfirmCancel").c_str(), BoxCaption().c_str(),
                       MB_YESNO | MB_ICONQUESTION, 0) == IDYES;
}

void TfrmMain::labCancelClick(TComponent*) {
  if (!FInstallThread) return;
  if (!ConfirmCancel()) return;
  if (FInstallThread->Running()) {
    LogLine(L"TfrmMain.labCancelClick: cancel confirmed; the worker is asked to terminate");
    FInstallThread->Terminate();
    labCancel->SetEnabled(false);
  } else {
    PostClose();
  }
}

void TfrmMain::labRetryClick(TComponent*) { Go(); }

void TfrmMain::labProxyClick(TComponent*) { EditProxySettings(this, FOptions.FProxyParams); }

void TfrmMain::FormClose(TComponent*, TCloseAction& Action) {
  if (FInstallThread && !FInstallThread->Running()) {
    // Its end event may still be on its way: let it arrive (exit code, message).
    FInstallThread->WaitFor();
  }
  if (FInstallThread && FInstallThread->Running()) {
    if (ConfirmCancel()) {
      LogLine(L"TfrmMain.FormClose: cancel confirmed; the worker is asked to terminate");
      FInstallThread->Terminate();
    }
    Action = caNone;  // the end event closes the window
    return;
  }
  Action = caFree;
}

void TfrmMain::FormDestroy() {
  TLogScope log(L"-> TfrmMain.FormDestroy", L"<- TfrmMain.FormDestroy");
  CancelAndWaitInstallThread();
  FOptions.FMsiProperties.Clear();
  FOptions.FProxyParams = TInstallerProxyParams();
}

void TfrmMain::LinkMouseEnter(TComponent* Sender) {
  if (auto* l = dynamic_cast<TLabel*>(Sender))
    l->SetFontWith([](TFont& f) {
      f.SetColor(kLinkHoverColor);
      f.SetUnderline(true);
    });
}

void TfrmMain::LinkMouseLeave(TComponent* Sender) {
  if (auto* l = dynamic_cast<TLabel*>(Sender))
    l->SetFontWith([](TFont& f) {
      f.SetColor(kLinkColor);
      f.SetUnderline(false);
    });
}

void TfrmMain::pbActionProgressTextChange(TComponent*, const std::wstring& Text) { labProgress->SetCaption(Text); }

LRESULT TfrmMain::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  LRESULT r = TForm::WndProc(Msg, WParam, LParam);
  // The window's own area (the top band and the edges) drags the window.
  if (Msg == WM_NCHITTEST && r == HTCLIENT) return HTCAPTION;
  return r;
}

std::wstring TfrmMain::BoxCaption() const { return FProductName.empty() ? kBuiltInProductName : FProductName; }

void TfrmMain::ErrorBox(const std::wstring& Text) {
  MessageBoxExW(Handle(), Text.c_str(), BoxCaption().c_str(), MB_OK | MB_ICONERROR, 0);
}

void TfrmMain::PostClose() { PostMessageW(Handle(), WM_CLOSE, 0, 0); }

int RunMainWindow() {
  TLogScope log(L"-> RunMainWindow", L"<- RunMainWindow");
  Application().OnException = [](std::exception_ptr E) {
    try {
      std::rethrow_exception(E);
    } catch (const std::exception& e) {
      LogException(&e, L"Exception in the window thread");
    } catch (...) {
      LogException(nullptr, L"Exception in the window thread");
    }
  };
  uint32_t code = 0;
  {
    auto form = std::make_unique<TfrmMain>(nullptr);
    Application().SetMainForm(form.get());
    Application().Run();
    code = form->ExitCode();
  }
  LogFmt(L"Done with ExitCode=%d", {code});
  return static_cast<int>(code);
}

}  // namespace vt
