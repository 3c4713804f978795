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
    // a copied signature block names an accepted signer but does not verify
    {L"dll/forged/vtlib.dll", true, false},
    {L"dll/forged/rerava.dll", false, false},
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

// ---- libraries planted beside the executable ----

constexpr DWORD kLoaded = 1, kFrameworkLoaded = 2, kCheckRegistered = 4;

// A copy of a probe as "setup.exe" in a folder of its own, with the marker
// library planted beside it under chosen names. Wine takes a planted file
// instead of its own built-in copy only when native is preferred for that name.
class PlantedFolder : public ::testing::Test {
protected:
  void SetUp() override {
    if (!RunningOnWine()) return;
    std::wstring overrides = EnvVar(L"WINEDLLOVERRIDES");
    for (const wchar_t* n : {L"version", L"winmm", L"advapi32", L"q7framework"})
      ASSERT_NE(overrides.find(n), std::wstring::npos)
          << "run through ctest, which prefers native libraries for the planted names "
             "(tests/trust/CMakeLists.txt); WINEDLLOVERRIDES=" << Narrow(overrides);
  }
  void Plant(std::initializer_list<const wchar_t*> Names) {
    for (const wchar_t* n : Names) ASSERT_TRUE(CopyFixture(L"dll/unsigned/vtlib.dll", FDir.File(n))) << Narrow(n);
  }
  DWORD Run(const wchar_t* Probe, const wchar_t* Mode, const wchar_t* Arg, const std::wstring& NativeFirst) {
    std::wstring exe = FDir.File(L"setup.exe");
    CopyFileW(BuildPath(std::wstring(L"tests/trust/") + Probe).c_str(), exe.c_str(), FALSE);
    DWORD code = RunProbe(exe, Mode, Arg,
                          {L"VeltranoDbgLog=" + FDir.File(L"probe.log"),
                           L"WINEDLLOVERRIDES=" + NativeFirst + L"=n,b;mscoree,mshtml="});
    DeleteFileW(exe.c_str());
    return code;
  }
  // The planted libraries whose code ran, lower case; the markers are removed.
  std::vector<std::string> TakeMarkers() {
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(FDir.File(L"*.loaded").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::wstring n = fd.cFileName;
        DeleteFileW(FDir.File(n).c_str());
        n.resize(n.size() - 7);
        for (auto& c : n) c = static_cast<wchar_t>(towlower(c));
        names.push_back(Narrow(n));
      } while (FindNextFileW(h, &fd));
      FindClose(h);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> ProbeLog() { return ReadLines(FDir.File(L"probe.log")); }

  TTempDir FDir;
  using TNames = std::vector<std::string>;
};

TEST_F(PlantedFolder, PlainLoadsBeforeTheRestrictionTakeThem) {
  // The control: without the restriction the planted files are what loads.
  Plant({L"winmm.dll", L"vtplanted.dll"});
  EXPECT_EQ(Run(L"trust_probe.exe", L"plain", L"winmm.dll", L"winmm"), kLoaded);
  EXPECT_EQ(TakeMarkers(), TNames{"winmm.dll"});
  EXPECT_EQ(Run(L"trust_probe.exe", L"plain", L"vtplanted.dll", L"winmm"), kLoaded);
  EXPECT_EQ(TakeMarkers(), TNames{"vtplanted.dll"});
}

TEST_F(PlantedFolder, SecuredLoadNeverTakesThem) {
  Plant({L"version.dll", L"winmm.dll", L"vtplanted.dll"});
  const std::wstring native = L"version,winmm";
  EXPECT_EQ(Run(L"trust_probe.exe", L"secured", L"winmm.dll", native), kLoaded);
  EXPECT_EQ(Run(L"trust_probe.exe", L"secured", L"version.dll", native), kLoaded);
  // Nothing of that name in the system folder: nothing at all.
  EXPECT_EQ(Run(L"trust_probe.exe", L"secured", L"vtplanted.dll", native), 0u);
  EXPECT_EQ(TakeMarkers(), TNames{});
  bool warned = false;
  for (const std::string& l : ProbeLog())
    if (l.find("LoadLibraryEx warning:; LastError = 126(") != std::string::npos) warned = true;
  EXPECT_TRUE(warned);
}

TEST_F(PlantedFolder, PlainLoadsAfterTheStartUpRestrictionNeverTakeThem) {
  Plant({L"version.dll", L"winmm.dll", L"vtplanted.dll"});
  const std::wstring native = L"version,winmm";
  EXPECT_EQ(Run(L"trust_probe.exe", L"startup", L"winmm.dll", native), kLoaded | kCheckRegistered);
  EXPECT_EQ(Run(L"trust_probe.exe", L"startup", L"version.dll", native), kLoaded | kCheckRegistered);
  EXPECT_EQ(Run(L"trust_probe.exe", L"startup", L"vtplanted.dll", native), kCheckRegistered);
  EXPECT_EQ(TakeMarkers(), TNames{});
}

TEST_F(PlantedFolder, ManifestKeepsLibrariesBoundBeforeAnyCodeInTheSystemFolder) {
  // The probe imports version.dll, so Windows binds it before any code runs.
  Plant({L"version.dll"});
  Run(L"trust_probe_plain.exe", L"startup", L"-", L"version");
  EXPECT_EQ(TakeMarkers(), TNames{"version.dll"}) << "the control without a manifest";
  EXPECT_EQ(Run(L"trust_probe.exe", L"startup", L"-", L"version"), kCheckRegistered);
  EXPECT_EQ(TakeMarkers(), TNames{});
}

TEST_F(PlantedFolder, SecuredLoadOfAdvapi32NeverTakesAPlantedOne) {
  Plant({L"advapi32.dll"});
  DWORD code = Run(L"trust_probe.exe", L"secured", L"advapi32.dll", L"advapi32");
  TNames markers = TakeMarkers();
  if (!markers.empty() && RunningOnWine())
    GTEST_SKIP() << "Wine binds a planted advapi32.dll to the executable's import table when native is preferred "
                    "for it (it keeps no known-DLL list for it); Windows takes advapi32 only from its KnownDLLs";
  EXPECT_EQ(code, kLoaded);
  EXPECT_EQ(markers, TNames{});
}

size_t LineOf(const std::vector<std::string>& Lines, const std::string& Part) {
  for (size_t i = 0; i < Lines.size(); ++i)
    if (Lines[i].find(Part) != std::string::npos) return i;
  return std::string::npos;
}

TEST_F(PlantedFolder, FrameworkLibraryBesideTheExecutableIsTriedOnceBeforeTheRestriction) {
  EXPECT_EQ(Run(L"trust_probe.exe", L"startup", L"-", L"q7framework"), kCheckRegistered);
  EXPECT_EQ(LineOf(ProbeLog(), "q7framework"), std::string::npos);  // absent: not even a log line
  DeleteFileW(FDir.File(L"probe.log").c_str());

  // Before the check is registered, so even an unsigned one beside a signed executable loads.
  Plant({L"q7framework.dll"});
  EXPECT_EQ(Run(L"trust_probe_veltrano.exe", L"startup", L"-", L"q7framework"), kFrameworkLoaded | kCheckRegistered);
  EXPECT_EQ(TakeMarkers(), TNames{"q7framework.dll"});
  std::vector<std::string> log = ProbeLog();
  size_t advapi = LineOf(log, "<- LoadLibrarySecured('advapi32.dll')=");
  size_t framework = LineOf(log, "q7framework.dll')=");
  size_t kernel = LineOf(log, "<- LoadLibrarySecured('kernel32.dll')=");
  ASSERT_NE(framework, std::string::npos);
  EXPECT_LT(advapi, framework);
  EXPECT_LT(framework, kernel);
  EXPECT_EQ(LineOf(log, "-> VC()"), std::string::npos);  // no check ran for it
}

// ---- the application manifest ----

TEST(ApplicationManifest, AsksForElevationAndPinsTheLibraries) {
  std::wstring exe = EnvVar(L"VT_PRODUCT_EXE");
  for (auto& c : exe)
    if (c == L'/') c = L'\\';
  HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(m, nullptr) << Narrow(exe);
  HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(r, nullptr);
  const char* data = static_cast<const char*>(LockResource(LoadResource(m, r)));
  std::string manifest(data, SizeofResource(m, r));
  FreeLibrary(m);
  EXPECT_NE(manifest.find(R"(level="requireAdministrator" uiAccess="false")"), std::string::npos);
  for (const char* id : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
    EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + id + "}\"/>"), std::string::npos) << id;
  size_t pinned = 0;
  for (const char* lib : {"mpr.dll", "netapi32.dll", "netutils.dll", "textshaping.dll", "version.dll", "winhttp.dll",
                          "CoreMessaging.dll", "DWMAPI.DLL", "WINSTA.DLL", "wtsapi32.DLL", "CoreUIComponents.DLL",
                          "winspool.drv",
                          // loaded by system libraries' own search (the planted-library test found them)
                          "uxtheme.dll", "cryptnet.dll", "windowscodecs.dll"}) {
    std::string entry = std::string("<file name=\"") + lib + "\" loadFrom=\"%SystemRoot%\\system32\\\"/>";
    EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
    ++pinned;
  }
  size_t files = 0;
  for (size_t p = manifest.find("<file "); p != std::string::npos; p = manifest.find("<file ", p + 1)) ++files;
  EXPECT_EQ(files, pinned);
}

}  // namespace
}  // namespace vt::test
