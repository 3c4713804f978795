#include "ui/QSButton.h"

#include <algorithm>
#include <cmath>

#include "fw/uForms.h"

namespace vt {

namespace {

TFont SmallGreyFont() {
  TFont f;
  f.SetName(L"Segoe UI");
  f.SetSize(8);
  f.SetColor(GetStyleColor(1));
  return f;
}

}  // namespace

TQSButton::TQSButton(TComponent* AOwner)
    : TCustomControl(AOwner), FDescriptionFont(SmallGreyFont()), FStatusFont(SmallGreyFont()),
      FFontColorDisabled(GetStyleColor(2)) {
  SetBounds(Left(), Top(), 100, 34);
  TFont f;
  f.SetName(L"Segoe UI");
  f.SetSize(10);
  f.SetColor(clBlack);
  SetFont(f);
  SetColor(16316404);  // (244, 247, 248)
  DoubleBuffered = true;
  SetTabStop(true);
}

// ---- properties

void TQSButton::SetDefault(bool Value) {
  if (fDefault == Value) return;
  fDefault = Value;
  // The active button follows its form's focus; re-evaluate it for this one.
  TControl* focus = TControl::FromHandle(GetFocus());
  if (focus && focus->ParentForm() != ParentForm()) focus = nullptr;
  FocusChanged(focus);
  Invalidate();
}

void TQSButton::SetEnabled(bool Value) {
  if (Value == Enabled()) return;
  TCustomControl::SetEnabled(Value);
  if (FAttachedControl) FAttachedControl->SetEnabled(Value);
  // A disabled button is no tab stop; an enabled one is one again.
  SetTabStop(Value);
  if (!Value) IsPressed = false;
  Invalidate();
}

void TQSButton::SetDescriptionText(std::wstring_view Value) {
  if (FDescriptionText == Value) return;
  FDescriptionText = Value;
  AdjustSize();
  Invalidate();
}

void TQSButton::SetDescriptionFont(const TFont& Value) {
  FDescriptionFont = Value;
  AdjustSize();
  Invalidate();
}

void TQSButton::SetTextMarginLeft(int Value) {
  FTextMarginLeft = Value;
  AdjustSize();
  Invalidate();
}

void TQSButton::SetTextMarginRight(int Value) {
  FTextMarginRight = Value;
  AdjustSize();
  Invalidate();
}

void TQSButton::SetDescriptionSpacing(int Value) {
  FDescriptionSpacing = Value;
  AdjustSize();
  Invalidate();
}

void TQSButton::SetAutoSize(TButtonAutoSizeType Value) {
  FAutoSize = Value;
  AdjustSize();
}

void TQSButton::SetSizePreset(TButtonSizePreset Value) {
  static constexpr int kHeights[] = {0, 34, 26, 20};
  if (Value != bspNone) SetHeight(kHeights[Value]);
}

void TQSButton::SetGlyph(const TPngImage& Value) {
  FGlyph.Assign(Value);
  Invalidate();
}

void TQSButton::TextChanged() {
  AdjustSize();
  TCustomControl::TextChanged();
}

void TQSButton::FontChanged() {
  TCustomControl::FontChanged();
  AdjustSize();
}

// ---- size

SIZE TQSButton::MeasureText(int DescriptionWidth) {
  TBitmap32 probe(1, 1);
  TCanvas& c = probe.Canvas();
  c.Font = Font();
  SIZE caption = c.TextExtent(Text());
  SIZE total = caption;
  if (!FDescriptionText.empty()) {
    c.Font = FDescriptionFont;
    SIZE d = c.TextExtent(FDescriptionText);
    if (DescriptionWidth > 0) {
      RECT r{0, 0, DescriptionWidth, 0};
      d.cy = c.TextRect(r, FDescriptionText, tfWordBreak | tfCalcRect);
    }
    total.cx = std::max(total.cx, d.cx);
    total.cy += FDescriptionSpacing + d.cy;
  }
  return total;
}

void TQSButton::AdjustSize() {
  if (!FLoaded || FAutoSize == basNone) return;
  SIZE m = MeasureText(0);
  int w = Width(), h = Height();
  const int mw = m.cx + FTextMarginLeft + FTextMarginRight, mh = m.cy;
  const bool extend = FAutoSize == basExtendWidth || FAutoSize == basExtendHeight || FAutoSize == basExtendBoth;
  if (FAutoSize == basExtendWidth || FAutoSize == basExtendBoth || FAutoSize == basAutoWidth || FAutoSize == basAutoBoth)
    w = extend ? std::max<int>(mw, FDefaultSize.cx) : mw;
  if (FAutoSize == basExtendHeight || FAutoSize == basExtendBoth || FAutoSize == basAutoHeight || FAutoSize == basAutoBoth)
    h = extend ? std::max<int>(mh, FDefaultSize.cy) : mh;
  SetBounds(Left(), Top(), w, h);
}

void TQSButton::SetWidthToFitText() {
  TButtonAutoSizeType keep = FAutoSize;
  FAutoSize = basExtendWidth;
  AdjustSize();
  FAutoSize = keep;
}

void TQSButton::Loaded() {
  TCustomControl::Loaded();
  FLoaded = true;
  FDefaultSize = {Width(), Height()};
  fActive = fDefault;
  AdjustSize();
}

// ---- colours

TButtonPaintState TQSButton::PaintState() const {
  if (!Enabled()) return bpsDisabled;
  if (IsPressed) return bpsPressed;
  if (fDefault) return IsMouse ? bpsHover : bpsPressed;
  return IsMouse ? bpsHover : bpsNormal;
}

TButtonColors TQSButton::CurrentColors() const {
  const TButtonPaintState s = PaintState();
  if (FColorPreset != bcpCustom) {
    TButtonColorPreset p = (Enabled() && !IsPressed && fDefault) ? bcpGeneralInversed : FColorPreset;
    return PresetColors(p, s);
  }
  switch (s) {
    case bpsDisabled: return {FColorDisabled, FFontColorDisabled, FBorderColorDisabled};
    case bpsPressed: return {FColorClick, FFontColorClick, FBorderColorClick};
    case bpsHover: return {FColorHover, FFontColorHover, FBorderColorHover};
    default: return {Color(), Font().Color(), FBorderColor};
  }
}

// ---- painting

void TQSButton::Paint(TCanvas& Canvas) {
  const int w = Width(), h = Height();
  const TButtonColors colors = CurrentColors();
  RECT all = ClientRect();
  Canvas.BrushClear = false;
  Canvas.BrushColor = ColorToRGB(colors.Background);
  Canvas.FillRect(all);

  RECT focusRect = all;
  if (FBorderEnabled) {
    Canvas.PenClear = false;
    Canvas.PenWidth = 1;
    Canvas.PenColor = ColorToRGB(colors.Frame);
    Canvas.RoundRect(0, 0, w, h, 2, 2);
    SmoothCorners(Canvas, w, h);
    focusRect = {2, 2, w - 2, h - 2};
  }
  if (IsDef && Focused() && !(FHideInitialFocusRect && SetFoucsCount < 2)) Canvas.DrawFocusRect(focusRect);

  const bool glyph = !FGlyph.Empty();
  if (glyph && !FGlyphNotAlone) {
    int gw = FGlyphWidth ? FGlyphWidth : FGlyph.Width(), gh = FGlyphHeight ? FGlyphHeight : FGlyph.Height();
    int gx = (w - gw) / 2, gy = (h - gh) / 2;
    FGlyph.StretchDraw(Canvas, {gx, gy, gx + gw, gy + gh});
    return;
  }
  if (glyph) {
    int gw = FGlyphWidth ? FGlyphWidth : FGlyph.Width(), gh = FGlyphHeight ? FGlyphHeight : FGlyph.Height();
    FGlyph.StretchDraw(Canvas, {FGlyphLeft, FGlyphTop, FGlyphLeft + gw, FGlyphTop + gh});
  }

  const unsigned align = FAlignment == taCenter ? tfCenter : FAlignment == taRightJustify ? tfRight : tfLeft;
  const int textLeft = FTextMarginLeft, textRight = w - FTextMarginRight;
  Canvas.TransparentText = true;
  Canvas.Font = Font();
  Canvas.Font.SetColor(colors.Text);
  const int captionH = Canvas.TextHeight(Text().empty() ? std::wstring_view(L"Ag") : std::wstring_view(Text()));
  int descH = 0;
  if (!FDescriptionText.empty()) {
    Canvas.Font = FDescriptionFont;
    RECT m{textLeft, 0, textRight, 0};
    descH = Canvas.TextRect(m, FDescriptionText, tfWordBreak | tfCalcRect | align);
  }
  const int block = captionH + (FDescriptionText.empty() ? 0 : FDescriptionSpacing + descH);
  const int top = static_cast<int>(std::nearbyint((h - block) / 2.0)) - 1;

  Canvas.Font = Font();
  Canvas.Font.SetColor(colors.Text);
  RECT cr{textLeft, top, textRight, top + captionH};
  Canvas.TextRect(cr, Text(), align | tfSingleLine | tfEndEllipsis);
  if (!FDescriptionText.empty()) {
    Canvas.Font = FDescriptionFont;
    Canvas.Font.SetColor(colors.Text);
    RECT dr{textLeft, top + captionH + FDescriptionSpacing, textRight, top + block};
    Canvas.TextRect(dr, FDescriptionText, align | tfWordBreak);
  }
  if (!FStatusText.empty()) {
    Canvas.Font = FStatusFont;
    RECT sr{5, 5, w - 10, h - 10};
    Canvas.TextRect(sr, FStatusText, tfRight | tfWordBreak);
  }
}

// ---- keyboard and mouse

void TQSButton::Click() {
  if (Enabled()) TCustomControl::Click();
}

bool TQSButton::CanTakeDialogKey() const {
  if (!CanFocus()) return false;
  TForm* f = ParentForm();
  return f && f->Visible() && (!f->HandleAllocated() || IsWindowEnabled(f->Handle()));
}

bool TQSButton::DialogKey(WORD Key, TShiftState Shift) {
  if (Shift & (ssShift | ssCtrl | ssAlt)) return false;
  if ((Key == VK_RETURN && fActive) || (Key == VK_ESCAPE && fCancel)) {
    if (!CanTakeDialogKey()) return false;
    Click();
    return true;
  }
  return false;
}

void TQSButton::FocusChanged(TControl* NewFocus) {
  // A focused button answers Enter itself; otherwise the default one does.
  if (dynamic_cast<TQSButton*>(NewFocus))
    fActive = NewFocus == this;
  else
    fActive = fDefault;
}

void TQSButton::KeyPress(wchar_t& Key) {
  TCustomControl::KeyPress(Key);
  if (Key == L'\r' || Key == L' ') {
    Click();
    Key = 0;
  }
}

void TQSButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (Focused()) {
      IsDef = true;
    } else if (Enabled() && CanFocus()) {
      SetFocus();  // a refusal leaves the button unfocused; nothing else depends on it
    }
    if (Enabled()) {
      IsPressed = true;
      Repaint();
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TQSButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && Enabled()) {
    IsPressed = false;
    Repaint();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TQSButton::MouseEnter() {
  IsMouse = true;
  Invalidate();
  TCustomControl::MouseEnter();
}

void TQSButton::MouseLeave() {
  IsMouse = false;
  Invalidate();
  TCustomControl::MouseLeave();
}

void TQSButton::DoEnter() {
  IsDef = true;
  if (SetFoucsCount < 2) ++SetFoucsCount;
  Invalidate();
  TCustomControl::DoEnter();
}

void TQSButton::DoExit() {
  IsDef = false;
  Invalidate();
  TCustomControl::DoExit();
}

LRESULT TQSButton::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  // A press whose release will never arrive here (the capture went elsewhere) ends.
  if (Msg == WM_CAPTURECHANGED && reinterpret_cast<HWND>(LParam) != Handle() && IsPressed) {
    IsPressed = false;
    Invalidate();
  }
  return TCustomControl::WndProc(Msg, WParam, LParam);
}

}  // namespace vt
