// Signer certificates, WinVerifyTrust verdicts and signer names of the real
// fixture files (tests/fixtures/make-fixtures.sh).
#include <gtest/gtest.h>

#include <stdexcept>

#include "TrustTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "trust/uTrustCheck.h"

namespace vt::test {
namespace {

std::string Narrow(const std::wstring& s) { return WideToUtf8(s); }

int64_t UnixTime(const FILETIME& ft) {
  uint64_t t = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<int64_t>((t - 116444736000000000ULL) / 10000000ULL);
}

// ---- the install worker's package check on real packages ----

struct TPackageCase {
  const wchar_t* File;
  uint32_t Outcome;
  uint32_t ErrorCode;  // checked when the outcome is not 11
};

class PackageCheck : public ::testing::TestWithParam<TPackageCase> {};

TEST_P(PackageCheck, GivesTheOutcomeOfItsSigner) {
  const TPackageCase& c = GetParam();
  TPackageVerdict v = CheckPackage(FixturePath(c.File));
  EXPECT_EQ(v.Outcome, c.Outcome) << "error code " << std::hex << v.ErrorCode;
  if (c.Outcome != 11) EXPECT_EQ(v.ErrorCode, c.ErrorCode);
  else EXPECT_NE(v.ErrorCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, PackageCheck,
    ::testing::Values(TPackageCase{L"msi/signed-veltrano.msi", 0, 0},
                      // the friendly name differs from a listed one only in letter case
                      TPackageCase{L"msi/signed-veltrano-case.msi", 0, 0},
                      TPackageCase{L"msi/signed-velt.msi", 0, 0},
                      // trusted by Windows, but not a listed signer
                      TPackageCase{L"msi/signed-other.msi", 12, 5},
                      // inner blanks are not folded
                      TPackageCase{L"msi/signed-veltrano-spaces.msi", 12, 5},
                      TPackageCase{L"msi/unsigned.msi", 10, 8},
                      // certificate readable, signature value broken
                      TPackageCase{L"msi/badsig.msi", 11, 0}));

TEST(PackageCheckTrust, CorruptedSignatureValueIsTheWinVerifyTrustCode) {
  int32_t result = 0;
  EXPECT_FALSE(FileTrust(FixturePath(L"msi/badsig.msi"), result, rcpCheckAlways));
  TPackageVerdict v = CheckPackage(FixturePath(L"msi/badsig.msi"));
  EXPECT_EQ(v.ErrorCode, static_cast<uint32_t>(result));
  EXPECT_NE(result, 0);
}

TEST(PackageCheckTrust, ContentChangedAfterSigningFailsTrust) {
  TCertificateDetails d;
  // The certificate is still readable.
  ASSERT_EQ(GetCertificateDetails(FixturePath(L"msi/tampered.msi"), d, true), 0);
  int32_t result = 0;
  bool trusted = FileTrust(FixturePath(L"msi/tampered.msi"), result, rcpCheckAlways);
  if (result == 0 && RunningOnWine())
    GTEST_SKIP() << "Wine's WinVerifyTrust does not compare the digest of an MSI package with its content and "
                    "calls a package changed after signing trusted; Windows refuses it (TRUST_E_BAD_DIGEST)";
  EXPECT_FALSE(trusted);
  TPackageVerdict v = CheckPackage(FixturePath(L"msi/tampered.msi"));
  EXPECT_EQ(v.Outcome, 11u);
  EXPECT_EQ(v.ErrorCode, static_cast<uint32_t>(result));
}

TEST(PackageCheckTrust, SignerFromAnUntrustedRootFailsTrust) {
  int32_t result = 0;
  bool trusted = FileTrust(FixturePath(L"msi/signed-foreign.msi"), result, rcpCheckAlways);
  if (result == 0 && RunningOnWine())
    GTEST_SKIP() << "Wine's WinVerifyTrust accepts an Authenticode signature whose root is in no store; "
                    "Windows answers CERT_E_UNTRUSTEDROOT";
  EXPECT_FALSE(trusted);
  EXPECT_EQ(CheckPackage(FixturePath(L"msi/signed-foreign.msi")).Outcome, 11u);
}

// ---- GetCertificateDetails ----

struct TStatusCase {
  const wchar_t* File;
  bool AllowCatalog;
  uint8_t Status;
};

class CertificateStatus : public ::testing::TestWithParam<TStatusCase> {};

TEST_P(CertificateStatus, IsTheDocumentedCode) {
  const TStatusCase& c = GetParam();
  TCertificateDetails d;
  d.FileName = L"untouched";
  d.CertNameSimple = L"untouched";
  uint8_t status = GetCertificateDetails(FixturePath(c.File), d, c.AllowCatalog);
  EXPECT_EQ(status, c.Status);
  if (status != 0) {
    // Left as it was.
    EXPECT_EQ(d.FileName, L"untouched");
    EXPECT_EQ(d.CertNameSimple, L"untouched");
    EXPECT_TRUE(d.SerialNumber.empty());
  } else {
    EXPECT_EQ(d.FileName, FixturePath(c.File));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CertificateStatus,
    ::testing::Values(TStatusCase{L"msi/signed-veltrano.msi", false, 0},
                      TStatusCase{L"msi/signed-veltrano.msi", true, 0},
                      TStatusCase{L"msi/tampered.msi", true, 0},
                      TStatusCase{L"msi/badsig.msi", true, 0},
                      TStatusCase{L"dll/veltrano/vtlib.dll", true, 0},
                      // a certificates-only PKCS #7: no signer information
                      TStatusCase{L"dll/nosigner/vtlib.dll", true, 2},
                      // a signature that does not carry its signer's certificate
                      TStatusCase{L"dll/nocert/vtlib.dll", true, 3},
                      TStatusCase{L"msi/unsigned.msi", false, 8},
                      // no catalog lists it
                      TStatusCase{L"msi/unsigned.msi", true, 8},
                      TStatusCase{L"dll/unsigned/vtlib.dll", true, 8},
                      TStatusCase{L"signers/veltrano.info", true, 8},
                      TStatusCase{L"msi/no-such-package.msi", true, 8}));

TEST(CertificateDetails, AreTheSignerCertificatesFields) {
  std::map<std::string, std::string> facts = SignerFacts("veltrano");
  ASSERT_FALSE(facts["serial"].empty());
  TCertificateDetails d;
  ASSERT_EQ(GetCertificateDetails(FixturePath(L"msi/signed-veltrano.msi"), d, true), 0);
  EXPECT_EQ(Narrow(d.SerialNumber), facts["serial"]);  // most significant byte first
  EXPECT_EQ(Narrow(d.PublicKey), facts["pubkey"]);
  EXPECT_EQ(d.CertNameSimple, L"Veltrano Limited");
  EXPECT_EQ(d.CertNameFriendly, L"Veltrano Limited");
  EXPECT_EQ(d.CertIssuer, L"Veltrano Test Root CA");
  EXPECT_EQ(d.CertNameEmail, L"");
  EXPECT_EQ(UnixTime(d.StartTime), std::stoll(facts["notbefore"]));
  EXPECT_EQ(UnixTime(d.EndTime), std::stoll(facts["notafter"]));
}

TEST(CertificateDetails, KeepInnerBlanksAndLetterCase) {
  TCertificateDetails d;
  ASSERT_EQ(GetCertificateDetails(FixturePath(L"msi/signed-veltrano-spaces.msi"), d, true), 0);
  EXPECT_EQ(d.CertNameSimple, L"Veltrano  Limited");
  ASSERT_EQ(GetCertificateDetails(FixturePath(L"dll/veltrano-case/vtlib.dll"), d, true), 0);
  EXPECT_EQ(d.CertNameFriendly, L"VELTRANO limited");
}

TEST(FindCatalogFile, IsEmptyForAFileNoCatalogListsAndForAMissingFile) {
  EXPECT_EQ(FindCatalogFile(FixturePath(L"msi/unsigned.msi")), L"");
  EXPECT_EQ(FindCatalogFile(FixturePath(L"msi/no-such-package.msi")), L"");
}

TEST(BytesToHex, WritesTwoUpperCaseDigitsPerByteInEitherOrder) {
  const BYTE b[] = {0x01, 0xAB, 0x00, 0xF0};
  EXPECT_EQ(BytesToHex(b, 4, false), L"01AB00F0");
  EXPECT_EQ(BytesToHex(b, 4, true), L"F000AB01");
  EXPECT_EQ(BytesToHex(b, 0, true), L"");
  EXPECT_EQ(BytesToHex(b, 1, true), L"01");
}

// ---- TFileSign ----

TEST(FileSign, SignedPackageIsSignedWithItsSignersDetails) {
  TLogTail log;
  std::wstring path = FixturePath(L"msi/signed-veltrano.msi");
  TFileSign sign;
  sign.SetFileName(path);
  EXPECT_TRUE(sign.Signed());
  EXPECT_EQ(sign.WTDResult(), 0);
  EXPECT_EQ(sign.SignerInfo().FileName, path);
  EXPECT_EQ(sign.SignerInfo().CertNameSimple, L"Veltrano Limited");
  EXPECT_EQ(Narrow(sign.SignerInfo().SerialNumber), SignerFacts("veltrano")["serial"]);
  EXPECT_TRUE(log.Has("-> TFileSign.InternalRefresh(" + Narrow(path) + ")"));
  EXPECT_TRUE(log.Has("F.WinVerifyTrust(" + Narrow(path) + ") --> 0 (trusted)"));
  EXPECT_TRUE(log.Has("<- TFileSign.InternalRefresh(" + Narrow(path) + ")"));
}

TEST(FileSign, UnsignedPackageIsUntrustedWithTheWinVerifyTrustCode) {
  TLogTail log;
  std::wstring path = FixturePath(L"msi/unsigned.msi");
  TFileSign sign;
  sign.SetFileName(path);
  EXPECT_FALSE(sign.Signed());
  EXPECT_EQ(static_cast<uint32_t>(sign.WTDResult()), 0x800B0100u);  // TRUST_E_NOSIGNATURE
  EXPECT_TRUE(sign.SignerInfo().CertNameSimple.empty());
  EXPECT_TRUE(log.Has("F.WinVerifyTrust(" + Narrow(path) + ") --> 800B0100 (untrusted)"));
}

TEST(FileSign, SameNameTwiceVerifiesOnce) {
  TLogTail log;
  std::wstring path = FixturePath(L"msi/signed-veltrano.msi");
  TFileSign sign;
  sign.SetFileName(path);
  sign.SetFileName(path);
  EXPECT_EQ(log.Count("-> TFileSign.InternalRefresh("), 1u);
  EXPECT_EQ(log.Count("F.WinVerifyTrust("), 1u);
  sign.SetFileName(FixturePath(L"msi/unsigned.msi"));
  EXPECT_EQ(log.Count("-> TFileSign.InternalRefresh("), 2u);
  EXPECT_FALSE(sign.Signed());
}

struct TNameCase {
  std::wstring Name;
  const char* Line;
};

TEST(FileSign, EmptyOrMissingNameLeavesItUnsignedWithResultZero) {
  std::wstring missing = FixturePath(L"msi/no-such-package.msi");
  const TNameCase cases[] = {
      {L"   ", "Empty filename"},
      {missing, nullptr},
  };
  for (const TNameCase& c : cases) {
    TLogTail log;
    TFileSign sign;
    sign.SetWTDResult(77);
    sign.SetFileName(c.Name);
    EXPECT_FALSE(sign.Signed());
    EXPECT_EQ(sign.WTDResult(), 0);
    std::string line = c.Line ? c.Line : "File \"" + Narrow(missing) + "\" does not exist";
    EXPECT_TRUE(log.Has(line)) << line;
    EXPECT_EQ(log.Count("WinVerifyTrust("), 0u);
    EXPECT_TRUE(log.Has("<- TFileSign.InternalRefresh("));
  }
  int32_t result = 5;
  EXPECT_FALSE(FileTrust(missing, result, rcpCheckAlways));
  EXPECT_EQ(result, 0);
}

TEST(FileSign, ClearEmptiesEverything) {
  TFileSign sign;
  sign.SetRevocationCheck(true);
  sign.SetOnlineCheck(true);
  sign.SetForceRevocationCheck(true);
  sign.SetFileName(FixturePath(L"msi/signed-veltrano.msi"));
  ASSERT_TRUE(sign.Signed());
  sign.Clear();
  EXPECT_EQ(sign.FileName(), L"");
  EXPECT_FALSE(sign.Signed());
  EXPECT_FALSE(sign.RevocationCheck());
  EXPECT_FALSE(sign.OnlineCheck());
  EXPECT_FALSE(sign.ForceRevocationCheck());
  EXPECT_EQ(sign.WTDResult(), 0);
  const TCertificateDetails& d = sign.SignerInfo();
  EXPECT_TRUE(d.FileName.empty() && d.SerialNumber.empty() && d.PublicKey.empty() && d.CertNameSimple.empty() &&
              d.CertNameFriendly.empty() && d.CertIssuer.empty() && d.CertNameEmail.empty());
  EXPECT_EQ(d.StartTime.dwLowDateTime | d.StartTime.dwHighDateTime | d.EndTime.dwLowDateTime |
                d.EndTime.dwHighDateTime,
            0u);
}

// Fails the first Failures refreshes, then verifies as usual.
class TFlakyFileSign : public TFileSign {
public:
  explicit TFlakyFileSign(int Failures) : FFailures(Failures) {}
  int Runs = 0;

protected:
  void InternalRefresh() override {
    ++Runs;
    if (FFailures-- > 0) throw std::runtime_error("refresh failed");
    TFileSign::InternalRefresh();
  }

private:
  int FFailures;
};

TEST(FileSign, RefreshIsRetriedOnceAfterAnException) {
  TLogTail log;
  std::wstring path = FixturePath(L"msi/signed-veltrano.msi");
  TFlakyFileSign sign(1);
  sign.SetFileName(path);
  EXPECT_EQ(sign.Runs, 2);
  EXPECT_TRUE(sign.Signed());
  EXPECT_TRUE(log.Has("TFileSign.SetFileName: Retry InternalRefresh ,Value=" + Narrow(path)));

  TFlakyFileSign failing(2);
  EXPECT_THROW(failing.SetFileName(path), std::runtime_error);
  EXPECT_EQ(failing.Runs, 2);
}

// ---- FileTrust ----

TEST(FileTrust, PolicyChoosesTheRevocationCheckAndLogsIt) {
  std::wstring path = FixturePath(L"msi/signed-veltrano.msi");
  const std::pair<TRevocationCheckPolicy, const char*> cases[] = {
      {rcpCheckNone, "FileTrust: rcpCheckNone"},
      {rcpCheckAlways, "FileTrust: rcpCheckAlways"},
  };
  for (auto& [policy, line] : cases) {
    TLogTail log;
    int32_t result = -1;
    EXPECT_TRUE(FileTrust(path, result, policy)) << line;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(log.Count(line), 1u);
  }
  TLogTail log;
  bool afterBoot = GetTickCount64() - 60000ULL > 120000ULL;
  int32_t result = -1;
  EXPECT_TRUE(FileTrust(path, result, rcpCheckAfterBoot));
  EXPECT_EQ(log.Count(afterBoot ? "FileTrust: rcpCheckAfterBoot - after boot" : "FileTrust: rcpCheckAfterBoot - on boot"),
            1u);
}

TEST(FileTrust, ReturnsSignedAndTheResultOfItsVerification) {
  int32_t result = 0;
  EXPECT_FALSE(FileTrust(FixturePath(L"msi/unsigned.msi"), result, rcpCheckNone));
  EXPECT_EQ(static_cast<uint32_t>(result), 0x800B0100u);
  EXPECT_TRUE(FileTrust(FixturePath(L"dll/veltrano/vtlib.dll"), result, rcpCheckAlways));
  EXPECT_EQ(result, 0);
}

// ---- VC and CMTSN ----

struct TVcCase {
  const wchar_t* File;
  int32_t High;
  bool Accepted;
  int Status;
};

class SignerCheck : public ::testing::TestWithParam<TVcCase> {};

TEST_P(SignerCheck, AcceptsListedSignersOnly) {
  const TVcCase& c = GetParam();
  TLogTail log;
  std::wstring path = FixturePath(c.File);
  EXPECT_EQ(VC(path, TrustedSignerNames, c.High), c.Accepted);
  std::string line = "<- VC('" + Narrow(path) + "')= " + (c.Accepted ? "True" : "False") + " (" +
                     std::to_string(c.Status) + ")";
  EXPECT_TRUE(log.Has(line)) << line;
  EXPECT_TRUE(log.Has("-> VC()"));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, SignerCheck,
    ::testing::Values(TVcCase{L"dll/veltrano/vtlib.dll", 6, true, 0},
                      TVcCase{L"msi/signed-velt.msi", 6, true, 0},
                      // letter case is ignored, inner blanks are not
                      TVcCase{L"dll/veltrano-case/vtlib.dll", 6, true, 0},
                      TVcCase{L"dll/veltrano-spaces/vtlib.dll", 6, false, 0},
                      TVcCase{L"dll/other/vtlib.dll", 6, false, 0},
                      // "Veltrano Limited" is the last entry: High 5 leaves it out
                      TVcCase{L"dll/veltrano/vtlib.dll", 5, false, 0},
                      // High -1: any readable signer
                      TVcCase{L"dll/other/vtlib.dll", -1, true, 0},
                      TVcCase{L"dll/veltrano-spaces/vtlib.dll", -1, true, 0},
                      // no trust question is asked: broken chains and content pass
                      TVcCase{L"msi/signed-foreign.msi", 6, true, 0},
                      TVcCase{L"msi/tampered.msi", 6, true, 0},
                      TVcCase{L"dll/unsigned/vtlib.dll", -1, false, 8},
                      TVcCase{L"dll/nocert/vtlib.dll", -1, false, 3},
                      TVcCase{L"dll/no-such-library.dll", -1, false, 255}));

TEST(SignerCheck, HighBeyondTheListReadsNoFurther) {
  const std::wstring_view two[] = {L"Nobody", L"Veltrano Limited"};
  EXPECT_TRUE(VC(FixturePath(L"dll/veltrano/vtlib.dll"), two, 40));
  EXPECT_FALSE(VC(FixturePath(L"dll/veltrano/vtlib.dll"), two, 0));
  EXPECT_FALSE(VC(FixturePath(L"dll/veltrano/vtlib.dll"), {}, 3));
}

TEST(CMTSN, ComparesTheTrimmedSimpleNameIgnoringCase) {
  struct TCase {
    const wchar_t* Simple;
    bool Match;
  } cases[] = {
      {L"Veltrano Limited", true},  {L"  veltrano limited\t", true}, {L"VELT SOFTWARE GMBH", true},
      {L"Veltrano  Limited", false}, {L"Veltrano Limited.", false},  {L"", false},
  };
  for (const TCase& c : cases) {
    TLogTail log;
    TCertificateDetails d;
    d.CertNameSimple = c.Simple;
    d.CertNameFriendly = L"friendly";
    EXPECT_EQ(CMTSN(d, TrustedSignerNames, 6), c.Match) << Narrow(c.Simple);
    EXPECT_TRUE(log.Has("-> CMTSN()"));
    EXPECT_TRUE(log.Has(std::string("<- CMTSN()= ") + (c.Match ? "True" : "False") + " ('" + Narrow(c.Simple) +
                        "','friendly')"));
  }
}

}  // namespace
}  // namespace vt::test
