// Secured loads of system libraries and the loading of product libraries.
#include <gtest/gtest.h>

#include "TrustTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "trust/uLoadLibrarySecured.h"

namespace vt::test {
namespace {

std::string Narrow(const std::wstring& s) { return WideToUtf8(s); }

std::wstring ModuleFile(HMODULE h) {
  wchar_t p[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(h, p, MAX_PATH);
  return std::wstring(p, n);
}

std::wstring SystemFolder() {
  wchar_t p[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryW(p, MAX_PATH);
  return std::wstring(p, n);
}

constexpr uint64_t kFixtureVersion = 0x0002000300040005ULL;  // 2.3.4.5 in tests/fixtures/marker.rc

TEST(LoadLibrarySecured, BareNameIsTakenFromTheSystemFolder) {
  TLogTail log;
  HMODULE h = LoadLibrarySecured(L"version.dll");
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(SameTextAZ(ExtractFilePath(ModuleFile(h)), SystemFolder() + L"\\")) << Narrow(ModuleFile(h));
  EXPECT_TRUE(log.Has("-> LoadLibrarySecured()"));
  EXPECT_TRUE(log.Has("<- LoadLibrarySecured('version.dll')=" + std::to_string(reinterpret_cast<intptr_t>(h))));
  EXPECT_FALSE(log.Has("LoadLibraryEx warning:"));
  EXPECT_FALSE(log.Has("UsualLoad"));
  FreeLibrary(h);
}

TEST(LoadLibrarySecured, MissingLibraryLogsTheWarningAndTriesNoUsualLoad) {
  TLogTail log;
  EXPECT_EQ(LoadLibrarySecured(L"vt_no_such_library.dll"), nullptr);
  EXPECT_TRUE(log.Has("LoadLibraryEx warning:; LastError = 126("));
  EXPECT_FALSE(log.Has("UsualLoad"));
  EXPECT_TRUE(log.Has("<- LoadLibrarySecured('vt_no_such_library.dll')=0"));
  // The flags are known here, and the failed load did not change that.
  EXPECT_TRUE(IsSecureSearchAvailable());
}

TEST(LoadLibrarySecured, FullPathLoadsThatFile) {
  TTempDir dir;
  std::wstring path = dir.File(L"vtfull.dll");
  ASSERT_TRUE(CopyFixture(L"dll/unsigned/vtlib.dll", path));
  HMODULE h = LoadLibrarySecured(path);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(FileExistsW(path + L".loaded"));
  FreeLibrary(h);
}

TEST(UsualLoad, IsThePlainSearchAndLogsAFailure) {
  TLogTail log;
  EXPECT_EQ(UsualLoad(L"vt_no_such_library.dll"), nullptr);
  EXPECT_TRUE(log.Has("-> UsualLoad(); Warning:"));
  EXPECT_TRUE(log.Has("LoadLibrary failed; LastError = 126("));
  EXPECT_TRUE(log.Has("<- UsualLoad()"));
  HMODULE h = UsualLoad(L"version.dll");
  EXPECT_NE(h, nullptr);
  if (h) FreeLibrary(h);
}

// ---- GetFileVersionNumbers ----

TEST(GetFileVersionNumbers, GivesTheFixedFileVersionAsTextAndNumber) {
  uint64_t v = 1;
  EXPECT_EQ(GetFileVersionNumbers(FixturePath(L"dll/unsigned/vtlib.dll"), v), L"2.3.4.5");
  EXPECT_EQ(v, kFixtureVersion);
  for (const wchar_t* f : {L"msi/unsigned.msi", L"dll/no-such-library.dll"}) {
    v = 1;
    EXPECT_EQ(GetFileVersionNumbers(FixturePath(f), v), L"0.0.0.0");
    EXPECT_EQ(v, 0u);
  }
}

// ---- LoadProductLibrary ----

std::wstring gCheckedPath;
bool gCheckAnswer = true;
bool RecordingCheck(const std::wstring& Path) {
  gCheckedPath = Path;
  return gCheckAnswer;
}

class ProductLibrary : public ::testing::Test {
protected:
  void SetUp() override {
    gCheckedPath.clear();
    gCheckAnswer = true;
    FSaved = GetDllLoadCheck();
  }
  void TearDown() override { SetDllLoadCheck(FSaved); }
  TDllLoadCheck FSaved = nullptr;
};

TEST_F(ProductLibrary, AbsentBareNameLoadsNothingAndWritesNoLogLine) {
  SetDllLoadCheck(RecordingCheck);
  TLogTail log;
  uint64_t v = 7;
  EXPECT_EQ(LoadProductLibrary(L"vt_absent_product.dll", v), nullptr);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(LoadProductLibrary(FixturePath(L"dll/no-such-library.dll"), v), nullptr);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_TRUE(gCheckedPath.empty());  // nothing to check
}

TEST_F(ProductLibrary, FullPathIsCheckedLoadedAndVersioned) {
  TTempDir dir;
  std::wstring path = dir.File(L"vtproduct.dll");
  ASSERT_TRUE(CopyFixture(L"dll/unsigned/vtlib.dll", path));
  SetDllLoadCheck(RecordingCheck);
  uint64_t v = 0;
  HMODULE h = LoadProductLibrary(path, v);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(gCheckedPath, path);
  EXPECT_EQ(v, kFixtureVersion);
  EXPECT_TRUE(FileExistsW(path + L".loaded"));
  FreeLibrary(h);
}

TEST_F(ProductLibrary, RefusedByTheCheckIsNotLoaded) {
  TTempDir dir;
  std::wstring path = dir.File(L"vtrefused.dll");
  ASSERT_TRUE(CopyFixture(L"dll/unsigned/vtlib.dll", path));
  SetDllLoadCheck(RecordingCheck);
  gCheckAnswer = false;
  TLogTail log;
  uint64_t v = 7;
  EXPECT_EQ(LoadProductLibrary(path, v), nullptr);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(gCheckedPath, path);
  EXPECT_FALSE(FileExistsW(path + L".loaded"));
  EXPECT_FALSE(log.Has("LoadLibrarySecured"));
}

TEST_F(ProductLibrary, BareNameIsTakenFromBesideTheExecutable) {
  std::wstring name = L"vt_beside_" + std::to_wstring(GetCurrentProcessId()) + L".dll";
  std::wstring beside = ExtractFilePath(GetModulePath()) + name;
  ASSERT_TRUE(CopyFixture(L"dll/unsigned/vtlib.dll", beside));
  SetDllLoadCheck(RecordingCheck);
  uint64_t v = 0;
  HMODULE h = LoadProductLibrary(name, v);
  EXPECT_NE(h, nullptr);
  EXPECT_EQ(gCheckedPath, beside);
  EXPECT_EQ(v, kFixtureVersion);
  EXPECT_TRUE(FileExistsW(beside + L".loaded"));
  if (h) FreeLibrary(h);
  DeleteFileW(beside.c_str());
  DeleteFileW((beside + L".loaded").c_str());
}

}  // namespace
}  // namespace vt::test
