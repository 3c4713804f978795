#include "ui/QsCombobox.h"

#include <algorithm>
#include <array>

#include "log/DebugLogUtils.h"

namespace vt {

namespace {

// Posted to a combo box: the lists it closed can go now that their own
// messages have been handled.
constexpr UINT CM_RELEASELISTS = WM_APP + 0x3C1;
// Posted to an open list: take the foreground and the input again.
constexpr UINT CM_ACTIVATELIST = WM_APP + 0x3C2;

// Freed by QsComboboxFinalization, never by a static destructor.
std::array<TPngImage*, 4> gButtons{};
constexpr const wchar_t* kButtonNames[] = {L"ComboButton", L"ComboButtonHover", L"ComboButtonClick",
                                           L"ComboButtonDisabled"};

TFont MakeFont(int Height, TColor Color) {
  TFont f;
  f.SetName(L"Segoe UI");
  f.SetHeight(Height);
  f.SetColor(Color);
  return f;
}

}  // namespace

const TPngImage* ComboButtonPicture(TComboButtonPicture Which) {
  return (Which >= cbpNormal && Which <= cbpDisabled) ? gButtons[Which] : nullptr;
}

void QsComboboxInitialization() {
  for (size_t i = 0; i < gButtons.size(); ++i) {
    if (gButtons[i]) continue;
    auto p = std::make_unique<TPngImage>();
    try {
      p->LoadFromResource(kButtonNames[i]);
      gButtons[i] = p.release();
    } catch (const std::exception& e) {
      LogException(&e, std::wstring(L"Combo box picture left out: ") + kButtonNames[i]);
    }
  }
}

void QsComboboxFinalization() {
  for (TPngImage*& p : gButtons) {
    delete p;
    p = nullptr;
  }
}

// ---- the hidden edit of the editable styles

class TQsCombobox::TComboEdit : public TControl {
public:
  explicit TComboEdit(TQsCombobox* ACombo) : TControl(ACombo), FCombo(ACombo) {
    SetVisible(false);
    SetParentColor(true);
  }
  std::wstring GetText() {
    HWND w = Handle();
    std::wstring s(static_cast<size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
    s.resize(static_cast<size_t>(GetWindowTextW(w, s.data(), static_cast<int>(s.size()))));
    return s;
  }
  void SelectAll() { SendMessageW(Handle(), EM_SETSEL, 0, -1); }

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override {
    if (Msg == kCNBase + WM_COMMAND) {
      if (HIWORD(WParam) == EN_CHANGE) FCombo->EditChanged();
      return 0;
    }
    LRESULT r = TControl::WndProc(Msg, WParam, LParam);
    if (Msg == WM_KILLFOCUS) FCombo->HideEdit();
    return r;
  }

protected:
  void CreateParams(TCreateParams& P) override {
    TControl::CreateParams(P);
    P.ClassName = L"EDIT";
    P.SystemClass = true;
    P.Style = (P.Style & ~WS_CLIPCHILDREN) | ES_AUTOHSCROLL | ES_LEFT;
  }
  void KeyDown(WORD& Key, TShiftState Shift) override {
    TControl::KeyDown(Key, Shift);
    if (Key == VK_UP || Key == VK_DOWN) {
      if (FCombo->ChangeAllowed()) FCombo->StepIndex(Key == VK_DOWN ? 1 : -1, true);
      Key = 0;
    }
  }

private:
  TQsCombobox* FCombo;
};

// ---- TNoFocusRectListBox

TNoFocusRectListBox::TNoFocusRectListBox(TComponent* AOwner, TQsCombobox* ACombo)
    : TControl(AOwner), FCombo(ACombo) {
  SetTabStop(true);
}

void TNoFocusRectListBox::CreateParams(TCreateParams& P) {
  TControl::CreateParams(P);
  P.ClassName = L"LISTBOX";
  P.SystemClass = true;
  P.Style = (P.Style & ~WS_CLIPCHILDREN) | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT |
            LBS_NOTIFY;
}

void TNoFocusRectListBox::CreateWnd() {
  HWND w = Handle();
  SendMessageW(w, LB_SETITEMHEIGHT, 0, FItemHeight);
  for (const TComboItem& item : FCombo->Items()) SendMessageW(w, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.Text.c_str()));
  SendMessageW(w, LB_SETCURSEL, static_cast<WPARAM>(FCombo->ItemIndex()), 0);
}

int TNoFocusRectListBox::ItemIndex() const {
  if (!HandleAllocated()) return -1;
  return static_cast<int>(SendMessageW(const_cast<TNoFocusRectListBox*>(this)->Handle(), LB_GETCURSEL, 0, 0));
}

void TNoFocusRectListBox::SetItemIndex(int Value) {
  if (HandleAllocated()) SendMessageW(Handle(), LB_SETCURSEL, static_cast<WPARAM>(Value), 0);
}

void TNoFocusRectListBox::DrawItem(const DRAWITEMSTRUCT& Item) {
  TCanvas c(Item.hDC);
  const bool selected = (Item.itemState & ODS_SELECTED) != 0;
  c.BrushClear = false;
  c.BrushColor = ColorToRGB(selected ? FCombo->FListSelectionColor : FCombo->FListColor);
  c.FillRect(Item.rcItem);
  if (Item.itemID == static_cast<UINT>(-1) || Item.itemID >= FCombo->Items().size()) return;
  c.Font = FCombo->FFontList;
  if (selected) c.Font.SetColor(FCombo->FListSelectionTextColor);
  c.TransparentText = true;
  RECT r = Item.rcItem;
  r.left += 4;
  c.TextRect(r, FCombo->Items()[Item.itemID].Text, tfLeft | tfVCenter | tfSingleLine | tfNoPrefix);
  // No focus rectangle, whatever the state says.
}

bool TNoFocusRectListBox::DialogKey(WORD Key, TShiftState Shift) {
  if (Shift & (ssShift | ssCtrl | ssAlt)) return false;
  if (Key == VK_RETURN) {
    FCombo->CloseUp(true);
    return true;
  }
  if (Key == VK_ESCAPE) {
    FCombo->CloseUp(false);
    return true;
  }
  return false;
}

LRESULT TNoFocusRectListBox::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case kCNBase + WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(LParam));
      return TRUE;
    case WM_MOUSEMOVE: {
      // The entry under the mouse is the selected one.
      DWORD hit = static_cast<DWORD>(SendMessageW(Handle(), LB_ITEMFROMPOINT, 0, LParam));
      if (HIWORD(hit) == 0 && static_cast<int>(LOWORD(hit)) != ItemIndex()) SetItemIndex(LOWORD(hit));
      break;
    }
    case WM_LBUTTONUP: {
      LRESULT r = TControl::WndProc(Msg, WParam, LParam);
      FCombo->CloseUp(true);  // the window stays until the combo box releases it
      return r;
    }
    default:
      break;
  }
  return TControl::WndProc(Msg, WParam, LParam);
}

// ---- TDropDownForm

TDropDownForm::TDropDownForm(TQsCombobox* AOwnerCombo) : TForm(nullptr), FOwnerCombo(AOwnerCombo) {
  SetColor(kBrandBlue);  // shows as the one-pixel frame around the list
  FListBox = new TNoFocusRectListBox(this, AOwnerCombo);
  FListBox->SetParent(this);
  FListBox->SetMargins(1, 1, 1, 1);
  FListBox->SetAlign(alClient);
  SetActiveControl(FListBox);
}

void TDropDownForm::CreateParams(TCreateParams& P) {
  TForm::CreateParams(P);
  P.ClassName = L"VtDropDown";
  P.ClassStyle = CS_DROPSHADOW;
  P.Style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  // Top-most and without a taskbar button; it does not take activation by
  // clicks, so the box's form keeps looking active.
  P.ExStyle = WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
  // No owner: the list is a window of the desktop, above whatever is modal.
  P.WndParent = nullptr;
}

LRESULT TDropDownForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_ACTIVATE:
      if (LOWORD(WParam) == WA_INACTIVE && FOwnerCombo->DropDownForm() == this) FOwnerCombo->ListDeactivated();
      break;
    case CM_ACTIVATELIST:
      if (Visible()) {
        SetForegroundWindow(Handle());
        FListBox->SetFocus();
      }
      return 0;
    default:
      break;
  }
  return TForm::WndProc(Msg, WParam, LParam);
}

// ---- TQsCombobox

TQsCombobox::TQsCombobox(TComponent* AOwner)
    : TCustomControl(AOwner),
      FColorDisabled(GetStyleColor(8)),
      FFontDisabled(MakeFont(13, 7237230)),  // (110, 110, 110)
      FListColor(GetStyleColor(7)),
      FFontList(MakeFont(11, clBlack)),
      FListSelectionTextColor(GetStyleColor(10)),
      FListSelectionColor(GetStyleColor(9)) {
  SetBounds(Left(), Top(), 145, 34);
  SetColor(GetStyleColor(7));
  SetFont(MakeFont(13, kBrandBlue));
  SetTabStop(true);
  AppEvents = new TApplicationEvents(this);
  AppEvents->OnDeactivate = [this](TComponent*) { CloseUp(false); };
}

TQsCombobox::~TQsCombobox() {
  FForm.reset();
  FClosed.clear();
}

void TQsCombobox::SetStyle(TComboBoxStyle Value) {
  FStyle = Value;
  if (!Editable()) HideEdit();
  Invalidate();
}

void TQsCombobox::SetEnabled(bool Value) {
  if (!Value) CloseUp(false);
  TCustomControl::SetEnabled(Value);
  Invalidate();
}

void TQsCombobox::AddItem(std::wstring_view Text, void* Object) {
  FItems.push_back({std::wstring(Text), Object});
  if (FForm && FForm->ListBox()->HandleAllocated())
    SendMessageW(FForm->ListBox()->Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FItems.back().Text.c_str()));
}

void TQsCombobox::Clear() {
  FItems.clear();
  ShowIndex(-1);
  if (FForm && FForm->ListBox()->HandleAllocated()) SendMessageW(FForm->ListBox()->Handle(), LB_RESETCONTENT, 0, 0);
}

void TQsCombobox::ShowIndex(int Value) {
  FItemIndex = std::clamp(Value, -1, ItemCount() - 1);
  FText = FItemIndex >= 0 ? FItems[FItemIndex].Text : std::wstring();
  if (FEdit && FEdit->HandleAllocated()) {
    FSettingEditText = true;
    auto done = ScopeExit([this] { FSettingEditText = false; });
    SetWindowTextW(FEdit->Handle(), FText.c_str());
  }
  Invalidate();
}

void TQsCombobox::SetItemIndex(int Value) {
  ShowIndex(Value);
  if (FForm) FForm->ListBox()->SetItemIndex(FItemIndex);
}

void TQsCombobox::StepIndex(int Delta, bool FromEdit) {
  ShowIndex(FItemIndex + Delta);
  if (FromEdit && FEdit) FEdit->SelectAll();
  if (OnSelect) OnSelect(this);
}

bool TQsCombobox::ChangeAllowed() {
  if (FChangeAllowed || !OnChanging) return true;
  bool allow = true;
  OnChanging(this, allow);
  FChangeAllowed = allow;
  return allow;
}

// ---- the list

int TQsCombobox::ListItemHeight() {
  TBitmap32 probe(1, 1);
  probe.Canvas().Font = FFontList;
  return probe.Canvas().TextHeight(L"Ag") + 4;
}

RECT TQsCombobox::PlaceList(const RECT& ComboScreen, int ListWidth, int ListHeight, const RECT& WorkArea) {
  RECT r{ComboScreen.left, ComboScreen.bottom, 0, 0};
  const int workHeight = WorkArea.bottom - WorkArea.top;
  if (ListHeight > workHeight) {
    ListHeight = workHeight;
    r.top = WorkArea.top;
  } else if (r.top + ListHeight > WorkArea.bottom) {
    r.top = std::max<LONG>(WorkArea.top, ComboScreen.top - ListHeight);
  }
  r.right = r.left + ListWidth;
  r.bottom = r.top + ListHeight;
  return r;
}

void TQsCombobox::DropDownIt() {
  if (!ChangeAllowed()) {
    HideEdit();
    FMouseDown = false;
    Invalidate();
    return;
  }
  CloseUp(false);
  const int itemHeight = ListItemHeight();
  const int shown = std::min(FDropDownCount, ItemCount());
  RECT box;
  GetWindowRect(Handle(), &box);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST), &mi)) work = mi.rcWork;
  RECT place = PlaceList(box, Width(), shown * itemHeight + 4, work);

  FForm = std::make_unique<TDropDownForm>(this);
  TDropDownForm* form = FForm.get();
  form->ListBox()->SetItemHeight(itemHeight);
  form->SetBounds(place.left, place.top, place.right - place.left, place.bottom - place.top);
  form->ShowForm();
  if (FForm.get() != form) return;  // closed again while it appeared
  SetWindowPos(form->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(form->Handle());
  form->ListBox()->SetFocus();
  // A changing handler may have shown a window of its own: the list takes the
  // input again once that is done.
  if (OnChanging) PostMessageW(form->Handle(), CM_ACTIVATELIST, 0, 0);
  if (OnDropDown) OnDropDown(this);
}

void TQsCombobox::CloseUp(bool Commit) {
  if (!FForm) return;
  if (Commit) {
    const int index = FForm->ListBox()->ItemIndex();
    if (index >= 0) {
      ShowIndex(index);
      if (OnChange) OnChange(this);
      if (OnSelect) OnSelect(this);
    }
    FChangeAllowed = false;
  }
  if (!FForm) return;  // a handler closed it already
  std::unique_ptr<TDropDownForm> form = std::move(FForm);
  form->HideForm();
  FClosed.push_back(std::move(form));
  if (HandleAllocated()) PostMessageW(Handle(), CM_RELEASELISTS, 0, 0);
  FMouseDown = false;
  Invalidate();
  // The box's form takes the activation back from the list.
  if (TForm* f = ParentForm(); f && f->HandleAllocated() && IsWindowVisible(f->Handle()) && IsWindowEnabled(f->Handle()))
    SetForegroundWindow(f->Handle());
  if (OnCloseUp) OnCloseUp(this);
}

void TQsCombobox::ListDeactivated() {
  POINT p;
  GetCursorPos(&p);
  p = ScreenToClient(p);
  RECT button = ButtonRect(), all = ClientRect();
  // The click on the box that took the activation is still to come: it toggles the list.
  if (FStyle == csDropDown && PtInRect(&button, p)) return;
  if (FStyle == csDropDownList && PtInRect(&all, p)) return;
  CloseUp(false);
}

void TQsCombobox::ReleaseClosedForms() { FClosed.clear(); }

// ---- the editable styles

void TQsCombobox::ShowEdit() {
  if (!FEdit) {
    FEdit = new TComboEdit(this);
    FEdit->SetParent(this);
  }
  TBitmap32 probe(1, 1);
  probe.Canvas().Font = Font();
  const int h = probe.Canvas().TextHeight(L"Ag");
  const int right = FStyle == csSimple ? Width() - 7 : ButtonRect().left;
  FEdit->SetBounds(FTextIndent, (Height() - h) / 2, std::max(0, right - FTextIndent), h);
  {
    FSettingEditText = true;
    auto done = ScopeExit([this] { FSettingEditText = false; });
    SetWindowTextW(FEdit->Handle(), FText.c_str());
  }
  FEdit->Show();
  FEdit->SetFocus();
  FEdit->SelectAll();
}

void TQsCombobox::HideEdit() {
  if (FEdit && FEdit->Visible()) FEdit->Hide();
}

void TQsCombobox::EditChanged() {
  if (FSettingEditText || !FEdit) return;
  FText = FEdit->GetText();
  FItemIndex = -1;
  if (OnChange) OnChange(this);
}

// ---- painting

RECT TQsCombobox::ButtonRect() const {
  const TPngImage* p = ComboButtonPicture(cbpNormal);
  const int pw = p ? p->Width() : 8;
  return {Width() - pw - 7, 0, Width() - 7, Height()};
}

void TQsCombobox::Paint(TCanvas& Canvas) {
  const int w = Width(), h = Height();
  const bool enabled = Enabled();
  RECT all = ClientRect();
  Canvas.BrushClear = false;
  Canvas.BrushColor = ColorToRGB(enabled ? Color() : FColorDisabled);
  Canvas.FillRect(all);

  const TPngImage* pic = ComboButtonPicture(!enabled ? cbpDisabled : FMouseDown ? cbpClick : FHover ? cbpHover : cbpNormal);
  const int pw = pic ? pic->Width() : 8, ph = pic ? pic->Height() : 10;
  Canvas.Font = enabled ? Font() : FFontDisabled;
  Canvas.TransparentText = true;
  RECT text{FTextIndent, 0, w - pw - 7, h};
  Canvas.TextRect(text, FText, tfLeft | tfVCenter | tfSingleLine | tfNoPrefix);
  if (FStyle != csSimple && pic) pic->Draw(Canvas, w - pw - 7, (h - ph) / 2);

  if (BevelInner != bvNone || BevelOuter != bvNone) {
    Canvas.PenClear = false;
    Canvas.PenWidth = 1;
    Canvas.PenColor = !enabled ? FBorderColorDisabled : FMouseDown ? FBorderColorClick
                                                     : FMouseOnConrol ? FBorderColorHover : FBorderColor;
    Canvas.BrushClear = true;
    Canvas.Rectangle(0, 0, w, h);
    Canvas.BrushClear = false;
    SmoothCorners(Canvas, w, h);
  }
  if (Focused()) Canvas.DrawFocusRect({2, 2, w - pw - 9, h - 2});
}

void TQsCombobox::FontChanged() {
  TCustomControl::FontChanged();
  Invalidate();
}

// ---- mouse, keys, focus

void TQsCombobox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (!Focused() && CanFocus()) SetFocus();
  POINT p{X, Y};
  RECT button = ButtonRect();
  if (FStyle != csSimple && PtInRect(&button, p)) {
    FMouseDown = true;
    Repaint();
    if (FForm)
      CloseUp(false);
    else
      DropDownIt();
  } else if (!Editable()) {
    if (FForm)
      CloseUp(false);
    else
      DropDownIt();
  } else {
    ShowEdit();
  }
}

void TQsCombobox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && FMouseDown) {
    FMouseDown = false;
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TQsCombobox::MouseMove(TShiftState Shift, int X, int Y) {
  POINT p{X, Y};
  RECT button = ButtonRect();
  const bool hover = FStyle != csSimple && PtInRect(&button, p);
  if (hover != FHover || !FMouseOnConrol) {
    FHover = hover;
    FMouseOnConrol = true;
    Invalidate();
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TQsCombobox::MouseLeave() {
  FHover = false;
  FMouseDown = false;
  FMouseOnConrol = false;
  Invalidate();
  TCustomControl::MouseLeave();
}

void TQsCombobox::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if ((Key == VK_UP || Key == VK_DOWN) && !(Shift & ssAlt)) {
    if (ChangeAllowed()) StepIndex(Key == VK_DOWN ? 1 : -1, false);
    Key = 0;
  }
}

void TQsCombobox::DoEnter() {
  FChangeAllowed = false;
  Invalidate();
  TCustomControl::DoEnter();
}

void TQsCombobox::DoExit() {
  if (!FForm) FChangeAllowed = false;  // the list taking the focus keeps the allowance
  Invalidate();
  TCustomControl::DoExit();
}

LRESULT TQsCombobox::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case CM_RELEASELISTS:
      ReleaseClosedForms();
      return 0;
    case WM_SYSKEYDOWN:
      if (WParam == VK_DOWN && (KeyboardShiftState() & ssAlt)) {
        if (!FForm) DropDownIt();
        return 0;
      }
      break;
    case WM_DESTROY:
      // The box goes: its list goes with it, without events.
      FForm.reset();
      FClosed.clear();
      break;
    default:
      break;
  }
  return TCustomControl::WndProc(Msg, WParam, LParam);
}

}  // namespace vt
