// The signer check for product libraries, and libraries planted beside the
// executable under system names: run in probe processes whose folder,
// signature and environment the test chooses.
#include <gtest/gtest.h>

#include <algorithm>

#include "TrustTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "trust/uDllsSecurity.h"

namespace vt::test {
namespace {

std::string Narrow(const std::wstring& s) { return WideToUtf8(s); }

// ---- DllLoadCheck ----

struct TCheckCase {
  const wchar_t* Library;
  bool Unsigned;         // accepted beside an executable that is not signed by an accepted signer
  bool SignedAccepted;   // accepted beside an executable signed by "Veltrano Limited"
};

const TCheckCase kCheckCases[] = {
    {L"dll/veltrano/vtlib.dll", true, true},
    {L"dll/velt/vtlib.dll", true, true},
    {L"dll/veltrano-case/vtlib.dll", true, true},
    {L"dll/veltrano-spaces/vtlib.dll", true, false},
    {L"dll/other/vtlib.dll", true, false},
    {L"dll/unsigned/vtlib.dll", true, false},
    {L"dll/nocert/vtlib.dll", true, false},
    // "rerava.dll": any readable signer, never unsigned
    {L"dll/other/rerava.dll", true, true},
    {L"dll/veltrano/rerava.dll", true, true},
    {L"dll/unsigned/rerava.dll", false, false},
};

TEST(DllLoadCheck, BesideThisUnsignedExecutableAcceptsAllButAnUnsignedRerava) {
  for (const TCheckCase& c : kCheckCases)
    EXPECT_EQ(DllLoadCheck(FixturePath(c.Library)), c.Unsigned) << Narrow(c.Library);
}

TEST(DllLoadCheck, RecognisesReravaInAnyLetterCase) {
  TTempDir dir;
  std::wstring path = dir.File(L"ReRaVa.DLL");
  ASSERT_TRUE(CopyFixture(L"dll/unsigned/rerava.dll", path));
  EXPECT_FALSE(DllLoadCheck(path));
}

class SignedExecutable : public ::testing::Test {
protected:
  DWORD Check(const std::wstring& Probe, const wchar_t* Library) {
    return RunProbe(BuildPath(L"tests/trust/" + Probe), L"dllcheck", FixturePath(Library),
                    {L"VeltranoDbgLog=" + FLog.File(L"probe.log")});
  }
  TTempDir FLog;
};

TEST_F(SignedExecutable, RefusesLibrariesOfOtherSignersAndUnsignedOnes) {
  for (const TCheckCase& c : kCheckCases)
    EXPECT_EQ(Check(L"trust_probe_veltrano.exe", c.Library), c.SignedAccepted ? 1u : 0u) << Narrow(c.Library);
}

TEST_F(SignedExecutable, ByASignerOutsideTheListBehavesLikeAnUnsignedOne) {
  EXPECT_EQ(Check(L"trust_probe_other.exe", L"dll/unsigned/vtlib.dll"), 1u);
  EXPECT_EQ(Check(L"trust_probe_other.exe", L"dll/unsigned/rerava.dll"), 0u);
  EXPECT_EQ(Check(L"trust_probe.exe", L"dll/other/vtlib.dll"), 1u);
}

}  // namespace
}  // namespace vt::test
