#include "fw/uControls.h"

#include <windowsx.h>

#include <algorithm>

#include "fw/uForms.h"
#include "fw/uWinHandles.h"

namespace vt {

namespace {

constexpr wchar_t kControlProp[] = L"VtControl";

// Our window classes, registered when first used and unregistered at shutdown.
std::vector<std::wstring>& RegisteredClasses() {
  static std::vector<std::wstring>* list = new std::vector<std::wstring>();  // no destructor at exit
  return *list;
}

void RegisterOurClass(const std::wstring& Name, UINT Style);

TShiftState MouseShift(WPARAM WParam) {
  TShiftState s = 0;
  if (WParam & MK_SHIFT) s |= ssShift;
  if (WParam & MK_CONTROL) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

LPCWSTR CursorId(TCursor C) {
  switch (C) {
    case crHandPoint: return IDC_HAND;
    case crIBeam: return IDC_IBEAM;
    default: return IDC_ARROW;
  }
}

// The control the mouse is over (between its enter and leave).
TControl* gHoverControl = nullptr;

}  // namespace

LRESULT CALLBACK ControlWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TControl* c = TControl::FromHandle(Wnd);
  if (!c && Msg == WM_NCCREATE) {
    c = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams);
    if (c) c->AttachHandle(Wnd);
  }
  if (!c) return DefWindowProcW(Wnd, Msg, WParam, LParam);
  try {
    return c->WndProc(Msg, WParam, LParam);
  } catch (...) {
    // C++ exceptions must not unwind through the system's frames.
    if (TApplication* a = ApplicationInstance()) a->HandleException(std::current_exception());
    return 0;
  }
}

namespace {

void RegisterOurClass(const std::wstring& Name, UINT Style) {
  auto& list = RegisteredClasses();
  if (std::find(list.begin(), list.end(), Name) != list.end()) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = Style;
  wc.lpfnWndProc = ControlWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = Name.c_str();
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) RaiseLastOSError();
  list.push_back(Name);
}

}  // namespace

void UnregisterControlClasses() {
  for (const std::wstring& n : RegisteredClasses()) UnregisterClassW(n.c_str(), GetModuleHandleW(nullptr));
  RegisteredClasses().clear();
}

TShiftState KeyboardShiftState() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

// ---- TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  // Owned controls go first, while this control (their parent, often) still exists.
  DestroyComponents();
  for (TControl* c : FControls) c->FParent = nullptr;
  FControls.clear();
  DestroyHandle();
  RemoveFromParent();
  if (gHoverControl == this) gHoverControl = nullptr;
}

TControl* TControl::FromHandle(HWND Wnd) {
  return Wnd ? static_cast<TControl*>(GetPropW(Wnd, kControlProp)) : nullptr;
}

void TControl::AttachHandle(HWND Wnd) {
  FHandle = Wnd;
  SetPropW(Wnd, kControlProp, this);
}

HWND TControl::Handle() {
  if (!FHandle) CreateHandle();
  return FHandle;
}

void TControl::CreateParams(TCreateParams& P) {
  P.ClassName = L"VtControl";
  P.ClassStyle = CS_HREDRAW | CS_VREDRAW;
  P.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  if (FVisible) P.Style |= WS_VISIBLE;
  if (!FEnabled) P.Style |= WS_DISABLED;
  if (FTabStop) P.Style |= WS_TABSTOP;
  P.Caption = FText;
  P.X = FLeft;
  P.Y = FTop;
  P.Width = FWidth;
  P.Height = FHeight;
  if (!FParent) throw Exception(Format(L"Control '%s' has no parent window", {Name()}));
  P.WndParent = FParent->Handle();
}

void TControl::CreateHandle() {
  if (FHandle || FCreating) return;
  TCreateParams p;
  CreateParams(p);
  FCreating = true;
  auto done = ScopeExit([this] { FCreating = false; });
  if (!p.SystemClass) RegisterOurClass(p.ClassName, p.ClassStyle);
  HWND w = CreateWindowExW(p.ExStyle, p.ClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width, p.Height,
                           p.WndParent, nullptr, GetModuleHandleW(nullptr), p.SystemClass ? nullptr : this);
  if (!w) RaiseLastOSError();
  // Later siblings lie above earlier ones (the controls' order is the z-order);
  // the system would put a new child at the bottom.
  if (p.Style & WS_CHILD) SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (p.SystemClass) {
    AttachHandle(w);
    FOldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWndProc)));
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), FALSE);
  }
  CreateWnd();
  // Children get their windows with their parent, in z-order.
  for (TControl* c : FControls) c->CreateHandle();
}

void TControl::DestroyHandle() {
  if (FHandle) DestroyWindow(FHandle);  // WM_NCDESTROY clears FHandle (and the children's)
  FHandle = nullptr;
}

LRESULT TControl::DefaultHandler(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (FOldProc) return CallWindowProcW(FOldProc, FHandle, Msg, WParam, LParam);
  return DefWindowProcW(FHandle, Msg, WParam, LParam);
}

void TControl::RemoveFromParent() {
  if (!FParent) return;
  auto& list = FParent->FControls;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  FParent = nullptr;
}

void TControl::SetParent(TControl* Value) {
  if (Value == FParent) return;
  if (HandleAllocated()) DestroyHandle();
  TControl* old = FParent;
  RemoveFromParent();
  if (old) old->Realign();
  FParent = Value;
  if (!FParent) return;
  FParent->FControls.push_back(this);
  if (FParentFont) ParentFontChanged();
  if (FParentColor) ParentColorChanged();
  if (FParent->HandleAllocated()) CreateHandle();
  if (FAlign != alNone) FParent->Realign();
}

TForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->FParent) c = c->FParent;
  if (auto* f = dynamic_cast<const TForm*>(c)) return const_cast<TForm*>(f);
  for (TComponent* o = c->Owner(); o; o = o->Owner()) {
    if (auto* f = dynamic_cast<TForm*>(o)) return f;
  }
  return nullptr;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  int dw = AWidth - FWidth, dh = AHeight - FHeight;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  UpdateBounds();
  if (dw || dh) {
    AdjustAnchoredChildren(dw, dh);
    Realign();
    Resize();
  }
  if (FParent && FAlign != alNone && !FParent->FRealigning) FParent->Realign();
}

void TControl::UpdateBounds() {
  if (FHandle)
    SetWindowPos(FHandle, nullptr, FLeft, FTop, FWidth, FHeight, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

POINT TControl::ClientToScreen(POINT P) {
  ::ClientToScreen(Handle(), &P);
  return P;
}

POINT TControl::ScreenToClient(POINT P) {
  ::ScreenToClient(Handle(), &P);
  return P;
}

void TControl::AdjustAnchoredChildren(int DW, int DH) {
  for (TControl* c : FControls) {
    if (c->FAlign != alNone) continue;
    int l = c->FLeft, t = c->FTop, w = c->FWidth, h = c->FHeight;
    if (c->FAnchors & akRight) (c->FAnchors & akLeft) ? w += DW : l += DW;
    if (c->FAnchors & akBottom) (c->FAnchors & akTop) ? h += DH : t += DH;
    c->SetBounds(l, t, w, h);
  }
}

void TControl::SetAlign(TAlign Value) {
  if (Value == FAlign) return;
  FAlign = Value;
  if (FParent) FParent->Realign();
}

void TControl::SetAlignWithMargins(bool Value) {
  FAlignWithMargins = Value;
  if (FParent && FAlign != alNone) FParent->Realign();
}

void TControl::SetMargins(int L, int T, int R, int B) {
  FMargins = {L, T, R, B};
  SetAlignWithMargins(true);
}

// Aligned children fill the client area from the edges inwards: top, bottom,
// left, right, then the rest; each group in the order of its current position.
void TControl::Realign() {
  if (FRealigning) return;
  FRealigning = true;
  auto done = ScopeExit([this] { FRealigning = false; });
  RECT r = ClientRect();
  const TAlign order[] = {alTop, alBottom, alLeft, alRight, alClient};
  for (TAlign a : order) {
    std::vector<TControl*> group;
    for (TControl* c : FControls)
      if (c->FAlign == a && c->FVisible) group.push_back(c);
    std::stable_sort(group.begin(), group.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return x->FTop < y->FTop;
        case alBottom: return x->FTop + x->FHeight > y->FTop + y->FHeight;
        case alLeft: return x->FLeft < y->FLeft;
        case alRight: return x->FLeft + x->FWidth > y->FLeft + y->FWidth;
        default: return false;
      }
    });
    for (TControl* c : group) {
      TMargins m = c->FAlignWithMargins ? c->FMargins : TMargins{0, 0, 0, 0};
      int w = r.right - r.left - m.Left - m.Right, h = r.bottom - r.top - m.Top - m.Bottom;
      switch (a) {
        case alTop:
          c->SetBounds(r.left + m.Left, r.top + m.Top, w, c->FHeight);
          r.top += c->FHeight + m.Top + m.Bottom;
          break;
        case alBottom:
          c->SetBounds(r.left + m.Left, r.bottom - m.Bottom - c->FHeight, w, c->FHeight);
          r.bottom -= c->FHeight + m.Top + m.Bottom;
          break;
        case alLeft:
          c->SetBounds(r.left + m.Left, r.top + m.Top, c->FWidth, h);
          r.left += c->FWidth + m.Left + m.Right;
          break;
        case alRight:
          c->SetBounds(r.right - m.Right - c->FWidth, r.top + m.Top, c->FWidth, h);
          r.right -= c->FWidth + m.Left + m.Right;
          break;
        default:
          c->SetBounds(r.left + m.Left, r.top + m.Top, w, h);
          break;
      }
    }
  }
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->FParent)
    if (!c->FVisible) return false;
  return true;
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  if (FHandle) ShowWindow(FHandle, Value ? (FParent ? SW_SHOWNA : SW_SHOW) : SW_HIDE);
  if (FParent && FAlign != alNone) FParent->Realign();
  VisibleChanged();
}

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  if (FHandle) EnableWindow(FHandle, Value);
  EnabledChanged();
}

void TControl::EnabledChanged() { Invalidate(); }

void TControl::SetTabStop(bool Value) {
  FTabStop = Value;
  if (FHandle) {
    LONG_PTR s = GetWindowLongPtrW(FHandle, GWL_STYLE);
    SetWindowLongPtrW(FHandle, GWL_STYLE, Value ? (s | WS_TABSTOP) : (s & ~WS_TABSTOP));
  }
}

int TControl::TabOrder() const {
  if (!FParent) return -1;
  auto& l = FParent->FControls;
  return static_cast<int>(std::find(l.begin(), l.end(), this) - l.begin());
}

// The tab order is the order among the siblings (as the z-order).
void TControl::SetTabOrder(int Value) {
  if (!FParent) return;
  auto& l = FParent->FControls;
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
  Value = std::clamp(Value, 0, static_cast<int>(l.size()));
  l.insert(l.begin() + Value, this);
}

void TControl::SetFont(const TFont& Value) {
  FParentFont = false;
  FFont = Value;
  FontChanged();
}

void TControl::SetFontWith(const std::function<void(TFont&)>& Change) {
  TFont f = FFont;
  Change(f);
  SetFont(f);
}

void TControl::SetParentFont(bool Value) {
  FParentFont = Value;
  if (Value && FParent) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!FParent || !FParentFont) return;
  FFont = FParent->FFont;
  FontChanged();
}

void TControl::FontChanged() {
  if (FHandle && FOldProc) SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), TRUE);
  for (TControl* c : FControls)
    if (c->FParentFont) c->ParentFontChanged();
  Invalidate();
}

void TControl::SetColor(TColor Value) {
  FParentColor = false;
  if (Value == FColor) return;
  FColor = Value;
  ColorChanged();
}

void TControl::SetParentColor(bool Value) {
  FParentColor = Value;
  if (Value && FParent) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!FParent || !FParentColor) return;
  FColor = FParent->FColor;
  ColorChanged();
}

void TControl::ColorChanged() {
  for (TControl* c : FControls)
    if (c->FParentColor) c->ParentColorChanged();
  Invalidate();
}

HBRUSH TControl::ColorBrush() {
  TColor c = ColorToRGB(FColor);
  if (!FBrush || c != FBrushColor) {
    FBrush.Reset(CreateSolidBrush(c));
    FBrushColor = c;
  }
  return FBrush.Get();
}

void TControl::SetText(std::wstring_view Value) {
  if (Value == FText) return;
  FText = Value;
  if (FHandle) SetWindowTextW(FHandle, FText.c_str());
  TextChanged();
}

void TControl::TextChanged() { Invalidate(); }

void TControl::Invalidate() {
  if (FHandle) InvalidateRect(FHandle, nullptr, FALSE);
}

void TControl::Update() {
  if (FHandle) UpdateWindow(FHandle);
}

bool TControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->FParent)
    if (!c->FVisible || !c->FEnabled) return false;
  return true;
}

bool TControl::Focused() const { return FHandle && GetFocus() == FHandle; }

void TControl::SetFocus() {
  if (!CanFocus()) return;
  ::SetFocus(Handle());
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

bool TControl::DialogKey(WORD, TShiftState) { return false; }
void TControl::FocusChanged(TControl*) {}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}
void TControl::KeyDown(WORD& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}
void TControl::KeyPress(wchar_t& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}
void TControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TControl::DoExit() {
  if (OnExit) OnExit(this);
}
void TControl::Resize() {
  if (OnResize) OnResize(this);
}

LRESULT TControl::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_NCDESTROY: {
      LRESULT r = DefaultHandler(Msg, WParam, LParam);
      if (FOldProc) SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FOldProc));
      RemovePropW(FHandle, kControlProp);
      FOldProc = nullptr;
      FHandle = nullptr;
      if (gHoverControl == this) gHoverControl = nullptr;
      FMouseInControl = false;
      FClickPending = false;
      return r;
    }
    case WM_WINDOWPOSCHANGED: {
      // Moves and sizes made by the system (dragging a form) reach the fields.
      auto* wp = reinterpret_cast<WINDOWPOS*>(LParam);
      if (!(wp->flags & SWP_NOMOVE)) {
        FLeft = wp->x;
        FTop = wp->y;
      }
      if (!(wp->flags & SWP_NOSIZE) && (wp->cx != FWidth || wp->cy != FHeight)) SetBounds(FLeft, FTop, wp->cx, wp->cy);
      return DefaultHandler(Msg, WParam, LParam);
    }
    case WM_MOUSEMOVE: {
      // Moving onto another of our windows ends the hover of the previous one
      // at once; TrackMouseEvent covers leaving for windows that are not ours.
      if (gHoverControl && gHoverControl != this) gHoverControl->WndProc(WM_MOUSELEAVE, 0, 0);
      if (!FMouseInControl) {
        FMouseInControl = true;
        gHoverControl = this;
        TRACKMOUSEEVENT t{sizeof(t), TME_LEAVE, FHandle, 0};
        TrackMouseEvent(&t);
        MouseEnter();
      }
      MouseMove(MouseShift(WParam), GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam));
      break;
    }
    case WM_MOUSELEAVE:
      if (gHoverControl == this) gHoverControl = nullptr;
      if (FMouseInControl) {
        FMouseInControl = false;
        MouseLeave();
      }
      break;
    case WM_LBUTTONDOWN:
      FClickPending = true;
      SetCapture(FHandle);
      MouseDown(mbLeft, MouseShift(WParam), GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam));
      break;
    case WM_LBUTTONUP: {
      bool pending = FClickPending;
      FClickPending = false;
      if (GetCapture() == FHandle) ReleaseCapture();
      int x = GET_X_LPARAM(LParam), y = GET_Y_LPARAM(LParam);
      MouseUp(mbLeft, MouseShift(WParam), x, y);
      POINT p{x, y};
      RECT r = ClientRect();
      if (pending && PtInRect(&r, p)) Click();
      break;
    }
    case WM_RBUTTONDOWN:
      MouseDown(mbRight, MouseShift(WParam), GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam));
      break;
    case WM_RBUTTONUP:
      MouseUp(mbRight, MouseShift(WParam), GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam));
      break;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(LParam) != FHandle) FClickPending = false;
      break;
    case WM_SETCURSOR:
      if (LOWORD(LParam) == HTCLIENT && FCursor != crDefault) {
        ::SetCursor(LoadCursorW(nullptr, CursorId(FCursor)));
        return TRUE;
      }
      break;
    case WM_SETFOCUS:
      if (TForm* f = ParentForm(); f && f != this) f->ActiveChanged(this);
      DoEnter();
      break;
    case WM_KILLFOCUS:
      DoExit();
      break;
    case WM_KEYDOWN: {
      WORD key = static_cast<WORD>(WParam);
      KeyDown(key, KeyboardShiftState());
      if (key == 0) return 0;
      break;
    }
    case WM_CHAR: {
      wchar_t ch = static_cast<wchar_t>(WParam);
      KeyPress(ch);
      if (ch == 0) return 0;
      WParam = ch;
      break;
    }
    case WM_GETDLGCODE:
      if (!FOldProc) return DialogCode();
      break;
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
      // Handed back to the child that sent it.
      if (TControl* c = FromHandle(reinterpret_cast<HWND>(LParam)); c && c != this)
        return c->WndProc(kCNBase + Msg, WParam, LParam);
      break;
    case WM_DRAWITEM:
      if (TControl* c = FromHandle(reinterpret_cast<DRAWITEMSTRUCT*>(LParam)->hwndItem); c && c != this)
        return c->WndProc(kCNBase + Msg, WParam, LParam);
      break;
    case kCNBase + WM_CTLCOLOREDIT:
    case kCNBase + WM_CTLCOLORSTATIC:
    case kCNBase + WM_CTLCOLORLISTBOX:
    case kCNBase + WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(WParam);
      SetTextColor(dc, ColorToRGB(FFont.Color()));
      SetBkColor(dc, ColorToRGB(FColor));
      return reinterpret_cast<LRESULT>(ColorBrush());
    }
    case CM_INVALIDATE:
      Invalidate();
      return 0;
    default:
      if (Msg >= kCNBase && Msg < kCNBase + 0x400) return 0;
      break;
  }
  return DefaultHandler(Msg, WParam, LParam);
}

// ---- TCustomControl

void TCustomControl::Paint(TCanvas& Canvas) {
  Canvas.BrushColor = ColorToRGB(Color());
  RECT r = ClientRect();
  Canvas.FillRect(r);
}

void TCustomControl::PaintTo(TBitmap32& Target) {
  TCanvas& c = Target.Canvas();
  c.Font = Font();
  c.BrushColor = ColorToRGB(Color());
  Paint(c);
}

LRESULT TCustomControl::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_ERASEBKGND:
      return 1;  // everything is painted in WM_PAINT, double-buffered
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(Handle(), &ps);
      auto end = ScopeExit([&] { EndPaint(Handle(), &ps); });
      if (Width() > 0 && Height() > 0) {
        // One bitmap per control, made again only when the size changes:
        // a bar repaints for every step of a download or an installation.
        if (!FBuffer || FBuffer->Width() != Width() || FBuffer->Height() != Height())
          FBuffer = std::make_unique<TBitmap32>(Width(), Height());
        TCanvas& c = FBuffer->Canvas();
        c.RemoveClip();
        PaintTo(*FBuffer);
        FBuffer->CopyTo(dc, 0, 0);
      }
      return 0;
    }
    case WM_PRINTCLIENT: {
      if (Width() > 0 && Height() > 0) {
        TBitmap32 buffer(Width(), Height());
        PaintTo(buffer);
        buffer.CopyTo(reinterpret_cast<HDC>(WParam), 0, 0);
      }
      return 0;
    }
    default:
      return TControl::WndProc(Msg, WParam, LParam);
  }
}

// ---- TPanel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) { SetBounds(0, 0, 185, 41); }

void TPanel::Paint(TCanvas& Canvas) { TCustomControl::Paint(Canvas); }

// ---- TLabel

TLabel::TLabel(TComponent* AOwner) : TCustomControl(AOwner) {
  SetParentColor(true);
  SetBounds(0, 0, 65, 17);
}

void TLabel::SetAlignment(TTextAlign Value) {
  FAlignment = Value;
  Invalidate();
}

void TLabel::SetLayout(TTextLayout Value) {
  FLayout = Value;
  Invalidate();
}

void TLabel::SetWordWrap(bool Value) {
  FWordWrap = Value;
  Invalidate();
}

void TLabel::TextChanged() { Invalidate(); }

void TLabel::Paint(TCanvas& Canvas) {
  TCustomControl::Paint(Canvas);
  Canvas.Font = Font();
  if (!Enabled()) Canvas.Font.SetColor(clGrayText);
  Canvas.TransparentText = true;
  RECT r = ClientRect();
  unsigned flags = tfNoPrefix;
  flags |= FAlignment == taCenter ? tfCenter : FAlignment == taRightJustify ? tfRight : tfLeft;
  if (FWordWrap) {
    flags |= tfWordBreak;
    if (FLayout != tlTop) {
      // Word-wrapped text is placed vertically by measuring it first.
      RECT m = r;
      int h = Canvas.TextRect(m, Text(), flags | tfCalcRect);
      int top = FLayout == tlCenter ? (Height() - h) / 2 : Height() - h;
      r.top = std::max(0, top);
    }
  } else {
    flags |= tfSingleLine;
    if (FLayout == tlCenter) flags |= tfVCenter;
    if (FLayout == tlBottom) {
      int h = Canvas.TextHeight(L"Ag");
      r.top = std::max(0, Height() - h);
    }
  }
  Canvas.TextRect(r, Text(), flags);
}

LRESULT TLabel::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  return TCustomControl::WndProc(Msg, WParam, LParam);
}

// ---- TShape

TShape::TShape(TComponent* AOwner) : TCustomControl(AOwner) { SetBounds(0, 0, 65, 65); }

void TShape::SetBrushColor(TColor Value) {
  FBrushColor = Value;
  Invalidate();
}

void TShape::SetPenColor(TColor Value) {
  FPenColor = Value;
  Invalidate();
}

void TShape::Paint(TCanvas& Canvas) {
  Canvas.BrushColor = ColorToRGB(FBrushColor);
  Canvas.BrushClear = false;
  Canvas.PenColor = ColorToRGB(FPenColor);
  Canvas.PenWidth = 1;
  Canvas.PenClear = false;
  Canvas.Rectangle(0, 0, Width(), Height());
}

void TShape::CreateWnd() {
  SetWindowPos(Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT TShape::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // a picture on its parent: the mouse belongs to the parent
    case WM_WINDOWPOSCHANGING:
      // Always beneath its siblings, like a drawing on the parent's surface.
      reinterpret_cast<WINDOWPOS*>(LParam)->hwndInsertAfter = HWND_BOTTOM;
      reinterpret_cast<WINDOWPOS*>(LParam)->flags &= ~SWP_NOZORDER;
      return 0;
    default:
      return TCustomControl::WndProc(Msg, WParam, LParam);
  }
}

// ---- TButton

TButton::TButton(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(true);
  SetBounds(0, 0, 75, 25);
}

void TButton::Click() {
  if (!Enabled()) return;
  TCustomControl::Click();
  if (ModalResult != 0)
    if (TForm* f = ParentForm()) f->SetModalResult(ModalResult);
}

void TButton::Paint(TCanvas& Canvas) {
  TCustomControl::Paint(Canvas);
  Canvas.PenColor = ColorToRGB(clWindowText);
  Canvas.BrushClear = true;
  Canvas.Rectangle(0, 0, Width(), Height());
  Canvas.BrushClear = false;
  Canvas.Font = Font();
  RECT r = ClientRect();
  Canvas.TextRect(r, Text(), tfCenter | tfVCenter | tfSingleLine | tfNoPrefix);
}

// ---- TCheckBox

TCheckBox::TCheckBox(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(true);
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::SetState(TCheckBoxState Value) {
  if (Value == FState) return;
  FState = Value;
  Invalidate();
  TCustomControl::Click();
}

void TCheckBox::Toggle() {
  switch (FState) {
    case cbUnchecked: SetState(cbChecked); break;
    case cbChecked: SetState(AllowGrayed ? cbGrayed : cbUnchecked); break;
    default: SetState(cbUnchecked); break;
  }
}

void TCheckBox::Click() {
  if (Enabled()) Toggle();
}

void TCheckBox::KeyPress(wchar_t& Key) {
  TCustomControl::KeyPress(Key);
  if (Key == L' ' && Enabled()) {
    Toggle();
    Key = 0;
  }
}

void TCheckBox::Paint(TCanvas& Canvas) {
  TCustomControl::Paint(Canvas);
  int s = std::min(13, Height());
  int y = (Height() - s) / 2;
  Canvas.PenColor = ColorToRGB(clWindowText);
  Canvas.BrushColor = clWhite;
  Canvas.Rectangle(0, y, s, y + s);
  if (FState != cbUnchecked) {
    Canvas.BrushColor = FState == cbChecked ? ColorToRGB(clWindowText) : ColorToRGB(clGrayText);
    RECT in{3, y + 3, s - 3, y + s - 3};
    Canvas.FillRect(in);
  }
  Canvas.Font = Font();
  RECT r{s + 4, 0, Width(), Height()};
  Canvas.TextRect(r, Text(), tfLeft | tfVCenter | tfSingleLine | tfNoPrefix);
}

// ---- THintWindow

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
  SetVisible(false);
  SetColor(RGBColor(255, 255, 225));
}

void THintWindow::CreateParams(TCreateParams& P) {
  P.ClassName = L"VtHint";
  P.ClassStyle = CS_SAVEBITS;
  P.Style = WS_POPUP;
  P.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
  P.X = Left();
  P.Y = Top();
  P.Width = Width();
  P.Height = Height();
  P.WndParent = nullptr;
}

void THintWindow::ActivateHint(const RECT& Rect, std::wstring_view Text) {
  SetText(Text);
  SetBounds(Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top);
  HWND w = Handle();
  SetWindowPos(w, HWND_TOPMOST, Rect.left, Rect.top, Width(), Height(), SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(w, nullptr, FALSE);
  UpdateWindow(w);
}

void THintWindow::ReleaseHandle() { DestroyHandle(); }

void THintWindow::Paint(TCanvas& Canvas) {
  TCustomControl::Paint(Canvas);
  Canvas.Font = Font();
  RECT r = ClientRect();
  Canvas.TextRect(r, Text(), tfCenter | tfVCenter | tfSingleLine | tfNoPrefix);
}

}  // namespace vt
