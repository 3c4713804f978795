// The WOW64 file helpers: the native system folder from a 32-bit process.
#include <gtest/gtest.h>

#include "TrustTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "trust/UWow64Api.h"
#include "trust/uTrustCheck.h"

namespace vt::test {
namespace {

std::wstring WindowsFolder() {
  wchar_t w[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryW(w, MAX_PATH);
  return std::wstring(w, n);
}

bool Is64BitWindows() {
  SYSTEM_INFO si{};
  GetNativeSystemInfo(&si);
  return si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         si.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64;
}

// The machine field of a PE file's header, 0 when unreadable.
WORD PeMachine(HANDLE File) {
  if (File == INVALID_HANDLE_VALUE) return 0;
  BYTE buf[4096];
  DWORD n = 0;
  BOOL ok = ReadFile(File, buf, sizeof buf, &n, nullptr);
  CloseHandle(File);
  if (!ok || n < 0x40) return 0;
  DWORD pe = *reinterpret_cast<DWORD*>(buf + 0x3C);
  if (pe + 6 > n) return 0;
  return *reinterpret_cast<WORD*>(buf + pe + 4);
}

TEST(Wow64, ThisThirtyTwoBitProcessRunsUnderWow64OnSixtyFourBitWindows) {
  EXPECT_EQ(RunningUnderWow64(), Is64BitWindows());
}

TEST(Wow64, ToSysNativePathTurnsOnlyTheExactSystem32PrefixIntoSysNative) {
  if (!RunningUnderWow64()) GTEST_SKIP() << "not a 32-bit process on 64-bit Windows";
  const std::wstring win = WindowsFolder();
  const std::wstring upperWin = UpperCaseAZ(win);
  struct TCase {
    std::wstring Path, Expected;
  } cases[] = {
      {win + L"\\System32\\kernel32.dll", win + L"\\SysNative\\kernel32.dll"},
      {win + L"\\System32\\drivers\\System32\\x.sys", win + L"\\SysNative\\drivers\\System32\\x.sys"},
      // the prefix test is case-sensitive
      {win + L"\\system32\\kernel32.dll", win + L"\\system32\\kernel32.dll"},
      {win + L"\\SYSTEM32\\kernel32.dll", win + L"\\SYSTEM32\\kernel32.dll"},
      {win + L"\\System32", win + L"\\System32"},
      {L"D:\\data\\System32\\x.dll", L"D:\\data\\System32\\x.dll"},
      {L"", L""},
  };
  for (const TCase& c : cases) EXPECT_EQ(ToSysNativePath(c.Path), c.Expected) << WideToUtf8(c.Path);
  if (upperWin != win) {
    EXPECT_EQ(ToSysNativePath(upperWin + L"\\System32\\a.dll"), upperWin + L"\\System32\\a.dll");
  }
}

TEST(Wow64, CreateFileReachesTheNativeSystemFolderAndRestoresRedirection) {
  if (!RunningUnderWow64()) GTEST_SKIP() << "not a 32-bit process on 64-bit Windows";
  std::wstring k32 = WindowsFolder() + L"\\system32\\kernel32.dll";
  auto open = [&](bool native) {
    return (native ? W64API_CreateFileW : CreateFileW)(k32.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                      OPEN_EXISTING, 0, nullptr);
  };
  EXPECT_EQ(PeMachine(open(false)), IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(PeMachine(open(true)), IMAGE_FILE_MACHINE_AMD64);
  // Redirection is on again for the thread's next call.
  EXPECT_EQ(PeMachine(open(false)), IMAGE_FILE_MACHINE_I386);
}

// A signed file that exists only in the native system folder.
class NativeSystemFile : public ::testing::Test {
protected:
  void SetUp() override {
    if (!RunningUnderWow64()) GTEST_SKIP() << "not a 32-bit process on 64-bit Windows";
    FName = L"vt_native_only_" + std::to_wstring(GetCurrentProcessId()) + L".dll";
    FNative = WindowsFolder() + L"\\SysNative\\" + FName;
    ASSERT_TRUE(CopyFixture(L"dll/veltrano/vtlib.dll", FNative));
  }
  void TearDown() override {
    if (!FNative.empty()) DeleteFileW(FNative.c_str());
  }
  std::wstring FName, FNative;
};

TEST_F(NativeSystemFile, IsVerifiedThroughItsSysNativePath) {
  std::wstring system32 = WindowsFolder() + L"\\System32\\" + FName;
  ASSERT_FALSE(FileExistsW(system32));  // the 32-bit view has no such file
  TCertificateDetails d;
  EXPECT_EQ(GetCertificateDetails(system32, d, false), 0);
  EXPECT_EQ(d.CertNameSimple, L"Veltrano Limited");
  EXPECT_EQ(d.FileName, system32);
  TFileSign sign;
  sign.SetFileName(system32);
  EXPECT_TRUE(sign.Signed());
  // The lower-case form is not converted, so it names the 32-bit view's (missing) file.
  std::wstring lower = WindowsFolder() + L"\\system32\\" + FName;
  EXPECT_EQ(GetCertificateDetails(lower, d, false), 8);
  TLogTail log;
  TFileSign other;
  other.SetFileName(lower);
  EXPECT_FALSE(other.Signed());
  EXPECT_TRUE(log.Has("File \"" + WideToUtf8(lower) + "\" does not exist"));
}

}  // namespace
}  // namespace vt::test
