// The whole setup executable, run as a child process against the loopback
// download side (run_e2e_tests.sh starts it, with real proxies), one run per
// table row: copies of the loopback build whose topic picks the download
// side's answer, and what a run leaves behind afterwards.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/ProductRun.h"

namespace vt::test {

// What the window offers once the box (if any) is answered.
enum class TAfter {
  Closes,      // the window closes and the process ends with the outcome code
  Retry,       // Retry shown; the Proxy link stays hidden (the download had got going)
  RetryProxy,  // Retry and Proxy shown
};

// A copy of the loopback build whose REB_TOPIC is Topic (the template itself
// for an empty topic), in a folder of its own shared by the copies of this
// test program; made once per topic. Fails the calling test when it cannot be made.
std::wstring SetupWithTopic(const std::wstring& Topic);
// The folder of the copies (nothing else lies there unless a test puts it).
std::wstring CopiesFolder();

// "${NAME}" replaced by the value of the environment variable NAME.
std::wstring Expand(std::wstring Text);

// Text against a pattern in which '*' stands for any run of characters.
bool Matches(const std::wstring& Text, const std::wstring& Pattern);

// The English text of a main-window catalogue key.
std::wstring English(const wchar_t* Key);
// "Error occurred during download of the product: " + Detail.
std::wstring DownloadErrorBox(const std::wstring& Detail);

bool RunningOnWine();

// The private temp folder holds no file (no package, nothing else).
bool NothingInPrivateTemp();
// Processes whose executable file is named ExeName (without folder), this one excepted.
size_t ProcessesNamed(const std::wstring& ExeName);

// The log lines of a run that contain Text.
size_t CountLines(const std::vector<std::string>& Lines, const std::string& Text);
// The index of the first line that contains Text at or after From; -1 when none.
long FindLine(const std::vector<std::string>& Lines, const std::string& Text, size_t From = 0);

// Waits (bounded) until Pred holds.
template <class F>
bool Eventually(F Pred, DWORD TimeoutMs = 20000) {
  DWORD start = GetTickCount();
  while (!Pred()) {
    if (GetTickCount() - start > TimeoutMs) return false;
    Sleep(20);
  }
  return true;
}

// Lines of the download side's request log.
std::vector<std::string> Requests();

// A product installed by a package fixture, removed when the object goes
// (and before, should an earlier run have left it).
class TProductCleanup {
public:
  explicit TProductCleanup(const wchar_t* ProductCode);
  ~TProductCleanup();
  TProductCleanup(const TProductCleanup&) = delete;
  TProductCleanup& operator=(const TProductCleanup&) = delete;
  bool Installed() const;
  void Remove() const;

private:
  std::wstring FCode;
};

inline constexpr wchar_t kPropsProduct[] = L"{3F2A8C41-6B1D-4E7A-9C50-2D8E1F4A6B73}";
inline constexpr wchar_t kLargeProduct[] = L"{6C1E4B2A-9D3F-4A7B-8E5C-1F2A3B4C5D6E}";

// The window's state after the box of a row was answered, and how the run ended.
struct TRunEnd {
  std::optional<DWORD> ExitCode;
  std::wstring Box;  // the text of the error box, empty when none came
  bool RetryShown = false;
  bool ProxyShown = false;
  bool CancelEnabled = false;
  std::wstring Title;  // the title line after the box
  DWORD Milliseconds = 0;  // from the start to the end of the process
};

// Drives a run to its end as a user would: answers the error box (at most one)
// with OK; when the window offers Retry, reads the links and ends the program
// with Cancel (confirmed) or, with CloseButton, the close button (no question:
// no worker runs). BoxTimeoutMs bounds the wait for the first box or the end.
TRunEnd FinishRun(TProductRun& Run, DWORD Started, DWORD BoxTimeoutMs, bool CloseButton = false);

// The checks every row ends with: exit code, box (a '*' in it matches any
// run of characters), links, the end event's log
// line, no file in the private temp folder, no process of the setup left.
void ExpectEnd(const TRunEnd& End, const std::vector<std::string>& LogLines, const std::wstring& ExeName,
               uint32_t Outcome, uint32_t Code, const std::wstring& Box, TAfter After);

}  // namespace vt::test
