#include "E2eTestUtils.h"

#include <gtest/gtest.h>
#include <msi.h>
#include <tlhelp32.h>

#include <map>

#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "lang/LngStrings.h"

namespace vt::test {

namespace {

TTempDir& Copies() {
  static TTempDir dir;  // removed with the copies when the program ends
  return dir;
}

}  // namespace

std::wstring CopiesFolder() { return Copies().Path(); }

std::wstring SetupWithTopic(const std::wstring& Topic) {
  if (Topic.empty()) return LoopbackExe();
  static std::map<std::wstring, std::wstring> made;
  if (auto it = made.find(Topic); it != made.end()) return it->second;
  // No "_" in the name (it would give the package names a suffix).
  std::wstring exe = Copies().File(L"e2e" + std::to_wstring(made.size() + 1) + L".exe");
  EXPECT_TRUE(CopyFileW(LoopbackExe().c_str(), exe.c_str(), FALSE)) << "copy of the loopback build";
  std::wstring helper = BinaryDir() + L"\\scripts\\rebrand\\vt_rebrand.exe";
  TProcessResult r = RunProcess(L"\"" + helper + L"\" \"" + exe + L"\" --set REB_TOPIC \"" + Topic + L"\"", {}, 60000);
  EXPECT_EQ(r.ExitCode, 0u) << "rebranding the copy for the topic " << WideToUtf8(Topic);
  made[Topic] = exe;
  return exe;
}

std::wstring Expand(std::wstring Text) {
  for (size_t at = Text.find(L"${"); at != std::wstring::npos; at = Text.find(L"${", at)) {
    size_t end = Text.find(L'}', at);
    if (end == std::wstring::npos) break;
    std::wstring value = EnvVar(Text.substr(at + 2, end - at - 2).c_str());
    EXPECT_FALSE(value.empty()) << "the driver sets " << WideToUtf8(Text.substr(at, end - at + 1));
    Text.replace(at, end - at + 1, value);
    at += value.size();
  }
  return Text;
}

std::wstring English(const wchar_t* Key) {
  for (const TLocale& l : GetBuiltInLocales())
    if (l.LngID == L"en-us")
      for (const TLocaleSection& s : l.Sections)
        if (s.SectionID == L"frmMain")
          for (const TLngItem& i : s.Items)
            if (i.StringID == Key) return i.Value;
  return L"?";
}

std::wstring DownloadErrorBox(const std::wstring& Detail) {
  return L"Error occurred during download of the product: " + Detail;
}

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool NothingInPrivateTemp() { return SetupTempFiles().empty(); }

size_t ProcessesNamed(const std::wstring& ExeName) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return 0;
  size_t n = 0;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
    if (e.th32ProcessID != GetCurrentProcessId() && _wcsicmp(e.szExeFile, ExeName.c_str()) == 0) ++n;
  CloseHandle(snap);
  return n;
}

size_t CountLines(const std::vector<std::string>& Lines, const std::string& Text) {
  size_t n = 0;
  for (const auto& l : Lines) n += l.find(Text) != std::string::npos;
  return n;
}

long FindLine(const std::vector<std::string>& Lines, const std::string& Text, size_t From) {
  for (size_t i = From; i < Lines.size(); ++i)
    if (Lines[i].find(Text) != std::string::npos) return static_cast<long>(i);
  return -1;
}

std::vector<std::string> Requests() { return ReadLines(WinPath(EnvVar(L"VT_PKG_LOG"))); }

TProductCleanup::TProductCleanup(const wchar_t* ProductCode) : FCode(ProductCode) { Remove(); }
TProductCleanup::~TProductCleanup() { Remove(); }
bool TProductCleanup::Installed() const { return MsiQueryProductStateW(FCode.c_str()) == INSTALLSTATE_DEFAULT; }
void TProductCleanup::Remove() const {
  if (Installed()) MsiConfigureProductW(FCode.c_str(), INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
}

bool Matches(const std::wstring& Text, const std::wstring& Pattern) {
  // Backtracking on the last '*' only: linear for these short texts.
  size_t t = 0, p = 0, star = std::wstring::npos, resume = 0;
  while (t < Text.size()) {
    if (p < Pattern.size() && Pattern[p] == L'*') {
      star = p++;
      resume = t;
    } else if (p < Pattern.size() && Pattern[p] == Text[t]) {
      ++p;
      ++t;
    } else if (star != std::wstring::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < Pattern.size() && Pattern[p] == L'*') ++p;
  return p == Pattern.size();
}

TRunEnd FinishRun(TProductRun& Run, DWORD Started, DWORD BoxTimeoutMs, bool CloseButton) {
  TRunEnd end;
  // The title line, found while it still says what the download does.
  HWND title = nullptr;
  std::optional<TChildBox> box;
  Eventually([&] {
    if (!title) title = Run.FindControl(English(L"msgDownloading"));
    box = Run.WaitForBox(0);
    return box || !Run.Running();
  }, BoxTimeoutMs);
  if (box) {
    end.Box = box->Text;
    Run.AnswerBox(*box, IDOK);
  }
  HWND retry = nullptr;
  Eventually([&] {
    retry = Run.FindControl(L"Retry");
    return !Run.Running() || (retry && IsWindowVisible(retry));
  }, 20000);
  if (Run.Running() && retry && IsWindowVisible(retry)) {
    end.RetryShown = true;
    HWND proxy = Run.FindControl(L"Proxy");
    end.ProxyShown = proxy && IsWindowVisible(proxy);
    HWND cancel = Run.FindControl(L"Cancel");
    end.CancelEnabled = cancel && IsWindowVisible(cancel) && IsWindowEnabled(cancel);
    end.Title = title ? Run.ControlText(title) : L"?";
    // The user gives up: the close button closes the window at once; Cancel asks first.
    if (CloseButton) {
      PostMessageW(Run.WaitForMainWindow(0), WM_CLOSE, 0, 0);
    } else if (cancel) {
      Run.Click(cancel);
      auto confirm = Run.WaitForBox();
      EXPECT_TRUE(confirm) << "Cancel after the error asks first";
      if (confirm) {
        EXPECT_EQ(confirm->Text, English(L"msgConfirmCancel"));
        Run.AnswerBox(*confirm, IDYES);
      }
    }
  }
  end.ExitCode = Run.WaitForExit(30000);
  end.Milliseconds = GetTickCount() - Started;
  return end;
}

void ExpectEnd(const TRunEnd& End, const std::vector<std::string>& LogLines, const std::wstring& ExeName,
               uint32_t Outcome, uint32_t Code, const std::wstring& Box, TAfter After) {
  EXPECT_EQ(End.ExitCode, std::optional<DWORD>(Outcome));
  if (Box.find(L'*') == std::wstring::npos)
    EXPECT_EQ(End.Box, Box);
  else
    EXPECT_TRUE(Matches(End.Box, Box)) << WideToUtf8(End.Box) << "\n does not match\n" << WideToUtf8(Box);
  EXPECT_EQ(End.RetryShown, After != TAfter::Closes);
  if (After != TAfter::Closes) {
    EXPECT_EQ(End.ProxyShown, After == TAfter::RetryProxy);
    EXPECT_TRUE(End.CancelEnabled);
    EXPECT_EQ(End.Title, L"");
  }
  const auto& lines = LogLines;
  EXPECT_EQ(CountLines(lines, "OnInstallThreadTerminate: "), 1u);
  std::string ended = "OnInstallThreadTerminate: ir=" + std::to_string(Outcome) + "; ec=" + std::to_string(Code);
  size_t exact = 0;
  for (const auto& l : lines)
    exact += l.size() >= ended.size() && l.compare(l.size() - ended.size(), ended.size(), ended) == 0;
  EXPECT_EQ(exact, 1u) << ended;
  EXPECT_TRUE(NothingInPrivateTemp()) << "a file was left in the private temp folder";
  EXPECT_EQ(ProcessesNamed(ExeName), 0u) << "a process of the setup is still running";
}

}  // namespace vt::test
