// The caption button of the borderless windows (close, minimise, ...): two
// pictures from the picture cache, so "Skins\QSCLOSE.png" beside the setup
// replaces the built-in close picture.
#pragma once
#include <string>

#include "fw/uControls.h"
#include "fw/uGraphics.h"

namespace vt {

enum TButtonStyle { bsOld, bsModern };
enum TButtonType { btMin, btMax, btRestore, btClose, btHelp, btLike, btMenu };

// The resource names of a type's pictures ("QSCLOSE", "QSCLOSEHOVER").
std::wstring SystemButtonPictureName(TButtonType Type, bool Hover);

class TQSSystemButton : public TCustomControl {
public:
  explicit TQSSystemButton(TComponent* AOwner);

  TButtonType ButtonType() const { return fButtonType; }
  void SetButtonType(TButtonType Value);
  TButtonStyle ButtonStyle() const { return fButtonStyle; }
  void SetButtonStyle(TButtonStyle Value);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  const TPngImage& NormalPicture() const { return imgNormal; }
  const TPngImage& HoverPicture() const { return imgUp; }

  // Fires OnClick, then minimises, maximises, restores or closes the form.
  void Click() override;
  // Focus the button keeps (focus from elsewhere is handed on).
  void SetFocus();
  void Loaded() override;

protected:
  void CreateWnd() override;
  void Paint(TCanvas& Canvas) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void DoEnter() override;
  void DoExit() override;

private:
  void LoadPictures();

  TPngImage imgUp;
  TPngImage imgNormal;
  bool IsMouse = false;
  bool IsPressed = false;
  TButtonStyle fButtonStyle = bsOld;
  TButtonType fButtonType = btClose;
  bool FInSetFocus = false;
  bool FStretch = false;
  bool FLoaded = false;
};

}  // namespace vt
