#include "ui/VtCheckBox.h"

#include <windowsx.h>

#include <algorithm>
#include <array>
#include <memory>

#include "log/DebugLogUtils.h"

namespace vt {

namespace {

constexpr int kPictureCount = 16;
// Freed by VtCheckBoxFinalization, never by a static destructor.
std::array<TPngImage*, kPictureCount> gPictures{};

constexpr int kCaptionGap = 12;  // between picture and caption
constexpr int kAutoSizeExtra = 15;

}  // namespace

std::wstring CheckBoxPictureName(int Index) {
  static constexpr const wchar_t* kNames[] = {L"chbNormNS",  L"chbHoverNS",  L"chbClickNS",  L"chbDisNS",
                                              L"chbNormSel", L"chbHoverSel", L"chbClickSel", L"chbDisSel"};
  if (Index < 0 || Index >= kPictureCount) return {};
  return std::wstring(kNames[Index % 8]) + (Index >= 8 ? L"_Mode" : L"");
}

const TPngImage* CheckBoxPicture(int Index) {
  return (Index >= 0 && Index < kPictureCount) ? gPictures[Index] : nullptr;
}

void VtCheckBoxInitialization() {
  for (int i = 0; i < kPictureCount; ++i) {
    if (gPictures[i]) continue;
    auto p = std::make_unique<TPngImage>();
    try {
      p->LoadFromResource(CheckBoxPictureName(i));
      gPictures[i] = p.release();
    } catch (const std::exception& e) {
      LogException(&e, L"Check box picture left out: " + CheckBoxPictureName(i));
    }
  }
}

void VtCheckBoxFinalization() {
  for (TPngImage*& p : gPictures) {
    delete p;
    p = nullptr;
  }
}

TVtCheckbox::TVtCheckbox(TComponent* AOwner) : TCheckBox(AOwner) {
  TFont f;
  f.SetName(L"Segoe UI");
  f.SetHeight(14);
  f.SetColor(GetStyleColor(1));
  SetFont(f);
  SetColor(GetStyleColor(5));
  SetParentColor(true);
  DoubleBuffered = true;
}

// ---- properties

void TVtCheckbox::SetAutoSize(bool Value) {
  FAutoSize = Value;
  AdjustSize();
}

void TVtCheckbox::SetWordWrap(bool Value) {
  FWordWrap = Value;
  AdjustSize();
  Invalidate();
}

void TVtCheckbox::SetButtonType(TVtCheckBoxType Value) {
  FButtonType = Value;
  AdjustSize();
  Invalidate();
}

void TVtCheckbox::SetUnCheckedFontColor(TColor Value) {
  FUnCheckedFontColor = Value;
  Invalidate();
}

void TVtCheckbox::SetAlignment(TTextAlign Value) {
  FAlignment = Value;
  Invalidate();
}

void TVtCheckbox::SetEnabled(bool Value) {
  TCheckBox::SetEnabled(Value);
  FInternalEnabled = Value;
  if (!Value) {
    MousePressed = KeyPressed = false;
    SetHover(false);
  }
  Repaint();
}

void TVtCheckbox::SetState(TCheckBoxState Value) {
  TCheckBox::SetState(Value);  // fires OnClick when it changes
  Repaint();
}

void TVtCheckbox::Toggle() {
  if (OnChanging) {
    bool allow = true;
    OnChanging(this, allow);
    if (!allow) return;
  }
  TCheckBox::Toggle();
}

void TVtCheckbox::TextChanged() {
  AdjustSize();
  TCheckBox::TextChanged();
}

void TVtCheckbox::FontChanged() {
  TCheckBox::FontChanged();
  AdjustSize();
}

void TVtCheckbox::Resize() {
  TCheckBox::Resize();
  Invalidate();
}

void TVtCheckbox::Loaded() {
  TCheckBox::Loaded();
  FLoaded = true;
  AdjustSize();
}

// ---- layout and painting

int TVtCheckbox::PictureIndex() const {
  int base;
  if (Checked())
    base = !FInternalEnabled ? 7 : (MousePressed || (Focused() && KeyPressed)) ? 6 : FHover ? 5 : 4;
  else
    base = !FInternalEnabled ? 3 : (MousePressed || (Focused() && KeyPressed)) ? 2 : FHover ? 1 : 0;
  return base + (FButtonType == cbtMode ? 8 : 0);
}

void TVtCheckbox::AdjustSize() {
  if (!FAutoSize || FWordWrap) return;
  const TPngImage* p = CheckBoxPicture(PictureIndex());
  TBitmap32 probe(1, 1);
  probe.Canvas().Font = Font();
  int w = (p ? p->Width() : 0) + probe.Canvas().TextWidth(Text()) + kAutoSizeExtra;
  SetWidth(w);
}

TVtCheckbox::TLayout TVtCheckbox::Layout(TCanvas& Canvas) {
  const int w = Width(), h = Height();
  const TPngImage* p = CheckBoxPicture(PictureIndex());
  const int pw = p ? p->Width() : 0, ph = p ? p->Height() : 0;
  TLayout l;
  const int py = (h - ph) / 2;
  if (FAlignment == taLeftJustify) {
    l.Picture = {w - pw, py, w, py + ph};
    l.Caption = {0, 1, w - pw - kCaptionGap, h - 1};
  } else {
    l.Picture = {0, py, pw, py + ph};
    l.Caption = {pw + kCaptionGap, 1, w - 1, h - 1};
  }
  Canvas.Font = Font();
  l.Shown = Text();
  RECT t = l.Caption;
  if (FWordWrap) {
    // Shortened word by word, with "...", until the wrapped text fits the height.
    const int height = l.Caption.bottom - l.Caption.top;
    for (;;) {
      RECT m = l.Caption;
      int th = Canvas.TextRect(m, l.Shown, tfWordBreak | tfCalcRect | tfNoPrefix);
      t = m;
      if (th <= height) break;
      std::wstring base = l.Shown.size() >= 3 && l.Shown.ends_with(L"...") ? l.Shown.substr(0, l.Shown.size() - 3) : l.Shown;
      size_t cut = base.find_last_of(L' ');
      if (cut == std::wstring::npos || cut == 0) break;
      l.Shown = base.substr(0, cut) + L"...";
    }
    const int th = t.bottom - t.top;
    t.top = l.Caption.top + std::max(0, (height - th) / 2);
    t.bottom = t.top + th;
  } else {
    SIZE s = Canvas.TextExtent(l.Shown);
    t.top = l.Caption.top + (l.Caption.bottom - l.Caption.top - s.cy) / 2;
    t.bottom = t.top + s.cy;
    t.right = std::min<LONG>(l.Caption.right, l.Caption.left + s.cx);
  }
  l.Text = t;
  return l;
}

RECT TVtCheckbox::ActiveRect() {
  TBitmap32 probe(1, 1);
  TLayout l = Layout(probe.Canvas());
  RECT text = l.Text;
  InflateRect(&text, 1, 1);
  RECT client = ClientRect(), r;
  UnionRect(&r, &l.Picture, &text);
  IntersectRect(&FActiveRect, &r, &client);
  return FActiveRect;
}

void TVtCheckbox::Paint(TCanvas& Canvas) {
  RECT all = ClientRect();
  Canvas.BrushClear = false;
  Canvas.BrushColor = ColorToRGB(Color());
  Canvas.FillRect(all);
  TLayout l = Layout(Canvas);
  if (const TPngImage* p = CheckBoxPicture(PictureIndex())) p->Draw(Canvas, l.Picture.left, l.Picture.top);
  TColor textColor = Font().Color();
  if (!FInternalEnabled)
    textColor = clGrayText;
  else if (FButtonType == cbtMode && !Checked())
    textColor = FUnCheckedFontColor;
  Canvas.Font = Font();
  Canvas.Font.SetColor(textColor);
  Canvas.TransparentText = true;
  RECT t = l.Text;
  if (FWordWrap) {
    Canvas.TextRect(t, l.Shown, tfWordBreak | tfNoPrefix);
  } else {
    RECT c = l.Caption;
    Canvas.TextRect(c, l.Shown, tfSingleLine | tfVCenter | tfNoPrefix);
  }
  RECT text = l.Text;
  InflateRect(&text, 1, 1);
  RECT r;
  UnionRect(&r, &l.Picture, &text);
  IntersectRect(&FActiveRect, &r, &all);
  if (Focused() && !(FButtonType == cbtMode && FFocusedByClick) && !Text().empty()) {
    RECT f = l.Text;
    InflateRect(&f, 1, 1);
    Canvas.DrawFocusRect(f);
  }
}

// ---- mouse, keys, focus

void TVtCheckbox::SetHover(bool Value) {
  if (Value == FHover) return;
  FHover = Value;
  SetCursor(Value ? crHandPoint : crDefault);
  if (Value != fHintInside) {
    fHintInside = Value;
    const TNotifyEvent& e = Value ? OnMouseEnterHint : OnMouseLeaveHint;
    if (e) e(this);
  }
  Invalidate();
}

void TVtCheckbox::MouseMove(TShiftState Shift, int X, int Y) {
  RECT a = ActiveRect();
  POINT p{X, Y};
  SetHover(Enabled() && PtInRect(&a, p));
  TCheckBox::MouseMove(Shift, X, Y);
}

void TVtCheckbox::MouseLeave() {
  SetHover(false);
  TCheckBox::MouseLeave();
}

void TVtCheckbox::DoEnter() {
  Invalidate();
  TCheckBox::DoEnter();
}

void TVtCheckbox::DoExit() {
  FFocusedByClick = false;
  KeyPressed = false;
  Invalidate();
  TCheckBox::DoExit();
}

LRESULT TVtCheckbox::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_LBUTTONDOWN: {
      RECT a = ActiveRect();
      POINT p{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
      if (!PtInRect(&a, p)) return 0;  // beside the caption: not a click on the box
      if (Enabled()) {
        if (!Focused() && !FBlockFocusing && CanFocus()) {
          FFocusedByClick = true;
          SetFocus();
        }
        MousePressed = true;
        Down = true;
        Repaint();
      }
      break;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (MousePressed) {
        MousePressed = false;
        Down = false;
        Invalidate();
      }
      break;
    case WM_KEYDOWN:
      if (WParam == VK_SPACE && Enabled() && !KeyPressed) {
        KeyPressed = true;
        Repaint();
      }
      break;
    case WM_KEYUP:
      if (WParam == VK_SPACE && KeyPressed) {
        KeyPressed = false;
        Invalidate();
      }
      break;
    default:
      break;
  }
  return TCheckBox::WndProc(Msg, WParam, LParam);
}

}  // namespace vt
