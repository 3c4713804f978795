// The system libraries bound at their first call, and their functions: one
// row each (library, name, bytes of its arguments, i.e. the stdcall
// decoration; uSystemLibraries.cpp checks it against the header's
// declaration). Shared by uSystemLibraries.cpp and uSystemLibraries.S, which
// defines for each row the two names an import library would: "__imp__Name@N",
// the pointer that dllimport calls go through, and "_Name@N", a jump through
// it for the others. The pointer starts at a stub that binds the function and
// then enters it.
#pragma once

// Each library with its stage: 1 when start-up calls it before the library
// search is restricted (userenv: the debug log's folder; version: the file
// version in the information record), 0 otherwise. A library without rows is
// one that another system library loads by the usual search, loaded here from
// the system folder first (cryptnet: crypt32's revocation check;
// windowscodecs: GDI+ decoding a picture).
#define VT_SYSTEM_LIBRARIES(L)                                                                   \
  L(crypt32, 0) L(wintrust, 0) L(userenv, 1) L(bcrypt, 0) L(version, 1) L(msi, 0) L(cryptnet, 0) \
  L(windowscodecs, 0)

#define VT_SYSTEM_FUNCTIONS(F)                      \
  F(crypt32, CertCloseStore, 8)                     \
  F(crypt32, CertDuplicateCertificateContext, 4)    \
  F(crypt32, CertEnumCertificatesInStore, 8)        \
  F(crypt32, CertFindCertificateInStore, 24)        \
  F(crypt32, CertFreeCertificateContext, 4)         \
  F(crypt32, CertGetCertificateContextProperty, 16) \
  F(crypt32, CertGetEnhancedKeyUsage, 16)           \
  F(crypt32, CertGetIntendedKeyUsage, 16)           \
  F(crypt32, CertGetNameStringW, 24)                \
  F(crypt32, CertOpenStore, 20)                     \
  F(crypt32, CertOpenSystemStoreW, 8)               \
  F(crypt32, CryptMsgClose, 4)                      \
  F(crypt32, CryptMsgGetParam, 20)                  \
  F(crypt32, CryptQueryObject, 44)                  \
  F(wintrust, CryptCATAdminAcquireContext, 12)      \
  F(wintrust, CryptCATAdminCalcHashFromFileHandle, 16) \
  F(wintrust, CryptCATAdminEnumCatalogFromHash, 20) \
  F(wintrust, CryptCATAdminReleaseCatalogContext, 12) \
  F(wintrust, CryptCATAdminReleaseContext, 8)       \
  F(wintrust, CryptCATCatalogInfoFromContext, 12)   \
  F(wintrust, WinVerifyTrust, 12)                   \
  F(userenv, GetAllUsersProfileDirectoryW, 8)       \
  F(bcrypt, BCryptGenRandom, 16)                    \
  F(version, GetFileVersionInfoSizeW, 8)            \
  F(version, GetFileVersionInfoW, 16)               \
  F(version, VerQueryValueW, 16)                    \
  F(msi, MsiCloseHandle, 4)                         \
  F(msi, MsiCreateRecord, 4)                        \
  F(msi, MsiDoActionW, 8)                           \
  F(msi, MsiEnableLogW, 12)                         \
  F(msi, MsiFormatRecordW, 16)                      \
  F(msi, MsiOpenPackageW, 8)                        \
  F(msi, MsiRecordGetInteger, 8)                    \
  F(msi, MsiRecordGetStringW, 16)                   \
  F(msi, MsiSetExternalUIRecord, 16)                \
  F(msi, MsiSetInternalUI, 8)                       \
  F(msi, MsiSetPropertyW, 12)
