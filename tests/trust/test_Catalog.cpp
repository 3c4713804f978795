// A file whose signature is only in a system catalog: the fixture catalog is
// installed for the test and removed again.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>
#include <wintrust.h>

#include "TrustTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "trust/uTrustCheck.h"

namespace vt::test {
namespace {

std::string Narrow(const std::wstring& s) { return WideToUtf8(s); }

class SystemCatalog : public ::testing::Test {
protected:
  void SetUp() override {
    std::wstring cat = FixturePath(L"catalog/veltrano.cat");
    // Wine's catalog enumeration does not move on from a catalog it cannot
    // open, so a catalog is only installed once it is known to open.
    HANDLE h = CryptCATOpen(cat.data(), CRYPTCAT_OPEN_EXISTING, 0, 0, 0);
    if (h == INVALID_HANDLE_VALUE || !h) GTEST_SKIP() << "the system cannot open the fixture catalog";
    CryptCATClose(h);
    ASSERT_TRUE(CryptCATAdminAcquireContext(&FAdmin, nullptr, 0));
    FBaseName = L"vt_fixture_" + std::to_wstring(GetCurrentProcessId()) + L".cat";
    HCATINFO info = CryptCATAdminAddCatalog(FAdmin, cat.data(), FBaseName.data(), 0);
    ASSERT_NE(info, nullptr) << GetLastError();
    CATALOG_INFO ci{};
    ci.cbStruct = sizeof ci;
    ASSERT_TRUE(CryptCATCatalogInfoFromContext(info, &ci, 0));
    FInstalled = ci.wszCatalogFile;
    CryptCATAdminReleaseCatalogContext(FAdmin, info, 0);
    FMember = FixturePath(L"catalog/member.txt");
  }
  void TearDown() override {
    if (!FAdmin) return;
    if (!FBaseName.empty()) CryptCATAdminRemoveCatalog(FAdmin, FBaseName.c_str(), 0);
    CryptCATAdminReleaseContext(FAdmin, 0);
  }
  HCATADMIN FAdmin = nullptr;
  std::wstring FBaseName, FInstalled, FMember;
};

TEST_F(SystemCatalog, ListsTheMemberFile) {
  EXPECT_TRUE(SameTextAZ(FindCatalogFile(FMember), FInstalled)) << Narrow(FindCatalogFile(FMember));
  EXPECT_EQ(FindCatalogFile(FixturePath(L"msi/unsigned.msi")), L"");
}

TEST_F(SystemCatalog, CertificateDetailsComeFromTheCatalogWhenAllowed) {
  TCertificateDetails d;
  EXPECT_EQ(GetCertificateDetails(FMember, d, false), 8);
  ASSERT_EQ(GetCertificateDetails(FMember, d, true), 0);
  EXPECT_EQ(d.CertNameSimple, L"Veltrano Limited");
  // The nested call read the catalog file.
  EXPECT_TRUE(SameTextAZ(d.FileName, FInstalled)) << Narrow(d.FileName);
  EXPECT_TRUE(VC(FMember, TrustedSignerNames, 6));
}

TEST_F(SystemCatalog, FileSignVerifiesTheMemberThroughTheCatalog) {
  TLogTail log;
  TFileSign sign;
  sign.SetFileName(FMember);
  EXPECT_TRUE(log.Has("Found security catalog: \"" + Narrow(FInstalled) + "\""));
  EXPECT_FALSE(log.Has("F.WinVerifyTrust("));
  std::string prefix = "C.WinVerifyTrust(" + Narrow(FMember) + ") --> ";
  ASSERT_TRUE(log.Has(prefix)) << "no catalog verification was logged";
  ASSERT_EQ(sign.WTDResult(), 0) << std::hex << static_cast<uint32_t>(sign.WTDResult());
  EXPECT_TRUE(log.Has(prefix + "0 (trusted)"));
  EXPECT_TRUE(sign.Signed());
  EXPECT_EQ(sign.SignerInfo().FileName, FMember);
  EXPECT_EQ(sign.SignerInfo().CertNameSimple, L"Veltrano Limited");
}

}  // namespace
}  // namespace vt::test
