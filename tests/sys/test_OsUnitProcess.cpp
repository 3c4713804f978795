// The unit's initialisation in this process, against the real version query,
// the real registry and the test's own debug log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"
#include "log/DebugLogUtils.h"
#include "sys/OsUnit.h"

namespace vt {
namespace {

using test::TMakerRegValue;

// The log's text column: after the time stamp and thread id.
constexpr size_t kTextColumn = 19;

// The lines this process logged after a unique marker line.
class TLogWindow {
public:
  explicit TLogWindow(const char* Name)
      : FMarker(std::string("test marker ") + Name + " " + std::to_string(GetTickCount64())) {
    LogLine(Utf8ToWide(FMarker));
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    bool seen = false;
    for (const auto& l : test::ReadLines(test::EnvVar(L"VeltranoDbgLog"))) {
      if (seen) out.push_back(l.size() > kTextColumn ? l.substr(kTextColumn) : std::string());
      if (l.find(FMarker) != std::string::npos) seen = true;
    }
    return out;
  }

private:
  std::string FMarker;
};

// Puts the debug switches into a known state and the output flag back afterwards.
class OsUnitInit : public testing::Test {
protected:
  void SetUp() override {
    FTestMode.Delete();
    FDebug.Delete();
    FForce.Delete();
  }
  void TearDown() override { SetDebugOutput(false, false); }

  TMakerRegValue FTestMode{L"ServiceTestMode"};
  TMakerRegValue FDebug{L"GenerateDebugOutput"};
  TMakerRegValue FForce{L"ForceX86"};
};

TEST_F(OsUnitInit, RealQueryUnderTheManifestSeesWindows10x64) {
  OsUnitInitialization();
  // The prefix is set to Windows 10 and this is a 32-bit process on 64-bit Wine.
  EXPECT_TRUE(IsWow64Process32());
  EXPECT_TRUE(Is64BitWindows());
  EXPECT_TRUE(Use64BitPackage());
  EXPECT_EQ(GetOSVersionClass(), 27);
  EXPECT_EQ(StartupOSVersionClass(), 27);
  EXPECT_EQ(WideToUtf8(GetOSVersionText()), "Windows 10x64 ");
  EXPECT_FALSE(IsServerWindows());
  EXPECT_EQ(OSVersionProbe().MajorVersion(), 10u);
  EXPECT_GE(OSVersionProbe().BuildNumber(), 10240u);

  EXPECT_EQ(AppExePath(), GetModulePath());
  EXPECT_EQ(AppExeFolder(), ExtractFilePath(GetModulePath()));
  ASSERT_FALSE(AppExeFolder().empty());
  EXPECT_EQ(AppExeFolder().back(), L'\\');
}

TEST_F(OsUnitInit, ForceX86InAnyFormTurnsThe64BitPackageOff) {
  struct TCase {
    const char* What;
    void (*Set)(TMakerRegValue&);
  } cases[] = {
      {"DWORD 1", [](TMakerRegValue& v) { v.SetDword(1); }},
      {"DWORD 0", [](TMakerRegValue& v) { v.SetDword(0); }},
      {"empty string", [](TMakerRegValue& v) { v.SetString(L""); }},
      {"text", [](TMakerRegValue& v) { v.SetString(L"no"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    c.Set(FForce);
    OsUnitInitialization();
    EXPECT_FALSE(Use64BitPackage());
    FForce.Delete();
    OsUnitInitialization();
    EXPECT_TRUE(Use64BitPackage());
  }
}

TEST_F(OsUnitInit, StepsInOrderWithDebugOutputOn) {
  FDebug.SetDword(1);
  TLogWindow log("debug on");
  OsUnitInitialization();
  EXPECT_TRUE(IsDebugOutput());  // step 1 applied the switch
  const std::vector<std::string> expected = {
      "-> LogApplicationCommonInfo()",
      "      Os version    : Windows 10x64",
      "      Os user       : ",
      "      App.CmdLine   : ",
      "   -> TLbSHA1.HashFile(",
      "   <- TLbSHA1.HashFile(...): ",
      "      App.hash(SHA1): ",
      "      App.version   :",
      "      Config        : RELEASE",
      "      Parent process: ",
      "<- LogApplicationCommonInfo()",
      "   OsUnit.Initialization finished",
  };
  auto lines = log.Lines();
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(lines[i].substr(0, expected[i].size()), expected[i]) << i << ": " << lines[i];
  // This test executable has no version resource: nothing after the colon.
  EXPECT_EQ(lines[7], "      App.version   :");
}

TEST_F(OsUnitInit, OnlyTheClosingLineWithDebugOutputOff) {
  FDebug.SetDword(0);
  TLogWindow log("debug off");
  OsUnitInitialization();
  EXPECT_FALSE(IsDebugOutput());
  auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "   OsUnit.Initialization finished");
}

// HKEY_CLASSES_ROOT keys of the legacy file association, created and checked here.
bool ClassKeyExists(const wchar_t* Key) {
  THKey k;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, Key, 0, KEY_READ, k.Out()) == ERROR_SUCCESS;
}

void CreateClassKey(const wchar_t* Key, const wchar_t* Default) {
  THKey k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, Key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.Out(), nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(k.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(Default),
                 static_cast<DWORD>((wcslen(Default) + 1) * sizeof(wchar_t)));
}

TEST_F(OsUnitInit, LegacyFileAssociationIsRemovedAndNothingElse) {
  const wchar_t* keep = L"Torvane.Scanner.Settings.VtKeep";
  CreateClassKey(L".q7s", L"Torvane.Scanner.Settings");
  CreateClassKey(L".q7s\\ShellNew", L"");
  CreateClassKey(L"Torvane.Scanner.Settings", L"Scanner settings");
  CreateClassKey(L"Torvane.Scanner.Settings\\shell\\open\\command", L"scanner.exe \"%1\"");
  CreateClassKey(L"Torvane.Scanner.Settings\\DefaultIcon", L"scanner.exe,0");
  CreateClassKey(keep, L"unrelated");

  OsUnitInitialization();
  EXPECT_FALSE(ClassKeyExists(L".q7s"));
  EXPECT_FALSE(ClassKeyExists(L"Torvane.Scanner.Settings\\shell\\open\\command"));
  EXPECT_FALSE(ClassKeyExists(L"Torvane.Scanner.Settings\\DefaultIcon"));
  EXPECT_FALSE(ClassKeyExists(L"Torvane.Scanner.Settings"));
  EXPECT_TRUE(ClassKeyExists(keep));
  RegDeleteKeyW(HKEY_CLASSES_ROOT, keep);

  // Only the settings key, without its subkeys: removed as well; and a second
  // run with nothing to remove is harmless.
  CreateClassKey(L"Torvane.Scanner.Settings", L"Scanner settings");
  OsUnitInitialization();
  EXPECT_FALSE(ClassKeyExists(L"Torvane.Scanner.Settings"));
  OsUnitInitialization();
  EXPECT_FALSE(ClassKeyExists(L".q7s"));
}

}  // namespace
}  // namespace vt
