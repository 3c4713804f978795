#include "common/ProductRun.h"

#include <algorithm>
#include <fstream>

namespace vt::test {

namespace {

struct TFind {
  DWORD Pid;
  const wchar_t* Class;
  const std::vector<HWND>* Skip;
  HWND Found;
};

BOOL CALLBACK FindOwned(HWND Wnd, LPARAM Param) {
  auto* f = reinterpret_cast<TFind*>(Param);
  DWORD pid = 0;
  GetWindowThreadProcessId(Wnd, &pid);
  if (pid != f->Pid) return TRUE;
  wchar_t cls[64];
  GetClassNameW(Wnd, cls, 64);
  if (wcscmp(cls, f->Class) != 0) return TRUE;
  if (f->Skip && std::find(f->Skip->begin(), f->Skip->end(), Wnd) != f->Skip->end()) return TRUE;
  f->Found = Wnd;
  return FALSE;
}

HWND FindTopLevel(DWORD Pid, const wchar_t* Class, const std::vector<HWND>* Skip = nullptr) {
  TFind f{Pid, Class, Skip, nullptr};
  EnumWindows(FindOwned, reinterpret_cast<LPARAM>(&f));
  return f.Found;
}

std::wstring WindowText(HWND Wnd) {
  wchar_t buf[4096];
  // WM_GETTEXT reaches another process's window; the system copies the text.
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutW(Wnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &n)) return L"";
  return std::wstring(buf, std::min<DWORD_PTR>(n, 4095));
}

struct TFindText {
  const std::wstring* Text;
  HWND Found;
};

BOOL CALLBACK FindChildText(HWND Wnd, LPARAM Param) {
  auto* f = reinterpret_cast<TFindText*>(Param);
  if (WindowText(Wnd) == *f->Text) {
    f->Found = Wnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

TProductRun::TProductRun(const std::wstring& Exe, const std::wstring& Args, std::vector<std::wstring> ExtraEnv) {
  bool hasLog = std::any_of(ExtraEnv.begin(), ExtraEnv.end(),
                            [](const std::wstring& e) { return e.rfind(L"VeltranoDbgLog=", 0) == 0; });
  if (!hasLog) {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    static LONG counter = 0;
    FLogFile = std::wstring(tmp) + L"vt_product_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(InterlockedIncrement(&counter)) + L".log";
    DeleteFileW(FLogFile.c_str());
    ExtraEnv.push_back(L"VeltranoDbgLog=" + FLogFile);
  } else {
    for (auto& e : ExtraEnv)
      if (e.rfind(L"VeltranoDbgLog=", 0) == 0) FLogFile = e.substr(15);
  }
  PROCESS_INFORMATION pi{};
  if (!StartProcess(L"\"" + Exe + L"\" " + Args, ExtraEnv, pi)) return;
  CloseHandle(pi.hThread);
  FProcess = pi.hProcess;
  FPid = pi.dwProcessId;
}

TProductRun::~TProductRun() {
  if (!FProcess) return;
  if (WaitForSingleObject(FProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(FProcess, 0xDEAD);
    WaitForSingleObject(FProcess, 10000);
  }
  CloseHandle(FProcess);
}

bool TProductRun::Running() { return FProcess && WaitForSingleObject(FProcess, 0) == WAIT_TIMEOUT; }

HWND TProductRun::WaitForMainWindow(DWORD TimeoutMs) {
  DWORD start = GetTickCount();
  do {
    if (HWND w = FindTopLevel(FPid, L"VtForm")) return w;
    if (!Running()) return nullptr;
    Sleep(20);
  } while (GetTickCount() - start < TimeoutMs);
  return nullptr;
}

std::optional<TChildBox> TProductRun::WaitForBox(DWORD TimeoutMs) {
  DWORD start = GetTickCount();
  do {
    if (HWND w = FindTopLevel(FPid, L"#32770", &FAnswered); w && IsWindowVisible(w)) {
      TChildBox b;
      b.Wnd = w;
      b.Caption = WindowText(w);
      if (HWND text = GetDlgItem(w, 0xFFFF)) b.Text = WindowText(text);
      return b;
    }
    if (!Running()) return std::nullopt;
    Sleep(20);
  } while (GetTickCount() - start < TimeoutMs);
  return std::nullopt;
}

void TProductRun::AnswerBox(const TChildBox& Box, int ButtonId) {
  FAnswered.push_back(Box.Wnd);
  if (HWND b = GetDlgItem(Box.Wnd, ButtonId)) PostMessageW(b, BM_CLICK, 0, 0);
}

std::wstring TProductRun::AnswerNextBox(int ButtonId, DWORD TimeoutMs) {
  auto box = WaitForBox(TimeoutMs);
  if (!box) return L"";
  AnswerBox(*box, ButtonId);
  return box->Text;
}

HWND TProductRun::FindControl(const std::wstring& Text) {
  HWND main = FindTopLevel(FPid, L"VtForm");
  if (!main) return nullptr;
  TFindText f{&Text, nullptr};
  EnumChildWindows(main, FindChildText, reinterpret_cast<LPARAM>(&f));
  return f.Found;
}

std::wstring TProductRun::ControlText(HWND Control) { return Control ? WindowText(Control) : L""; }

void TProductRun::Click(HWND Control) {
  RECT r;
  GetClientRect(Control, &r);
  LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
  PostMessageW(Control, WM_MOUSEMOVE, 0, at);
  PostMessageW(Control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(Control, WM_LBUTTONUP, 0, at);
}

std::optional<DWORD> TProductRun::WaitForExit(DWORD TimeoutMs) {
  if (!FProcess || WaitForSingleObject(FProcess, TimeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(FProcess, &code);
  return code;
}

std::vector<std::string> TProductRun::LogLines() const { return ReadLines(FLogFile); }

bool TProductRun::LogContains(const std::string& Text) const {
  return ReadFileBytes(FLogFile).find(Text) != std::string::npos;
}

bool TProductRun::WaitForLog(const std::string& Text, DWORD TimeoutMs) const {
  DWORD start = GetTickCount();
  do {
    if (LogContains(Text)) return true;
    Sleep(20);
  } while (GetTickCount() - start < TimeoutMs);
  return false;
}

std::wstring SetupTempFolder() {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring t = tmp;
  if (!t.empty() && t.back() != L'\\') t += L'\\';
  return t + L"vttmp\\";
}

std::vector<std::wstring> SetupTempFiles() {
  std::vector<std::wstring> out;
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW((SetupTempFolder() + L"*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(d.cFileName);
  } while (FindNextFileW(h, &d));
  FindClose(h);
  return out;
}

std::wstring LoopbackExe() { return WinPath(EnvVar(L"VT_LOOPBACK_EXE")); }

}  // namespace vt::test
