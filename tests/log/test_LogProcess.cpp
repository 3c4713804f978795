// Whole-process behaviour: the registry switches and the log file override,
// observed in child processes with logs of their own.
#include <gtest/gtest.h>

#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"

using namespace vt;
using namespace vt::test;

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& s) {
  for (auto& l : lines)
    if (l.find(s) != std::string::npos) return true;
  return false;
}

std::wstring SelfPath() { return GetModulePath(); }

}  // namespace

// Run only as a child: applies the registry switches as start-up does.
TEST(ChildMode, ApplySwitches) {
  if (EnvVar(L"VT_CHILD_MODE") != L"switches") GTEST_SKIP() << "runs only as a child of RegistrySwitches";
  LogLine(L"before switches");
  ApplyRegistryDebugSwitches();
  LogFmt(L"after switches: %s", {IsDebugOutput()});
}

TEST(RegistrySwitches, FourCombinationsFromTheRegistry) {
  struct Case {
    int testMode, debug;  // -1: value absent
    bool afterLine;
    const char* flag;
  } cases[] = {
      {-1, -1, true, "False"}, {0, 1, true, "True"}, {1, 0, true, "False"}, {1, 1, false, ""},
      // mode 1 wants the integer 1: other values and types count as off
      {-1, 2, true, "False"},
  };
  TTempDir dir;
  int n = 0;
  for (const auto& c : cases) {
    TMakerRegValue tm(L"ServiceTestMode"), dbg(L"GenerateDebugOutput");
    if (c.testMode >= 0) tm.SetDword(static_cast<DWORD>(c.testMode)); else tm.Delete();
    if (c.debug >= 0) dbg.SetDword(static_cast<DWORD>(c.debug)); else dbg.Delete();
    std::wstring log = dir.File(L"child" + std::to_wstring(++n) + L".log");
    auto r = RunProcess(L"\"" + SelfPath() + L"\" --gtest_filter=ChildMode.ApplySwitches",
                        {L"VT_CHILD_MODE=switches", L"VeltranoDbgLog=" + log});
    ASSERT_EQ(0u, r.ExitCode) << n;
    auto lines = ReadLines(log);
    ASSERT_FALSE(lines.empty()) << n;
    EXPECT_TRUE(Contains(lines, "before switches")) << n;
    EXPECT_EQ(c.afterLine, Contains(lines, std::string("after switches: ") + c.flag)) << n;
    EXPECT_EQ(c.afterLine, Contains(lines, "after switches")) << n;
    EXPECT_NE(std::string::npos, lines.back().find("uDebugLog.Finalization")) << n;
  }
  {
    TMakerRegValue dbg(L"GenerateDebugOutput");
    dbg.SetString(L"1");
    EXPECT_FALSE(ReadMakerRegistryFlag(L"GenerateDebugOutput", 1));
    EXPECT_TRUE(ReadMakerRegistryFlag(L"GenerateDebugOutput", 2));
    EXPECT_FALSE(ReadMakerRegistryFlag(L"GenerateDebugOutput", 3));
  }
  EXPECT_FALSE(ReadMakerRegistryFlag(L"GenerateDebugOutput", 2));
}

TEST(LogFileOverride, ExistingFileIsEmptiedAndFinalizationIsLast) {
  TTempDir dir;
  std::wstring log = dir.File(L"sub\\dir\\named.log");  // missing folders are created
  CreateDirectoryW(dir.File(L"sub").c_str(), nullptr);
  CreateDirectoryW(dir.File(L"sub\\dir").c_str(), nullptr);
  // Longer than any log the run writes: a file opened without being emptied
  // would keep its tail.
  std::string old;
  while (old.size() < 256 * 1024) old += "OLD CONTENT THAT MUST GO\r\n";
  WriteFileBytes(log, old);
  auto r = RunProcess(L"\"" + ProductExe() + L"\"" + kQuietRun, {L"VeltranoDbgLog=" + log});
  ASSERT_FALSE(r.TimedOut);
  ASSERT_EQ(0u, r.ExitCode) << GetLastError();
  std::string all = ReadFileBytes(log);
  EXPECT_LT(all.size(), old.size());
  EXPECT_EQ(std::string::npos, all.find("OLD CONTENT"));
  auto lines = ReadLines(log);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("   uDebugLog.Finalization", lines.back().substr(19)) << lines.back();

  // A folder path that does not exist yet is created by the log.
  std::wstring fresh = dir.File(L"new\\deeper\\x.log");
  r = RunProcess(L"\"" + ProductExe() + L"\"" + kQuietRun, {L"VeltranoDbgLog=" + fresh});
  EXPECT_FALSE(ReadLines(fresh).empty());

  // The same with forward slashes in the name.
  std::wstring slashed = dir.File(L"fw\\deep\\y.log");
  for (auto& c : slashed)
    if (c == L'\\') c = L'/';
  r = RunProcess(L"\"" + ProductExe() + L"\"" + kQuietRun, {L"VeltranoDbgLog=" + slashed});
  EXPECT_FALSE(ReadLines(dir.File(L"fw\\deep\\y.log")).empty());
}
