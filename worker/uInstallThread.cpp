#include "worker/uInstallThread.h"

#include <msiquery.h>
#include <objbase.h>

#include "fw/uControls.h"
#include "fw/uSysUtils.h"
#include "lang/Language.h"
#include "log/DebugLogUtils.h"
#include "sys/OsUnit.h"
#include "trust/uTrustCheck.h"
#include "ui/VTProgressBar.h"
#include "worker/uDownloadHosts.h"
#include "worker/uProxyHelper.h"

namespace vt {
namespace {

// ERROR_STOPPED_ON_SYMLINK, which mingw's headers lack.
constexpr DWORD kErrorStoppedOnSymlink = 681;

// ---- Text helpers

bool ContainsTextAZ(std::wstring_view Text, std::wstring_view Part) {
  return UpperCaseAZ(Text).find(UpperCaseAZ(Part)) != std::wstring::npos;
}

bool FileExistsW(const std::wstring& Path) {
  DWORD a = GetFileAttributesW(Path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Arithmetic of the installer's 32-bit counters wraps, as the installer's own does.
int32_t WrapAdd(int32_t A, int32_t B) {
  return static_cast<int32_t>(static_cast<uint32_t>(A) + static_cast<uint32_t>(B));
}
int32_t WrapNeg(int32_t A) { return static_cast<int32_t>(0u - static_cast<uint32_t>(A)); }

[[noreturn]] void RaiseFileError(const wchar_t* What, const std::wstring& Path, DWORD Code) {
  throw EOSError(Format(L"%s \"%s\": %s", {What, Path, SysErrorMessage(Code)}), Code);
}

// ---- Files in a folder anyone may write to. The worker runs elevated: a link
// planted at the private temp folder or the package path must not make it
// create, overwrite or delete a file elsewhere.

// The path a handle really names, without the "\\?\" prefix; empty on failure.
std::wstring FinalPathOf(HANDLE Handle) {
  std::wstring buf(MAX_PATH, L'\0');
  for (int i = 0; i < 2; ++i) {
    DWORD n = GetFinalPathNameByHandleW(Handle, buf.data(), static_cast<DWORD>(buf.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      if (buf.starts_with(L"\\\\?\\UNC\\")) return L"\\" + buf.substr(7);
      if (buf.starts_with(L"\\\\?\\")) return buf.substr(4);
      return buf;
    }
    buf.assign(n + 1, L'\0');
  }
  return {};
}

// The final path of Folder (following links: the folder itself may be anywhere).
std::wstring FinalFolderPath(const std::wstring& Folder) {
  THandle h(CreateFileW(Folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return h ? FinalPathOf(h.Get()) : std::wstring();
}

std::wstring WithoutTrailingBackslash(std::wstring Path) {
  while (Path.size() > 3 && Path.back() == L'\\') Path.pop_back();
  return Path;
}

// Whether the object behind Handle is Name inside ParentFinal itself, not a
// link to somewhere else (a reparse point, or a link the system resolved silently).
bool IsPlainlyIn(HANDLE Handle, const std::wstring& ParentFinal, std::wstring_view Name) {
  BY_HANDLE_FILE_INFORMATION fi{};
  if (!GetFileInformationByHandle(Handle, &fi)) return false;
  if (fi.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
  std::wstring final = FinalPathOf(Handle);
  if (final.empty() || ParentFinal.empty()) return false;
  std::wstring expected = WithoutTrailingBackslash(ParentFinal) + L"\\" + std::wstring(Name);
  return CompareStringOrdinal(final.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void ForceDirectories(const std::wstring& Folder) {
  std::wstring path = WithoutTrailingBackslash(Folder);
  if (path.size() <= 3 || GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  size_t cut = path.find_last_of(L'\\');
  if (cut != std::wstring::npos) ForceDirectories(path.substr(0, cut));
  if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    RaiseFileError(L"The folder cannot be created:", path, GetLastError());
}

// Removes the name Path from the held private folder (ParentFinal: its final
// path), only when the name is plainly a file there: through a link the
// system resolves silently (Wine's Unix links) a delete would remove the
// target instead. With Expected valid, only the file of that identity is
// removed. True when the name is gone (also when nothing was there).
template <class TId>
bool RemoveFileName(const std::wstring& Path, const std::wstring& ParentFinal, const TId* Expected, DWORD& Error) {
  Error = 0;
  THandle h(CreateFileW(Path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h) {
    Error = GetLastError();
    return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND;
  }
  BY_HANDLE_FILE_INFORMATION fi{};
  if (!GetFileInformationByHandle(h.Get(), &fi)) {
    Error = GetLastError();
    return false;
  }
  if (!IsPlainlyIn(h.Get(), ParentFinal, ExtractFileName(Path))) {
    Error = kErrorStoppedOnSymlink;
    return false;
  }
  if (fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    Error = ERROR_DIRECTORY;
    return false;
  }
  if (Expected && Expected->Valid &&
      (fi.dwVolumeSerialNumber != Expected->Volume || fi.nFileIndexHigh != Expected->IndexHigh ||
       fi.nFileIndexLow != Expected->IndexLow)) {
    Error = ERROR_FILE_INVALID;
    return false;
  }
  // Through the handle: the name is not looked up again.
  FILE_DISPOSITION_INFO d{TRUE};
  if (!SetFileInformationByHandle(h.Get(), FileDispositionInfo, &d, sizeof d)) {
    Error = GetLastError();
    return false;
  }
  return true;
}

// The download's output: the file the worker created, written through the
// handle it was created with. Others may read it meanwhile, not write it.
class TPackageWriteStream : public TIdWriteStream {
public:
  TPackageWriteStream(std::wstring FileName, THandle Handle) : FFileName(std::move(FileName)), FHandle(std::move(Handle)) {}
  void Write(const void* Buffer, size_t Count) override {
    auto* p = static_cast<const BYTE*>(Buffer);
    while (Count > 0) {
      if (!FHandle) throw EOSError(Format(L"The file \"%s\" is closed", {FFileName}), ERROR_INVALID_HANDLE);
      DWORD chunk = Count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(Count);
      DWORD done = 0;
      if (!WriteFile(FHandle.Get(), p, chunk, &done, nullptr) || done == 0)
        RaiseFileError(L"Cannot write to", FFileName, GetLastError());
      p += done;
      Count -= done;
    }
  }
  void Close() { FHandle.Reset(); }

private:
  std::wstring FFileName;
  THandle FHandle;
};

// The size of FileName, 0 when it cannot be opened for reading. 64 bits: a
// package of 4 GiB or more must not be judged by its low 32 bits.
int64_t FileSize(const std::wstring& FileName) {
  LogLine(L"-> FileSize(FileName: String): DWord");
  int64_t result = 0;
  THandle h(CreateFileW(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (h && GetFileSizeEx(h.Get(), &size)) result = size.QuadPart;
  LogFmt(L"<- FileSize('%s'): result = %d", {FileName, result});
  return result;
}

// A record field's text with the two-try buffer scheme of the installer's
// string functions: 511 characters first, then the reported length.
template <class F>
std::wstring TwoTryString(F Get) {
  std::wstring buf(512, L'\0');
  DWORD len = static_cast<DWORD>(buf.size());
  UINT r = Get(buf.data(), &len);
  if (r == ERROR_MORE_DATA) {
    buf.assign(static_cast<size_t>(len) + 1, L'\0');
    len = static_cast<DWORD>(buf.size());
    r = Get(buf.data(), &len);
  }
  if (r != ERROR_SUCCESS) return {};
  buf.resize(len < buf.size() ? len : buf.size());
  return buf;
}

std::wstring FormatRecordText(MSIHANDLE Install, MSIHANDLE Record) {
  return TwoTryString([&](wchar_t* Buf, DWORD* Len) { return MsiFormatRecordW(Install, Record, Buf, Len); });
}

std::wstring GetRecordString(MSIHANDLE Record, UINT Field) {
  return TwoTryString([&](wchar_t* Buf, DWORD* Len) { return MsiRecordGetStringW(Record, Field, Buf, Len); });
}

// The message of a failure, for the error text of a failed download.
std::wstring ExceptionText(const std::exception_ptr& E) {
  try {
    std::rethrow_exception(E);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return Utf8ToWide(e.what());
  } catch (...) {
    return L"Unknown error";
  }
}

std::wstring ExeFileName() { return ExtractFileName(GetModulePath()); }

}  // namespace

// ---- Names and addresses

int EditionIndex(std::wstring_view Text) {
  for (size_t i = 0; i < kEditions.size(); ++i) {
    const TEditionRow& row = kEditions[i];
    if (SameTextAZ(Text, row.Code)) return static_cast<int>(i);
    if (!row.Name.empty() && ContainsTextAZ(Text, row.Name)) return static_cast<int>(i);
  }
  return 0;
}

std::wstring EditionNameOf(std::wstring_view ExeFileName) {
  int i = EditionIndex(ExeFileName);
  return std::wstring(kEditions[i == 0 ? 1 : i].Name);
}

std::wstring NameSuffixOf(std::wstring_view ExeFileName, std::wstring_view AltVer) {
  std::wstring suffix;
  size_t i = ExeFileName.find(L'_');
  if (i != std::wstring_view::npos && i > 0) {
    size_t dot = ExeFileName.rfind(L'.');
    size_t j = (dot == std::wstring_view::npos || dot == 0) ? ExeFileName.size() + 1 : dot;
    if (j > i) suffix = std::wstring(ExeFileName.substr(i, j - i));
  }
  if (suffix.empty() && !AltVer.empty()) suffix = L"_" + std::wstring(AltVer);
  return suffix;
}

std::wstring ReferNameOf(std::wstring_view Refer) { return Refer.empty() ? L"Veltrano" : std::wstring(Refer); }

std::wstring FileNamePartOf(std::wstring_view Text) {
  // The referrer (branding) and the alternate version (command line) are free
  // text: "..\" in them would lead the elevated setup out of its folders.
  std::wstring r(Text);
  for (auto& c : r)
    if (c < L' ' || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos) c = L'_';
  return r;
}

std::wstring RedirectServiceURL(std::wstring_view Host, std::wstring_view Locale, bool ServerWindows,
                                std::wstring_view Refer, std::wstring_view Topic) {
  std::wstring refer = Refer.empty() ? std::wstring() : L"&refer=" + std::wstring(Refer);
  std::wstring topic = Topic.empty() ? std::wstring(L"download_shield_msi_") : std::wstring(Topic);
  return Format(L"https://%s/?v=2017.10&l=%s&p=%s%s&t=%s%s",
                {Host, Locale, ServerWindows ? L"Q7SERVER" : L"Q7PE", refer, topic, L"64"});
}

std::wstring PackageMirrorURL(std::wstring_view Host, std::wstring_view DownloadName, std::wstring_view AltVer) {
  return Format(L"http://%s/vsx/%s%s_%s.msi", {Host, DownloadName, L"64", AltVer});
}

std::wstring PrivateTempFolder() {
  wchar_t buf[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH, buf);
  if (n == 0 || n >= MAX_PATH) throw EOSError(L"The temporary folder cannot be determined", ERROR_BUFFER_OVERFLOW);
  std::wstring path(buf, n);
  if (path.back() != L'\\') path += L'\\';
  return path + kPrivateTempFolderName + L"\\";
}

// ---- TInstallThread

TInstallThread::TInstallThread() : TThreadEx(L"TInstallThread") {
  FHttp = std::make_unique<TIdHTTP>();
  FHttp->UserAgent = kInstallerUserAgent;
  FHttp->HandleRedirects = true;
  FHttp->ConnectTimeout = kDownloadConnectTimeout;
  FHttp->ReadTimeout = kDownloadReadTimeout;
}

TInstallThread::~TInstallThread() {
  // The body uses the client and the options: it must be over before they go.
  StopAndWaitForBody();
  FHttp.reset();
  ReleaseOpenSSL();
}

std::wstring TInstallThread::GetReferName() const { return ReferNameOf(FRefer); }

std::wstring TInstallThread::GetEditionName() const { return EditionNameOf(ExeFileName()); }

std::wstring TInstallThread::GetNameSuffix(std::wstring_view AltVer) const { return NameSuffixOf(ExeFileName(), AltVer); }

void TInstallThread::GenerateURL() {
  TLogScope scope(L"-> TInstallThread.GenerateURL()", L"<- TInstallThread.GenerateURL()");
  if (!FAltVer.empty()) {
    FURL = PackageMirrorURL(PackageMirrorHost(), FDownloadName, FAltVer);
  } else {
    TLanguage* lang = WorkerLanguage();
    FURL = RedirectServiceURL(RedirectServiceHost(), lang ? lang->CurrentLocal() : std::wstring(L"en-us"),
                              IsServerWindows(), FRefer, FTopic);
  }
  scope.SetClose(Format(L"<- TInstallThread.GenerateURL(); '%s'", {FURL}));
}

std::wstring TInstallThread::GetLocalMsiFileName() const {
  TLogScope scope(L"-> TInstallThread.GetLocalMsiFileName(); ''", L"<- TInstallThread.GetLocalMsiFileName()= ''");
  std::wstring candidate =
      Format(L"%s%s%s%s%s.msi", {ExtractFilePath(GetModulePath()), FileNamePartOf(GetReferName()),
                                 GetEditionName() + L"Setup", Use64BitPackage() ? L"64" : L"32",
                                 FileNamePartOf(FMsiFileSuffix)});
  std::wstring result;
  if (FileExistsW(candidate))
    result = candidate;
  else
    LogFmt(L"'%s' not found.", {candidate});
  scope.SetClose(Format(L"<- TInstallThread.GetLocalMsiFileName()= '%s'", {result}));
  return result;
}

void TInstallThread::RaiseSetStage() {
  if (FOnSetStage) FOnSetStage(this);
}

void TInstallThread::ShowCancelButton(bool AShow) {
  Synchronize([this, AShow] { CancelLinkSetVisible(AShow); });
}

// ---- Body

void TInstallThread::ThreadExecute() {
  TLogScope scope(L"-> TInstallThread.ThreadExecute()", L"<- TInstallThread.ThreadExecute()");
  HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  auto cleanup = ScopeExit([this, com] {
    FPackageHold.Reset();
    try {
      DeleteDownloadedPackage();
    } catch (const std::exception& e) {
      LogException(&e, L"TInstallThread.DeleteDownloadedPackage");
    }
    FTempDir.Reset();
    if (SUCCEEDED(com)) CoUninitialize();
  });
  try {
    FOfflineMode = false;
    if (FNoDownload) {
      FDownloadedSuccessfully = false;
      FDownloadStarted = false;
    } else {
      DoDownload();
    }
    if (!FDownloadedSuccessfully && !FDownloadStarted) {
      FMsiFileSuffix = GetNameSuffix(FAltVer);
      std::wstring local = GetLocalMsiFileName();
      if (!local.empty()) {
        // The failed download's file would be forgotten once the name changes.
        DeleteDownloadedPackage();
        FMsiFileName = local;
        FDownloadedSuccessfully = true;
        FOfflineMode = true;
      }
    }
    if (FDownloadedSuccessfully && !Terminated()) {
      if (HoldPackage() && CheckPackageSignature()) {
        // A cancel confirmed while the signature was checked: the installer
        // step has not begun, so nothing is installed.
        if (Terminated())
          LogLine(L"TInstallThread.ThreadExecute: cancelled during the signature check; nothing installed");
        else
          DoInstall();
      }
      FPackageHold.Reset();
    }
  } catch (const std::exception& e) {
    LogException(&e, L"TInstallThread.ThreadExecute");
    throw;
  }
  scope.SetClose(Format(L"<- TInstallThread.ThreadExecute(): ir=%d; ec=%d", {FInstallResult, FErrorCode}));
}

void TInstallThread::DeleteDownloadedPackage() {
  // Only a file this worker created, while its folder is still held: a name
  // that never became a file of ours may lead through a link elsewhere.
  if (FMsiFileName.empty() || FOfflineMode || !FPackageId.Valid || !FTempDir || !FileExistsW(FMsiFileName)) return;
  DWORD error = 0;
  if (RemoveFileName(FMsiFileName, FinalPathOf(FTempDir.Get()), &FPackageId, error))
    LogFmt(L"DeleteDownloadedPackage: '%s' deleted", {FMsiFileName});
  else if (error == ERROR_FILE_INVALID || error == kErrorStoppedOnSymlink)
    LogFmt(L"DeleteDownloadedPackage: '%s' is not the file this worker wrote; left in place", {FMsiFileName});
  else
    LogLastError(Format(L"DeleteDownloadedPackage: '%s' not deleted", {FMsiFileName}), error);
}

bool TInstallThread::HoldPackage() {
  TLogScope scope(Format(L"-> TInstallThread.HoldPackage('%s')", {FMsiFileName}), L"<- TInstallThread.HoldPackage()");
  // Read access and read sharing only: nobody can write, rename or delete the
  // file while it is held, and the installer can still open it.
  THandle h(CreateFileW(FMsiFileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  DWORD error = h ? 0 : GetLastError();
  if (!error) {
    std::wstring folder = FOfflineMode ? FinalFolderPath(ExtractFilePath(FMsiFileName)) : FinalPathOf(FTempDir.Get());
    BY_HANDLE_FILE_INFORMATION fi{};
    if (!IsPlainlyIn(h.Get(), folder, ExtractFileName(FMsiFileName))) {
      error = kErrorStoppedOnSymlink;
    } else if (!FOfflineMode && FPackageId.Valid && GetFileInformationByHandle(h.Get(), &fi) &&
               !(TFileId{fi.dwVolumeSerialNumber, fi.nFileIndexHigh, fi.nFileIndexLow, true} == FPackageId)) {
      error = ERROR_FILE_INVALID;
    }
  }
  if (error) {
    LogLastError(Format(L"HoldPackage: '%s' cannot be held as the file to install", {FMsiFileName}), error);
    FInstallResult = 1;
    FErrorCode = error;
    scope.SetClose(Format(L"<- TInstallThread.HoldPackage(): False; ir=%d; ec=%d", {FInstallResult, FErrorCode}));
    return false;
  }
  FPackageHold = std::move(h);
  scope.SetClose(L"<- TInstallThread.HoldPackage(): True");
  return true;
}

bool TInstallThread::CheckPackageSignature() {
  TLogScope scope(Format(L"-> TInstallThread.CheckPackageSignature('%s')", {FMsiFileName}),
                  L"<- TInstallThread.CheckPackageSignature()");
  auto done = [&](bool Accepted) {
    scope.SetClose(Format(L"<- TInstallThread.CheckPackageSignature(): %s; ir=%d; ec=%d",
                          {Accepted, FInstallResult, FErrorCode}));
    return Accepted;
  };
  TCertificateDetails details;
  uint8_t status = GetCertificateDetails(FMsiFileName, details, true);
  if (status != kCertDetailsRead) {
    FInstallResult = 10;
    FErrorCode = status;
    return done(false);
  }
  int32_t opResult = 0;
  FileTrust(FMsiFileName, opResult, rcpCheckAlways);
  if (opResult != 0) {
    FInstallResult = 11;
    FErrorCode = static_cast<uint32_t>(opResult);
    return done(false);
  }
  for (std::wstring_view name : TrustedSignerNames)
    if (SameTextAZ(details.CertNameFriendly, name)) return done(true);
  FInstallResult = 12;
  FErrorCode = 5;
  return done(false);
}

// ---- Download

void TInstallThread::ProvideOpenSSL() {
  // OpenSSL is linked into the executable: there are no libraries to write
  // into the temp folder and no loader path to set.
  LogLine(L"ProvideOpenSSL: OpenSSL is linked statically; no library written, FSSLDir stays empty");
}

void TInstallThread::ReleaseOpenSSL() {
  LogFmt(L"ReleaseOpenSSL: OpenSSL is linked statically; nothing to unload or delete (FSSLLoaded=%s)", {FSSLLoaded});
}

void TInstallThread::OpenPrivateTempFolder(const std::wstring& Folder) {
  ForceDirectories(Folder);
  std::wstring path = WithoutTrailingBackslash(Folder);
  // Listing access without delete sharing: while held, the folder cannot be
  // renamed or removed (and so not replaced by a link).
  THandle h(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h) RaiseFileError(L"The folder cannot be opened:", path, GetLastError());
  BY_HANDLE_FILE_INFORMATION fi{};
  if (!GetFileInformationByHandle(h.Get(), &fi)) RaiseFileError(L"The folder cannot be read:", path, GetLastError());
  std::wstring parent = ExtractFilePath(path);
  if (!(fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      !IsPlainlyIn(h.Get(), FinalFolderPath(parent), kPrivateTempFolderName))
    throw EOSError(Format(L"The folder \"%s\" is a link to another place; it is not used", {path}),
                   kErrorStoppedOnSymlink);
  FTempDir = std::move(h);
}

void TInstallThread::PrepareDownloadTarget() {
  FMsiFileSuffix = GetNameSuffix(L"");
  std::wstring folder = PrivateTempFolder();
  FMsiFileName = folder + FileNamePartOf(GetReferName() + GetEditionName() + L"Setup" + FMsiFileSuffix) + L".msi";
  FPackageId = TFileId();
  OpenPrivateTempFolder(folder);
  DWORD error = 0;
  if (!RemoveFileName<TFileId>(FMsiFileName, FinalPathOf(FTempDir.Get()), nullptr, error)) {
    if (error == kErrorStoppedOnSymlink)
      throw EOSError(Format(L"The file \"%s\" is a link to another place; it is not replaced", {FMsiFileName}), error);
    RaiseFileError(L"The old package cannot be removed:", FMsiFileName, error);
  }
  GenerateURL();
  FHttp->OnWorkBegin = [this](TIdHTTP* S, TWorkMode M, int64_t Max) { OnHTTPWorkBegin(S, M, Max); };
  FHttp->OnWork = [this](TIdHTTP* S, TWorkMode M, int64_t Count) { OnHTTPWork(S, M, Count); };
}

void TInstallThread::TransferPackage() {
  // A new file, never an existing one: the old name was removed above, and
  // whatever appears there meanwhile (a planted link) makes this fail.
  THandle h(CreateFileW(FMsiFileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) RaiseFileError(L"The file cannot be created:", FMsiFileName, GetLastError());
  BY_HANDLE_FILE_INFORMATION fi{};
  if (GetFileInformationByHandle(h.Get(), &fi))
    FPackageId = TFileId{fi.dwVolumeSerialNumber, fi.nFileIndexHigh, fi.nFileIndexLow, true};
  TPackageWriteStream out(FMsiFileName, std::move(h));
  std::exception_ptr failure;
  try {
    try {
      FHttp->Head(FURL);
      FSSLLoaded = true;
    } catch (const std::exception& e) {
      LogException(&e, L"TInstallThread.DoDownload: HEAD failed; GET follows");
    }
    FHttp->Get(FURL, out);
  } catch (...) {
    failure = std::current_exception();
  }
  out.Close();
  int64_t size = FileSize(FMsiFileName);
  FDownloadedSuccessfully = FileExistsW(FMsiFileName) && size > kRealPackageBytes;
  if (size <= kRealPackageBytes) FInstallResult = 7;
  if (failure) std::rethrow_exception(failure);
}

void TInstallThread::HandleDownloadFailure(const std::exception_ptr& Failure) {
  bool hostNotFound = false;
  try {
    std::rethrow_exception(Failure);
  } catch (const EIdSocketError& e) {
    hostNotFound = e.LastError == 11001;
  } catch (...) {
  }
  if (hostNotFound) {
    FInstallResult = 13;
  } else {
    FInstallResult = 5;
    FErrorText = ExceptionText(Failure);
  }
  LogFmt(L"TInstallThread.DoDownload: failed; ir=%d; %s", {FInstallResult, ExceptionText(Failure)});
  FDownloadedSuccessfully = false;
  Synchronize([this] { DownloadBarFinish(false); });
}

void TInstallThread::DoDownload() {
  TLogScope scope(L"-> TInstallThread.DoDownload()", L"<- TInstallThread.DoDownload();fn='';");
  FDownloadedSuccessfully = false;
  FDownloadStarted = false;
  FSSLLoaded = false;
  try {
    FProgressStage = vtpsDownloadStarting;
    Synchronize([this] { RaiseSetStage(); });
    std::exception_ptr failure;
    try {
      PrepareDownloadTarget();
      ConfigureHttpProxy(*FHttp, FProxyParams);
      try {
        ProvideOpenSSL();
      } catch (...) {
      }
      TransferPackage();
    } catch (...) {
      failure = std::current_exception();
    }
    Synchronize([this] { DownloadBarFinish(FDownloadedSuccessfully); });
    if (failure) std::rethrow_exception(failure);
  } catch (...) {
    HandleDownloadFailure(std::current_exception());
  }
  scope.SetClose(Format(L"<- TInstallThread.DoDownload();fn='%s';", {FMsiFileName}));
}

void TInstallThread::OnHTTPWorkBegin(TIdHTTP*, TWorkMode, int64_t AWorkCountMax) {
  Synchronize([this, AWorkCountMax] { DownloadBarBegin(AWorkCountMax); });
}

void TInstallThread::OnHTTPWork(TIdHTTP* ASender, TWorkMode, int64_t AWorkCount) {
  if (AWorkCount > kRealPackageBytes) FDownloadStarted = true;
  if (Terminated()) {
    ASender->Disconnect();
    return;
  }
  Synchronize([this, AWorkCount] {
    if (DownloadBarMax() > kRealPackageBytes) DownloadBarSetPosition(AWorkCount);
    if (FProgressStage == vtpsDownloadStarting && AWorkCount > kDownloadRunningBytes) {
      FProgressStage = vtpsDownloadRunning;
      RaiseSetStage();
    }
  });
}

// ---- Installer run

void TInstallThread::ApplyPackageProperties() {
  TLogScope scope(L"-> TInstallThread.ApplyPackageProperties()", L"<- TInstallThread.ApplyPackageProperties()");
  auto set = [this](const std::wstring& Name, const std::wstring& Value) {
    UINT r = MsiSetPropertyW(hProduct, Name.c_str(), Value.c_str());
    LogFmt(L"MsiSetProperty(\"%s\") = %d", {Name, r});  // values may be secrets: not logged
    return r;
  };
  for (size_t i = 0; i < FMsiProperties.Count(); ++i) {
    UINT r = set(UpperCaseAZ(FMsiProperties[i].Name), FMsiProperties[i].Value);
    if (r) {
      FInstallResult = 8;
      FErrorCode = r;
      break;
    }
  }
  if (FErrorCode == 0 && !FInstallDir.empty()) {
    if (UINT r = set(L"INSTALLFOLDER", FInstallDir)) {
      FInstallResult = 8;
      FErrorCode = r;
    }
  }
  // The worker's own properties; their results are not examined. The proxy
  // properties carry the user's settings, never the relay account.
  const TInstallerProxyParams& p = FProxyParams;
  const bool proxy = !p.HostName.empty();
  const struct {
    const wchar_t* Name;
    bool When;
    std::wstring Value;
  } own[] = {
      {L"CENV", !FCenv.empty(), FCenv},
      {L"UNDERBOOTSTRAPPER", true, L"1"},
      {L"PROXYSERVER", proxy, p.HostName},
      {L"PROXYPORT", proxy, std::to_wstring(p.Port)},
      {L"PROXYUSERNAME", proxy && p.UseAuth, p.UserName},
      {L"PROXYPASSWORD", proxy && p.UseAuth, p.Password},
      {L"PROXYTYPE", proxy,
       p.ProxyType == vtptHttp ? L"http" : (p.ProxyKind == vtpckVeltRelay ? L"RelayProxy" : L"socks")},
  };
  for (const auto& o : own)
    if (o.When) set(o.Name, o.Value);
}

void TInstallThread::DoInstall() {
  TLogScope scope(Format(L"-> TInstallThread.DoInstall('%s')", {FMsiFileName}), L"<- TInstallThread.DoInstall()");
  FProgressStage = vtpsInstallInit;
  Synchronize([this] {
    RaiseSetStage();
    ActionBarSetPosition(0);
    if (FOnProgressSetPos) FOnProgressSetPos(this, 0);
    CancelLinkSetEnabled(true);
  });
  ShowCancelButton(true);
  FInstallResult = 3;
  FErrorCode = 0;
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  // The log applies to sessions opened after it is enabled (Wine writes
  // nothing for the session already open), so it is enabled first; its
  // result is judged at its own place below.
  const bool wantLog = FLogMode != 0 && !FLogFile.empty();
  UINT logResult = ERROR_SUCCESS;
  DWORD logError = 0;
  if (wantLog) {
    logResult = MsiEnableLogW(FLogMode, FLogFile.c_str(), FLogAttributes);
    logError = GetLastError();
  }
  UINT r = MsiOpenPackageW(FMsiFileName.c_str(), &hProduct);
  if (r != ERROR_SUCCESS) {
    FInstallResult = 1;
    FErrorCode = r;
    scope.SetClose(Format(L"<- TInstallThread.DoInstall(): MsiOpenPackage error=%d", {r}));
    return;
  }
  // The callback's context is this worker: it must not outlive the run.
  bool registered = false;
  auto unregister = ScopeExit([&registered] {
    if (registered) MsiSetExternalUIRecord(nullptr, 0, nullptr, nullptr);
  });
  TMsiHandle product(hProduct);
  INSTALLUI_HANDLER_RECORD previous = nullptr;
  UINT u = MsiSetExternalUIRecord(&TInstallThread::InstallUIHandler, FLogMode, this, &previous);
  registered = u == ERROR_SUCCESS;
  ApplyPackageProperties();
  auto result = [&] {
    scope.SetClose(Format(L"<- TInstallThread.DoInstall(): ir=%d; ec=%d", {FInstallResult, FErrorCode}));
  };
  if (FErrorCode != 0) return result();
  if (u != ERROR_SUCCESS) {
    FInstallResult = 2;
    FErrorCode = u;
    return result();
  }
  if (wantLog && logResult != ERROR_SUCCESS) {
    LogLastError(Format(L"MsiEnableLog: error=%d", {logResult}), logError);
    FInstallResult = 9;
    FErrorCode = logResult;
    return result();
  }
  UINT d = MsiDoActionW(hProduct, L"");
  if (d == ERROR_FUNCTION_NOT_CALLED) {
    // Wine runs nothing for the empty action name; its top-level action is
    // "INSTALL". Windows runs the top-level action and never answers this.
    LogLine(L"MsiDoAction(''): 1626, nothing was run; running 'INSTALL' instead");
    d = MsiDoActionW(hProduct, L"INSTALL");
  }
  FInstallResult = d == ERROR_SUCCESS ? 0 : 4;
  FErrorCode = d;
  result();
}

INT CALLBACK TInstallThread::InstallUIHandler(LPVOID pvContext, UINT iMessageType, MSIHANDLE hRecord) {
  auto* self = static_cast<TInstallThread*>(pvContext);
  if (!self) return 0;
  static constexpr struct {
    UINT Kind;
    INT (TInstallThread::*Handle)(UINT, MSIHANDLE);
  } kDispatch[] = {
      {INSTALLMESSAGE_ERROR >> 24, &TInstallThread::UIMessageBox},
      {INSTALLMESSAGE_WARNING >> 24, &TInstallThread::UIMessageBox},
      {INSTALLMESSAGE_ACTIONSTART >> 24, &TInstallThread::UIActionStart},
      {INSTALLMESSAGE_ACTIONDATA >> 24, &TInstallThread::UIActionData},
      {INSTALLMESSAGE_PROGRESS >> 24, &TInstallThread::UIProgress},
      {INSTALLMESSAGE_COMMONDATA >> 24, &TInstallThread::UICommonData},
  };
  const UINT kind = iMessageType >> 24;
  for (const auto& d : kDispatch) {
    if (d.Kind != kind) continue;
    // Nothing may unwind into the installer.
    try {
      return (self->*d.Handle)(iMessageType, hRecord);
    } catch (const std::exception& e) {
      LogException(&e, L"TInstallThread.InstallUIHandler");
      return 0;
    }
  }
  return 0;
}

INT TInstallThread::UIMessageBox(UINT MessageType, MSIHANDLE Record) {
  std::wstring msg = FormatRecordText(hProduct, Record);
  int result = 0;
  Synchronize([&] { result = MessageBoxExW(nullptr, msg.c_str(), L"", MessageType & 0xFFF, 0); });
  return result;
}

INT TInstallThread::UIActionStart(UINT, MSIHANDLE) {
  FEnableActionData = false;
  return 1;
}

INT TInstallThread::UIActionData(UINT, MSIHANDLE Record) {
  if (FProgressTotal == 0) return 1;
  std::wstring msg = FormatRecordText(hProduct, Record);
  Synchronize([&] { ActionLabelSetCaption(msg); });
  if (FEnableActionData) {
    Synchronize([this] {
      FCurrPos = WrapAdd(FCurrPos, FPBStep);
      if (!FScriptInProgress) {
        ActionBarSetPosition(FCurrPos);
        if (FOnProgressSetPos) FOnProgressSetPos(this, FCurrPos);
      }
    });
  }
  return 1;
}

INT TInstallThread::UIProgress(UINT, MSIHANDLE Record) {
  const int32_t f1 = MsiRecordGetInteger(Record, 1);
  const int32_t f2 = MsiRecordGetInteger(Record, 2);
  const int32_t f3 = MsiRecordGetInteger(Record, 3);
  const int32_t f4 = MsiRecordGetInteger(Record, 4);
  switch (f1) {
    case 0: {  // reset: a new phase
      FProgressTotal = static_cast<uint32_t>(f2);
      FProgressForward = f3 == 0;
      if (FProgressTotal != 0) {
        const int32_t tmpInt = FProgressForward ? 0 : static_cast<int32_t>(FProgressTotal);
        Synchronize([this, tmpInt] {
          // The previous phase's script flag still applies here.
          const int64_t total = FProgressTotal;
          ActionBarSetRange(total);
          ActionBarSetPosition(FScriptInProgress ? total : tmpInt);
          if (FOnProgressSetMax) FOnProgressSetMax(this, static_cast<int32_t>(FProgressTotal));
          if (FOnProgressSetPos)
            FOnProgressSetPos(this, FScriptInProgress ? static_cast<int32_t>(FProgressTotal) : tmpInt);
        });
      }
      FCurrPos = 0;
      FScriptInProgress = f4 == 1;
      Synchronize([this] {
        if (FScriptInProgress) {
          ActionBarSetPosition(0);
          if (FOnProgressSetPos) FOnProgressSetPos(this, 0);
        }
      });
      break;
    }
    case 1:  // action info: ticks per action-data message
      if (f3 != 0) {
        FPBStep = FProgressForward ? f2 : WrapNeg(f2);
        FEnableActionData = true;
      } else {
        FEnableActionData = false;
      }
      break;
    case 2:  // progress report
      if (FProgressTotal != 0) {
        FCurrPos = WrapAdd(FCurrPos, f2);
        Synchronize([this] {
          if (FScriptInProgress) return;
          const int64_t p = FProgressForward ? FCurrPos : static_cast<int64_t>(FProgressTotal) - FCurrPos;
          ActionBarSetPosition(p);
          if (FOnProgressSetPos) FOnProgressSetPos(this, static_cast<int32_t>(p));
        });
      }
      break;
    default:
      break;
  }
  if (!Terminated()) return 1;
  if (!FCancelAnswered.exchange(true)) LogLine(L"InstallUIHandler: cancelled; the installer is answered IDCANCEL");
  return 2;
}

INT TInstallThread::UICommonData(UINT, MSIHANDLE Record) {
  const int32_t f1 = MsiRecordGetInteger(Record, 1);
  const int32_t f2 = MsiRecordGetInteger(Record, 2);
  if (f1 == 1) {
    std::wstring caption = GetRecordString(Record, 2);
    if (!caption.empty()) {
      Synchronize([this, &caption] {
        FProductName = caption;
        FProgressStage = vtpsInstallRunning;
        RaiseSetStage();
      });
    }
  } else if (f1 == 2) {
    ShowCancelButton(f2 != 0);
  }
  return 1;
}

// ---- Controls (window thread only)

void TInstallThread::DownloadBarBegin(int64_t AMax) {
  if (!FPBDownloadProgress) return;
  FPBDownloadProgress->SetMax(AMax);
  FPBDownloadProgress->SetPosition(0);
  FPBDownloadProgress->SetProgressBarType(ptNormal);
}
int64_t TInstallThread::DownloadBarMax() const { return FPBDownloadProgress ? FPBDownloadProgress->Max() : 0; }
void TInstallThread::DownloadBarSetPosition(int64_t APos) {
  if (FPBDownloadProgress) FPBDownloadProgress->SetPosition(APos);
}
void TInstallThread::DownloadBarFinish(bool AFull) {
  if (!FPBDownloadProgress) return;
  FPBDownloadProgress->SetPosition(AFull ? FPBDownloadProgress->Max() : 0);
  FPBDownloadProgress->SetProgressBarType(ptNormal);
}
void TInstallThread::ActionBarSetRange(int64_t AMax) {
  if (!FPBActionProgress) return;
  FPBActionProgress->SetMin(0);
  FPBActionProgress->SetMax(AMax);
}
void TInstallThread::ActionBarSetPosition(int64_t APos) {
  if (FPBActionProgress) FPBActionProgress->SetPosition(APos);
}
void TInstallThread::ActionLabelSetCaption(const std::wstring& AText) {
  if (FLabelActionDisplayName) FLabelActionDisplayName->SetCaption(AText);
}
void TInstallThread::CancelLinkSetVisible(bool AVisible) {
  if (FLinkCancel) FLinkCancel->SetVisible(AVisible);
}
void TInstallThread::CancelLinkSetEnabled(bool AEnabled) {
  if (FLinkCancel) FLinkCancel->SetEnabled(AEnabled);
}

}  // namespace vt
