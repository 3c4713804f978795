// Writes 100,000 debug log lines from two threads and the same number of
// plain WriteFile calls, and prints both rates and their ratio.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "fw/uSysUtils.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"

using namespace vt;

namespace {

constexpr int kLines = 100000;
constexpr int kThreads = 2;

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

template <class F>
double TimeThreads(F body) {
  LARGE_INTEGER a, b;
  QueryPerformanceCounter(&a);
  std::thread t[kThreads];
  for (int i = 0; i < kThreads; ++i) t[i] = std::thread(body, i);
  for (auto& x : t) x.join();
  QueryPerformanceCounter(&b);
  return Seconds(a, b);
}

// A line as the log writes it, written with one WriteFile per line.
double PlainWriteFile(const std::wstring& path, bool flushBuffers, int lines) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  double s = TimeThreads([&](int id) {
    for (int i = 0; i < lines / kThreads; ++i) {
      char buf[96];
      int n = std::snprintf(buf, sizeof buf, "12:00:00.000\t%-6lu   worker %d line %d\r\n", GetCurrentThreadId(), id, i);
      EnterCriticalSection(&cs);
      DWORD w;
      WriteFile(h, buf, static_cast<DWORD>(n), &w, nullptr);
      if (flushBuffers) FlushFileBuffers(h);
      LeaveCriticalSection(&cs);
    }
  });
  DeleteCriticalSection(&cs);
  CloseHandle(h);
  return s;
}

}  // namespace

int wmain() {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring dir = std::wstring(tmp) + L"vtbench_log\\";
  CreateDirectoryW(dir.c_str(), nullptr);
  SetEnvironmentVariableW(L"VeltranoDbgLog", (dir + L"bench.log").c_str());
  DebugLogInitialization();
  DebugLogUtilsInitialization();

  double logS = TimeThreads([](int id) {
    for (int i = 0; i < kLines / kThreads; ++i) LogFmt(L"worker %d line %d", {id, i});
  });
  double plainS = PlainWriteFile(dir + L"plain.log", false, kLines);
  // FlushFileBuffers reaches the disk and is far slower; a tenth of the lines suffices.
  double flushS = PlainWriteFile(dir + L"flush.log", true, kLines / 10) * 10;

  DebugLogUtilsFinalization();
  DebugLogFinalization();
  double logRate = kLines / logS, plainRate = kLines / plainS, flushRate = kLines / flushS;
  std::printf("log lines (LogFmt, 2 threads):      %10.0f lines/s\n", logRate);
  std::printf("plain WriteFile per line:           %10.0f lines/s\n", plainRate);
  std::printf("WriteFile + FlushFileBuffers:       %10.0f lines/s (10%% sample)\n", flushRate);
  std::printf("ratio log / WriteFile:              %10.3f\n", logRate / plainRate);
  std::printf("ratio log / WriteFile+Flush:        %10.3f\n", logRate / flushRate);
  DeleteFileW((dir + L"bench.log").c_str());
  DeleteFileW((dir + L"plain.log").c_str());
  DeleteFileW((dir + L"flush.log").c_str());
  RemoveDirectoryW(dir.c_str());
  return 0;
}
