#include "trust/uTrustCheck.h"

#include <mscat.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstring>
#include <new>
#include <vector>

#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"
#include "log/DebugLogUtils.h"
#include "trust/UWow64Api.h"

namespace vt {

namespace {

// The structure sizes WinVerifyTrust is given: the layouts every Windows
// version since XP knows, whatever the SDK headers have grown to.
constexpr DWORD kWintrustDataSize = 48;
constexpr DWORD kWintrustFileInfoSize = 16;
constexpr DWORD kWintrustCatalogInfoSize = 36;
static_assert(sizeof(void*) != 4 || offsetof(WINTRUST_DATA, dwUIContext) + 4 == kWintrustDataSize);
static_assert(sizeof(void*) != 4 || sizeof(WINTRUST_FILE_INFO) == kWintrustFileInfoSize);
static_assert(sizeof(void*) != 4 || offsetof(WINTRUST_CATALOG_INFO, pcCatalogContext) + 4 == kWintrustCatalogInfoSize);

constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

bool AcquireCatAdmin(TCatAdmin& Admin) { return CryptCATAdminAcquireContext(Admin.Out(), nullptr, 0) != FALSE; }

// The first catalog that lists Hash, or empty; the catalog context is released.
std::wstring FirstCatalogOf(HCATADMIN Admin, BYTE* Hash, DWORD HashSize) {
  HCATINFO info = CryptCATAdminEnumCatalogFromHash(Admin, Hash, HashSize, 0, nullptr);
  if (!info) return {};
  // Released with the administration context it came from.
  auto release = ScopeExit([Admin, info] { CryptCATAdminReleaseCatalogContext(Admin, info, 0); });
  std::wstring path;
  CATALOG_INFO ci{};
  ci.cbStruct = sizeof ci;
  if (CryptCATCatalogInfoFromContext(info, &ci, 0)) {
    ci.wszCatalogFile[MAX_PATH - 1] = L'\0';
    path = ci.wszCatalogFile;
  }
  return path;
}

void FillDetails(PCCERT_CONTEXT Cert, TCertificateDetails& Details) {
  const CERT_INFO* info = Cert->pCertInfo;
  Details.StartTime = info->NotBefore;
  Details.EndTime = info->NotAfter;
  Details.PublicKey =
      BytesToHex(info->SubjectPublicKeyInfo.PublicKey.pbData, info->SubjectPublicKeyInfo.PublicKey.cbData, false);
  // Stored least significant byte first.
  Details.SerialNumber = BytesToHex(info->SerialNumber.pbData, info->SerialNumber.cbData, true);
  Details.CertNameEmail = GetCertNameString(Cert, CERT_NAME_EMAIL_TYPE, 0);
  Details.CertNameSimple = GetCertNameString(Cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0);
  Details.CertNameFriendly = GetCertNameString(Cert, CERT_NAME_FRIENDLY_DISPLAY_TYPE, 0);
  Details.CertIssuer = GetCertNameString(Cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG);
}

void FillWintrustData(WINTRUST_DATA& Data, bool RevocationCheck, bool OnlineCheck) {
  std::memset(&Data, 0, sizeof Data);
  Data.cbStruct = kWintrustDataSize;
  Data.dwUIChoice = WTD_UI_NONE;
  Data.fdwRevocationChecks = RevocationCheck ? WTD_REVOKE_WHOLECHAIN : WTD_REVOKE_NONE;
  // Without any check asked for, nothing is fetched from the network.
  Data.dwProvFlags = (!RevocationCheck && !OnlineCheck) ? WTD_CACHE_ONLY_URL_RETRIEVAL : 0;
  Data.dwStateAction = 0;
}

}  // namespace

std::wstring BytesToHex(const BYTE* Bytes, size_t Count, bool Reversed) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring s;
  if (!Bytes) return s;
  s.reserve(Count * 2);
  for (size_t i = 0; i < Count; ++i) {
    BYTE b = Bytes[Reversed ? Count - 1 - i : i];
    s.push_back(kDigits[b >> 4]);
    s.push_back(kDigits[b & 0x0F]);
  }
  return s;
}

std::wstring GetCertNameString(PCCERT_CONTEXT Certificate, DWORD NameType, DWORD Flags) {
  DWORD n = CertGetNameStringW(Certificate, NameType, Flags, nullptr, nullptr, 0);
  if (n <= 1) return {};
  std::wstring s(n, L'\0');
  n = CertGetNameStringW(Certificate, NameType, Flags, nullptr, s.data(), n);
  s.resize(n > 0 ? wcsnlen(s.c_str(), n) : 0);
  return s;
}

std::wstring FindCatalogFile(const std::wstring& FileName) {
  if (!FileExists(FileName)) return {};
  TCatAdmin admin;
  if (!AcquireCatAdmin(admin)) return {};
  BYTE hash[256];
  DWORD hashSize = sizeof hash;
  {
    THandle file(CreateFileW(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    if (!file) return {};
    if (!CryptCATAdminCalcHashFromFileHandle(file.Get(), &hashSize, hash, 0)) return {};
  }
  return FirstCatalogOf(admin.Get(), hash, hashSize);
}

uint8_t GetCertificateDetails(const std::wstring& FileName, TCertificateDetails& Details, bool AllowCatalog) {
  uint8_t status = kCertOtherFailure;
  std::wstring path = ToSysNativePath(FileName);
  DWORD encoding = 0, contentType = 0, formatType = 0;
  TCertStore store;
  TCryptMsg msg;
  if (CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                       CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, store.Out(),
                       msg.Out(), nullptr)) {
    if (contentType != CERT_QUERY_CONTENT_PKCS7_SIGNED_EMBED) return kCertNotEmbeddedPkcs7;
    DWORD size = 0;
    if (!CryptMsgGetParam(msg.Get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) return kCertSignerInfoSizeFailed;
    std::vector<BYTE> buffer;
    try {
      buffer.resize(size);
    } catch (const std::bad_alloc& e) {
      LogException(&e, L"Memory allocation failed");
      throw;
    }
    if (!CryptMsgGetParam(msg.Get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) return status;
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
    CERT_INFO wanted{};
    wanted.Issuer = signer->Issuer;
    wanted.SerialNumber = signer->SerialNumber;
    TCertContext cert(
        CertFindCertificateInStore(store.Get(), kCertEncoding, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
    if (!cert) return kCertSignerNotInStore;
    TCertificateDetails d;
    FillDetails(cert.Get(), d);
    d.FileName = FileName;
    Details = std::move(d);
    return kCertDetailsRead;
  }
  if (!AllowCatalog) return kCertNoSignatureNoCatalog;
  std::wstring catalog = FindCatalogFile(FileName);
  if (!catalog.empty() && FileExists(catalog) && catalog != FileName)
    return GetCertificateDetails(catalog, Details, true);
  return catalog.empty() ? kCertNoSignatureNoCatalog : kCertCatalogMissing;
}

// ---- TFileSign ----

TFileSign::~TFileSign() = default;

void TFileSign::Clear() {
  FFileName.clear();
  FCertInfo.FileName.clear();
  FCertInfo.SerialNumber.clear();
  FCertInfo.PublicKey.clear();
  FCertInfo.CertNameEmail.clear();
  FCertInfo.CertNameSimple.clear();
  FCertInfo.CertNameFriendly.clear();
  FCertInfo.CertIssuer.clear();
  FCertInfo.StartTime = FILETIME{};
  FCertInfo.EndTime = FILETIME{};
  FSigned = false;
  FRevocationCheck = false;
  FForceRevocationCheck = false;
  FOnlineCheck = false;
  FWTDResult = 0;
}

void TFileSign::SetFileName(const std::wstring& Value) {
  if (Value == FFileName) return;
  FFileName = Value;
  try {
    InternalRefresh();
  } catch (const std::exception& e) {
    LogException(&e, L"TFileSign.SetFileName: Retry InternalRefresh ,Value=" + Value);
    InternalRefresh();
  }
}

void TFileSign::InternalRefresh() {
  FSigned = false;
  FWTDResult = 0;
  TLogScope scope(L"-> TFileSign.InternalRefresh(" + FFileName + L")", L"<- TFileSign.InternalRefresh(" + FFileName + L")");

  std::wstring name(TrimBlanks(ToSysNativePath(FFileName)));
  if (name.empty()) {
    LogLine(L"Empty filename");
    return;
  }
  if (!FileExists(name)) {
    LogFmt(L"File \"%s\" does not exist", {name});
    return;
  }

  std::wstring catalog;
  BYTE hash[512];
  DWORD hashSize = 0;
  {
    THandle file(W64API_CreateFileW(FFileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    TCatAdmin admin;
    if (file && AcquireCatAdmin(admin)) {
      DWORD size = sizeof hash;
      if (CryptCATAdminCalcHashFromFileHandle(file.Get(), &size, hash, 0)) {
        hashSize = size;
        catalog = FirstCatalogOf(admin.Get(), hash, hashSize);
        if (!catalog.empty()) LogFmt(L"Found security catalog: \"%s\"", {catalog});
      }
    }
  }

  std::wstring trimmedCatalog(TrimBlanks(catalog));
  if (!trimmedCatalog.empty())
    InternalRefreshFromCatalog(trimmedCatalog, hash, hashSize);
  else
    InternalRefreshFromFile();
}

void TFileSign::InternalRefreshFromFile() {
  std::wstring path = ToSysNativePath(FFileName);
  WINTRUST_FILE_INFO file{};
  file.cbStruct = kWintrustFileInfoSize;
  file.pcwszFilePath = path.c_str();
  file.hFile = nullptr;
  file.pgKnownSubject = nullptr;
  WINTRUST_DATA data;
  FillWintrustData(data, FRevocationCheck, FOnlineCheck);
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  FWTDResult = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  LogFmt(L"F.WinVerifyTrust(%s) --> %x (%strusted)", {FFileName, FWTDResult, FWTDResult == 0 ? L"" : L"un"});
  if (FWTDResult == 0) {
    InternalFillCertDetailsFromFile(path);
    FCertInfo.FileName = FFileName;
    FSigned = true;
  }
}

void TFileSign::InternalRefreshFromCatalog(const std::wstring& CatalogFile, const BYTE* Hash, DWORD HashSize) {
  std::wstring member = ToSysNativePath(FFileName);
  std::wstring tag = BytesToHex(Hash, HashSize, false);
  WINTRUST_CATALOG_INFO catalog;
  std::memset(&catalog, 0, sizeof catalog);
  catalog.cbStruct = kWintrustCatalogInfoSize;
  catalog.dwCatalogVersion = 0;
  catalog.pcwszCatalogFilePath = CatalogFile.c_str();
  catalog.pcwszMemberTag = tag.c_str();
  catalog.pcwszMemberFilePath = member.c_str();
  catalog.hMemberFile = nullptr;
  catalog.pbCalculatedFileHash = const_cast<BYTE*>(Hash);
  catalog.cbCalculatedFileHash = HashSize;
  catalog.pcCatalogContext = nullptr;
  WINTRUST_DATA data;
  FillWintrustData(data, FRevocationCheck, FOnlineCheck);
  data.dwUnionChoice = WTD_CHOICE_CATALOG;
  data.pCatalog = &catalog;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  FWTDResult = WinVerifyTrust(nullptr, &action, &data);
  LogFmt(L"C.WinVerifyTrust(%s) --> %x (%strusted)", {FFileName, FWTDResult, FWTDResult == 0 ? L"" : L"un"});
  if (FWTDResult == 0) {
    InternalFillCertDetailsFromFile(CatalogFile);
    FCertInfo.FileName = FFileName;
    FSigned = true;
  }
}

void TFileSign::InternalFillCertDetailsFromFile(const std::wstring& FileName) {
  try {
    GetCertificateDetails(FileName, FCertInfo, false);
  } catch (const std::exception& e) {
    LogException(&e, L"TFileSign.InternalFillCertDetailsFromFile");
  }
}

// ---- functions ----

bool FileTrust(const std::wstring& FileName, int32_t& AOpResult, TRevocationCheckPolicy Policy) {
  TFileSign sign;
  bool check = false;
  switch (Policy) {
    case rcpCheckNone:
      check = false;
      LogLine(L"FileTrust: rcpCheckNone");
      break;
    case rcpCheckAfterBoot:
      // Unsigned on purpose: within the first minute the difference wraps
      // around and counts as "after boot".
      if (GetTickCount64() - 60000ULL > 120000ULL) {
        check = true;
        LogLine(L"FileTrust: rcpCheckAfterBoot - after boot");
      } else {
        check = false;
        LogLine(L"FileTrust: rcpCheckAfterBoot - on boot");
      }
      break;
    case rcpCheckAlways:
      check = true;
      LogLine(L"FileTrust: rcpCheckAlways");
      break;
  }
  sign.SetRevocationCheck(check);
  sign.SetOnlineCheck(check);
  sign.SetFileName(FileName);
  AOpResult = sign.WTDResult();
  return sign.Signed();
}

bool CMTSN(const TCertificateDetails& Details, TSignerNames Names, int32_t High) {
  TLogScope scope(L"-> CMTSN()", L"<- CMTSN()", L"<- CMTSN(): exception");
  std::wstring_view simple = TrimBlanks(Details.CertNameSimple);
  bool result = false;
  int32_t last = High < static_cast<int32_t>(Names.size()) ? High : static_cast<int32_t>(Names.size()) - 1;
  for (int32_t i = 0; i <= last; ++i) {
    if (SameTextAZ(simple, Names[static_cast<size_t>(i)])) {
      result = true;
      break;
    }
  }
  scope.SetClose(Format(L"<- CMTSN()= %s ('%s','%s')",
                        {BoolToStr(result), Details.CertNameSimple, Details.CertNameFriendly}));
  return result;
}

bool VC(const std::wstring& FileName, TSignerNames Names, int32_t High) {
  TLogScope scope(L"-> VC()", L"<- VC('" + FileName + L"')", L"<- VC('" + FileName + L"'): exception");
  bool result = false;
  uint8_t status = kCertOtherFailure;
  if (FileExists(FileName)) {
    TCertificateDetails details;
    status = GetCertificateDetails(FileName, details, true);
    if (status == kCertDetailsRead) result = High == -1 ? true : CMTSN(details, Names, High);
  }
  scope.SetClose(Format(L"<- VC('%s')= %s (%d)", {FileName, BoolToStr(result), status}));
  return result;
}

}  // namespace vt
