// Shared pieces of the trust tests: fixture paths, the debug log's new lines,
// the package check sequence, and the child-process probe.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vt::test {

// Wine answers some trust questions differently from Windows.
bool RunningOnWine();

// Windows path of a file of the signing fixtures ("msi/unsigned.msi").
std::wstring FixturePath(const std::wstring& Relative);
// Windows path under the build folder ("tests/trust/trust_probe.exe").
std::wstring BuildPath(const std::wstring& Relative);
// signers/ID.info as key=value pairs (serial, notbefore, notafter, pubkey).
std::map<std::string, std::string> SignerFacts(const std::string& Id);

// The lines the debug log received after construction.
class TLogTail {
public:
  TLogTail();
  std::vector<std::string> Lines() const;
  size_t Count(const std::string& Part) const;
  bool Has(const std::string& Part) const { return Count(Part) > 0; }

private:
  size_t FStart;
};

// The install worker's acceptance of a package: signer certificate (with
// catalog search), trust with revocation always checked, signer name.
struct TPackageVerdict {
  uint32_t Outcome = 0;  // 0 accepted, 10 no certificate, 11 not trusted, 12 signer not listed
  uint32_t ErrorCode = 0;
};
TPackageVerdict CheckPackage(const std::wstring& Path);

// Runs the probe (or a copy of it) and returns its exit code.
DWORD RunProbe(const std::wstring& Exe, const std::wstring& Mode, const std::wstring& Arg,
               const std::vector<std::wstring>& ExtraEnv = {});

bool FileExistsW(const std::wstring& Path);
bool CopyFixture(const std::wstring& Relative, const std::wstring& Target);

}  // namespace vt::test
