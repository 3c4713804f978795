// The install worker: one install attempt on its own thread. It downloads the
// package (or takes the one beside the executable), checks its signature and
// runs the Windows Installer; every control update and event reaches the
// window thread as a blocking synchronised call.
#pragma once
#include <windows.h>
#include <msi.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/uInstallOptions.h"
#include "fw/uWinHandles.h"
#include "net/uHttpClient.h"
#include "worker/uThreadEx.h"

namespace vt {

class TLabel;
class TVtProgressBar;

enum TProgressStage : uint8_t {
  vtpsDownloadStarting = 0,
  vtpsDownloadRunning = 1,
  vtpsInstallInit = 2,
  vtpsInstallRunning = 3,
};

class TInstallThread;
using TOnInstallProgressSetMax = std::function<void(TInstallThread* Sender, int32_t AMax)>;
using TOnInstallProgressSetPos = std::function<void(TInstallThread* Sender, int32_t APos)>;

// A package file of this size or less is no package; more than this received
// means the download has really started.
inline constexpr int64_t kRealPackageBytes = 102400;
// More than this received: the download is running (stage event).
inline constexpr int64_t kDownloadRunningBytes = 4096;
inline constexpr wchar_t kInstallerUserAgent[] =
    L"Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/59.0.3071.115 Safari/537.36";
inline constexpr wchar_t kPrivateTempFolderName[] = L"vttmp";

// ---- Package names and download addresses. The worker applies these to its
// own executable's file name; they take it as an argument so that every name
// can be checked.

struct TEditionRow {
  std::wstring_view Code;
  std::wstring_view Name;
};
inline constexpr std::array<TEditionRow, 4> kEditions = {{
    {L"", L""},
    {L"VSH", L"Shield"},
    {L"VRM", L"Rampart"},
    {L"VCT", L"Citadel"},
}};

// First row whose code equals Text or whose name occurs in Text (letters A to
// Z without regard to case); 0 when none.
int EditionIndex(std::wstring_view Text);
// The edition name for an executable file name ("Shield" when no row matches).
std::wstring EditionNameOf(std::wstring_view ExeFileName);
// From the first "_" (not at the start) to the extension; "_" + AltVer when that is empty.
std::wstring NameSuffixOf(std::wstring_view ExeFileName, std::wstring_view AltVer);
// Refer, or "Veltrano" when it is empty.
std::wstring ReferNameOf(std::wstring_view Refer);
// Text as one part of a file name: separators, NUL and the other characters a
// file name cannot hold become "_", so the name stays in its folder.
std::wstring FileNamePartOf(std::wstring_view Text);
std::wstring RedirectServiceURL(std::wstring_view Host, std::wstring_view Locale, bool ServerWindows,
                                std::wstring_view Refer, std::wstring_view Topic);
std::wstring PackageMirrorURL(std::wstring_view Host, std::wstring_view DownloadName, std::wstring_view AltVer);
// The user's temporary folder + "vttmp\".
std::wstring PrivateTempFolder();

class TInstallThread : public TThreadEx {
public:
  TInstallThread();
  // Asks the body to stop and waits for it before anything it uses is freed.
  ~TInstallThread() override;

  // ---- What the controller sets before Start (the fields from FAltVer on are public).
  void SetLabelActionDisplayName(TLabel* Value) { FLabelActionDisplayName = Value; }
  void SetPBActionProgress(TVtProgressBar* Value) { FPBActionProgress = Value; }
  void SetPBDownloadProgress(TVtProgressBar* Value) { FPBDownloadProgress = Value; }
  void SetLinkCancel(TLabel* Value) { FLinkCancel = Value; }
  void SetOnSetStage(TThreadNotifyEvent Value) { FOnSetStage = std::move(Value); }
  void SetOnProgressSetMax(TOnInstallProgressSetMax Value) { FOnProgressSetMax = std::move(Value); }
  void SetOnProgressSetPos(TOnInstallProgressSetPos Value) { FOnProgressSetPos = std::move(Value); }
  const TInstallerProxyParams& ProxyParams() const { return FProxyParams; }
  void SetProxyParams(const TInstallerProxyParams& Value) { FProxyParams.Assign(Value); }
  const TMsiProperties& MsiProperties() const { return FMsiProperties; }
  void SetMsiProperties(const TMsiProperties& Value) { FMsiProperties.CopyFrom(Value); }

  // ---- What the controller reads (in the stage and end events).
  TProgressStage ProgressStage() const { return FProgressStage; }
  const std::wstring& ProductName() const { return FProductName; }
  const std::wstring& ErrorText() const { return FErrorText; }
  const std::wstring& URL() const { return FURL; }
  const std::wstring& MsiFileName() const { return FMsiFileName; }
  bool OfflineMode() const { return FOfflineMode; }
  bool SSLLoaded() const { return FSSLLoaded; }

  // ---- The steps.
  void GenerateURL();
  std::wstring GetReferName() const;
  std::wstring GetEditionName() const;
  std::wstring GetNameSuffix(std::wstring_view AltVer) const;
  std::wstring GetLocalMsiFileName() const;
  void DoDownload();
  bool CheckPackageSignature();
  void DoInstall();
  void ApplyPackageProperties();
  void DeleteDownloadedPackage();
  void ShowCancelButton(bool AShow);
  void ProvideOpenSSL();
  void ReleaseOpenSSL();
  void OnHTTPWorkBegin(TIdHTTP* ASender, TWorkMode AWorkMode, int64_t AWorkCountMax);
  void OnHTTPWork(TIdHTTP* ASender, TWorkMode AWorkMode, int64_t AWorkCount);
  // The installer's record-based UI callback; the context is the worker.
  static INT CALLBACK InstallUIHandler(LPVOID pvContext, UINT iMessageType, MSIHANDLE hRecord);

protected:
  void ThreadExecute() override;

private:
  // The identity of a file (volume and index), to know the file we wrote.
  struct TFileId {
    DWORD Volume = 0;
    DWORD IndexHigh = 0;
    DWORD IndexLow = 0;
    bool Valid = false;
    bool operator==(const TFileId&) const = default;
  };

  // Download steps.
  void PrepareDownloadTarget();
  void OpenPrivateTempFolder(const std::wstring& Folder);
  void TransferPackage();
  void HandleDownloadFailure(const std::exception_ptr& Failure);
  // Opens the package for reading, refusing writers, renames and deletes
  // until it is closed; sets outcome 1 when that cannot be done safely.
  bool HoldPackage();
  void RaiseSetStage();

  // Installer callback steps; each returns the callback's result.
  INT UIMessageBox(UINT MessageType, MSIHANDLE Record);
  INT UIActionStart(UINT MessageType, MSIHANDLE Record);
  INT UIActionData(UINT MessageType, MSIHANDLE Record);
  INT UIProgress(UINT MessageType, MSIHANDLE Record);
  INT UICommonData(UINT MessageType, MSIHANDLE Record);

  // The only places that touch controls; called inside synchronised calls.
  void DownloadBarBegin(int64_t AMax);
  int64_t DownloadBarMax() const;
  void DownloadBarSetPosition(int64_t APos);
  void DownloadBarFinish(bool AFull);
  void ActionBarSetRange(int64_t AMax);
  void ActionBarSetPosition(int64_t APos);
  void ActionLabelSetCaption(const std::wstring& AText);
  void CancelLinkSetVisible(bool AVisible);
  void CancelLinkSetEnabled(bool AEnabled);

  MSIHANDLE hProduct = 0;
  bool FEnableActionData = false;
  uint32_t FProgressTotal = 0;
  TLabel* FLabelActionDisplayName = nullptr;
  TVtProgressBar* FPBActionProgress = nullptr;
  int32_t FPBStep = 0;
  bool FProgressForward = false;
  int32_t FCurrPos = 0;
  bool FScriptInProgress = false;
  TLabel* FLinkCancel = nullptr;
  TThreadNotifyEvent FOnSetStage;
  std::wstring FProductName;
  bool FDownloadedSuccessfully = false;
  bool FDownloadStarted = false;
  std::unique_ptr<TIdHTTP> FHttp;
  std::wstring FURL;
  std::wstring FMsiFileName;
  TVtProgressBar* FPBDownloadProgress = nullptr;
  TProgressStage FProgressStage = vtpsDownloadStarting;
  TInstallerProxyParams FProxyParams;
  std::wstring FSSLDir;
  TMsiProperties FMsiProperties;
  std::wstring FMsiFileSuffix;
  bool FOfflineMode = false;
  TOnInstallProgressSetMax FOnProgressSetMax;
  TOnInstallProgressSetPos FOnProgressSetPos;
  std::wstring FErrorText;
  bool FSSLLoaded = false;

public:
  std::wstring FAltVer;
  std::wstring FCenv;
  uint32_t FInstallResult = 0;
  uint32_t FErrorCode = 0;
  uint32_t FLogMode = 0;
  uint32_t FLogAttributes = 0;
  std::wstring FLogFile;
  std::wstring FInstallDir;
  std::wstring FDownloadName;
  std::wstring FRefer;
  std::wstring FTopic;
  bool FNoDownload = false;

private:
  // The private temp folder, held open from the download's start to the end of
  // the body so that it cannot be renamed or replaced by a link meanwhile.
  THandle FTempDir;
  // The package file this worker created (identity), and the read-only hold
  // from the signature check to the end of the installer run.
  TFileId FPackageId;
  THandle FPackageHold;
  // The installer has been answered "cancel" once (logged once, not per message).
  std::atomic<bool> FCancelAnswered{false};
};

}  // namespace vt
