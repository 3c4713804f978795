// The platform thread class and blocking synchronised calls on the window thread.
//
// A synchronised call is a SendMessageW to a message-only window of the window
// thread: the caller blocks until the call has run there, and Windows delivers
// sent messages inside every message loop of that thread (message boxes and
// modal forms included), so a worker's call never waits for a modal loop to end.
// Every wait of the window thread in this framework keeps delivering them.
#pragma once
#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <string>

#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"

namespace vt {

// A synchronised call that could not be delivered (no window thread any more).
class EThreadError : public Exception {
public:
  using Exception::Exception;
  std::wstring ClassName() const override { return L"EThreadError"; }
};

// The calling thread becomes the window thread (program start-up, before any
// worker exists); the finalisation refuses further calls.
void ThreadSyncInitialization();
void ThreadSyncFinalization();
DWORD MainThreadId();
bool IsMainThread();
// How many synchronised calls the window thread has run so far: a message loop
// that sees it change looks again at its conditions before it waits.
unsigned SynchronizedCallCount();

// Runs Method on the window thread and returns when it has run there; an
// exception it raised is raised again in the caller. On the window thread
// itself it runs at once. Callable from any thread, also one the framework did
// not create (the installer's callback threads).
void SynchronizeCall(const std::function<void()>& Method);

// Window thread: delivers the synchronised calls already waiting, then waits up
// to TimeoutMs for further ones and delivers those. True when one ran.
bool CheckSynchronize(DWORD TimeoutMs = 0);
// Waits for Handle up to TimeoutMs; on the window thread synchronised calls keep
// running meanwhile. The WaitForSingleObject result.
DWORD WaitForHandle(HANDLE Handle, DWORD TimeoutMs);

class TThread;
using TThreadNotifyEvent = std::function<void(TThread* Sender)>;

// A thread whose body (Execute) runs once. Created suspended; Start runs it.
// OnTerminate is raised on the window thread after the body has ended.
class TThread {
public:
  TThread();
  // Asks a running body to stop and waits for it, then closes the thread.
  // OnTerminate is not raised for a thread that is being destroyed.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();
  virtual void Terminate();
  virtual bool Terminated() const { return FTerminated.load(); }
  // Waits until the platform thread has ended (OnTerminate included).
  void WaitFor();
  bool Started() const { return FStarted; }
  bool Finished() const { return FFinished.load(); }
  DWORD ThreadID() const { return FThreadId; }
  HANDLE Handle() const { return FHandle.Get(); }
  // The exception that escaped Execute, if any.
  std::exception_ptr FatalException() const { return FFatalException; }

  // The thread deletes itself after OnTerminate; set before Start. Off by default.
  bool FreeOnTerminate = false;
  TThreadNotifyEvent OnTerminate;

  void Synchronize(const std::function<void()>& Method) { SynchronizeCall(Method); }
  // Names a thread for debuggers (where the system offers it).
  static void NameThreadForDebugger(DWORD ThreadId, const std::wstring& Name);

protected:
  virtual void Execute() = 0;
  // Raises OnTerminate through a synchronised call.
  virtual void DoTerminate();

private:
  static unsigned __stdcall ThreadProc(void* Param);

  THandle FHandle;
  DWORD FThreadId = 0;
  bool FStarted = false;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FDestroying{false};
  std::exception_ptr FFatalException;
};

}  // namespace vt
