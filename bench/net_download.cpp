// Download benchmark client (run by bench/net_download.sh): downloads one URL
// into a file the way the install worker does, with one blocking
// SendMessageW to a hidden window on another thread per work event, and
// prints what it measured as name=value lines.
//   net_download_bench.exe URL OUTFILE [WORK_INTERVAL_MS]
//   net_download_bench.exe --idle      (peak working set without a download)
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"
#include "net/uHttpClient.h"

namespace {

constexpr UINT kMsgSetPos = WM_APP + 1;
LONG64 gPosition = 0;
LONG gMessages = 0;

LRESULT CALLBACK WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == kMsgSetPos) {
    gPosition = *reinterpret_cast<const int64_t*>(LParam);
    ++gMessages;
    return 0;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

struct TWindowThread {
  HWND Wnd = nullptr;
  vt::THandle Ready{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

DWORD WINAPI WindowThread(void* Param) {
  auto* t = static_cast<TWindowThread*>(Param);
  WNDCLASSW wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"NetBenchWindow";
  RegisterClassW(&wc);
  t->Wnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  SetEvent(t->Ready.Get());
  if (!t->Wnd) return 1;
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  return 0;
}

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  return GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc) ? pmc.PeakWorkingSetSize : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && std::wstring(argv[1]) == L"--idle") {
    vt::DebugLogInitialization();
    vt::DebugLogUtilsInitialization();
    vt::NetInitialization();
    vt::NetFinalization();
    std::printf("peak_working_set=%lu\n", static_cast<unsigned long>(PeakWorkingSet()));
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: net_download_bench URL OUTFILE [WORK_INTERVAL_MS] | --idle\n");
    return 2;
  }
  vt::DebugLogInitialization();
  vt::DebugLogUtilsInitialization();
  int rc = 0;
  try {
    vt::NetInitialization();
    TWindowThread wt;
    vt::THandle thread(CreateThread(nullptr, 0, WindowThread, &wt, 0, nullptr));
    WaitForSingleObject(wt.Ready.Get(), INFINITE);
    if (!wt.Wnd) throw vt::Exception(L"no window");
    {
      vt::TIdHTTP http;
      http.UserAgent = L"net_download_bench";
      http.HandleRedirects = true;
      http.ConnectTimeout = 60000;
      http.ReadTimeout = 60000;
      if (argc >= 4) http.WorkInterval = static_cast<unsigned>(std::wcstoul(argv[3], nullptr, 10));
      LONG events = 0;
      http.OnWorkBegin = [&](vt::TIdHTTP*, vt::TWorkMode, int64_t) {
        int64_t zero = 0;
        SendMessageW(wt.Wnd, kMsgSetPos, 0, reinterpret_cast<LPARAM>(&zero));
      };
      http.OnWork = [&](vt::TIdHTTP*, vt::TWorkMode, int64_t Count) {
        ++events;
        SendMessageW(wt.Wnd, kMsgSetPos, 0, reinterpret_cast<LPARAM>(&Count));
      };
      vt::TIdFileStream file(argv[2]);
      LARGE_INTEGER f, t0, t1;
      QueryPerformanceFrequency(&f);
      QueryPerformanceCounter(&t0);
      http.Get(argv[1], file);
      QueryPerformanceCounter(&t1);
      file.Close();
      double seconds = double(t1.QuadPart - t0.QuadPart) / double(f.QuadPart);
      std::printf("bytes=%llu\nseconds=%.4f\nwork_events=%ld\nwindow_messages=%ld\nlast_position=%lld\n",
                  static_cast<unsigned long long>(file.Written()), seconds, events, gMessages,
                  static_cast<long long>(gPosition));
    }
    PostMessageW(wt.Wnd, WM_CLOSE, 0, 0);
    PostThreadMessageW(GetThreadId(thread.Get()), WM_QUIT, 0, 0);
    WaitForSingleObject(thread.Get(), 5000);
    vt::NetFinalization();
  } catch (const vt::Exception& e) {
    std::fprintf(stderr, "failed: %s\n", vt::WideToUtf8(e.ClassName() + L": " + e.Message()).c_str());
    rc = 1;
  }
  std::printf("peak_working_set=%lu\n", static_cast<unsigned long>(PeakWorkingSet()));
  vt::DebugLogUtilsFinalization();
  vt::DebugLogFinalization();
  return rc;
}
