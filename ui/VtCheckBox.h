// The check box drawn from pictures: sixteen PNG resources by state (normal,
// hover, pressed, disabled; unchecked and checked; plain and "mode" switch),
// a caption beside the picture, and only picture and caption clickable.
#pragma once
#include <string>

#include "fw/uControls.h"
#include "ui/GUIStyleConstants.h"

namespace vt {

enum TVtCheckBoxType { cbtNormal, cbtMode };

// The picture names by index: base 0..7 (unchecked normal, hover, pressed,
// disabled; checked the same), plus 8 for the "_Mode" pictures.
std::wstring CheckBoxPictureName(int Index);
// The loaded picture of an index; none when it did not load or before the
// initialisation.
const TPngImage* CheckBoxPicture(int Index);

// Loads the sixteen pictures (one that fails is left out) and frees them;
// program start-up and shutdown, after the drawing layer has started.
void VtCheckBoxInitialization();
void VtCheckBoxFinalization();

class TVtCheckbox : public TCheckBox {
public:
  explicit TVtCheckbox(TComponent* AOwner);

  int Col() const { return FCol; }
  void SetCol(int Value) { FCol = Value; }
  int Row() const { return FRow; }
  void SetRow(int Value) { FRow = Value; }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  TVtCheckBoxType ButtonType() const { return FButtonType; }
  void SetButtonType(TVtCheckBoxType Value);
  TColor UnCheckedFontColor() const { return FUnCheckedFontColor; }
  void SetUnCheckedFontColor(TColor Value);
  // taRightJustify (the default): caption right of the picture; taLeftJustify: left of it.
  TTextAlign Alignment() const { return FAlignment; }
  void SetAlignment(TTextAlign Value);
  bool BlockFocusing() const { return FBlockFocusing; }
  void SetBlockFocusing(bool Value) { FBlockFocusing = Value; }
  void SetEnabled(bool Value) override;
  void SetState(TCheckBoxState Value) override;

  // The picture index the next paint uses.
  int PictureIndex() const;
  // The clickable area: picture and caption (client coordinates).
  RECT ActiveRect();
  bool Hover() const { return FHover; }

  // Asks OnChanging first; toggles only when allowed.
  void Toggle() override;
  void Loaded() override;

  TNotifyEvent OnMouseEnterHint;
  TNotifyEvent OnMouseLeaveHint;
  TOnChangingEvent OnChanging;

protected:
  void Paint(TCanvas& Canvas) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseLeave() override;
  void DoEnter() override;
  void DoExit() override;
  void TextChanged() override;
  void FontChanged() override;
  void Resize() override;
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  // Places picture and caption; with a canvas to measure on, also the caption text.
  struct TLayout {
    RECT Picture;
    RECT Caption;  // the caption's area
    RECT Text;     // the text within it
    std::wstring Shown;
  };
  TLayout Layout(TCanvas& Canvas);
  void AdjustSize();
  void SetHover(bool Value);

  bool Down = false;
  bool MousePressed = false;
  bool KeyPressed = false;
  bool FHover = false;
  int FCol = 0;
  int FRow = 0;
  bool FAutoSize = true;
  bool fHintInside = false;
  RECT FActiveRect{0, 0, 0, 0};
  TVtCheckBoxType FButtonType = cbtNormal;
  TColor FUnCheckedFontColor = clBlack;
  bool FBlockFocusing = false;
  bool FInternalEnabled = true;
  bool FWordWrap = false;
  TTextAlign FAlignment = taRightJustify;
  bool FFocusedByClick = false;
  bool FLoaded = false;
};

}  // namespace vt
