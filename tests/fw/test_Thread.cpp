// The thread class and its blocking synchronised calls, with the test's main
// thread as the window thread (test_main starts the synchronisation).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "common/UiTestUtils.h"
#include "fw/uForms.h"
#include "fw/uGraphics.h"
#include "fw/uThread.h"

namespace vt {
namespace {

// A thread that runs a function as its body.
class TFuncThread : public TThread {
public:
  explicit TFuncThread(std::function<void(TFuncThread&)> Body) : FBody(std::move(Body)) {}
  using TThread::Terminated;

protected:
  void Execute() override { FBody(*this); }

private:
  std::function<void(TFuncThread&)> FBody;
};

// Waits for the thread while running its synchronised calls; a deadlock fails
// the test instead of hanging it.
void WaitBounded(TThread& T) { ASSERT_EQ(WaitForHandle(T.Handle(), 20000), WAIT_OBJECT_0); }

TEST(Thread, SynchronisedCallRunsOnTheWindowThreadAndBlocksTheCaller) {
  DWORD ranOn = 0;
  bool doneBeforeReturn = false;
  TFuncThread t([&](TFuncThread& self) {
    bool done = false;
    self.Synchronize([&] {
      ranOn = GetCurrentThreadId();
      Sleep(50);  // the caller must still be waiting when this ends
      done = true;
    });
    doneBeforeReturn = done;
  });
  t.Start();
  WaitBounded(t);
  EXPECT_EQ(ranOn, GetCurrentThreadId());
  EXPECT_TRUE(doneBeforeReturn);
  EXPECT_FALSE(t.FatalException());
}

TEST(Thread, AnExceptionInsideTheCallReachesTheCaller) {
  std::wstring caught;
  TFuncThread t([&](TFuncThread& self) {
    try {
      self.Synchronize([] { throw EConvertError(L"raised on the window thread"); });
    } catch (const EConvertError& e) {
      caught = e.Message();
    }
  });
  t.Start();
  WaitBounded(t);
  EXPECT_EQ(caught, L"raised on the window thread");
}

TEST(Thread, OnTerminateRunsOnTheWindowThreadAfterTheBody) {
  std::atomic<bool> bodyEnded{false};
  DWORD ranOn = 0;
  bool sawBodyEnded = false;
  TThread* sender = nullptr;
  TFuncThread t([&](TFuncThread&) { bodyEnded = true; });
  t.OnTerminate = [&](TThread* s) {
    ranOn = GetCurrentThreadId();
    sawBodyEnded = bodyEnded;
    sender = s;
  };
  t.Start();
  WaitBounded(t);
  EXPECT_EQ(ranOn, GetCurrentThreadId());
  EXPECT_TRUE(sawBodyEnded);
  EXPECT_EQ(sender, &t);
  EXPECT_TRUE(t.Finished());
}

TEST(Thread, AWindowThreadWaitKeepsRunningCallsUntilTheWorkerEnds) {
  int calls = 0;
  TFuncThread t([&](TFuncThread& self) {
    for (int i = 0; i < 200 && !self.Terminated(); ++i) self.Synchronize([&] { ++calls; });
  });
  t.Start();
  Sleep(5);
  t.Terminate();  // the worker may be inside a call right now
  WaitBounded(t);
  EXPECT_GT(calls, 0);
  EXPECT_LE(calls, 200);
}

DWORD WINAPI PlainThreadBody(void* P) {
  auto* ranOn = static_cast<DWORD*>(P);
  SynchronizeCall([ranOn] { *ranOn = GetCurrentThreadId(); });
  return 0;
}

TEST(Thread, CallsFromAThreadTheFrameworkDidNotCreate) {
  struct TCtx {
    DWORD RanOn = 0;
  } ctx;
  HANDLE h = CreateThread(nullptr, 0, PlainThreadBody, &ctx.RanOn, 0, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(WaitForHandle(h, 20000), WAIT_OBJECT_0);
  CloseHandle(h);
  EXPECT_EQ(ctx.RanOn, GetCurrentThreadId());
}

TEST(Thread, CheckSynchronizeReportsWhetherACallRan) {
  EXPECT_FALSE(CheckSynchronize(0));
  TFuncThread t([](TFuncThread& self) { self.Synchronize([] {}); });
  t.Start();
  bool ran = false;
  for (int i = 0; i < 200 && !ran; ++i) ran = CheckSynchronize(100);
  EXPECT_TRUE(ran);
  WaitBounded(t);
}

TEST(Thread, DestroyingANeverStartedThreadReturnsAtOnce) {
  bool bodyRan = false;
  {
    TFuncThread t([&](TFuncThread&) { bodyRan = true; });
  }
  EXPECT_FALSE(bodyRan);
}

TEST(Thread, CallsRunWhileAMessageBoxIsOpenOnTheWindowThread) {
  const wchar_t* caption = L"vt-sync-box-test";
  bool ranWhileOpen = false;
  TFuncThread t([&](TFuncThread& self) {
    HWND box = nullptr;
    for (int i = 0; i < 500 && !box; ++i) {
      box = FindWindowW(L"#32770", caption);
      if (!box) Sleep(10);
    }
    if (!box) return;
    self.Synchronize([&] { ranWhileOpen = IsWindowVisible(box) != FALSE; });
    // Answer the box as a user would: its OK button.
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  });
  t.Start();
  int answer = MessageBoxExW(nullptr, L"waiting for the worker", caption, MB_OK, 0);
  WaitBounded(t);
  EXPECT_EQ(answer, IDOK);
  EXPECT_TRUE(ranWhileOpen);
}

[[maybe_unused]] const bool kWindows = test::UseWindows();

void CALLBACK CloseModalForms(HWND, UINT, UINT_PTR, DWORD) {
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"VtForm", nullptr));) PostMessageW(w, WM_CLOSE, 0, 0);
}

TEST(Thread, CallsRunWhileAModalFormIsOpen) {
  TForm form(nullptr);
  form.SetBounds(10, 10, 200, 100);
  form.SetCaption(L"vt-modal-sync-test");
  TFuncThread t([&](TFuncThread& self) {
    // The form is modal once its window shows.
    HWND w = nullptr;
    for (int i = 0; i < 500 && !(w && IsWindowVisible(w)); ++i) {
      w = FindWindowW(L"VtForm", L"vt-modal-sync-test");
      Sleep(10);
    }
    self.Synchronize([&] { form.SetModalResult(mrOk); });
  });
  // Bounded: without delivered calls the form would never close, so a watchdog closes it.
  t.Start();
  UINT_PTR watchdog = SetTimer(nullptr, 0, 20000, CloseModalForms);
  int result = form.ShowModal();
  KillTimer(nullptr, watchdog);
  WaitBounded(t);
  EXPECT_EQ(result, mrOk);
}

}  // namespace
}  // namespace vt
