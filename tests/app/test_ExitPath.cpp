// The program's top level: whatever fails, the units that started are shut
// down in reverse order and the process ends with a defined exit code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "fw/uSystemLibraries.h"

namespace vt::test {
namespace {

struct TExitCase {
  const wchar_t* Case;
  DWORD ExitCode;
  std::vector<std::string> InOrder;  // lines (their text after the prefix) that appear in this order
  std::vector<std::string> Absent;
};

const TExitCase kExitCases[] = {
    {L"none", 7,
     {"A started", "B started", "application runs", "Done with ExitCode=7", "B stopped", "A stopping",
      "uDebugLog.Finalization"},
     {"Internal failure"}},
    // A unit whose start-up raises did not start: it is not shut down, nor is anything after it run.
    {L"start", kExitInternalFailure,
     {"A started", "Internal failure; exit code 255", "ClassName = EOSError", "Message   = B cannot start",
      "Done with ExitCode=255", "A stopping", "uDebugLog.Finalization"},
     {"B started", "B stopped", "application runs"}},
    {L"run", kExitInternalFailure,
     {"B started", "application runs", "Internal failure; exit code 255", "ClassName = EConvertError",
      "Done with ExitCode=255", "B stopped", "A stopping", "uDebugLog.Finalization"},
     {}},
    {L"foreign", kExitInternalFailure,
     {"application runs", "Internal failure; exit code 255 (an exception of unknown type)", "Done with ExitCode=255",
      "B stopped", "A stopping", "uDebugLog.Finalization"},
     {}},
    // A shutdown that raises is logged; the rest still runs and the exit code stays.
    {L"stop", 7,
     {"Done with ExitCode=7", "B stopped", "A stopping", "Shutdown of A failed", "Message   = A cannot stop",
      "uDebugLog.Finalization"},
     {"Internal failure"}},
};

class ExitPath : public ::testing::TestWithParam<TExitCase> {};

TEST_P(ExitPath, ShutsDownWhatStartedAndEndsWithADefinedCode) {
  const TExitCase& c = GetParam();
  TTempDir dir;
  const std::wstring log = dir.File(L"probe.log");
  TProcessResult r = RunProcess(L"\"" + BinaryDir() + L"\\tests\\app\\exit_probe.exe\" " + c.Case,
                                {L"VeltranoDbgLog=" + log}, 60000);
  ASSERT_FALSE(r.TimedOut);
  EXPECT_EQ(r.ExitCode, c.ExitCode);
  std::vector<std::string> lines = ReadLines(log);
  size_t at = 0;
  for (const std::string& want : c.InOrder) {
    while (at < lines.size() && lines[at].find(want) == std::string::npos) ++at;
    EXPECT_LT(at, lines.size()) << "missing or out of order: " << want;
  }
  for (const std::string& not_ : c.Absent)
    for (const std::string& l : lines) EXPECT_EQ(l.find(not_), std::string::npos) << l;
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("uDebugLog.Finalization"), std::string::npos) << "not the last line: " << lines.back();
}

INSTANTIATE_TEST_SUITE_P(App, ExitPath, ::testing::ValuesIn(kExitCases),
                         [](const auto& i) { return WideToUtf8(i.param.Case); });

// The setup itself: every unit shut down after the last line of the run, in reverse order.
TEST(ProductExit, EndsWithItsCodeAfterTheShutdownOfItsUnits) {
  TTempDir dir;
  const std::wstring log = dir.File(L"setup.log");
  TProcessResult r = RunProcess(L"\"" + ProductExe() + L"\"" + kQuietRun, {L"VeltranoDbgLog=" + log}, 60000);
  ASSERT_FALSE(r.TimedOut);
  EXPECT_EQ(r.ExitCode, 0u);
  std::vector<std::string> lines = ReadLines(log);
  size_t at = 0;
  for (const char* want : {"-> NetInitialization()", "Done with ExitCode=0", "-> NetFinalization()",
                           "uDebugLog.Finalization"}) {
    while (at < lines.size() && lines[at].find(want) == std::string::npos) ++at;
    EXPECT_LT(at, lines.size()) << "missing or out of order: " << want;
  }
  EXPECT_EQ(at + 1, lines.size());
}

}  // namespace
}  // namespace vt::test
