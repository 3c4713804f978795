// The owner-drawn controls on real windows: colours read back from their
// off-screen rendering, clicks and keys delivered as window messages, the
// pointer moved through the system's input queue for the combo box list.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/UiTestUtils.h"
#include "common/TestUtils.h"
#include "fw/uForms.h"
#include "fw/uSysUtils.h"
#include "ui/GUIStyleConstants.h"
#include "ui/QSButton.h"
#include "ui/QSSystemButton.h"
#include "ui/QsCombobox.h"
#include "ui/VtCheckBox.h"
#include "ui/VtEdit.h"
#include "ui/uThreadImages.h"

namespace vt {
namespace {

using test::ClickAt;
using test::ClickCentre;
using test::ColorText;
using test::HoverAt;
using test::PressKey;
using test::PumpUntil;
using test::Render;
using test::TypeText;

[[maybe_unused]] const bool kWindows = test::UseWindows();

constexpr TColor kBlue = kBrandBlue, kHover = kHoverBlue, kPressed = kPressedBlue, kDisabled = kDisabledBlue;
constexpr TColor kGreen = 3974199, kGreenHover = 5490509;

// A white form at (X, Y) for controls to sit on.
struct THost {
  TForm Form{nullptr};
  explicit THost(int W = 400, int H = 200, int X = 100, int Y = 100) {
    Form.SetBounds(X, Y, W, H);
    Form.SetColor(clWhite);
  }
  template <class T>
  T* Add(int X, int Y, int W, int H) {
    T* c = new T(&Form);
    c->SetParent(&Form);
    c->SetBounds(X, Y, W, H);
    return c;
  }
  void Show() {
    Form.LoadedAll();
    Form.ShowForm();
    SetForegroundWindow(Form.Handle());
    Application().ProcessMessages();
  }
};

// Whether a pixel of the given colour lies within Radius of (X, Y).
bool ColorNear(const TBitmap32& B, int X, int Y, TColor C, int Radius = 3) {
  for (int y = Y - Radius; y <= Y + Radius; ++y)
    for (int x = X - Radius; x <= X + Radius; ++x)
      if (B.Pixel(x, y) == C) return true;
  return false;
}

// ---------------------------------------------------------------- palette

TEST(Palette, SmoothCornersAveragesInOrderAndTreatsOutsideAsThePixelItself) {
  TBitmap32 b(6, 5);
  b.Canvas().BrushColor = clWhite;
  b.Canvas().FillRect({0, 0, 6, 5});
  b.SetPixel(0, 0, clBlack);
  SmoothCorners(b.Canvas(), 6, 5);
  // (0,0): five outside neighbours count as black, three inside are white.
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(85, 85, 85));
  // (1,1) comes after (0,0) and sees its new value: (85 + 8 * 255) / 9.
  EXPECT_EQ(b.Pixel(1, 1), RGBColor(236, 236, 236));
  EXPECT_EQ(b.Pixel(5, 4), clWhite);
  EXPECT_EQ(b.Pixel(2, 2), clWhite);  // not one of the eight
}

// ---------------------------------------------------------------- TQSButton

enum TPressState { psNone, psHover, psPressed, psDisabled };

struct TColorCase {
  const char* Name;
  TButtonColorPreset Preset;
  bool Default;
  TPressState State;
  TColor Background, Text, Frame;
};

TEST(QSButton, ColoursByPresetAndState) {
  // Custom colours for bcpCustom.
  constexpr TColor cBg = RGBColor(10, 20, 30), cFont = RGBColor(200, 0, 0), cFrame = RGBColor(0, 200, 0);
  constexpr TColor cHoverBg = RGBColor(11, 21, 31), cHoverFont = RGBColor(201, 0, 0), cHoverFrame = RGBColor(0, 201, 0);
  constexpr TColor cClickBg = RGBColor(12, 22, 32), cClickFont = RGBColor(202, 0, 0), cClickFrame = RGBColor(0, 202, 0);
  constexpr TColor cDisBg = RGBColor(13, 23, 33), cDisFont = RGBColor(203, 0, 0), cDisFrame = RGBColor(0, 203, 0);
  const TColorCase cases[] = {
      {"inversed at rest", bcpGeneralInversed, false, psNone, clWhite, kBlue, kBlue},
      {"inversed hovered", bcpGeneralInversed, false, psHover, clWhite, kHover, kHover},
      {"inversed held", bcpGeneralInversed, false, psPressed, clWhite, kPressed, kPressed},
      {"inversed disabled", bcpGeneralInversed, false, psDisabled, clWhite, kDisabled, kDisabled},
      {"general at rest", bcpGeneral, false, psNone, kBlue, clWhite, kBlue},
      {"general hovered", bcpGeneral, false, psHover, kHover, clWhite, kHover},
      {"general held", bcpGeneral, false, psPressed, kPressed, clWhite, kPressed},
      {"general disabled", bcpGeneral, false, psDisabled, kDisabled, clWhite, kDisabled},
      {"general default at rest (OK)", bcpGeneral, true, psNone, clWhite, kPressed, kPressed},
      {"general default hovered", bcpGeneral, true, psHover, clWhite, kHover, kHover},
      {"general default held", bcpGeneral, true, psPressed, kPressed, clWhite, kPressed},
      {"general default disabled", bcpGeneral, true, psDisabled, kDisabled, clWhite, kDisabled},
      {"alternative at rest", bcpAlternative, false, psNone, kGreen, clWhite, kGreen},
      {"alternative inversed hovered", bcpAlternativeInversed, false, psHover, clWhite, kGreenHover, kGreenHover},
      {"custom at rest", bcpCustom, false, psNone, cBg, cFont, cFrame},
      {"custom hovered", bcpCustom, false, psHover, cHoverBg, cHoverFont, cHoverFrame},
      {"custom held", bcpCustom, false, psPressed, cClickBg, cClickFont, cClickFrame},
      {"custom disabled", bcpCustom, false, psDisabled, cDisBg, cDisFont, cDisFrame},
      {"custom default at rest uses the click colours", bcpCustom, true, psNone, cClickBg, cClickFont, cClickFrame},
  };
  for (const TColorCase& c : cases) {
    SCOPED_TRACE(c.Name);
    THost host;
    auto* b = host.Add<TQSButton>(20, 20, 150, 34);
    b->SetColorPreset(c.Preset);
    b->SetDefault(c.Default);
    b->SetColor(cBg);
    b->SetFontWith([&](TFont& f) {
      f.SetColor(cFont);
      f.SetHeight(16);
    });
    b->SetBorderColor(cFrame);
    b->SetColorHover(cHoverBg);
    b->SetFontColorHover(cHoverFont);
    b->SetBorderColorHover(cHoverFrame);
    b->SetColorClick(cClickBg);
    b->SetFontColorClick(cClickFont);
    b->SetBorderColorClick(cClickFrame);
    b->SetColorDisabled(cDisBg);
    b->SetFontColorDisabled(cDisFont);
    b->SetBorderColorDisabled(cDisFrame);
    b->SetCaption(L"\u2588\u2588");  // full blocks: solid text pixels
    host.Show();
    if (c.State == psHover || c.State == psPressed) HoverAt(b, 30, 17);
    if (c.State == psPressed) SendMessageW(b->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 17));
    if (c.State == psDisabled) b->SetEnabled(false);
    auto pic = Render(b);
    const TBitmap32& p = *pic;
    EXPECT_EQ(p.Pixel(75, 0), c.Frame) << ColorText(p.Pixel(75, 0));
    EXPECT_EQ(p.Pixel(0, 17), c.Frame);
    EXPECT_EQ(p.Pixel(149, 17), c.Frame);
    EXPECT_EQ(p.Pixel(8, 8), c.Background) << ColorText(p.Pixel(8, 8));
    EXPECT_TRUE(ColorNear(p, 75, 16, c.Text)) << ColorText(p.Pixel(75, 16));
    if (c.State == psPressed) SendMessageW(b->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(-5, -5));
  }
}

TEST(QSButton, DisabledButtonIgnoresClickEnterAndSpace) {
  THost host;
  auto* b = host.Add<TQSButton>(20, 20, 100, 34);
  auto* other = host.Add<TVeltEdit>(20, 80, 100, 34);
  b->SetDefault(true);
  b->SetCancel(true);
  int clicks = 0;
  b->OnClick = [&](TComponent*) { ++clicks; };
  host.Show();
  other->SetFocus();
  PressKey(VK_RETURN);
  EXPECT_EQ(clicks, 1) << "enabled, the default button answers Enter";
  b->SetEnabled(false);
  EXPECT_FALSE(b->TabStop());
  ClickCentre(b);
  PressKey(VK_RETURN);
  PressKey(VK_ESCAPE);
  // Characters sent straight to it, as if it had the focus.
  SendMessageW(b->Handle(), WM_CHAR, L' ', 1);
  SendMessageW(b->Handle(), WM_CHAR, L'\r', 1);
  EXPECT_EQ(clicks, 1);
  b->SetEnabled(true);
  EXPECT_TRUE(b->TabStop());
  b->SetFocus();
  TypeText(L" ");
  EXPECT_EQ(clicks, 2) << "a focused button is clicked by Space";
}

TEST(QSButton, FocusedButtonAnswersEnterInsteadOfTheDefault) {
  THost host;
  auto* ok = host.Add<TQSButton>(20, 20, 100, 34);
  auto* cancel = host.Add<TQSButton>(140, 20, 100, 34);
  auto* edit = host.Add<TVeltEdit>(20, 80, 200, 34);
  ok->SetDefault(true);
  cancel->SetCancel(true);
  std::vector<std::string> clicks;
  ok->OnClick = [&](TComponent*) { clicks.push_back("ok"); };
  cancel->OnClick = [&](TComponent*) { clicks.push_back("cancel"); };
  host.Show();
  cancel->SetFocus();
  EXPECT_TRUE(cancel->Active());
  EXPECT_FALSE(ok->Active());
  PressKey(VK_RETURN);
  edit->SetFocus();
  EXPECT_TRUE(ok->Active());
  PressKey(VK_RETURN);
  PressKey(VK_ESCAPE);
  {
    test::THeldKey shift(VK_SHIFT);
    PressKey(VK_ESCAPE);
    PressKey(VK_RETURN);
  }
  EXPECT_EQ(clicks, (std::vector<std::string>{"cancel", "ok", "cancel"}));
}

TEST(QSButton, ExtendWidthNeverShrinksBelowTheLoadedSize) {
  THost host;
  auto* b = host.Add<TQSButton>(20, 20, 100, 34);
  b->SetCaption(L"Ok");
  b->SetAutoSize(basExtendWidth);
  host.Show();
  EXPECT_EQ(b->Width(), 100);
  b->SetCaption(L"A much longer caption than the button is wide");
  EXPECT_GT(b->Width(), 100);
  b->SetCaption(L"Ok");
  EXPECT_EQ(b->Width(), 100);
  b->SetSizePreset(bspHeightSmall);
  EXPECT_EQ(b->Height(), 26);
  EXPECT_EQ(b->SizePreset(), bspNone);
}

// ---------------------------------------------------------------- TQSSystemButton

TEST(QSSystemButton, CloseButtonSendsCloseToItsForm) {
  THost host;
  auto* panel = host.Add<TPanel>(0, 0, 300, 60);
  auto* sb = new TQSSystemButton(&host.Form);
  sb->SetParent(panel);
  sb->SetBounds(200, 8, 45, 26);
  int closes = 0, clicks = 0;
  sb->OnClick = [&](TComponent*) {
    EXPECT_EQ(closes, clicks) << "OnClick comes first";
    ++clicks;
  };
  host.Form.OnClose = [&](TComponent*, TCloseAction& A) {
    ++closes;
    A = caNone;
  };
  host.Show();
  ClickCentre(sb);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(closes, 1);
  SendMessageW(sb->Handle(), WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_EQ(closes, 2);
}

TEST(QSSystemButton, CloseButtonMovesBackInsideANarrowParent) {
  const struct {
    const char* Name;
    TButtonType Type;
    int X, ExpectedX;
  } cases[] = {
      {"close beyond the edge", btClose, 750, 709},
      {"close inside", btClose, 700, 700},
      {"minimise beyond the edge stays", btMin, 750, 750},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    THost host(800, 100);
    auto* panel = host.Add<TPanel>(0, 0, 760, 60);
    auto* sb = new TQSSystemButton(&host.Form);
    sb->SetParent(panel);
    sb->SetButtonType(c.Type);
    sb->SetBounds(c.X, 8, 45, 26);
    host.Form.LoadedAll();
    EXPECT_EQ(sb->Left(), c.ExpectedX);
    EXPECT_EQ(sb->Width(), 45);
  }
}

TEST(QSSystemButton, HoverShowsTheHoverPictureAndFocusIsHandedOn) {
  THost host;
  auto* edit = host.Add<TVeltEdit>(20, 20, 200, 34);
  auto* sb = host.Add<TQSSystemButton>(300, 8, 45, 26);
  host.Show();
  auto normal = Render(sb);
  EXPECT_EQ(normal->Pixel(2, 2), clWhite);
  EXPECT_EQ(GetRValue32(normal->Pixel(17, 9)) < 96, true) << "the cross";
  HoverAt(sb, 10, 10);
  auto hover = Render(sb);
  EXPECT_EQ(hover->Pixel(2, 2), RGBColor(236, 236, 236));
  // Focus given by the framework (tabbing) moves on; its own SetFocus keeps it.
  static_cast<TControl*>(sb)->SetFocus();
  EXPECT_TRUE(edit->Edit()->Focused());
  sb->SetFocus();
  EXPECT_TRUE(sb->Focused());
}

TEST(QSSystemButton, SkinsFileReplacesTheBuiltInPicture) {
  const std::wstring dir = ExtractFilePath(GetModulePath()) + L"Skins";
  const std::wstring file = dir + L"\\QSCLOSE.png";
  const struct {
    const char* Name;
    std::string Content;
    TColor Expected;
  } cases[] = {
      {"a readable picture replaces it", test::SolidPng(45, 26, 0xFFFF0000u), RGBColor(255, 0, 0)},
      {"an unreadable file is ignored", "not a picture", clWhite},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    CreateDirectoryW(dir.c_str(), nullptr);
    auto cleanup = ScopeExit([&] {
      DeleteFileW(file.c_str());
      RemoveDirectoryW(dir.c_str());
      ThreadImagesFinalization();  // the next case reads the folder afresh
    });
    ThreadImagesFinalization();
    test::WriteFileBytes(file, c.Content);
    THost host;
    auto* sb = host.Add<TQSSystemButton>(300, 8, 45, 26);
    host.Form.LoadedAll();
    auto pic = Render(sb);
    EXPECT_EQ(pic->Pixel(2, 2), c.Expected) << ColorText(pic->Pixel(2, 2));
    EXPECT_EQ(sb->HoverPicture().PixelARGB(2, 2), 0xFFECECECu) << "no file for the hover picture: built in";
  }
}

// ---------------------------------------------------------------- TVeltEdit

TEST(VeltEdit, PasswordCharacterShowsStarsForEveryCharacter) {
  THost host;
  auto* secret = host.Add<TVeltEdit>(20, 20, 200, 34);
  auto* stars = host.Add<TVeltEdit>(20, 80, 200, 34);
  secret->SetPasswordChar(L'*');
  secret->SetText(L"abc");
  stars->SetText(L"***");
  host.Show();
  EXPECT_EQ(secret->GetText(), L"abc");
  EXPECT_EQ(SendMessageW(secret->Edit()->Handle(), EM_GETPASSWORDCHAR, 0, 0), L'*');
  EXPECT_TRUE(secret->InlineText().empty());
  ASSERT_TRUE(PumpUntil([] { return true; }));
  auto a = test::Grab(secret->Edit()->Handle());
  auto b = test::Grab(stars->Edit()->Handle());
  ASSERT_EQ(a->Width(), b->Width());
  int differing = 0, inked = 0;
  for (int y = 0; y < a->Height(); ++y)
    for (int x = 0; x < a->Width(); ++x) {
      differing += a->Pixel(x, y) != b->Pixel(x, y);
      inked += a->Pixel(x, y) != clWhite;
    }
  EXPECT_EQ(differing, 0) << "the password field looks like a field holding ***";
  EXPECT_GT(inked, 0);
}

TEST(VeltEdit, FrameColourFollowsTheEnabledState) {
  for (bool enabled : {true, false}) {
    SCOPED_TRACE(enabled ? "enabled" : "disabled");
    THost host;
    auto* e = host.Add<TVeltEdit>(20, 20, 251, 34);
    e->SetEnabled(enabled);
    EXPECT_EQ(e->Edit()->Enabled(), enabled);
    auto pic = Render(e);
    const TColor frame = enabled ? kBlue : kDisabled;
    EXPECT_EQ(pic->Pixel(125, 0), frame);
    EXPECT_EQ(pic->Pixel(0, 17), frame);
    EXPECT_EQ(pic->Pixel(125, 33), frame);
    EXPECT_EQ(pic->Pixel(2, 17), clWhite);
    EXPECT_NE(pic->Pixel(0, 0), frame) << "softened corner";
  }
}

TEST(VeltEdit, InnerEditIsCentredAndLeavesTheLastRowFree) {
  THost host;
  auto* e = host.Add<TVeltEdit>(0, 0, 251, 34);
  const TControl* in = e->Edit();
  EXPECT_EQ(in->Left(), 4);
  EXPECT_EQ(in->Width(), 241);
  EXPECT_NEAR(in->Top() * 2 + in->Height(), 34, 1);
  e->SetBounds(0, 0, 8, 12);
  EXPECT_EQ(in->Width(), 0);
  EXPECT_LE(in->Top() + in->Height(), 11);
}

TEST(VeltEdit, NumbersOnly) {
  const struct {
    const char* Name;
    int32_t Min, Max;
    std::wstring Typed;
    std::wstring WhileTyping;
    bool AllSelected;
    std::wstring AfterLeaving;
  } cases[] = {
      {"above the maximum", 0, 65535, L"70000", L"65535", true, L"65535"},
      {"below a minimum of 1", 1, 0, L"0", L"1", true, L"1"},
      {"below a minimum of 10 waits for the focus to leave", 10, 0, L"5", L"5", false, L"10"},
      {"not a number", 0, 0, L"x", L"0", true, L"0"},
      {"leading zeros", 0, 100, L"007", L"7", false, L"7"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    THost host;
    auto* e = host.Add<TVeltEdit>(20, 20, 200, 34);
    auto* other = host.Add<TVeltEdit>(20, 80, 200, 34);
    e->SetNumbersOnly(true);
    e->SetMaxValue(c.Max);
    e->SetMinValue(c.Min);
    int changes = 0;
    e->OnChange = [&](TComponent*) { ++changes; };
    host.Show();
    e->SetFocus();
    TypeText(c.Typed);
    EXPECT_EQ(e->GetText(), c.WhileTyping);
    DWORD from = 0, to = 0;
    SendMessageW(e->Edit()->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    if (c.AllSelected) {
      EXPECT_EQ(from, 0u);
      EXPECT_EQ(to, c.WhileTyping.size());
    } else {
      EXPECT_EQ(from, to);
    }
    EXPECT_GE(changes, static_cast<int>(c.Typed.size()));
    other->SetFocus();
    EXPECT_EQ(e->GetText(), c.AfterLeaving);
  }
}

TEST(VeltEdit, LimitsAndArrowKeys) {
  THost host;
  auto* e = host.Add<TVeltEdit>(20, 20, 200, 34);
  e->SetNumbersOnly(true);
  e->SetMaxValue(3);
  e->SetMinValue(5);
  EXPECT_EQ(e->MinValue(), 0) << "a minimum above the maximum is refused";
  e->SetMinValue(1);
  e->SetMaxValue(0);
  EXPECT_EQ(e->MaxValue(), 0);
  e->SetMaxValue(-4);
  EXPECT_EQ(e->MaxValue(), 1) << "raised to the minimum";
  e->SetMaxValue(3);
  e->SetText(L"3");
  host.Show();
  e->SetFocus();
  PressKey(VK_UP);
  EXPECT_EQ(e->GetText(), L"3") << "4 lies outside 1..3";
  PressKey(VK_DOWN);
  PressKey(VK_DOWN);
  EXPECT_EQ(e->GetText(), L"1");
  PressKey(VK_DOWN);
  EXPECT_EQ(e->GetText(), L"1");
}

TEST(VeltEdit, ChangeGuardAsksOncePerFocusAndARefusalSwallowsTheKey) {
  THost host;
  auto* e = host.Add<TVeltEdit>(20, 20, 200, 34);
  auto* other = host.Add<TVeltEdit>(20, 80, 200, 34);
  e->SetText(L"abc");
  bool allow = false;
  int asked = 0;
  e->OnChanging = [&](TComponent* s, bool& a) {
    EXPECT_EQ(s, e);
    ++asked;
    a = allow;
  };
  host.Show();
  e->SetFocus();
  SendMessageW(e->Edit()->Handle(), EM_SETSEL, 3, 3);
  TypeText(L"x");
  SendMessageW(e->Edit()->Handle(), EM_SETSEL, 0, 0);
  PressKey(VK_DELETE);
  EXPECT_EQ(e->GetText(), L"abc");
  EXPECT_EQ(asked, 2);
  PressKey(VK_RIGHT);  // moving the caret changes nothing: not asked
  EXPECT_EQ(asked, 2);
  allow = true;
  SendMessageW(e->Edit()->Handle(), EM_SETSEL, 3, 3);
  TypeText(L"de");
  EXPECT_EQ(e->GetText(), L"abcde");
  EXPECT_EQ(asked, 3) << "the allowance holds while the focus stays";
  other->SetFocus();
  e->SetFocus();
  SendMessageW(e->Edit()->Handle(), EM_SETSEL, 5, 5);
  TypeText(L"f");
  EXPECT_EQ(asked, 4) << "asked again after the focus left";
  EXPECT_EQ(e->GetText(), L"abcdef");
}

TEST(VeltEdit, WholeNumberParsing) {
  const struct {
    const wchar_t* Text;
    bool Ok;
    int32_t Value;
  } cases[] = {
      {L"8080", true, 8080},       {L"  12", true, 12},        {L"-5", true, -5},
      {L"+7", true, 7},            {L"2147483647", true, INT32_MAX}, {L"-2147483648", true, INT32_MIN},
      {L"2147483648", false, 0},   {L"", false, 0},            {L"abc", false, 0},
      {L"12 ", false, 0},          {L"+-5", false, 0},         {L"0x10", false, 0},
      {L"-", false, 0},            {L"\uFF11", false, 0},
  };
  for (auto& c : cases) {
    int32_t v = 42;
    EXPECT_EQ(TryStrToInt(c.Text, v), c.Ok) << testing::PrintToString(std::wstring(c.Text));
    EXPECT_EQ(v, c.Ok ? c.Value : 42);
  }
}

// ---------------------------------------------------------------- TVtCheckbox

TEST(VtCheckbox, OnlyPictureAndCaptionAreClickable) {
  THost host;
  auto* chk = host.Add<TVtCheckbox>(20, 20, 300, 19);
  chk->SetAutoSize(false);
  chk->SetCaption(L"Authentication required");
  bool allow = true;
  chk->OnChanging = [&](TComponent*, bool& a) { a = allow; };
  int clicks = 0;
  chk->OnClick = [&](TComponent*) { ++clicks; };
  host.Show();
  RECT active = chk->ActiveRect();
  ASSERT_LT(active.right, 280);
  const struct {
    const char* Name;
    int X;
    bool Toggles;
  } cases[] = {
      {"on the picture", 8, true},
      {"on the caption", 40, true},
      {"right of the caption", 290, false},
      {"just outside the caption", static_cast<int>(active.right) + 1, false},
  };
  bool checked = false;
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ClickAt(chk, c.X, 9);
    if (c.Toggles) checked = !checked;
    EXPECT_EQ(chk->Checked(), checked);
  }
  EXPECT_EQ(clicks, 2);
  allow = false;
  ClickAt(chk, 8, 9);
  PressKey(VK_SPACE);
  TypeText(L" ");
  EXPECT_EQ(chk->Checked(), checked) << "a refused change";
  allow = true;
  chk->SetFocus();
  TypeText(L" ");
  EXPECT_EQ(chk->Checked(), !checked);
}

TEST(VtCheckbox, AutoSizeIsPicturePlusCaptionPlus15) {
  THost host;
  auto* bare = host.Add<TVtCheckbox>(20, 20, 177, 19);
  auto* captioned = host.Add<TVtCheckbox>(20, 60, 177, 19);
  auto* mode = host.Add<TVtCheckbox>(20, 100, 177, 19);
  captioned->SetCaption(L"Authentication required");
  mode->SetButtonType(cbtMode);
  host.Form.LoadedAll();
  EXPECT_EQ(bare->Width(), 17 + 15);
  EXPECT_EQ(mode->Width(), 33 + 15);
  TBitmap32 probe(1, 1);
  probe.Canvas().Font = captioned->Font();
  EXPECT_EQ(captioned->Width(), 17 + probe.Canvas().TextWidth(L"Authentication required") + 15);
}

TEST(VtCheckbox, PictureByState) {
  // Colours of the pictures' left edge: normal, hover, pressed, disabled.
  constexpr TColor kNorm = RGBColor(3, 133, 198), kHov = RGBColor(4, 169, 251), kClick = RGBColor(2, 101, 151),
                   kDis = RGBColor(203, 232, 249);
  const struct {
    const char* Name;
    bool Checked, Hover, Pressed, Enabled, Mode;
    int Index;
    TColor Edge;
  } cases[] = {
      {"unchecked", false, false, false, true, false, 0, kNorm},
      {"unchecked hovered", false, true, false, true, false, 1, kHov},
      {"unchecked pressed", false, true, true, true, false, 2, kClick},
      {"unchecked disabled", false, false, false, false, false, 3, kDis},
      {"checked", true, false, false, true, false, 4, kNorm},
      {"checked hovered", true, true, false, true, false, 5, kHov},
      {"checked pressed", true, true, true, true, false, 6, kClick},
      {"checked disabled", true, true, false, false, false, 7, kDis},
      {"mode checked", true, false, false, true, true, 12, kNorm},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    THost host;
    auto* chk = host.Add<TVtCheckbox>(20, 20, 120, 19);
    chk->SetCaption(L"Abc");
    chk->SetButtonType(c.Mode ? cbtMode : cbtNormal);
    chk->SetChecked(c.Checked);
    host.Show();
    if (c.Hover) HoverAt(chk, 8, 9);
    if (c.Pressed) SendMessageW(chk->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 9));
    if (!c.Enabled) chk->SetEnabled(false);
    EXPECT_EQ(chk->PictureIndex(), c.Index);
    if (c.Hover && c.Enabled) {
      EXPECT_EQ(chk->Cursor(), crHandPoint);
    }
    auto pic = Render(chk);
    const TPngImage* p = CheckBoxPicture(c.Index);
    ASSERT_NE(p, nullptr);
    const int top = (19 - p->Height()) / 2;
    const int edgeX = c.Mode ? 16 : 0;  // the switch's track is round at its ends
    EXPECT_EQ(pic->Pixel(edgeX, top + (c.Mode ? 0 : 8)), c.Edge) << ColorText(pic->Pixel(edgeX, top + 8));
    if (c.Pressed) SendMessageW(chk->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(-5, -5));
  }
}

// ---------------------------------------------------------------- TQsCombobox

struct TComboFixture {
  THost Host{500, 300, 200, 150};
  TQsCombobox* Combo;
  std::vector<std::string> Events;
  explicit TComboFixture(int Items = 3) {
    // The pointer away: a box appearing under it would show its hover look.
    EXPECT_TRUE(test::MoveMouse(5, 5));
    Combo = Host.Add<TQsCombobox>(20, 20, 267, 34);
    Combo->SetStyle(csDropDownList);
    for (int i = 0; i < Items; ++i) Combo->AddItem(L"Entry " + std::to_wstring(i));
    Combo->OnChange = [this](TComponent*) { Events.push_back("change"); };
    Combo->OnSelect = [this](TComponent*) { Events.push_back("select"); };
    Host.Show();
  }
  ~TComboFixture() { Combo->CloseUp(false); }
};

TEST(QsCombobox, ListHeightFollowsTheItemCountUpToEight) {
  for (int items : {2, 20}) {
    SCOPED_TRACE(items);
    TComboFixture f(items);
    ClickCentre(f.Combo);
    ASSERT_TRUE(f.Combo->DroppedDown());
    TDropDownForm* list = f.Combo->DropDownForm();
    const int ih = f.Combo->ListItemHeight();
    const int shown = items < 8 ? items : 8;
    EXPECT_EQ(list->Height(), shown * ih + 4);
    EXPECT_EQ(list->Width(), 267);
    RECT box;
    GetWindowRect(f.Combo->Handle(), &box);
    RECT r;
    GetWindowRect(list->Handle(), &r);
    EXPECT_EQ(r.left, box.left);
    EXPECT_EQ(r.top, box.bottom);
    // Borderless, top-most, not activated by clicks, with a drop shadow and a blue frame.
    const LONG_PTR ex = GetWindowLongPtrW(list->Handle(), GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_NOACTIVATE);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongPtrW(list->Handle(), GWL_STYLE) & (WS_CAPTION | WS_BORDER | WS_THICKFRAME));
    EXPECT_TRUE(GetClassLongPtrW(list->Handle(), GCL_STYLE) & CS_DROPSHADOW);
    auto frame = test::Grab(list->Handle());
    EXPECT_EQ(frame->Pixel(100, 0), kBlue);
    EXPECT_EQ(frame->Pixel(0, 5), kBlue);
    TNoFocusRectListBox* lb = list->ListBox();
    EXPECT_EQ(SendMessageW(lb->Handle(), LB_GETITEMHEIGHT, 0, 0), ih);
    RECT client;
    GetClientRect(lb->Handle(), &client);
    EXPECT_EQ((client.bottom - client.top) / ih, shown) << "entries visible at once";
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(f.Combo->DroppedDown());
    EXPECT_TRUE(f.Events.empty());
  }
}

TEST(QsCombobox, ListPlacementWithinTheWorkArea) {
  const RECT work{0, 0, 1280, 1000};
  const struct {
    const char* Name;
    RECT Box;
    int H;
    RECT Expected;
  } cases[] = {
      {"below", {100, 100, 367, 134}, 200, {100, 134, 367, 334}},
      {"no room below: above", {100, 900, 367, 934}, 200, {100, 700, 367, 900}},
      {"no room either way: above, not beyond the top", {100, 150, 367, 184}, 900, {100, 0, 367, 900}},
      {"taller than the work area", {100, 500, 367, 534}, 1500, {100, 0, 367, 1000}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    RECT r = TQsCombobox::PlaceList(c.Box, 267, c.H, work);
    EXPECT_EQ(r.left, c.Expected.left);
    EXPECT_EQ(r.top, c.Expected.top);
    EXPECT_EQ(r.right, c.Expected.right);
    EXPECT_EQ(r.bottom, c.Expected.bottom);
  }
}

TEST(QsCombobox, ArrowKeysOnTheClosedBoxSelectWithoutChange) {
  TComboFixture f;
  f.Combo->SetFocus();
  f.Combo->SetItemIndex(0);
  EXPECT_TRUE(f.Events.empty()) << "a programmatic index fires nothing";
  EXPECT_EQ(f.Combo->Text(), L"Entry 0");
  PressKey(VK_UP);
  EXPECT_EQ(f.Combo->ItemIndex(), -1);
  EXPECT_EQ(f.Combo->Text(), L"");
  PressKey(VK_UP);
  EXPECT_EQ(f.Combo->ItemIndex(), -1);
  PressKey(VK_DOWN);
  PressKey(VK_DOWN);
  PressKey(VK_DOWN);
  PressKey(VK_DOWN);
  EXPECT_EQ(f.Combo->ItemIndex(), 2);
  EXPECT_EQ(f.Combo->Text(), L"Entry 2");
  EXPECT_EQ(f.Events, std::vector<std::string>(6, "select"));
  f.Combo->SetItemIndex(7);
  EXPECT_EQ(f.Combo->ItemIndex(), 2);
  f.Combo->SetItemIndex(-3);
  EXPECT_EQ(f.Combo->ItemIndex(), -1);
  EXPECT_EQ(f.Events.size(), 6u);
  {
    test::THeldKey alt(VK_MENU);
    PostMessageW(f.Combo->Handle(), WM_SYSKEYDOWN, VK_DOWN, 1 | (1 << 29));
    Application().ProcessMessages();
  }
  EXPECT_TRUE(f.Combo->DroppedDown()) << "Alt+Down opens the list";
  f.Combo->CloseUp(false);
}

TEST(QsCombobox, ChoiceInTheList) {
  const struct {
    const char* Name;
    int Way;  // 0 pointer release, 1 Enter, 2 Esc
    int Index;
    std::vector<std::string> Events;
  } cases[] = {
      {"released on an entry", 0, 2, {"change", "select"}},
      {"Down and Enter", 1, 1, {"change", "select"}},
      {"Esc", 2, 0, {}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TComboFixture f;
    f.Combo->SetItemIndex(0);
    ClickCentre(f.Combo);
    ASSERT_TRUE(f.Combo->DroppedDown());
    TNoFocusRectListBox* lb = f.Combo->DropDownForm()->ListBox();
    EXPECT_EQ(lb->ItemIndex(), 0);
    ASSERT_TRUE(PumpUntil([&] { return lb->Focused(); }));
    if (c.Way == 0) {
      RECT item;
      SendMessageW(lb->Handle(), LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
      POINT p{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
      ClientToScreen(lb->Handle(), &p);
      ASSERT_TRUE(test::MoveMouse(p.x, p.y));
      EXPECT_TRUE(PumpUntil([&] { return lb->ItemIndex() == 2; })) << "the entry under the pointer is selected";
      test::MouseClickHere();
      PumpUntil([&] { return !f.Combo->DroppedDown(); });
    } else {
      PressKey(VK_DOWN);
      PressKey(c.Way == 1 ? VK_RETURN : VK_ESCAPE);
    }
    EXPECT_FALSE(f.Combo->DroppedDown());
    EXPECT_EQ(f.Combo->ItemIndex(), c.Index);
    EXPECT_EQ(f.Events, c.Events);
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == f.Host.Form.Handle(); }))
        << "the box's form is active again";
  }
}

TEST(QsCombobox, ListClosesOnDeactivationAndOnAClickOnTheBox) {
  const struct {
    const char* Name;
    int Way;  // 0 another window of ours activated, 1 the application deactivated, 2 a real click on the box
  } cases[] = {
      {"another window activated", 0},
      {"the application deactivated", 1},
      {"a click on the box: its activation keeps the list, the click closes it", 2},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TComboFixture f;
    THost other(200, 100, 900, 600);
    other.Form.ShowForm();
    SetForegroundWindow(f.Host.Form.Handle());
    ClickCentre(f.Combo);
    ASSERT_TRUE(f.Combo->DroppedDown());
    HWND list = f.Combo->DropDownForm()->Handle();
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == list; }));
    if (c.Way == 0) {
      SetForegroundWindow(other.Form.Handle());
    } else if (c.Way == 1) {
      // What the system sends our windows when another program becomes active.
      SendMessageW(f.Host.Form.Handle(), WM_ACTIVATEAPP, TRUE, 0);
      SendMessageW(f.Host.Form.Handle(), WM_ACTIVATEAPP, FALSE, 0);
    } else {
      POINT centre = f.Combo->ClientToScreen({60, 17});
      ASSERT_TRUE(test::MoveMouse(centre.x, centre.y));
      test::MouseClickHere();
    }
    EXPECT_TRUE(PumpUntil([&] { return !f.Combo->DroppedDown(); }));
    Application().ProcessMessages();
    Sleep(50);
    Application().ProcessMessages();
    EXPECT_FALSE(f.Combo->DroppedDown()) << "not opened again";
    EXPECT_TRUE(f.Events.empty());
  }
}

TEST(QsCombobox, Painting) {
  TComboFixture f;
  f.Combo->SetItemIndex(1);
  auto pic = Render(f.Combo);
  EXPECT_EQ(pic->Pixel(130, 0), kBlue) << "frame";
  EXPECT_EQ(pic->Pixel(0, 17), kBlue);
  EXPECT_NE(pic->Pixel(0, 0), kBlue) << "softened corner";
  EXPECT_TRUE(ColorNear(*pic, 20, 17, kBlue, 6)) << "the entry's text in the box's font colour";
  // The drop button: 8 x 10 at W - 15, vertically centred; its top triangle tip is dark grey.
  const int bx = 267 - 8 - 7, by = (34 - 10) / 2;
  EXPECT_TRUE(ColorNear(*pic, bx + 3, by + 1, RGBColor(96, 96, 96), 1)) << ColorText(pic->Pixel(bx + 3, by + 1));
  f.Combo->SetEnabled(false);
  pic = Render(f.Combo);
  EXPECT_EQ(pic->Pixel(130, 0), kDisabled);
}

}  // namespace
}  // namespace vt
