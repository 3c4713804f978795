#include "fw/uThread.h"

#include <process.h>

namespace vt {
namespace {

constexpr UINT WM_VT_SYNC = WM_APP + 0x3F1;
constexpr wchar_t kSyncWindowClass[] = L"VtSyncWindow";

struct TSyncRequest {
  const std::function<void()>* Method;
  std::exception_ptr Error;
};

std::atomic<HWND> gSyncWnd{nullptr};
std::atomic<DWORD> gMainThreadId{0};
std::atomic<unsigned> gCallsRun{0};  // window thread only writes it

LRESULT CALLBACK SyncWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_VT_SYNC) {
    auto* r = reinterpret_cast<TSyncRequest*>(LParam);
    // Nothing may unwind through the window procedure: the caller gets it.
    try {
      (*r->Method)();
    } catch (...) {
      r->Error = std::current_exception();
    }
    gCallsRun.fetch_add(1);
    return 1;
  }
  return DefWindowProcW(Wnd, Msg, WParam, LParam);
}

// Delivers the messages other threads have sent to this thread's windows.
void DeliverSentMessages() {
  MSG m;
  PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

void ThreadSyncInitialization() {
  gMainThreadId = GetCurrentThreadId();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = SyncWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kSyncWindowClass;
  RegisterClassExW(&wc);  // a second start-up (tests) finds it registered
  HWND w = CreateWindowExW(0, kSyncWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (!w) RaiseLastOSError();
  gSyncWnd = w;
}

void ThreadSyncFinalization() {
  if (HWND w = gSyncWnd.exchange(nullptr)) DestroyWindow(w);
  UnregisterClassW(kSyncWindowClass, GetModuleHandleW(nullptr));
}

DWORD MainThreadId() { return gMainThreadId.load(); }
unsigned SynchronizedCallCount() { return gCallsRun.load(); }
bool IsMainThread() { return GetCurrentThreadId() == gMainThreadId.load(); }

void SynchronizeCall(const std::function<void()>& Method) {
  if (!Method) return;
  if (IsMainThread()) {
    Method();
    return;
  }
  HWND w = gSyncWnd.load();
  TSyncRequest r{&Method, nullptr};
  // 0 means the window is gone (or never existed): the call did not run.
  if (!w || !SendMessageW(w, WM_VT_SYNC, 0, reinterpret_cast<LPARAM>(&r)))
    throw EThreadError(L"The window thread cannot run a synchronised call any more");
  if (r.Error) std::rethrow_exception(r.Error);
}

bool CheckSynchronize(DWORD TimeoutMs) {
  if (!IsMainThread()) return false;
  unsigned before = gCallsRun.load();
  DeliverSentMessages();
  if (TimeoutMs != 0 && gCallsRun.load() == before) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, TimeoutMs, QS_SENDMESSAGE) == WAIT_OBJECT_0)
      DeliverSentMessages();
  }
  return gCallsRun.load() != before;
}

DWORD WaitForHandle(HANDLE Handle, DWORD TimeoutMs) {
  if (!IsMainThread()) return WaitForSingleObject(Handle, TimeoutMs);
  DWORD start = GetTickCount();
  for (;;) {
    DWORD left = TimeoutMs;
    if (TimeoutMs != INFINITE) {
      DWORD spent = GetTickCount() - start;
      left = spent >= TimeoutMs ? 0 : TimeoutMs - spent;
    }
    DWORD r = MsgWaitForMultipleObjects(1, &Handle, FALSE, left, QS_SENDMESSAGE);
    if (r != WAIT_OBJECT_0 + 1) return r;
    DeliverSentMessages();
  }
}

// ---- TThread

TThread::TThread() {
  unsigned id = 0;
  auto h = _beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id);
  if (h == 0) RaiseLastOSError();
  FHandle.Reset(reinterpret_cast<HANDLE>(h));
  FThreadId = id;
}

TThread::~TThread() {
  FDestroying = true;
  if (FHandle && GetCurrentThreadId() != FThreadId) {
    if (!FStarted) {
      // Never started: let the platform thread run out without the body.
      FTerminated = true;
      FStarted = true;
      ResumeThread(FHandle.Get());
    }
    TThread::Terminate();
    WaitForHandle(FHandle.Get(), INFINITE);
  }
}

void TThread::Start() {
  if (FStarted) return;
  FStarted = true;
  if (ResumeThread(FHandle.Get()) == static_cast<DWORD>(-1)) RaiseLastOSError();
}

void TThread::Terminate() { FTerminated = true; }

void TThread::WaitFor() {
  if (!FStarted || GetCurrentThreadId() == FThreadId) return;
  WaitForHandle(FHandle.Get(), INFINITE);
}

void TThread::DoTerminate() {
  if (!OnTerminate) return;
  SynchronizeCall([this] {
    if (!FDestroying && OnTerminate) OnTerminate(this);
  });
}

unsigned __stdcall TThread::ThreadProc(void* Param) {
  auto* t = static_cast<TThread*>(Param);
  if (t->FDestroying) return 0;  // destroyed before it was started
  try {
    t->Execute();
  } catch (...) {
    t->FFatalException = std::current_exception();
  }
  bool freeIt = t->FreeOnTerminate;
  try {
    t->DoTerminate();
  } catch (...) {
    // No window thread any more: nobody to tell.
  }
  t->FFinished = true;
  if (freeIt) delete t;
  return 0;
}

void TThread::NameThreadForDebugger(DWORD ThreadId, const std::wstring& Name) {
  // SetThreadDescription exists from Windows 10 1607 on; looked up at run time.
  using TSetThreadDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  HMODULE k = GetModuleHandleW(L"kernel32.dll");
  auto fn = k ? reinterpret_cast<TSetThreadDescription>(GetProcAddress(k, "SetThreadDescription")) : nullptr;
  if (!fn) return;
  THandle h(OpenThread(THREAD_SET_LIMITED_INFORMATION, FALSE, ThreadId));
  if (h) fn(h.Get(), Name.c_str());
}

}  // namespace vt
