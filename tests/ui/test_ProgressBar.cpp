// The progress bar: percentage and its events, the painting of each style read
// back from an off-screen rendering, the marquee thread, hints, a screenshot.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/TestUtils.h"
#include "common/UiTestUtils.h"
#include "fw/uForms.h"
#include "fw/uGraphics.h"
#include "ui/VTProgressBar.h"

namespace vt {
namespace {

[[maybe_unused]] const bool kWindows = test::UseWindows();

constexpr TColor kBlue = 13010179;

// A bar on a form, as the main window has it.
struct TBarFixture {
  TForm Form{nullptr};
  TVtProgressBar* Bar;
  std::vector<std::wstring> Texts;
  TBarFixture(int W = 697, int H = 19) {
    Form.SetBounds(0, 0, W + 40, H + 40);
    Form.SetColor(clWhite);
    Bar = new TVtProgressBar(&Form);
    Bar->SetParent(&Form);
    Bar->SetBounds(20, 20, W, H);
    Bar->SetFontWith([](TFont& f) { f.SetHeight(13); });
    Bar->OnTextChange = [this](TComponent*, const std::wstring& t) { Texts.push_back(t); };
    Form.LoadedAll();
  }
  std::unique_ptr<TBitmap32> Render() {
    auto b = std::make_unique<TBitmap32>(Bar->Width(), Bar->Height());
    Bar->PaintTo(*b);
    return b;
  }
};

TEST(ProgressBar, PercentageIsTruncatedAndReportedOnlyWhenItChanges) {
  TBarFixture f;
  EXPECT_EQ(f.Texts, std::vector<std::wstring>{L"0 %"});  // once, at creation
  f.Bar->SetMax(1000);
  f.Bar->SetPosition(0);  // unchanged: nothing
  f.Bar->SetPosition(5);  // 0.5 %: still 0
  f.Bar->SetPosition(999);
  f.Bar->SetPosition(1000);
  f.Bar->SetPosition(1000);
  EXPECT_EQ(f.Texts, (std::vector<std::wstring>{L"0 %", L"99 %", L"100 %"}));
  f.Bar->SetMax(100);
  f.Bar->SetPosition(150);
  EXPECT_EQ(f.Bar->Percent(), 150);
  f.Bar->SetMin(0);
  f.Bar->SetMax(0);
  f.Bar->SetPosition(0);
  EXPECT_EQ(f.Bar->Percent(), 0);
  // 1/3 of the way by thirds: the small added term makes exact values whole.
  f.Bar->SetMax(3);
  f.Bar->SetPosition(1);
  EXPECT_EQ(f.Bar->Percent(), 33);
  f.Bar->SetMax(100);
  f.Bar->SetPosition(29);
  EXPECT_EQ(f.Bar->Percent(), 29);
}

TEST(ProgressBar, SameValueCausesNoRepaint) {
  TBarFixture f;
  f.Form.ShowForm();
  HWND w = f.Bar->Handle();
  UpdateWindow(w);
  f.Bar->SetPosition(0);
  RECT r;
  EXPECT_FALSE(GetUpdateRect(w, &r, FALSE));
  f.Bar->SetPosition(1);
  EXPECT_TRUE(GetUpdateRect(w, &r, FALSE));
}

struct TFillCase {
  const char* Name;
  int W;
  bool Border;
  int64_t Min, Max, Pos;
  int Q;            // expected fill width
  int LastFilledX;  // -1: nothing filled
};

TEST(ProgressBar, FillWidthAndPixels) {
  const TFillCase cases[] = {
      {"framed 697 at 40 of 100", 697, true, 0, 100, 40, 279, 277},
      {"framed at 0", 697, true, 0, 100, 0, 0, -1},
      {"framed full", 697, true, 0, 100, 100, 697, 695},
      {"above Max is full", 697, true, 0, 100, 150, 697, 695},
      {"Min = Max, position 0: empty", 697, true, 0, 0, 0, 0, -1},
      {"Min = Max, position above: full", 697, true, 0, 0, 1, 697, 695},
      {"no frame, half rounds to even (50.5)", 100, false, 0, 100, 50, 50, 48},
      {"no frame, 51.51 rounds up", 100, false, 0, 100, 51, 52, 50},
      {"no frame, full", 100, false, 0, 100, 100, 101, 99},
      {"offset range", 200, true, 1000, 2000, 1500, 100, 98},
  };
  for (const TFillCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBarFixture f(c.W);
    f.Bar->SetShowBorder(c.Border);
    f.Bar->SetMin(c.Min);
    f.Bar->SetMax(c.Max);
    f.Bar->SetPosition(c.Pos);
    EXPECT_EQ(f.Bar->FillWidth(c.W, c.Border ? 0 : 1), c.Q);
    auto pb = f.Render();
    TBitmap32& b = *pb;
    const int y = 9;
    int first = c.Border ? 1 : 0;
    if (c.LastFilledX >= 0) {
      EXPECT_EQ(b.Pixel(first, y), kBlue);
      EXPECT_EQ(b.Pixel(c.LastFilledX, y), kBlue);
    }
    int afterFill = std::max(c.LastFilledX + 1, first);
    if (afterFill < c.W - (c.Border ? 1 : 0)) {
      EXPECT_EQ(b.Pixel(afterFill, y), clWhite) << afterFill;
    }
    if (c.Border) {
      // The frame: first and last column and row in the bar colour.
      EXPECT_EQ(b.Pixel(0, y), kBlue);
      EXPECT_EQ(b.Pixel(c.W - 1, y), kBlue);
      EXPECT_EQ(b.Pixel(c.W / 2, 0), kBlue);
      EXPECT_EQ(b.Pixel(c.W / 2, 18), kBlue);
      // The fill never covers the bottom row of the frame's inside edge.
      if (c.LastFilledX >= 0) {
        EXPECT_EQ(b.Pixel(first, 17), kBlue);
      }
    } else if (c.LastFilledX >= 0) {
      EXPECT_EQ(b.Pixel(first, 18), kBlue);
    }
  }
}

TEST(ProgressBar, ColorPropertiesDoNotChangeTheFixedColour) {
  TBarFixture f(200);
  f.Bar->SetColorBorder(RGBColor(255, 0, 0));
  f.Bar->SetColorProgress(RGBColor(0, 255, 0));
  f.Bar->SetPosition(50);
  auto pb = f.Render();
    TBitmap32& b = *pb;
  EXPECT_EQ(b.Pixel(0, 5), kBlue);
  EXPECT_EQ(b.Pixel(10, 5), kBlue);
}

TEST(ProgressBar, MarqueeBlockEndsAtThePosition) {
  TBarFixture f(200);
  f.Bar->SetProgressBarType(ptMarquee);
  f.Bar->SetPosition(50);  // Q = 100: block from 80 to 98
  auto pb = f.Render();
    TBitmap32& b = *pb;
  EXPECT_EQ(b.Pixel(79, 9), clWhite);
  EXPECT_EQ(b.Pixel(80, 9), kBlue);
  EXPECT_EQ(b.Pixel(98, 9), kBlue);
  EXPECT_EQ(b.Pixel(99, 9), clWhite);
}

TEST(ProgressBar, SmoothEdgeBlendsTheColumnsAroundTheEnd) {
  TBarFixture f(200);
  f.Bar->SetSmoothProgressEdge(true);
  f.Bar->SetPosition(50);  // Q = 100; the fill's last column is 98
  auto pb = f.Render();
    TBitmap32& b = *pb;
  EXPECT_EQ(b.Pixel(97, 9), kBlue);
  TColor mid = b.Pixel(99, 9);  // between blue (98) and white (100)
  EXPECT_NE(mid, kBlue);
  EXPECT_NE(mid, clWhite);
  EXPECT_EQ(b.Pixel(101, 9), clWhite);
}

TEST(ProgressBar, MarqueeStripesRepeatEveryTwentyPixels) {
  TBarFixture f(300);
  f.Bar->SetProgressBarType(ptMarqueeAuto);
  auto pb = f.Render();
    TBitmap32& b = *pb;
  int blue = 0;
  for (int y : {4, 9, 14})
    for (int x = 2; x + 20 < 297; ++x) {
      ASSERT_EQ(b.Pixel(x, y), b.Pixel(x + 20, y)) << x << "," << y;
      blue += b.Pixel(x, y) == kBlue;
    }
  // Stripes 10 wide in 20: about half of the inside is blue.
  EXPECT_GT(blue, 3 * 275 / 3);
  EXPECT_LT(blue, 3 * 275 * 2 / 3);
  f.Bar->SetProgressBarType(ptNormal);
}

TEST(ProgressBar, MarqueeThreadIsCreatedOnceAndJoinedWhenTheTypeChangesBack) {
  TBarFixture f(300);
  f.Form.ShowForm();
  f.Bar->SetProgressBarType(ptMarqueeAuto);
  ASSERT_TRUE(f.Bar->Animating());
  f.Bar->SetProgressBarType(ptMarqueeAuto);  // unchanged: the same thread
  ASSERT_TRUE(f.Bar->Animating());
  // The phase moves while the window thread runs the loop.
  int p0 = f.Bar->MarqueePosition();
  bool moved = false;
  for (int i = 0; i < 100 && !moved; ++i) {
    Application().ProcessMessages();
    Sleep(10);
    moved = f.Bar->MarqueePosition() != p0;
  }
  EXPECT_TRUE(moved);
  f.Bar->SetProgressBarType(ptNormal);
  EXPECT_FALSE(f.Bar->Animating());
  int p1 = f.Bar->MarqueePosition();
  Sleep(50);
  EXPECT_EQ(f.Bar->MarqueePosition(), p1);  // no thread moves it any more
}

TEST(ProgressBar, SegmentWidths) {
  TBarFixture f;
  TBitmap32 b(1, 1);
  // Plain proportional widths for the hover style.
  f.Bar->SetProgressBarType(ptChrisAlert);
  f.Bar->SetProcExcluded(10);
  f.Bar->SetProcAllowed(20);
  f.Bar->SetProcUnsure(30);
  auto s = f.Bar->SegmentWidths(b.Canvas());
  EXPECT_EQ(s.E, 70);   // 69.5 to even
  EXPECT_EQ(s.A, 139);
  EXPECT_EQ(s.U, 208);  // 208.5 to even
  EXPECT_EQ(s.D, 695 - 70 - 139 - 208);
  // Shares that do not fit are clamped through the properties.
  f.Bar->SetProcExcluded(150);
  f.Bar->SegmentWidths(b.Canvas());
  EXPECT_EQ(f.Bar->ProcExcluded(), 100);
  EXPECT_EQ(f.Bar->ProcAllowed(), 0);
  EXPECT_EQ(f.Bar->ProcUnsure(), 0);

  // With labels: equal shares on a wide bar stay proportional.
  f.Bar->SetProgressBarType(ptAlert);
  f.Bar->SetProcExcluded(25);
  f.Bar->SetProcAllowed(25);
  f.Bar->SetProcUnsure(25);
  s = f.Bar->SegmentWidths(b.Canvas());
  EXPECT_EQ(s.E, 174);
  EXPECT_EQ(s.A, 174);
  EXPECT_EQ(s.D, 173);
  // A small share grows to its label.
  f.Bar->SetProcExcluded(2);
  f.Bar->SetProcAllowed(48);
  s = f.Bar->SegmentWidths(b.Canvas());
  b.Canvas().Font = f.Bar->Font();
  int labelWidth = b.Canvas().TextWidth(L"2% Excluded") + 4;
  EXPECT_GE(s.E, labelWidth);
  auto pshot = f.Render();
  TBitmap32& shot = *pshot;
  EXPECT_EQ(shot.Pixel(2, 2), kSegmentExcluded);
  EXPECT_EQ(shot.Pixel(s.E + 2, 2), kSegmentAllowed);
  EXPECT_EQ(shot.Pixel(696 - 2, 2), kSegmentDenied);
}

TEST(ProgressBar, HoverHintShowsTheLabelOfANarrowSegment) {
  TBarFixture f;
  f.Form.SetBounds(100, 300, 737, 59);
  f.Bar->SetProgressBarType(ptChrisAlert);
  f.Bar->SetProcExcluded(1);  // 7 pixels: its label does not fit
  f.Bar->SetProcAllowed(49);
  f.Form.ShowForm();
  POINT origin = f.Bar->ClientToScreen({0, 0});
  SendMessageW(f.Bar->Handle(), WM_NCHITTEST, 0, MAKELPARAM(origin.x + 3, origin.y + 5));
  EXPECT_EQ(f.Bar->CurrentHint(), 1);
  ASSERT_TRUE(f.Bar->HintWindow()->HandleAllocated());
  EXPECT_TRUE(IsWindowVisible(f.Bar->HintWindow()->Handle()));
  EXPECT_EQ(f.Bar->HintWindow()->HintText(), L"1% Excluded");
  RECT r;
  GetWindowRect(f.Bar->HintWindow()->Handle(), &r);
  EXPECT_EQ(r.bottom, origin.y - 1);
  // A wide segment shows no hint; leaving the bar forgets the segment.
  SendMessageW(f.Bar->Handle(), WM_NCHITTEST, 0, MAKELPARAM(origin.x + 200, origin.y + 5));
  EXPECT_EQ(f.Bar->CurrentHint(), 2);
  EXPECT_FALSE(f.Bar->HintWindow()->HandleAllocated());
  SendMessageW(f.Bar->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(200, 5));
  SendMessageW(f.Bar->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(f.Bar->CurrentHint(), 0);
}

TEST(ProgressBar, ScreenshotOfBarsAtSomePositions) {
  TForm form(nullptr);
  form.SetBounds(40, 40, 737, 170);
  form.SetColor(clWhite);
  const int positions[] = {0, 40, 99, 100};
  for (int i = 0; i < 4; ++i) {
    auto* bar = new TVtProgressBar(&form);
    bar->SetParent(&form);
    bar->SetBounds(20, 15 + i * 38, 697, 19);
    bar->SetPosition(positions[i]);
  }
  auto* striped = new TVtProgressBar(&form);
  striped->SetParent(&form);
  striped->SetBounds(20, 15 + 4 * 38 - 5, 697, 12);
  striped->SetProgressBarType(ptMarqueeAuto);
  form.LoadedAll();
  form.ShowForm();
  Application().ProcessMessages();
  UpdateWindow(form.Handle());
  EXPECT_TRUE(test::SaveWindowScreenshot(form.Handle(), L"progressbar"));
  striped->SetProgressBarType(ptNormal);
}

}  // namespace
}  // namespace vt
