// Synchronised calls against a plain SendMessageW round trip, measured in the
// same process: a worker thread makes N calls to the window thread, which
// waits for it while delivering them. Prints calls per second of each and
// their ratio.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "fw/uThread.h"

namespace {

constexpr UINT WM_BENCH = WM_APP + 7;
LONG gCounter = 0;

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_BENCH) {
    ++gCounter;
    return 1;
  }
  return DefWindowProcW(w, m, wp, lp);
}

struct TJob {
  HWND Target;
  int Count;
  bool Sync;
};

DWORD WINAPI Worker(void* p) {
  auto* job = static_cast<TJob*>(p);
  for (int i = 0; i < job->Count; ++i) {
    if (job->Sync)
      vt::SynchronizeCall([] { ++gCounter; });
    else
      SendMessageW(job->Target, WM_BENCH, 0, 0);
  }
  return 0;
}

double Run(TJob job) {
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  HANDLE h = CreateThread(nullptr, 0, Worker, &job, 0, nullptr);
  vt::WaitForHandle(h, INFINITE);  // delivers both kinds of sent message
  QueryPerformanceCounter(&b);
  CloseHandle(h);
  return job.Count / (double(b.QuadPart - a.QuadPart) / f.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int count = argc > 1 ? _wtoi(argv[1]) : 20000;
  if (count <= 0 || count > 10000000) count = 20000;
  vt::ThreadSyncInitialization();
  WNDCLASSW wc{};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"BenchPlain";
  RegisterClassW(&wc);
  HWND plain = CreateWindowW(L"BenchPlain", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  double best[2] = {0, 0};
  for (int round = 0; round < 3; ++round)
    for (int k = 0; k < 2; ++k) {
      double r = Run({plain, count, k == 1});
      if (r > best[k]) best[k] = r;
    }
  std::printf("SendMessageW round trip : %10.0f calls/s\n", best[0]);
  std::printf("synchronised call       : %10.0f calls/s\n", best[1]);
  std::printf("ratio sync / SendMessageW = %.2f (best of 3, %d calls each)\n", best[1] / best[0], count);
  DestroyWindow(plain);
  vt::ThreadSyncFinalization();
  return 0;
}
