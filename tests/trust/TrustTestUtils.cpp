#include "TrustTestUtils.h"

#include <gtest/gtest.h>

#include <memory>

#include "TestRootStore.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "trust/UWow64Api.h"
#include "trust/uTrustCheck.h"

namespace vt::test {

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

namespace {

std::wstring WindowsPath(std::wstring Path) {
  for (auto& c : Path)
    if (c == L'/') c = L'\\';
  return Path;
}

std::wstring LinuxBinaryDir() { return EnvVar(L"VT_BINARY_DIR"); }

}  // namespace

std::wstring FixturePath(const std::wstring& Relative) {
  return WindowsPath(L"Z:" + LinuxBinaryDir() + L"/fixtures/" + Relative);
}

std::wstring BuildPath(const std::wstring& Relative) { return WindowsPath(L"Z:" + LinuxBinaryDir() + L"/" + Relative); }

std::map<std::string, std::string> SignerFacts(const std::string& Id) {
  std::map<std::string, std::string> facts;
  std::string text = ReadFileBytes(FixturePath(L"signers/" + Utf8ToWide(Id) + L".info"));
  size_t p = 0;
  while (p < text.size()) {
    size_t e = text.find('\n', p);
    if (e == std::string::npos) e = text.size();
    std::string line = text.substr(p, e - p);
    size_t eq = line.find('=');
    if (eq != std::string::npos) facts[line.substr(0, eq)] = line.substr(eq + 1);
    p = e + 1;
  }
  return facts;
}

TLogTail::TLogTail() : FStart(ReadLines(EnvVar(L"VeltranoDbgLog")).size()) {}

std::vector<std::string> TLogTail::Lines() const {
  std::vector<std::string> all = ReadLines(EnvVar(L"VeltranoDbgLog"));
  if (all.size() <= FStart) return {};
  return std::vector<std::string>(all.begin() + static_cast<ptrdiff_t>(FStart), all.end());
}

size_t TLogTail::Count(const std::string& Part) const {
  size_t n = 0;
  for (const std::string& l : Lines())
    if (l.find(Part) != std::string::npos) ++n;
  return n;
}

TPackageVerdict CheckPackage(const std::wstring& Path) {
  TCertificateDetails details;
  uint8_t status = GetCertificateDetails(Path, details, true);
  if (status != 0) return {10, status};
  int32_t result = 0;
  FileTrust(Path, result, rcpCheckAlways);
  if (result != 0) return {11, static_cast<uint32_t>(result)};
  for (std::wstring_view name : TrustedSignerNames)
    if (SameTextAZ(details.CertNameFriendly, name)) return {0, 0};
  return {12, 5};
}

DWORD RunProbe(const std::wstring& Exe, const std::wstring& Mode, const std::wstring& Arg,
               const std::vector<std::wstring>& ExtraEnv) {
  TProcessResult r = RunProcess(L"\"" + Exe + L"\" " + Mode + L" \"" + Arg + L"\"", ExtraEnv, 60000);
  return r.TimedOut ? 0xFFFFFFFF : r.ExitCode;
}

bool FileExistsW(const std::wstring& Path) {
  DWORD a = GetFileAttributesW(Path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CopyFixture(const std::wstring& Relative, const std::wstring& Target) {
  return CopyFileW(FixturePath(Relative).c_str(), Target.c_str(), FALSE) != FALSE;
}

namespace {

// For the whole test program: the fixture root is trusted as Windows would
// need it, and the WOW64 helpers are started as in the product.
class TTrustEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    Wow64ApiInitialization();
    FRoot = std::make_unique<TTestRootCertificate>(FixturePath(L"ca/root.der"));
    ASSERT_TRUE(FRoot->InStore()) << "the fixture root could not be added to the root store";
  }
  void TearDown() override {
    FRoot.reset();
    Wow64ApiFinalization();
  }

private:
  std::unique_ptr<TTestRootCertificate> FRoot;
};

const ::testing::Environment* const gTrustEnvironment = ::testing::AddGlobalTestEnvironment(new TTrustEnvironment);

}  // namespace

}  // namespace vt::test
