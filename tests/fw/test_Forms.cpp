// Forms and controls as real windows under the test run's X server: the
// application loop and its idle event, alignment and anchors, mouse and keys
// delivered as window messages, close requests.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "fw/uForms.h"
#include "fw/uGraphics.h"
#include "common/UiTestUtils.h"

namespace vt {
namespace {

// A fresh application object after a test that ended its loop.
void ResetApplication() {
  FormsFinalization();
  FormsInitialization();
}

// Records the keys offered to it as dialog keys; takes Enter and Esc.
class TKeyProbe : public TCustomControl {
public:
  explicit TKeyProbe(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
  std::vector<WORD> Keys;
  bool DialogKey(WORD Key, TShiftState Shift) override {
    if ((Key == VK_RETURN || Key == VK_ESCAPE) && Shift == 0) {
      Keys.push_back(Key);
      return true;
    }
    return false;
  }
};

TEST(Forms, IdleRunsAfterStartAndTheLoopEndsWhenTheMainFormCloses) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 120);
  form.Position = poScreenCenter;
  Application().SetMainForm(&form);
  int idles = 0;
  bool visibleAtIdle = false;
  Application().OnIdle = [&](bool&) {
    if (++idles == 1) {
      visibleAtIdle = IsWindowVisible(form.Handle()) != FALSE;
      PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
    }
  };
  Application().Run();
  ResetApplication();
  EXPECT_GE(idles, 1);
  EXPECT_TRUE(visibleAtIdle);
  // Centred on the work area.
  RECT area;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  EXPECT_EQ(form.Left(), area.left + (area.right - area.left - 300) / 2);
}

TEST(Forms, HiddenMainFormIsNeverShown) {
  TForm form(nullptr);
  Application().SetMainForm(&form);
  Application().ShowMainForm = false;
  bool everVisible = false;
  int idles = 0;
  Application().OnIdle = [&](bool&) {
    everVisible |= form.HandleAllocated() && IsWindowVisible(form.Handle());
    if (++idles == 1) form.Close();  // one idle moment: no message arrives for a hidden form
  };
  Application().Run();
  ResetApplication();
  EXPECT_FALSE(everVisible);
}

TEST(Forms, AlignedChildrenAndAnchors) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 800, 157);
  auto* body = new TPanel(&form);
  body->SetParent(&form);
  body->SetMargins(1, 40, 1, 1);
  body->SetAlign(alClient);
  auto* close = new TPanel(&form);
  close->SetParent(&form);
  close->SetBounds(749, 8, 45, 26);
  close->SetAnchors(akTop | akRight);
  auto* strip = new TPanel(&form);
  strip->SetParent(body);
  strip->SetBounds(0, 54, 697, 22);
  auto* retry = new TLabel(&form);
  retry->SetParent(strip);
  retry->SetBounds(0, 0, 30, 22);
  retry->SetMargins(0, 0, 5, 0);
  retry->SetAlign(alRight);
  auto* cancel = new TLabel(&form);
  cancel->SetParent(strip);
  cancel->SetBounds(700, 0, 38, 22);  // designed right of Retry
  cancel->SetAlign(alRight);
  form.Handle();

  EXPECT_EQ(body->Left(), 1);
  EXPECT_EQ(body->Top(), 40);
  EXPECT_EQ(body->Width(), 798);
  EXPECT_EQ(body->Height(), 116);
  EXPECT_EQ(cancel->Left(), 697 - 38);
  EXPECT_EQ(retry->Left(), 697 - 38 - 5 - 30);
  EXPECT_EQ(retry->Height(), 22);
  // The window follows the fields.
  RECT r;
  GetWindowRect(cancel->Handle(), &r);
  POINT p{r.left, r.top};
  ScreenToClient(strip->Handle(), &p);
  EXPECT_EQ(p.x, 659);

  form.SetBounds(0, 0, 760, 157);
  EXPECT_EQ(close->Left(), 709);
  EXPECT_EQ(body->Width(), 758);
}

TEST(Forms, ClickNeedsPressAndReleaseOnTheControl) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 100);
  auto* lab = new TLabel(&form);
  lab->SetParent(&form);
  lab->SetBounds(10, 10, 80, 20);
  int clicks = 0;
  lab->OnClick = [&](TComponent* s) {
    EXPECT_EQ(s, lab);
    ++clicks;
  };
  form.ShowForm();
  HWND w = lab->Handle();
  SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(6, 5));
  EXPECT_EQ(clicks, 1);
  SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(150, 5));  // released outside
  EXPECT_EQ(clicks, 1);
  SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));  // a release without a press
  EXPECT_EQ(clicks, 1);
}

TEST(Forms, MouseEnterAndLeaveFollowTheRealPointer) {
  TForm form(nullptr);
  form.SetBounds(100, 100, 300, 100);
  auto* lab = new TLabel(&form);
  lab->SetParent(&form);
  lab->SetBounds(10, 10, 100, 30);
  int enters = 0, leaves = 0;
  lab->OnMouseEnter = [&](TComponent*) { ++enters; };
  lab->OnMouseLeave = [&](TComponent*) { ++leaves; };
  form.ShowForm();
  SetForegroundWindow(form.Handle());
  // Enter and leave come in pairs; Wine may deliver a pair again while the
  // pointer rests, so the test looks at the state and the pairing.
  ASSERT_TRUE(test::MoveMouse(100 + 50, 100 + 25));
  EXPECT_TRUE(test::PumpUntil([&] { return lab->MouseInControl() && enters == leaves + 1; }));
  ASSERT_TRUE(test::MoveMouse(100 + 200, 100 + 80));
  EXPECT_TRUE(test::PumpUntil([&] { return !lab->MouseInControl() && leaves == enters; }));
  EXPECT_GE(leaves, 1);
  test::MoveMouse(0, 0);
}

TEST(Forms, DialogKeysGoToTheControlsThatTakeThem) {
  TForm form(nullptr);
  form.SetBounds(50, 50, 300, 150);
  auto* a = new TKeyProbe(&form);
  a->SetParent(&form);
  a->SetBounds(10, 10, 50, 20);
  auto* b = new TKeyProbe(&form);
  b->SetParent(&form);
  b->SetBounds(10, 40, 50, 20);
  form.ShowForm();
  SetForegroundWindow(form.Handle());
  a->SetFocus();
  ASSERT_TRUE(a->Focused());
  auto key = [&](WORD k) {
    PostMessageW(GetFocus(), WM_KEYDOWN, k, 0);
    PostMessageW(GetFocus(), WM_KEYUP, k, 0xC0000000);
    Application().ProcessMessages();
  };
  key(VK_TAB);
  EXPECT_TRUE(b->Focused());
  EXPECT_EQ(form.ActiveControl(), b);
  key(VK_TAB);  // wraps around
  EXPECT_TRUE(a->Focused());
  key(VK_RETURN);
  key(VK_ESCAPE);
  // Offered to the controls in order: the first one takes both.
  EXPECT_EQ(a->Keys, (std::vector<WORD>{VK_RETURN, VK_ESCAPE}));
  EXPECT_TRUE(b->Keys.empty());
}

TEST(Forms, ACloseRequestTheFormRefusesKeepsItOpen) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 100, 100);
  bool allow = false;
  int closes = 0;
  form.OnClose = [&](TComponent*, TCloseAction& a) {
    ++closes;
    if (!allow) a = caNone;
  };
  form.ShowForm();
  SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(form.Handle()));
  allow = true;
  SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(form.Handle()));
  EXPECT_EQ(closes, 2);
}

}  // namespace
}  // namespace vt
