// The setup executable as a child process, driven as a user would through the
// window system: its main window and message boxes are found by class and
// process, read (texts, visibility, enabled state) and answered with button
// clicks; its links are clicked with mouse messages; its debug log and exit
// code are read afterwards. The process is always ended when the object goes.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/TestUtils.h"

namespace vt::test {

// A message box of the child: its window, caption and text.
struct TChildBox {
  HWND Wnd = nullptr;
  std::wstring Caption;
  std::wstring Text;
};

class TProductRun {
public:
  // Starts Exe with Args (appended after the quoted path) and ExtraEnv; the
  // debug log goes to a file of its own unless ExtraEnv names one.
  TProductRun(const std::wstring& Exe, const std::wstring& Args, std::vector<std::wstring> ExtraEnv = {});
  // Ends the process if it still runs.
  ~TProductRun();
  TProductRun(const TProductRun&) = delete;
  TProductRun& operator=(const TProductRun&) = delete;

  bool Started() const { return FProcess != nullptr; }
  DWORD ProcessId() const { return FPid; }
  // The main window once it exists (shown or not); none after TimeoutMs.
  HWND WaitForMainWindow(DWORD TimeoutMs = 20000);
  // The next message box of the child; none after TimeoutMs (or when it ended).
  std::optional<TChildBox> WaitForBox(DWORD TimeoutMs = 20000);
  // Presses a button of a box (IDOK, IDYES, IDNO) as a click would.
  void AnswerBox(const TChildBox& Box, int ButtonId);
  // Waits for a box, answers it with ButtonId, returns its text (empty: none came).
  std::wstring AnswerNextBox(int ButtonId = IDOK, DWORD TimeoutMs = 20000);

  // A child window of the main window whose text is Text (the links, labels).
  HWND FindControl(const std::wstring& Text);
  // The text a control of the child shows.
  std::wstring ControlText(HWND Control);
  bool ControlVisible(HWND Control) { return Control && IsWindowVisible(Control); }
  // A left click in the middle of a control, as mouse messages.
  void Click(HWND Control);

  // The exit code once the process has ended; nothing after TimeoutMs.
  std::optional<DWORD> WaitForExit(DWORD TimeoutMs = 60000);
  bool Running();

  const std::wstring& LogFile() const { return FLogFile; }
  std::vector<std::string> LogLines() const;
  bool LogContains(const std::string& Text) const;
  // Waits (bounded) until the log holds Text.
  bool WaitForLog(const std::string& Text, DWORD TimeoutMs = 20000) const;

private:
  HANDLE FProcess = nullptr;
  DWORD FPid = 0;
  std::wstring FLogFile;
  std::vector<HWND> FAnswered;
};

// The private temp folder of the setup ("vttmp" under the user's temp folder).
std::wstring SetupTempFolder();
// The files in it (names only); empty when it has none or does not exist.
std::vector<std::wstring> SetupTempFiles();
// The loopback build of the product (redirect and mirror on 127.0.0.1).
std::wstring LoopbackExe();

}  // namespace vt::test
