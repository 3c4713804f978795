// The application information record: its helpers in this process, and the
// block at the top of the product executable's own log.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <string>
#include <vector>

#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "log/uCommonAppInfo.h"
#include "log/uFileInfo.h"

namespace vt {
namespace {

using test::TMakerRegValue;

constexpr size_t kTextColumn = 19;  // after the time stamp and thread id

std::string Text(const std::string& Line) { return Line.size() > kTextColumn ? Line.substr(kTextColumn) : ""; }

// The log from the system probes on: only secured library loads come before
// them, the WOW64 helpers' first (advapi32.dll), then the system libraries
// that the executable binds at run time.
std::vector<std::string> FromSystemProbes(const std::vector<std::string>& all) {
  size_t start = 0;
  while (start < all.size() && Text(all[start]).find("LoadLibrarySecured(") != std::string::npos) ++start;
  EXPECT_GE(start, 2u);
  if (start >= 2) {
    EXPECT_NE(Text(all[1]).find("LoadLibrarySecured('advapi32.dll')="), std::string::npos);
  }
  return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(start), all.end());
}

std::string FileSha1Hex(const std::wstring& Path) {
  const std::string data = test::ReadFileBytes(Path);
  unsigned char md[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), md);
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned char b : md) {
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s;
}

TEST(FileVersion, FromTheVersionResource) {
  EXPECT_EQ(WideToUtf8(GetFileVersionText(test::ProductExe())), "1.0.0.1");
  // The test executable has no version resource.
  EXPECT_EQ(WideToUtf8(GetFileVersionText(GetModulePath())), "");
  EXPECT_EQ(WideToUtf8(GetFileVersionText(test::ProductExe() + L".missing")), "");
  EXPECT_EQ(WideToUtf8(GetFileVersionText(L"")), "");

  TFileInfo info;
  info.FFileName = test::ProductExe();
  EXPECT_EQ(WideToUtf8(info.GetVersionString(L"ProductName")), "Veltrano Shield");
  EXPECT_EQ(WideToUtf8(info.FCharSet), "040904B0");
  EXPECT_EQ(WideToUtf8(info.GetVersionString(L"NoSuchKey")), "");
}

TEST(ProcessUser, DomainBackslashAccount) {
  const std::wstring user = GetProcessUserName();
  const size_t slash = user.find(L'\\');
  ASSERT_NE(slash, std::wstring::npos) << WideToUtf8(user);
  EXPECT_GT(slash, 0u);
  wchar_t name[256];
  DWORD n = 256;
  ASSERT_TRUE(GetUserNameW(name, &n));
  EXPECT_EQ(WideToUtf8(user.substr(slash + 1)), WideToUtf8(name));
}

// Runs the product executable with its own log and returns the log's lines.
std::vector<std::string> RunProduct(const test::TTempDir& Dir, const std::wstring& CommandLine) {
  static int run = 0;
  const std::wstring log = Dir.File(L"product" + std::to_wstring(++run) + L".log");
  auto r = test::RunProcess(CommandLine, {L"VeltranoDbgLog=" + log});
  EXPECT_FALSE(r.TimedOut);
  EXPECT_EQ(r.ExitCode, 0u);
  return test::ReadLines(log);
}

bool AnyLineContains(const std::vector<std::string>& Lines, const std::string& S) {
  for (const auto& l : Lines)
    if (l.find(S) != std::string::npos) return true;
  return false;
}

class ProductLog : public testing::Test {
protected:
  void SetUp() override { FTestMode.Delete(); }
  TMakerRegValue FTestMode{L"ServiceTestMode"};
  TMakerRegValue FDebug{L"GenerateDebugOutput"};
  test::TTempDir FDir;
};

TEST_F(ProductLog, BlockOpensTheLogWhenDebugOutputIsOn) {
  FDebug.SetDword(1);
  const std::wstring exe = test::ProductExe();
  const std::wstring cmd = L"\"" + exe + L"\"" + test::kQuietRun + L" \"QUOTED=quoted arg\"  x=1";
  const auto lines = FromSystemProbes(RunProduct(FDir, cmd));
  ASSERT_GE(lines.size(), 13u);

  const std::vector<std::string> expected = {
      "-> LogApplicationCommonInfo()",
      "      Os version    : Windows 10x64",
      "      Os user       : " + WideToUtf8(GetProcessUserName()),
      "      App.CmdLine   : " + WideToUtf8(cmd),
      "   -> TLbSHA1.HashFile(" + WideToUtf8(exe) + ")",
      "",  // the digest's first bytes, checked below
      "      App.hash(SHA1): " + FileSha1Hex(exe),
      "      App.version   : 1.0.0.1",
      "      Config        : RELEASE",
      "      Parent process: test_appinfo.exe (" + std::to_string(GetCurrentProcessId()) + ")",
      "<- LogApplicationCommonInfo()",
      "   OsUnit.Initialization finished",
  };
  for (size_t i = 0; i < expected.size(); ++i)
    if (!expected[i].empty()) {
      EXPECT_EQ(Text(lines[i]), expected[i]) << i;
    }
  // The first five digest bytes in decimal, one after another.
  const std::string hash = FileSha1Hex(exe);
  std::string firstBytes;
  for (int i = 0; i < 5; ++i) firstBytes += std::to_string(std::stoi(hash.substr(2 * i, 2), nullptr, 16));
  EXPECT_EQ(Text(lines[5]), "   <- TLbSHA1.HashFile(...): " + firstBytes);
  EXPECT_NE(Text(lines.back()).find("uDebugLog.Finalization"), std::string::npos);
}

TEST_F(ProductLog, ShellIsTheParentWhenStartedFromACommandPrompt) {
  FDebug.SetDword(1);
  const auto lines = RunProduct(FDir, L"cmd.exe /c \"\"" + test::ProductExe() + L"\"" + test::kQuietRun + L"\"");
  EXPECT_TRUE(AnyLineContains(lines, "Parent process: cmd.exe ("));
}

TEST_F(ProductLog, NothingOfTheBlockWhenDebugOutputIsOff) {
  for (int state : {-1, 0, 2}) {
    SCOPED_TRACE(state);
    if (state < 0)
      FDebug.Delete();
    else
      FDebug.SetDword(static_cast<DWORD>(state));
    const auto lines = FromSystemProbes(RunProduct(FDir, L"\"" + test::ProductExe() + L"\"" + test::kQuietRun));
    ASSERT_FALSE(lines.empty());
    for (const char* s : {"LogApplicationCommonInfo", "Os version", "Os user", "App.CmdLine", "App.hash",
                          "TLbSHA1", "App.version", "Config ", "Parent process"})
      EXPECT_FALSE(AnyLineContains(lines, s)) << s;
    EXPECT_EQ(Text(lines[0]), "   OsUnit.Initialization finished");
  }
}

}  // namespace
}  // namespace vt
