// The flat push button: a rounded one-pixel frame, colours from the palette by
// preset and state, Enter for the active (default or focused) button and Esc
// for the cancel button of its form.
#pragma once
#include <string>
#include <string_view>

#include "fw/uControls.h"
#include "fw/uGraphics.h"
#include "ui/GUIStyleConstants.h"

namespace vt {

enum TButtonAutoSizeType { basNone, basExtendWidth, basExtendHeight, basExtendBoth, basAutoWidth, basAutoHeight, basAutoBoth };
enum TButtonSizePreset { bspNone, bspHightNormal, bspHeightSmall, bspHeightVerySmall };

class TQSButton : public TCustomControl, public ICaptioned {
public:
  explicit TQSButton(TComponent* AOwner);

  std::wstring GetCaption() const override { return Text(); }
  void SetCaption(std::wstring_view Value) override { SetText(Value); }
  ICaptioned* Captioned() override { return this; }

  bool Default() const { return fDefault; }
  void SetDefault(bool Value);
  bool Cancel() const { return fCancel; }
  void SetCancel(bool Value) { fCancel = Value; }
  // Whether Enter clicks this button now (its form's focus decides).
  bool Active() const { return fActive; }
  void SetEnabled(bool Value) override;

  // Custom colours: used only with the preset bcpCustom.
  TColor BorderColor() const { return FBorderColor; }
  void SetBorderColor(TColor Value) { Change(FBorderColor, Value); }
  TColor BorderColorHover() const { return FBorderColorHover; }
  void SetBorderColorHover(TColor Value) { Change(FBorderColorHover, Value); }
  TColor BorderColorClick() const { return FBorderColorClick; }
  void SetBorderColorClick(TColor Value) { Change(FBorderColorClick, Value); }
  TColor BorderColorDisabled() const { return FBorderColorDisabled; }
  void SetBorderColorDisabled(TColor Value) { Change(FBorderColorDisabled, Value); }
  TColor BorderColorDefault() const { return FBorderColorDefault; }
  void SetBorderColorDefault(TColor Value) { Change(FBorderColorDefault, Value); }
  TColor ColorHover() const { return FColorHover; }
  void SetColorHover(TColor Value) { Change(FColorHover, Value); }
  TColor ColorClick() const { return FColorClick; }
  void SetColorClick(TColor Value) { Change(FColorClick, Value); }
  TColor ColorDisabled() const { return FColorDisabled; }
  void SetColorDisabled(TColor Value) { Change(FColorDisabled, Value); }
  TColor FontColorHover() const { return FFontColorHover; }
  void SetFontColorHover(TColor Value) { Change(FFontColorHover, Value); }
  TColor FontColorClick() const { return FFontColorClick; }
  void SetFontColorClick(TColor Value) { Change(FFontColorClick, Value); }
  TColor FontColorDisabled() const { return FFontColorDisabled; }
  void SetFontColorDisabled(TColor Value) { Change(FFontColorDisabled, Value); }
  TButtonColorPreset ColorPreset() const { return FColorPreset; }
  void SetColorPreset(TButtonColorPreset Value) { Change(FColorPreset, Value); }

  const std::wstring& DescriptionText() const { return FDescriptionText; }
  void SetDescriptionText(std::wstring_view Value);
  const TFont& DescriptionFont() const { return FDescriptionFont; }
  void SetDescriptionFont(const TFont& Value);
  const std::wstring& StatusText() const { return FStatusText; }
  void SetStatusText(std::wstring_view Value) { Change(FStatusText, std::wstring(Value)); }
  const TFont& StatusFont() const { return FStatusFont; }
  void SetStatusFont(const TFont& Value) { Change(FStatusFont, Value); }
  TTextAlign Alignment() const { return FAlignment; }
  void SetAlignment(TTextAlign Value) { Change(FAlignment, Value); }
  int TextMarginLeft() const { return FTextMarginLeft; }
  void SetTextMarginLeft(int Value);
  int TextMarginRight() const { return FTextMarginRight; }
  void SetTextMarginRight(int Value);
  int DescriptionSpacing() const { return FDescriptionSpacing; }
  void SetDescriptionSpacing(int Value);
  TButtonAutoSizeType AutoSize() const { return FAutoSize; }
  void SetAutoSize(TButtonAutoSizeType Value);
  // Sets the height of a size class; reads back as bspNone.
  TButtonSizePreset SizePreset() const { return bspNone; }
  void SetSizePreset(TButtonSizePreset Value);
  const TPngImage& Glyph() const { return FGlyph; }
  void SetGlyph(const TPngImage& Value);
  bool GlyphNotAlone() const { return FGlyphNotAlone; }
  void SetGlyphNotAlone(bool Value) { Change(FGlyphNotAlone, Value); }
  int GlyphLeft() const { return FGlyphLeft; }
  void SetGlyphLeft(int Value) { Change(FGlyphLeft, Value); }
  int GlyphTop() const { return FGlyphTop; }
  void SetGlyphTop(int Value) { Change(FGlyphTop, Value); }
  int GlyphWidth() const { return FGlyphWidth; }
  void SetGlyphWidth(int Value) { Change(FGlyphWidth, Value); }
  int GlyphHeight() const { return FGlyphHeight; }
  void SetGlyphHeight(int Value) { Change(FGlyphHeight, Value); }
  bool BorderEnabled() const { return FBorderEnabled; }
  void SetBorderEnabled(bool Value) { Change(FBorderEnabled, Value); }
  bool HideInitialFocusRect() const { return FHideInitialFocusRect; }
  void SetHideInitialFocusRect(bool Value) { Change(FHideInitialFocusRect, Value); }
  // Enabled together with the button.
  TControl* AttachedControl() const { return FAttachedControl; }
  void SetAttachedControl(TControl* Value) { FAttachedControl = Value; }

  // Fires OnClick only while enabled.
  void Click() override;
  // Auto-sizes once with basExtendWidth.
  void SetWidthToFitText();
  // The state and colours the next paint uses.
  TButtonPaintState PaintState() const;
  TButtonColors CurrentColors() const;

  void Loaded() override;
  bool DialogKey(WORD Key, TShiftState Shift) override;
  void FocusChanged(TControl* NewFocus) override;

protected:
  void Paint(TCanvas& Canvas) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void KeyPress(wchar_t& Key) override;
  void DoEnter() override;
  void DoExit() override;
  void TextChanged() override;
  void FontChanged() override;
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  template <class T>
  void Change(T& Field, const T& Value) {
    if (Field == Value) return;
    Field = Value;
    Invalidate();
  }
  void AdjustSize();
  SIZE MeasureText(int DescriptionWidth);
  bool CanTakeDialogKey() const;

  bool fActive = false;
  bool fCancel = false;
  bool fDefault = false;
  TColor FBorderColor = 14138985;         // (105, 190, 215)
  TColor FColorClick = 16051678;          // (222, 237, 244)
  TColor FColorDisabled = 15921906;       // (242, 242, 242)
  TColor FBorderColorHover = 14138985;
  TColor FBorderColorDefault = 14330112;  // (0, 169, 218)
  TColor FColorHover = 16250094;          // (238, 244, 247)
  TColor FBorderColorClick = 14138985;
  TColor FBorderColorDisabled = 12369084; // (188, 188, 188)
  TControl* FAttachedControl = nullptr;
  TFont FDescriptionFont;
  std::wstring FDescriptionText;
  TFont FStatusFont;
  std::wstring FStatusText;
  TTextAlign FAlignment = taCenter;
  int FTextMarginLeft = 5;
  int FTextMarginRight = 5;
  int FDescriptionSpacing = 10;
  TButtonAutoSizeType FAutoSize = basNone;
  SIZE FDefaultSize{0, 0};
  TPngImage FGlyph;
  bool FGlyphNotAlone = false;
  int FGlyphLeft = 16;
  int FGlyphTop = 12;
  int FGlyphWidth = 0;
  int FGlyphHeight = 0;
  TColor FFontColorDisabled;
  TButtonColorPreset FColorPreset = bcpGeneralInversed;
  TColor FFontColorHover = clBlack;
  TColor FFontColorClick = clBlack;
  bool FBorderEnabled = true;
  bool FHideInitialFocusRect = false;
  int SetFoucsCount = 0;
  bool IsMouse = false;
  bool IsPressed = false;
  bool IsDef = false;
  bool FLoaded = false;
};

}  // namespace vt
