#include "ui/VtEdit.h"

#include <algorithm>

#include "fw/uSysUtils.h"

namespace vt {

// ---- TVeltInternalEdit

TVeltInternalEdit::TVeltInternalEdit(TVeltEdit* AOwner)
    : TControl(AOwner), FOwnerEdit(AOwner), FInlineFontColor(AOwner->Font().Color()) {
  SetParentColor(true);
  SetTabStop(true);
}

void TVeltInternalEdit::CreateParams(TCreateParams& P) {
  TControl::CreateParams(P);
  P.ClassName = L"EDIT";
  P.SystemClass = true;
  P.Style = (P.Style & ~WS_CLIPCHILDREN) | ES_AUTOHSCROLL | ES_LEFT;
  if (FOwnerEdit->FCharCase == ecUpperCase) P.Style |= ES_UPPERCASE;
  if (FOwnerEdit->FCharCase == ecLowerCase) P.Style |= ES_LOWERCASE;
  if (FOwnerEdit->FReadOnly) P.Style |= ES_READONLY;
  P.Caption = FWindowText;
}

void TVeltInternalEdit::CreateWnd() {
  HWND w = Handle();
  SendMessageW(w, EM_SETPASSWORDCHAR, FOwnerEdit->FPasswordChar, 0);
  SendMessageW(w, EM_SETLIMITTEXT, FOwnerEdit->FMaxLength, 0);
  SendMessageW(w, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

std::wstring TVeltInternalEdit::GetText() const {
  if (!HandleAllocated()) return FWindowText;
  HWND w = const_cast<TVeltInternalEdit*>(this)->Handle();
  std::wstring s(static_cast<size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
  s.resize(static_cast<size_t>(GetWindowTextW(w, s.data(), static_cast<int>(s.size()))));
  return s;
}

void TVeltInternalEdit::SetEditText(std::wstring_view Value) {
  if (HandleAllocated()) {
    if (GetText() != Value) SetWindowTextW(Handle(), std::wstring(Value).c_str());  // EN_CHANGE follows
    return;
  }
  if (FWindowText == Value) return;
  FWindowText = Value;
  TextEdited();
}

void TVeltInternalEdit::SelectAll() {
  if (HandleAllocated()) SendMessageW(Handle(), EM_SETSEL, 0, -1);
}

void TVeltInternalEdit::SetInlineText(std::wstring_view Value) {
  FInlineText = Value;
  if (HandleAllocated()) InvalidateRect(Handle(), nullptr, TRUE);
}

void TVeltInternalEdit::SetInlineFontColor(TColor Value) {
  FInlineFontColor = Value;
  if (HandleAllocated()) InvalidateRect(Handle(), nullptr, TRUE);
}

// Keys that change the text of a single-line edit: characters, Backspace, Ctrl+V, Ctrl+X.
bool TVeltInternalEdit::MayChange() {
  if (FOwnerEdit->FReadOnly || !FOnChangingEnabled) return true;
  return FOwnerEdit->ChangeAllowed();
}

void TVeltInternalEdit::TextEdited() {
  if (HandleAllocated()) FWindowText = GetText();
  if (!FNotFirstChange) {
    FNotFirstChange = true;
    FStartTextValue = FChangesLog.empty() ? std::wstring() : FChangesLog.back();
  }
  FChangesLog.push_back(FWindowText);
  FOwnerEdit->EditChanged();
}

void TVeltInternalEdit::KeyDown(WORD& Key, TShiftState Shift) {
  if (FOwnerEdit->OnKeyDown) FOwnerEdit->OnKeyDown(FOwnerEdit, Key, Shift);
  if (Key == VK_DELETE && !MayChange()) Key = 0;
  if ((Key == VK_UP || Key == VK_DOWN) && FOwnerEdit->FNumbersOnly) {
    FOwnerEdit->StepValue(Key == VK_UP ? 1 : -1);
    Key = 0;
  }
}

void TVeltInternalEdit::KeyPress(wchar_t& Key) {
  if (FOwnerEdit->OnKeyPress) FOwnerEdit->OnKeyPress(FOwnerEdit, Key);
  const bool edits = Key >= L' ' || Key == L'\b' || Key == 22 /* Ctrl+V */ || Key == 24 /* Ctrl+X */;
  if (Key != 0 && edits && !MayChange()) Key = 0;
}

void TVeltInternalEdit::DoEnter() {
  FOwnerEdit->EditEntered();
  if (FOwnerEdit->OnEnter) FOwnerEdit->OnEnter(FOwnerEdit);
}

void TVeltInternalEdit::DoExit() {
  FOwnerEdit->EditLeft();
  if (FOwnerEdit->OnExit) FOwnerEdit->OnExit(FOwnerEdit);
}

void TVeltInternalEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (FOwnerEdit->OnMouseDown) FOwnerEdit->OnMouseDown(FOwnerEdit, Button, Shift, X + Left(), Y + Top());
}

void TVeltInternalEdit::MouseMove(TShiftState Shift, int X, int Y) {
  if (FOwnerEdit->OnMouseMove) FOwnerEdit->OnMouseMove(FOwnerEdit, Shift, X + Left(), Y + Top());
}

void TVeltInternalEdit::Click() {
  if (FOwnerEdit->OnClick) FOwnerEdit->OnClick(FOwnerEdit);
}

void TVeltInternalEdit::PaintInlineText() {
  if (!FWindowText.empty() || FInlineText.empty() || Focused()) return;
  HDC dc = GetDC(Handle());
  if (!dc) return;
  auto release = ScopeExit([&] { ReleaseDC(Handle(), dc); });
  TCanvas c(dc);
  c.Font = Font();
  c.Font.SetColor(FInlineFontColor);
  c.TransparentText = true;
  RECT r = ClientRect();
  r.left += 2;
  c.TextRect(r, FInlineText, tfLeft | tfVCenter | tfSingleLine | tfNoPrefix);
}

LRESULT TVeltInternalEdit::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case kCNBase + WM_COMMAND:
      if (HIWORD(WParam) == EN_CHANGE) TextEdited();
      return 0;
    case WM_PAINT: {
      LRESULT r = TControl::WndProc(Msg, WParam, LParam);
      PaintInlineText();
      return r;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (!FInlineText.empty()) InvalidateRect(Handle(), nullptr, TRUE);
      break;
    case WM_LBUTTONDBLCLK:
      if (FOwnerEdit->OnDblClick) FOwnerEdit->OnDblClick(FOwnerEdit);
      break;
    default:
      break;
  }
  return TControl::WndProc(Msg, WParam, LParam);
}

// ---- TVeltEdit

TVeltEdit::TVeltEdit(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(Left(), Top(), 121, 34);
  SetColor(GetStyleColor(5));
  SetParentColor(true);
  SetFontWith([](TFont& f) { f.SetColor(GetStyleColor(1)); });
  FEdit = new TVeltInternalEdit(this);
  FEdit->SetParent(this);
  LayoutEdit();
}

void TVeltEdit::LayoutEdit() {
  if (!FEdit) return;
  TBitmap32 probe(1, 1);
  probe.Canvas().Font = Font();
  int h = probe.Canvas().TextHeight(L"Ag");
  int w = std::max(0, Width() - 10);
  int top = (Height() - h) / 2;
  // Keep the last row free for the frame.
  if (top + h > Height() - 1) h = std::max(0, Height() - 1 - top);
  FEdit->SetBounds(4, top, w, h);
}

void TVeltEdit::Resize() {
  LayoutEdit();
  TCustomControl::Resize();
}

void TVeltEdit::FontChanged() {
  TCustomControl::FontChanged();  // the inner edit takes the font as its parent's
  LayoutEdit();
}

void TVeltEdit::Paint(TCanvas& Canvas) {
  const int w = Width(), h = Height();
  RECT all = ClientRect();
  Canvas.BrushClear = false;
  Canvas.BrushColor = ColorToRGB(Color());
  Canvas.FillRect(all);
  Canvas.PenClear = false;
  Canvas.PenWidth = 1;
  Canvas.PenColor = Enabled() ? kBrandBlue : kDisabledBlue;
  Canvas.RoundRect(0, 0, w, h, 2, 2);
  SmoothCorners(Canvas, w, h);
}

void TVeltEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) FEdit->SetFocus();
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

LRESULT TVeltEdit::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_SETFOCUS) {
    // The frame never keeps the focus: typing goes to the inner edit.
    FEdit->SetFocus();
    return 0;
  }
  return TCustomControl::WndProc(Msg, WParam, LParam);
}

void TVeltEdit::SetEnabled(bool Value) {
  TCustomControl::SetEnabled(Value);
  FEdit->SetEnabled(Value);
  Invalidate();
}

void TVeltEdit::SetMaxLength(int Value) {
  FMaxLength = std::max(0, Value);
  if (FEdit->HandleAllocated()) SendMessageW(FEdit->Handle(), EM_SETLIMITTEXT, FMaxLength, 0);
}

void TVeltEdit::SetReadOnly(bool Value) {
  FReadOnly = Value;
  if (FEdit->HandleAllocated()) SendMessageW(FEdit->Handle(), EM_SETREADONLY, Value, 0);
}

void TVeltEdit::SetPasswordChar(wchar_t Value) {
  FPasswordChar = Value;
  if (FEdit->HandleAllocated()) {
    SendMessageW(FEdit->Handle(), EM_SETPASSWORDCHAR, Value, 0);
    InvalidateRect(FEdit->Handle(), nullptr, TRUE);
  }
}

void TVeltEdit::SetCharCase(TEditCharCase Value) {
  FCharCase = Value;
  if (!FEdit->HandleAllocated()) return;
  HWND w = FEdit->Handle();
  LONG_PTR s = GetWindowLongPtrW(w, GWL_STYLE) & ~(ES_UPPERCASE | ES_LOWERCASE);
  if (Value == ecUpperCase) s |= ES_UPPERCASE;
  if (Value == ecLowerCase) s |= ES_LOWERCASE;
  SetWindowLongPtrW(w, GWL_STYLE, s);
}

// ---- numbers only

std::wstring TVeltEdit::NormalizedText(std::wstring_view Text, bool ApplyMin) const {
  int32_t v;
  if (!TryStrToInt(Text, v)) return std::to_wstring(FDefaultValue);
  if (FMaxValue != 0 && v > FMaxValue) v = FMaxValue;
  if (ApplyMin && FMinValue != 0 && v < FMinValue) v = FMinValue;
  return std::to_wstring(v);
}

void TVeltEdit::Normalize(bool ApplyMin) {
  if (!FNumbersOnly) return;
  std::wstring text = GetText(), n = NormalizedText(text, ApplyMin);
  if (n == text) return;
  {
    FReplacing = true;
    auto done = ScopeExit([this] { FReplacing = false; });
    FEdit->SetEditText(n);
  }
  FEdit->SelectAll();
}

void TVeltEdit::EditChanged() {
  if (FReplacing) return;
  // While typing, only a minimum of 1 applies: a minimum of 10 would turn the
  // "1" of "15" into "10" before the "5" arrives.
  Normalize(FMinValue == 1);
  if (OnChange) OnChange(this);
}

bool TVeltEdit::StepValue(int Delta) {
  int32_t v;
  if (!TryStrToInt(GetText(), v)) v = 0;
  const int64_t next = int64_t(v) + Delta;
  const bool inRange = next >= FMinValue && next <= FMaxValue;
  if (!(FMinValue == FMaxValue || inRange)) return false;
  if (next < INT32_MIN || next > INT32_MAX) return false;
  FEdit->SetEditText(std::to_wstring(next));
  return true;
}

void TVeltEdit::SetDefaultValue(int32_t Value) {
  FDefaultValue = Value;
  Normalize(true);
}

void TVeltEdit::SetMinValue(int32_t Value) {
  if (Value != 0 && FMaxValue != 0 && Value > FMaxValue) return;  // refused: the old minimum stays
  FMinValue = Value;
  Normalize(true);
}

void TVeltEdit::SetMaxValue(int32_t Value) {
  if (Value != 0 && FMinValue != 0 && Value < FMinValue) Value = FMinValue;
  FMaxValue = Value;
  Normalize(true);
}

// ---- focus and the change guard

bool TVeltEdit::ChangeAllowed() {
  if (FChangeAllowed || !OnChanging) return true;
  bool allow = true;
  OnChanging(this, allow);
  FChangeAllowed = allow;
  return allow;
}

void TVeltEdit::EditEntered() {
  FChangeAllowed = false;
  Normalize(true);
  if (FAutoSelect) FEdit->SelectAll();
  Invalidate();
}

void TVeltEdit::EditLeft() {
  FChangeAllowed = false;
  Normalize(true);
  Invalidate();
}

}  // namespace vt
