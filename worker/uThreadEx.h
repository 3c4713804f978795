// The worker's thread base with stop, done and wake-up events and an atomic
// running flag.
#pragma once
#include <windows.h>

#include <atomic>
#include <string_view>

#include "fw/uWinHandles.h"
#include "worker/VtThreadUtils.h"

namespace vt {

class TThreadEx : public TVtThread {
public:
  // Suspended; the stop, done and wake-up events are created in that order.
  explicit TThreadEx(std::wstring_view AClassName = L"TThreadEx");
  // Terminates, waits for the body (running synchronised calls meanwhile when
  // on the window thread), then closes the events.
  ~TThreadEx() override;

  // Sets the stop event, then the platform thread's flag.
  void Terminate() override;
  // The stop event is signalled.
  bool Terminated() const override;

  bool Running() const { return InterlockedCompareExchange(&FRunning, 0, 0) != 0; }
  void SetRunning(bool Value) { InterlockedExchange(&FRunning, Value ? 1 : 0); }
  void SetThreadName(std::wstring_view Name);
  HANDLE DoneEvent() const { return FEvDone.Get(); }

  // Waits on the done event up to Timeout ms, only while Running; the
  // WaitForSingleObject result (WAIT_OBJECT_0 when not running).
  DWORD WaitForEx(DWORD Timeout);
  // The same without looking at Running.
  DWORD WaitForExNR(DWORD Timeout);
  // Waits for the stop or the wake-up event up to Milliseconds; false when
  // the stop event ended the wait.
  bool SleepEx(DWORD Milliseconds);
  void WakeUp();

protected:
  void Execute() override;
  virtual void ThreadExecute() {}
  // OnTerminate is not raised while the object is being destroyed.
  void DoTerminate() override;
  // For the destructors of derived classes: asks the body to stop and waits
  // until the platform thread has ended, before their fields go away.
  void StopAndWaitForBody();

private:
  THandle FEvDone;
  std::atomic<bool> FSleeping{false};
  THandle FEvWakeUp;
  mutable volatile LONG FRunning = 0;
  THandle FEvStop;
  std::atomic<bool> FDestroying{false};
};

}  // namespace vt
