#include "ui/QSSystemButton.h"

#include "fw/uForms.h"
#include "ui/GUIStyleConstants.h"
#include "ui/uThreadImages.h"

namespace vt {

std::wstring SystemButtonPictureName(TButtonType Type, bool Hover) {
  static constexpr const wchar_t* kNames[] = {L"MIN", L"MAX", L"RESTORE", L"CLOSE", L"HELP", L"LIKE", L"MENU"};
  const int i = (Type >= btMin && Type <= btMenu) ? Type : btClose;
  return std::wstring(L"QS") + kNames[i] + (Hover ? L"HOVER" : L"");
}

TQSSystemButton::TQSSystemButton(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(Left(), Top(), 45, 26);
  DoubleBuffered = true;
  SetTabStop(true);
  SetColor(GetStyleColor(5));
}

void TQSSystemButton::CreateWnd() {
  // A caption button sits in a corner over the panels beside it.
  SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TQSSystemButton::LoadPictures() {
  imgNormal.Clear();
  imgUp.Clear();
  LoadSkinImage(SystemButtonPictureName(fButtonType, false), &imgNormal);
  LoadSkinImage(SystemButtonPictureName(fButtonType, true), &imgUp);
  if (fButtonStyle == bsModern) {
    const TColor edge = RGBColor(58, 110, 165);
    for (TPngImage* p : {&imgNormal, &imgUp})
      for (int y = 0; y < p->Height(); ++y) p->SetPixelColor(p->Width() - 1, y, edge);
  }
  Invalidate();
}

void TQSSystemButton::Loaded() {
  TCustomControl::Loaded();
  FLoaded = true;
  LoadPictures();
  if (!FStretch && !imgNormal.Empty()) SetBounds(Left(), Top(), imgNormal.Width(), imgNormal.Height());
  SetColor(GetStyleColor(5));
  // A close button designed for a wider window stays inside this one.
  if (fButtonType == btClose && Parent() && Left() + Width() > Parent()->Width())
    SetLeft(Parent()->Width() - 6 - Width());
}

void TQSSystemButton::SetButtonType(TButtonType Value) {
  if (Value == fButtonType) return;
  fButtonType = Value;
  if (FLoaded) LoadPictures();
}

void TQSSystemButton::SetButtonStyle(TButtonStyle Value) {
  if (Value == fButtonStyle) return;
  fButtonStyle = Value;
  if (FLoaded) LoadPictures();
}

void TQSSystemButton::SetStretch(bool Value) {
  FStretch = Value;
  Invalidate();
}

void TQSSystemButton::Paint(TCanvas& Canvas) {
  TCustomControl::Paint(Canvas);
  const TPngImage& p = (IsMouse || Focused()) ? imgUp : imgNormal;
  if (p.Empty()) return;
  if (FStretch)
    p.StretchDraw(Canvas, {0, 0, Width() - 1, Height() - 1});
  else
    p.Draw(Canvas, 0, 0);
}

void TQSSystemButton::Click() {
  TCustomControl::Click();
  TForm* f = ParentForm();
  if (!f || !f->HandleAllocated()) return;
  HWND w = f->Handle();
  switch (fButtonType) {
    case btMin: SendMessageW(w, WM_SYSCOMMAND, SC_MINIMIZE, 0); break;
    case btMax: PostMessageW(w, WM_SYSCOMMAND, SC_MAXIMIZE, 0); break;
    case btRestore: SendMessageW(w, WM_SYSCOMMAND, SC_RESTORE, 0); break;
    case btClose: SendMessageW(w, WM_CLOSE, 0, 0); break;
    default: break;
  }
}

void TQSSystemButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) IsPressed = true;
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TQSSystemButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) IsPressed = false;
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TQSSystemButton::MouseEnter() {
  IsMouse = true;
  Invalidate();
  TCustomControl::MouseEnter();
}

void TQSSystemButton::MouseLeave() {
  IsMouse = false;
  Invalidate();
  TCustomControl::MouseLeave();
}

void TQSSystemButton::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE) {
    Key = 0;
    Click();
  }
}

void TQSSystemButton::SetFocus() {
  FInSetFocus = true;
  auto done = ScopeExit([this] { FInSetFocus = false; });
  TCustomControl::SetFocus();
}

void TQSSystemButton::DoEnter() {
  Invalidate();
  TCustomControl::DoEnter();
  if (FInSetFocus) return;
  // Tabbing lands here on the way to the next field: pass it on in the same direction.
  if (TForm* f = ParentForm()) f->SelectNext(!(KeyboardShiftState() & ssShift));
}

void TQSSystemButton::DoExit() {
  Invalidate();
  TCustomControl::DoExit();
}

}  // namespace vt
