// Package names and download addresses: the pieces by tables, and the
// requests a real worker sends to the loopback download side.
#include <gtest/gtest.h>


#include "WorkerTestUtils.h"
#include "fw/uSysUtils.h"
#include "sys/OsUnit.h"
#include "worker/uInstallThread.h"

namespace vt::test {
namespace {

struct TEditionCase {
  const wchar_t* Text;
  int Index;
  const wchar_t* Name;  // for an executable of that name
};

class Edition : public ::testing::TestWithParam<TEditionCase> {};

TEST_P(Edition, FromTheExecutableName) {
  const TEditionCase& c = GetParam();
  EXPECT_EQ(EditionIndex(c.Text), c.Index);
  EXPECT_EQ(EditionNameOf(c.Text), c.Name);
}

const TEditionCase kEditionCases[] = {
    {L"VeltranoShieldSetup.exe", 1, L"Shield"},
    {L"MyCitadelInstaller.exe", 3, L"Citadel"},
    {L"RAMPARTsetup.exe", 2, L"Rampart"},
    {L"citadel.exe", 3, L"Citadel"},
    {L"setup.exe", 0, L"Shield"},
    {L"", 0, L"Shield"},
    // Rows are tried in order: the first name found wins.
    {L"ShieldCitadel.exe", 1, L"Shield"},
    {L"Citadel_Rampart.exe", 2, L"Rampart"},
    // A code matches only as the whole text.
    {L"vrm", 2, L"Rampart"},
    {L"VCT", 3, L"Citadel"},
    {L"VRM.exe", 0, L"Shield"},
};
INSTANTIATE_TEST_SUITE_P(Worker, Edition, ::testing::ValuesIn(kEditionCases));

struct TSuffixCase {
  const wchar_t* Exe;
  const wchar_t* AltVer;
  const wchar_t* Suffix;
};

class Suffix : public ::testing::TestWithParam<TSuffixCase> {};

TEST_P(Suffix, FromTheExecutableNameOrTheAlternateVersion) {
  const TSuffixCase& c = GetParam();
  EXPECT_EQ(NameSuffixOf(c.Exe, c.AltVer), c.Suffix);
}

const TSuffixCase kSuffixCases[] = {
    {L"VeltranoShieldSetup.exe", L"", L""},
    {L"VeltranoShieldSetup_beta2.exe", L"", L"_beta2"},
    {L"setup.exe", L"1.2", L"_1.2"},
    {L"setup_x.exe", L"1.2", L"_x"},          // the name's suffix wins
    {L"_lead.exe", L"", L""},                 // a leading "_" gives none
    {L"_lead.exe", L"9", L"_9"},
    {L"a_b", L"", L"_b"},                     // no extension: to the end
    {L".a_b", L"", L"_b"},                    // a dot only at the start counts as none
    {L"a.b_c", L"", L""},                     // the last dot lies before the "_"
    {L"a_b.c.exe", L"", L"_b.c"},             // up to the last dot
    {L"a_.exe", L"", L"_"},
};
INSTANTIATE_TEST_SUITE_P(Worker, Suffix, ::testing::ValuesIn(kSuffixCases));

struct TUrlCase {
  const char* Name;
  const wchar_t* Locale;
  bool Server;
  const wchar_t* Refer;
  const wchar_t* Topic;
  const wchar_t* DownloadName;
  const wchar_t* AltVer;  // non-empty: the mirror's address
  const wchar_t* Url;
};

class Address : public ::testing::TestWithParam<TUrlCase> {};

TEST_P(Address, IsBuiltFromItsParts) {
  const TUrlCase& c = GetParam();
  std::wstring url = *c.AltVer ? PackageMirrorURL(L"mirror.test", c.DownloadName, c.AltVer)
                               : RedirectServiceURL(L"redirect.test:8443", c.Locale, c.Server, c.Refer, c.Topic);
  EXPECT_EQ(url, c.Url);
}

const TUrlCase kUrlCases[] = {
    {"Defaults", L"de-de", false, L"", L"", L"", L"",
     L"https://redirect.test:8443/?v=2017.10&l=de-de&p=Q7PE&t=download_shield_msi_64"},
    {"Referrer", L"en-us", false, L"partner7", L"", L"", L"",
     L"https://redirect.test:8443/?v=2017.10&l=en-us&p=Q7PE&refer=partner7&t=download_shield_msi_64"},
    {"Topic", L"en-us", false, L"", L"spring_", L"", L"",
     L"https://redirect.test:8443/?v=2017.10&l=en-us&p=Q7PE&t=spring_64"},
    {"ServerWindows", L"fr-fr", true, L"", L"", L"", L"",
     L"https://redirect.test:8443/?v=2017.10&l=fr-fr&p=Q7SERVER&t=download_shield_msi_64"},
    {"NothingEncoded", L"en-us", false, L"a b&c", L"t=x", L"", L"",
     L"https://redirect.test:8443/?v=2017.10&l=en-us&p=Q7PE&refer=a b&c&t=t=x64"},
    {"MirrorForAnAlternateVersion", L"", false, L"partner7", L"", L"VeltranoShieldSetup", L"2023.5",
     L"http://mirror.test/vsx/VeltranoShieldSetup64_2023.5.msi"},
};
INSTANTIATE_TEST_SUITE_P(Worker, Address, ::testing::ValuesIn(kUrlCases),
                         [](const auto& i) { return std::string(i.param.Name); });

TEST(PackageNames, PrivateTempFolderIsVttmpInTheUsersTempFolder) {
  wchar_t tmp[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH, tmp);
  ASSERT_GT(n, 0u);
  std::wstring expected(tmp, n);
  if (expected.back() != L'\\') expected += L'\\';
  EXPECT_EQ(PrivateTempFolder(), expected + L"vttmp\\");
}

TEST(PackageNames, LocalCandidateBesideThisExecutable) {
  // This program is test_worker.exe: suffix "_worker", edition "Shield".
  TInstallThread w;
  const std::wstring folder = ExtractFilePath(GetModulePath());
  const std::wstring bits = Use64BitPackage() ? L"64" : L"32";
  EXPECT_EQ(w.GetNameSuffix(L""), L"_worker");
  EXPECT_EQ(w.GetEditionName(), L"Shield");
  EXPECT_EQ(w.GetReferName(), L"Veltrano");
  w.FRefer = L"partner7";
  EXPECT_EQ(w.GetReferName(), L"partner7");
  TLocalPackage local(L"msi/props-other.msi");
  EXPECT_EQ(local.Path(), folder + L"VeltranoShieldSetup" + bits + L"_worker.msi");
}

// What a real worker asks the loopback download side for. Each attempt is
// cancelled once its download runs; the request has been made by then.
struct TRequestCase {
  const char* Name;
  const wchar_t* Refer;
  const wchar_t* Topic;
  const wchar_t* AltVer;
  const char* Head;  // the first request line
  const char* Target;  // the download target's file name
};

class Requests : public ::testing::TestWithParam<TRequestCase> {};

TEST_P(Requests, ReachTheDownloadSide) {
  const TRequestCase& c = GetParam();
  TRequestLog log;
  TAttempt a;
  a.Refer = c.Refer;
  a.Topic = c.Topic;
  a.Options.FAltVer = c.AltVer;
  a.OnStage = [](TInstallThread& W) {
    if (W.ProgressStage() == vtpsDownloadRunning) W.Terminate();
  };
  TAttemptResult r = RunAttempt(a);
  // HEAD first, then GET of the same address; the workstation's product code
  // and the locale the worker's catalogue chose (the test runs with LC_ALL=de_DE).
  const std::string get = "GET " + std::string(c.Head).substr(5);
  EXPECT_TRUE(log.WaitFor(get)) << get;
  std::vector<std::string> lines = log.Lines();
  ASSERT_FALSE(lines.empty()) << r.InstallResult << " " << WideToUtf8(r.ErrorText);
  EXPECT_EQ(lines[0], c.Head);
  EXPECT_EQ(ExtractFileName(r.MsiFileName), Utf8ToWide(c.Target));
  EXPECT_EQ(ExtractFilePath(r.MsiFileName), PrivateTempFolder());
  EXPECT_TRUE(PackagesInPrivateTemp().empty());
}

const TRequestCase kRequestCases[] = {
    {"Redirect", L"", L"", L"", "HEAD /?v=2017.10&l=de-de&p=Q7PE&t=download_shield_msi_64",
     "VeltranoShieldSetup_worker.msi"},
    {"Referrer", L"partner7", L"", L"", "HEAD /?v=2017.10&l=de-de&p=Q7PE&refer=partner7&t=download_shield_msi_64",
     "partner7ShieldSetup_worker.msi"},
    {"Topic", L"", L"pkg.msi/props-other.msi_", L"",
     "HEAD /?v=2017.10&l=de-de&p=Q7PE&t=pkg.msi/props-other.msi_64", "VeltranoShieldSetup_worker.msi"},
    {"MirrorPath", L"", L"", L"2023.5", "HEAD /vsx/VeltranoShieldSetup64_2023.5.msi",
     "VeltranoShieldSetup_worker.msi"},
};
INSTANTIATE_TEST_SUITE_P(Worker, Requests, ::testing::ValuesIn(kRequestCases),
                         [](const auto& i) { return std::string(i.param.Name); });

}  // namespace
}  // namespace vt::test
