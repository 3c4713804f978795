// setup_bench.exe window|plain EXE [ARGUMENTS] [LIMIT_SECONDS]: starts EXE as
// a child, waits (bounded) until it has ended and prints, one per line:
//   first_paint_ms=   (window) time from just before the process was created
//                     until its 800 by 157 window shows its border on screen
//                     in the setup's border colour at two opposite corners
//   peak_working_set= the child's peak working set (bytes), polled while it ran
//   exit_code=        its exit code
//   total_ms=         time until it ended
// Exit code 0; 2 when the child could not start or ran over the limit (it is
// then ended).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr COLORREF kBorder = 13010179;

struct TFind {
  DWORD Pid;
  HWND Found;
};

BOOL CALLBACK FindShown(HWND Wnd, LPARAM Param) {
  auto* f = reinterpret_cast<TFind*>(Param);
  DWORD pid = 0;
  GetWindowThreadProcessId(Wnd, &pid);
  RECT r;
  if (pid != f->Pid || !IsWindowVisible(Wnd) || !GetWindowRect(Wnd, &r)) return TRUE;
  if (r.right - r.left != 800 || r.bottom - r.top != 157) return TRUE;
  f->Found = Wnd;
  return FALSE;
}

// The window's own drawing is on screen: its border at two opposite corners.
bool Painted(DWORD Pid) {
  TFind f{Pid, nullptr};
  EnumWindows(FindShown, reinterpret_cast<LPARAM>(&f));
  if (!f.Found) return false;
  RECT r;
  GetWindowRect(f.Found, &r);
  HDC screen = GetDC(nullptr);
  bool painted = GetPixel(screen, r.left, r.top) == kBorder && GetPixel(screen, r.right - 1, r.bottom - 1) == kBorder;
  ReleaseDC(nullptr, screen);
  return painted;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 100;
  const bool window = wcscmp(argv[1], L"window") == 0;
  std::wstring cmd = L"\"" + std::wstring(argv[2]) + L"\"";
  if (argc > 3) cmd += L" " + std::wstring(argv[3]);
  const double limitMs = (argc > 4 ? _wtof(argv[4]) : 600.0) * 1000.0;
  LARGE_INTEGER freq, t0, now;
  QueryPerformanceFrequency(&freq);
  auto elapsed = [&] {
    QueryPerformanceCounter(&now);
    return double(now.QuadPart - t0.QuadPart) * 1000.0 / double(freq.QuadPart);
  };
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  QueryPerformanceCounter(&t0);
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::fwprintf(stderr, L"setup_bench: cannot start %ls (error %lu)\n", cmd.c_str(), GetLastError());
    return 2;
  }
  double firstPaint = -1;
  SIZE_T peak = 0;
  int code = 0;
  for (;;) {
    DWORD w = WaitForSingleObject(pi.hProcess, window && firstPaint < 0 ? 1 : 50);
    PROCESS_MEMORY_COUNTERS pmc{};
    if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc) && pmc.PeakWorkingSetSize > peak)
      peak = pmc.PeakWorkingSetSize;
    if (w == WAIT_OBJECT_0) break;
    if (window && firstPaint < 0 && Painted(pi.dwProcessId)) firstPaint = elapsed();
    if (elapsed() > limitMs) {
      std::fwprintf(stderr, L"setup_bench: %ls ran longer than %.0f s; ended\n", cmd.c_str(), limitMs / 1000);
      TerminateProcess(pi.hProcess, 0xDEAD);
      WaitForSingleObject(pi.hProcess, 10000);
      code = 2;
      break;
    }
  }
  double total = elapsed();
  DWORD exitCode = 0;
  GetExitCodeProcess(pi.hProcess, &exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (window) std::printf("first_paint_ms=%.1f\n", firstPaint);
  std::printf("peak_working_set=%lu\nexit_code=%lu\ntotal_ms=%.1f\n", static_cast<unsigned long>(peak),
              static_cast<unsigned long>(exitCode), total);
  return code;
}
