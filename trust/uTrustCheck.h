// Authenticode checks of files: the signer certificate, Windows' trust
// verdict, and the signer name against a list of accepted signers.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vt {

struct TCertificateDetails {
  std::wstring FileName;
  std::wstring SerialNumber;      // upper-case hex, most significant byte first
  std::wstring PublicKey;         // upper-case hex, stored byte order
  std::wstring CertNameEmail;     // CERT_NAME_EMAIL_TYPE
  std::wstring CertNameSimple;    // CERT_NAME_SIMPLE_DISPLAY_TYPE
  std::wstring CertNameFriendly;  // CERT_NAME_FRIENDLY_DISPLAY_TYPE
  std::wstring CertIssuer;        // simple display name of the issuer
  FILETIME StartTime{};
  FILETIME EndTime{};
};

enum TRevocationCheckPolicy { rcpCheckNone, rcpCheckAfterBoot, rcpCheckAlways };

using TSignerNames = std::span<const std::wstring_view>;

inline constexpr std::array<std::wstring_view, 7> TrustedSignerNames = {
    L"Velt Software GmbH",
    L"Veltrano GmbH",
    L"Veltrano Ltd",
    L"Veltrano Ltd.",
    L"Microsoft Windows Hardware Compatibility Publisher",
    L"Veltrano (Veltrano Limited)",
    L"Veltrano Limited",
};

// Status codes of GetCertificateDetails.
inline constexpr uint8_t kCertDetailsRead = 0;
inline constexpr uint8_t kCertNotEmbeddedPkcs7 = 1;
inline constexpr uint8_t kCertSignerInfoSizeFailed = 2;
inline constexpr uint8_t kCertSignerNotInStore = 3;
inline constexpr uint8_t kCertNoSignatureNoCatalog = 8;
inline constexpr uint8_t kCertCatalogMissing = 9;
inline constexpr uint8_t kCertOtherFailure = 255;

// Reads the signer certificate of FileName's embedded signature or, when
// AllowCatalog, of the system catalog listing the file. Judges nothing.
// On status 0 fills Details; otherwise leaves it as it was.
uint8_t GetCertificateDetails(const std::wstring& FileName, TCertificateDetails& Details, bool AllowCatalog);
// Path of the system catalog that lists the file's hash, or empty.
std::wstring FindCatalogFile(const std::wstring& FileName);
// Two upper-case hex digits per byte; Reversed writes the last byte first.
std::wstring BytesToHex(const BYTE* Bytes, size_t Count, bool Reversed);
std::wstring GetCertNameString(PCCERT_CONTEXT Certificate, DWORD NameType, DWORD Flags);

// One file's Authenticode verification through WinVerifyTrust.
class TFileSign {
public:
  TFileSign() = default;
  TFileSign(const TFileSign&) = delete;
  TFileSign& operator=(const TFileSign&) = delete;

  bool OnlineCheck() const { return FOnlineCheck; }
  void SetOnlineCheck(bool Value) { FOnlineCheck = Value; }
  bool RevocationCheck() const { return FRevocationCheck; }
  void SetRevocationCheck(bool Value) { FRevocationCheck = Value; }
  // Stored only; no check reads it.
  bool ForceRevocationCheck() const { return FForceRevocationCheck; }
  void SetForceRevocationCheck(bool Value) { FForceRevocationCheck = Value; }
  const std::wstring& FileName() const { return FFileName; }
  // Verifies Value unless it is the name already set.
  void SetFileName(const std::wstring& Value);
  bool Signed() const { return FSigned; }
  const TCertificateDetails& SignerInfo() const { return FCertInfo; }
  // The last WinVerifyTrust result.
  int32_t WTDResult() const { return FWTDResult; }
  void SetWTDResult(int32_t Value) { FWTDResult = Value; }

protected:
  virtual void InternalRefresh();
  virtual void InternalRefreshFromCatalog(const std::wstring& CatalogFile, const BYTE* Hash, DWORD HashSize);
  virtual void InternalRefreshFromFile();
  virtual void InternalFillCertDetailsFromFile(const std::wstring& FileName);

public:
  virtual void Clear();
  virtual ~TFileSign();

private:
  std::wstring FFileName;
  TCertificateDetails FCertInfo;
  bool FSigned = false;
  bool FRevocationCheck = false;
  bool FForceRevocationCheck = false;
  bool FOnlineCheck = false;
  int32_t FWTDResult = 0;
};

// Verifies FileName with a fresh TFileSign; AOpResult gets its WTDResult (0 = trusted).
bool FileTrust(const std::wstring& FileName, int32_t& AOpResult, TRevocationCheckPolicy Policy);
// Whether the simple name of Details' signer, trimmed, is one of Names[0..High], ignoring case.
bool CMTSN(const TCertificateDetails& Details, TSignerNames Names, int32_t High);
// Whether FileName has a readable signer certificate whose name is in Names[0..High];
// High = -1 accepts any signer. Does not ask whether the signature is trusted.
bool VC(const std::wstring& FileName, TSignerNames Names, int32_t High);

}  // namespace vt
