#include "worker/uThreadEx.h"

namespace vt {
namespace {

HANDLE NewManualResetEvent() {
  HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!h) RaiseLastOSError();
  return h;
}

}  // namespace

TThreadEx::TThreadEx(std::wstring_view AClassName) : TVtThread(AClassName) {
  FEvStop.Reset(NewManualResetEvent());
  FEvDone.Reset(NewManualResetEvent());
  FEvWakeUp.Reset(NewManualResetEvent());
}

TThreadEx::~TThreadEx() {
  StopAndWaitForBody();
  FEvWakeUp.Reset();
  FEvStop.Reset();
  FEvDone.Reset();
}

void TThreadEx::StopAndWaitForBody() {
  FDestroying = true;
  Terminate();
  WaitForEx(INFINITE);
  // Running is false also in the moment between Start and the body's first
  // instruction: the platform thread's end is what proves the body is over.
  if (Started() && GetCurrentThreadId() != ThreadID()) WaitForHandle(Handle(), INFINITE);
}

void TThreadEx::Terminate() {
  if (FEvStop) SetEvent(FEvStop.Get());
  TVtThread::Terminate();
}

bool TThreadEx::Terminated() const {
  return FEvStop && WaitForSingleObject(FEvStop.Get(), 0) == WAIT_OBJECT_0;
}

void TThreadEx::SetThreadName(std::wstring_view Name) { NameThreadForDebugger(ThreadID(), std::wstring(Name)); }

DWORD TThreadEx::WaitForEx(DWORD Timeout) {
  if (!Running()) return WAIT_OBJECT_0;
  return WaitForExNR(Timeout);
}

DWORD TThreadEx::WaitForExNR(DWORD Timeout) {
  if (!FEvDone) return WAIT_FAILED;
  // On the window thread the body's synchronised calls keep running meanwhile.
  return WaitForHandle(FEvDone.Get(), Timeout);
}

bool TThreadEx::SleepEx(DWORD Milliseconds) {
  FSleeping = true;
  HANDLE events[2] = {FEvStop.Get(), FEvWakeUp.Get()};
  DWORD r = WaitForMultipleObjects(2, events, FALSE, Milliseconds);
  ResetEvent(FEvWakeUp.Get());
  FSleeping = false;
  return r != WAIT_OBJECT_0;
}

void TThreadEx::WakeUp() {
  if (FEvWakeUp && FSleeping) SetEvent(FEvWakeUp.Get());
}

void TThreadEx::Execute() {
  SetRunning(true);
  auto done = ScopeExit([this] {
    SetRunning(false);
    SetEvent(FEvDone.Get());
  });
  ThreadExecute();
}

void TThreadEx::DoTerminate() {
  if (!OnTerminate || FDestroying) return;
  SynchronizeCall([this] {
    if (!FDestroying && OnTerminate) OnTerminate(this);
  });
}

}  // namespace vt
