#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "LogTestUtils.h"
#include "app/uInstallOptions.h"
#include "fw/uSysUtils.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"

using namespace vt;
using vt::test::ReadLines;

namespace {

std::string PadTid(DWORD tid) {
  std::string s = std::to_string(tid);
  if (s.size() < 6) s.append(6 - s.size(), ' ');
  return s;
}

}  // namespace

using DebugLogLine = LogFileTest;

TEST_F(DebugLogLine, PrefixMarkersIndentationAndTrimming) {
  LogLine(L"-> Outer(1)");
  LogLine(L"inner text");
  LogLine(L"  \t -> Nested");  // leading blanks are trimmed; still an entry line
  LogLine(L"x");               // one character: no marker
  LogLine(L"<- Nested");
  LogLine(L"<- Outer: True\r\n");
  LogLine(L"after");
  auto lines = Lines();
  ASSERT_EQ(7u, lines.size());
  std::regex prefix(R"(^\d\d.\d\d.\d\d\.\d\d\d\t)" + PadTid(GetCurrentThreadId()));
  for (auto& l : lines) EXPECT_TRUE(std::regex_search(l, prefix)) << l;
  EXPECT_EQ("-> Outer(1)", Body(lines[0]));
  EXPECT_EQ("      inner text", Body(lines[1]));  // 3 extra + 1 level
  EXPECT_EQ("   -> Nested", Body(lines[2]));
  EXPECT_EQ("         x", Body(lines[3]));  // 3 extra + 2 levels
  EXPECT_EQ("   <- Nested", Body(lines[4]));
  EXPECT_EQ("<- Outer: True", Body(lines[5]));
  EXPECT_EQ("   after", Body(lines[6]));
}

TEST_F(DebugLogLine, UnmatchedExitMakesLevelNegative) {
  LogLine(L"<- Stray");
  LogLine(L"plain");
  LogLine(L"-> Back");  // level -1 -> 0
  LogLine(L"still top");
  LogLine(L"-> In");  // 0 -> 1
  LogLine(L"indented");
  LogLine(L"<- In");
  LogLine(L"<- Back");
  LogLine(L"-> Rebalance");  // leave the thread at level 0 for the next tests
  auto lines = Lines();
  ASSERT_EQ(9u, lines.size());
  EXPECT_EQ("<- Stray", Body(lines[0]));
  EXPECT_EQ("   plain", Body(lines[1]));
  EXPECT_EQ("-> Back", Body(lines[2]));
  EXPECT_EQ("   still top", Body(lines[3]));
  EXPECT_EQ("-> In", Body(lines[4]));
  EXPECT_EQ("      indented", Body(lines[5]));
}

TEST_F(DebugLogLine, ContinuationLinesAndBlankMessages) {
  LogLine(L"-> Block");
  LogLine(L"first\r\nsecond\nthird\rfourth");
  LogLine(L"   \t  ");
  LogLine(L"");
  LogLine(std::wstring(L"cut\0hidden", 10));
  LogLine(L"<- Block");
  auto lines = Lines();
  // File lines are split at CR LF only; LF and lone CR stay inside one of them.
  ASSERT_EQ(7u, lines.size());
  const std::string pad(22, ' ');
  EXPECT_EQ("      first", Body(lines[1]));
  EXPECT_EQ(pad + "second\n" + pad + "third\r" + pad + "fourth", lines[2]);
  // Blank messages end after the prefix, the extra column and the indentation.
  EXPECT_EQ(19u + 3 + 3, lines[3].size());
  EXPECT_EQ("      ", Body(lines[3]));
  EXPECT_EQ("      ", Body(lines[4]));
  EXPECT_EQ("      cut", Body(lines[5]));
}

TEST_F(DebugLogLine, ThreadsKeepIndependentLevels) {
  DWORD tidB = 0;
  HANDLE go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE back = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  LogLine(L"-> A1");
  std::thread t([&] {
    tidB = GetCurrentThreadId();
    WaitForSingleObject(go, 5000);
    LogLine(L"-> B1");
    LogLine(L"b text");
    SetEvent(back);
    WaitForSingleObject(go, 5000);
    LogLine(L"<- B1");
    SetEvent(back);
  });
  SetEvent(go);
  WaitForSingleObject(back, 5000);
  LogLine(L"-> A2");
  LogLine(L"a text");
  SetEvent(go);
  WaitForSingleObject(back, 5000);
  LogLine(L"<- A2");
  LogLine(L"<- A1");
  t.join();
  CloseHandle(go);
  CloseHandle(back);
  auto lines = Lines();
  ASSERT_EQ(8u, lines.size());
  std::string a = PadTid(GetCurrentThreadId()), b = PadTid(tidB);
  auto check = [&](size_t i, const std::string& tid, const std::string& body) {
    EXPECT_EQ(tid, lines[i].substr(13, 6)) << i;
    EXPECT_EQ(body, Body(lines[i])) << i;
  };
  check(0, a, "-> A1");
  check(1, b, "-> B1");
  check(2, b, "      b text");
  check(3, a, "   -> A2");
  check(4, a, "         a text");
  check(5, b, "<- B1");
  check(6, a, "   <- A2");
  check(7, a, "<- A1");
}

TEST_F(DebugLogLine, LongThreadIdsAndOtherTargets) {
  TLogInfo other;
  std::wstring otherPath = FDir.File(L"other.log");
  other.SetFileName(otherPath);
  {
    TCsLock lock(DebugLogLock());
    other.WriteLine(12345678, L"-> wide id", true);
    other.WriteLine(12345678, L"plain", true);
  }
  LogLineTo(L"-> to other", &other);
  LogLineTo(L"plain to other", &other);
  auto lines = ReadLines(otherPath);
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ("12345678-> wide id", lines[0].substr(13));
  EXPECT_EQ("12345678      plain", lines[1].substr(13));
  // A target other than the default one gets neither the extra column nor indentation.
  EXPECT_EQ("-> to other", Body(lines[2]));
  EXPECT_EQ("plain to other", Body(lines[3]));
  EXPECT_TRUE(Lines().empty());
}

TEST_F(DebugLogLine, LevelsFollowMarkersWhileTheFileCannotBeCreated) {
  DefaultLogTarget()->SetFileName(FDir.Path());  // a folder: the file cannot be created
  LogLine(L"-> Lost");
  LogLine(L"lost too");
  EXPECT_FALSE(DefaultLogTarget()->FileOpened());
  DefaultLogTarget()->SetFileName(FPath);
  LogLine(L"inner");
  LogLine(L"<- Lost");
  auto lines = Lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("      inner", Body(lines[0]));
  EXPECT_EQ("<- Lost", Body(lines[1]));
}

TEST_F(DebugLogLine, ThreadLocksNeedAsManyUnlocks) {
  LockThreadLogging();  // debug output off: no effect
  LogLine(L"one");
  SetDebugOutput(true, false);
  LockThreadLogging();
  LockThreadLogging();
  LogLine(L"dropped 1");
  UnlockThreadLogging();
  LogLine(L"dropped 2");
  std::thread([] { LogLine(L"other thread"); }).join();
  UnlockThreadLogging();
  LogLine(L"two");
  UnlockThreadLogging();  // no entry: nothing happens
  LogLine(L"three");
  SetDebugOutput(false, false);
  auto lines = Lines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ("   one", Body(lines[0]));
  EXPECT_EQ("   other thread", Body(lines[1]));
  EXPECT_EQ("   two", Body(lines[2]));
  EXPECT_EQ("   three", Body(lines[3]));
}

TEST_F(DebugLogLine, FormatErrorsRaiseAndWriteNothing) {
  EXPECT_THROW(LogFmt(L"%d items", {L"ten"}), EConvertError);
  EXPECT_THROW(LogFmt(L"%s and %s", {L"one"}), EConvertError);
  LogFmt(L"%s=%d", {L"n", 5});
  auto lines = Lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("   n=5", Body(lines[0]));
}

TEST_F(DebugLogLine, LastErrorAndExceptionBlocks) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  LogLastError(L"CreateFile");
  LogLastError(L"Query", 0x80092009);
  LogException(nullptr, L"no exception");
  EOSError e(L"boom", 5);
  LogException(&e, L"Step(1)");
  auto lines = Lines();
  ASSERT_EQ(8u, lines.size());
  std::smatch m;
  std::string l0 = Body(lines[0]);
  ASSERT_TRUE(std::regex_match(l0, m, std::regex(R"(   CreateFile; LastError = 2\((.+)\))"))) << l0;
  std::string text = m[1];
  EXPECT_TRUE(text.back() != '.' && text.back() != ' ') << text;
  EXPECT_NE(std::string::npos, Body(lines[1]).find("Query; LastError = -2146885623("));
  EXPECT_EQ("   no exception", Body(lines[2]));
  EXPECT_EQ("   Step(1)", Body(lines[3]));
  const std::string pad(22, ' ');
  EXPECT_EQ(pad + "Exception: ", lines[4]);
  EXPECT_EQ(pad + "    ClassName = EOSError", lines[5]);
  EXPECT_EQ(pad + "    Message   = boom", lines[6]);
  EXPECT_EQ(pad + "    CallStack:", lines[7]);
}

TEST_F(DebugLogLine, DebugOutputAnnouncements) {
  SetDebugOutput(true, true);
  SetDebugOutput(true, true);  // already on: nothing
  SetDebugOutput(false, true);
  SetDebugOutput(false, true);  // already off: nothing
  auto lines = Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("   ------------------- Logging started by user -------------------", Body(lines.front()));
  EXPECT_EQ("   ------------------- Logging stopped by user -------------------", Body(lines.back()));
  EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(),
                             [](const std::string& l) { return l.find("Logging started") != std::string::npos; }));
  EXPECT_FALSE(IsDebugOutput());
}

TEST_F(DebugLogLine, SetPropertyLogsItemIdentity) {
  TMsiProperties p;
  p.SetProperty(L"PROP", L"a \"quoted\" %s value");
  p.SetProperty(L"prop", L"b");
  auto lines = Lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("   TMsiProperties.SetProperty: \"PROP\"=\"a \"quoted\" %s value\"; 00000000", Body(lines[0]));
  EXPECT_EQ("   TMsiProperties.SetProperty: \"prop\"=\"b\"; " +
                WideToUtf8(Format(L"%p", {static_cast<const void*>(p.FindByName(L"PROP"))})),
            Body(lines[1]));
}

TEST(DebugLogFile, DefaultPathAndLogFileNameBesideIt) {
  std::wstring def = MakeDefaultLogFileName(L"");
  std::wstring inst = GetLogFileName(L"InstallLog");
  std::wregex pat(LR"(^(.+\\Veltrano\\Logs\\)(test_log|InstallLog)_(\d{14})\((\d+)\)\.log$)");
  std::wsmatch md, mi;
  ASSERT_TRUE(std::regex_match(def, md, pat)) << WideToUtf8(def);
  ASSERT_TRUE(std::regex_match(inst, mi, pat)) << WideToUtf8(inst);
  EXPECT_EQ(md[1].str(), mi[1].str());
  EXPECT_EQ(L"test_log", md[2].str());
  EXPECT_EQ(L"InstallLog", mi[2].str());
  EXPECT_EQ(std::to_wstring(GetCurrentProcessId()), mi[4].str());
  // The all-users profile folder (Windows 10+: the common application data folder).
  EXPECT_TRUE(SameTextAZ(L"C:\\ProgramData\\Veltrano\\Logs\\", md[1].str())) << WideToUtf8(md[1].str());
  EXPECT_EQ(L"", GetLogFileName(std::wstring(260, L'x')));
  // At the limit: a base name that gives exactly 259 characters, and one more.
  const size_t other = GetLogFileName(L"x").size() - 1;
  ASSERT_LT(other, 259u);
  EXPECT_EQ(259u, GetLogFileName(std::wstring(259 - other, L'x')).size());
  EXPECT_EQ(L"", GetLogFileName(std::wstring(260 - other, L'x')));
}
