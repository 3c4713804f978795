// The worker's thread bases against real threads, with the test's main
// thread as the window thread.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

#include "WorkerTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "fw/uThread.h"
#include "worker/VtThreadUtils.h"
#include "worker/uInstallThread.h"
#include "worker/uThreadEx.h"

namespace vt::test {
namespace {

class TBodyThread : public TThreadEx {
public:
  explicit TBodyThread(std::function<void(TBodyThread&)> Body) : TThreadEx(L"TBodyThread"), FBody(std::move(Body)) {}
  ~TBodyThread() override { StopAndWaitForBody(); }

protected:
  void ThreadExecute() override { FBody(*this); }

private:
  std::function<void(TBodyThread&)> FBody;
};

size_t CountLines(const std::string& Text) {
  size_t n = 0;
  for (const std::string& l : ReadLines(EnvVar(L"VeltranoDbgLog")))
    if (l.find(Text) != std::string::npos) ++n;
  return n;
}

TEST(ThreadEx, NamedInTheTableAndTheLogWhileItExists) {
  DWORD id = 0;
  {
    TInstallThread w;
    id = w.ThreadID();
    EXPECT_EQ(VtThreadName(id), L"TInstallThread");
    EXPECT_EQ(CountLines("TET+TInstallThread:" + std::to_string(id)), 1u);
  }
  EXPECT_EQ(VtThreadName(id), L"");
  EXPECT_EQ(CountLines("TET-TInstallThread:" + std::to_string(id)), 1u);
}

TEST(ThreadEx, RunningDuringTheBodyThenDoneAndOneEndEventOnTheWindowThread) {
  std::atomic<bool> runningInBody{false};
  TBodyThread t([&](TBodyThread& Self) { runningInBody = Self.Running(); });
  int ends = 0;
  bool onWindowThread = false;
  t.OnTerminate = [&](TThread*) {
    ++ends;
    onWindowThread = IsMainThread();
  };
  EXPECT_FALSE(t.Running());
  EXPECT_EQ(WaitForSingleObject(t.DoneEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  t.Start();
  ASSERT_EQ(WaitForHandle(t.Handle(), 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(runningInBody);
  EXPECT_FALSE(t.Running());
  EXPECT_EQ(WaitForSingleObject(t.DoneEvent(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(onWindowThread);
}

TEST(ThreadEx, ABodyThatRaisesStillEndsAndReports) {
  TBodyThread t([](TBodyThread&) { throw std::runtime_error("body failed"); });
  int ends = 0;
  t.OnTerminate = [&](TThread*) { ++ends; };
  t.Start();
  ASSERT_EQ(WaitForHandle(t.Handle(), 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(t.Running());
  EXPECT_EQ(WaitForSingleObject(t.DoneEvent(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(t.FatalException());
}

TEST(ThreadEx, TerminateIsTheStopEventSeenFromAnyThread) {
  std::atomic<bool> seen{false};
  TBodyThread t([&](TBodyThread& Self) { seen = Self.Terminated(); });
  EXPECT_FALSE(t.Terminated());
  t.Terminate();  // before the start: the body sees it at once
  EXPECT_TRUE(t.Terminated());
  t.Start();
  ASSERT_EQ(WaitForHandle(t.Handle(), 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(seen);
}

struct TSleepCase {
  const char* Name;
  int Wake;  // 0: time-out, 1: WakeUp, 2: Terminate
  bool Result;
};

class SleepEx : public ::testing::TestWithParam<TSleepCase> {};

TEST_P(SleepEx, EndsByTimeWakeUpOrStop) {
  const TSleepCase& c = GetParam();
  std::atomic<int> result{-1};
  THandle sleeping(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  TBodyThread t([&](TBodyThread& Self) {
    SetEvent(sleeping.Get());
    result = Self.SleepEx(c.Wake == 0 ? 100 : 20000) ? 1 : 0;
  });
  t.Start();
  ASSERT_EQ(WaitForSingleObject(sleeping.Get(), 10000), WAIT_OBJECT_0);
  // WakeUp only reaches a sleeping thread: repeat until it has gone to sleep.
  for (int i = 0; i < 200 && WaitForSingleObject(t.DoneEvent(), 0) == WAIT_TIMEOUT; ++i) {
    if (c.Wake == 1) t.WakeUp();
    if (c.Wake == 2) t.Terminate();
    WaitForHandle(t.DoneEvent(), 50);
  }
  ASSERT_EQ(WaitForHandle(t.Handle(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(result.load(), c.Result ? 1 : 0);
}

const TSleepCase kSleepCases[] = {
    {"TimeOut", 0, true},
    {"WakeUp", 1, true},
    {"Stop", 2, false},
};
INSTANTIATE_TEST_SUITE_P(Worker, SleepEx, ::testing::ValuesIn(kSleepCases),
                         [](const auto& i) { return std::string(i.param.Name); });

TEST(ThreadEx, AWorkerThatNeverRanIsDestroyedAtOnce) {
  ULONGLONG start = GetTickCount64();
  {
    TInstallThread w;
    EXPECT_EQ(w.WaitForEx(INFINITE), WAIT_OBJECT_0);  // not running: returns at once
  }
  EXPECT_LT(GetTickCount64() - start, 5000u);
}

TEST(ThreadEx, DestroyingARunningThreadWaitsForItsBodyWhileItsCallsRun) {
  // The body waits for the stop request, then still needs the window thread
  // twice; the destructor on the window thread must let those calls run.
  std::atomic<int> calls{0};
  std::atomic<bool> bodyEnded{false};
  THandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  int ends = 0;
  {
    TBodyThread t([&](TBodyThread& Self) {
      SetEvent(started.Get());
      Self.SleepEx(30000);
      SynchronizeCall([&] { ++calls; });
      SynchronizeCall([&] { ++calls; });
      bodyEnded = true;
    });
    t.OnTerminate = [&](TThread*) { ++ends; };
    t.Start();
    ASSERT_EQ(WaitForSingleObject(started.Get(), 10000), WAIT_OBJECT_0);
  }
  EXPECT_TRUE(bodyEnded);
  EXPECT_EQ(calls.load(), 2);
  EXPECT_EQ(ends, 0);  // a thread being destroyed reports nothing
}

TEST(ThreadEx, SynchronizeExRunsAtOnceOnTheWindowThreadAndIgnoresAnEmptyCall) {
  bool ran = false;
  TVtThread::SynchronizeEx([&] { ran = IsMainThread(); });
  EXPECT_TRUE(ran);
  EXPECT_NO_THROW(TVtThread::SynchronizeEx(nullptr));
}

}  // namespace
}  // namespace vt::test
