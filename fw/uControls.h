// Controls: every control is a window of its own, created when first needed.
// Bounds, parent, visibility, enabling, font, colour, cursor, alignment with
// margins, anchors, hover, click, focus and tab order live here; a custom
// control paints itself on a canvas, double-buffered.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fw/uComponents.h"
#include "fw/uGraphics.h"

namespace vt {

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAnchorKind : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = unsigned;
enum TCursor { crDefault, crArrow, crHandPoint, crIBeam };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using TShiftState = unsigned;
// Shift, Alt and Ctrl as the keyboard holds them now.
TShiftState KeyboardShiftState();

struct TMargins {
  int Left = 3, Top = 3, Right = 3, Bottom = 3;
};

class TControl;
class TForm;
using TKeyEvent = std::function<void(TComponent* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TComponent* Sender, wchar_t& Key)>;
using TMouseEvent = std::function<void(TComponent* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TComponent* Sender, TShiftState Shift, int X, int Y)>;

// What a control's window is made of.
struct TCreateParams {
  std::wstring ClassName;   // ours (registered when first used) or a system class
  UINT ClassStyle = 0;      // of our own classes only
  bool SystemClass = false; // "EDIT", "LISTBOX", "BUTTON": made by Windows, then subclassed
  DWORD Style = 0;
  DWORD ExStyle = 0;
  std::wstring Caption;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
};

// Messages a parent hands back to the child they concern (WM_COMMAND,
// WM_DRAWITEM, WM_CTLCOLOR*): the child receives kCNBase + the message.
inline constexpr UINT kCNBase = 0xBC00;
// Posted by other threads to have a control repainted on the window thread.
inline constexpr UINT CM_INVALIDATE = 45108;

class TControl : public TComponent {
public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // ---- Window
  HWND Handle();  // creates the window (and its parents' windows) when needed
  bool HandleAllocated() const { return FHandle != nullptr; }
  void DestroyHandle();
  // The control behind a window of ours (or a subclassed system window); none otherwise.
  static TControl* FromHandle(HWND Wnd);

  // ---- Parent and children (layout, not ownership)
  TControl* Parent() const { return FParent; }
  void SetParent(TControl* Value);
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const { return FControls[Index]; }
  // The form this control is on (walking owners when it has no parent).
  TForm* ParentForm() const;

  // ---- Bounds (relative to the parent's client area)
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  RECT BoundsRect() const { return {FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
  RECT ClientRect() const { return {0, 0, FWidth, FHeight}; }
  POINT ClientToScreen(POINT P);
  POINT ScreenToClient(POINT P);

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);
  TMargins& Margins() { return FMargins; }
  bool AlignWithMargins() const { return FAlignWithMargins; }
  void SetAlignWithMargins(bool Value);
  void SetMargins(int L, int T, int R, int B);  // also turns AlignWithMargins on
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors Value) { FAnchors = Value; }
  // Places the aligned children again (also done on every resize).
  void Realign();

  // ---- State
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // The control and all its parents are visible.
  bool Showing() const;
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value);
  int TabOrder() const;
  void SetTabOrder(int Value);

  // ---- Looks
  const TFont& Font() const { return FFont; }
  void SetFont(const TFont& Value);  // also ends ParentFont
  // Changes one part of the font: SetFontWith([](TFont& f) { f.SetBold(true); }).
  void SetFontWith(const std::function<void(TFont&)>& Change);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);  // also ends ParentColor
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value) { FCursor = Value; }
  bool DoubleBuffered = true;

  void Invalidate();
  void Update();  // paints now what is invalid
  void Repaint() {
    Invalidate();
    Update();
  }

  // ---- Focus
  bool CanFocus() const;
  bool Focused() const;
  void SetFocus();
  // Whether the mouse is over the control (between enter and leave).
  bool MouseInControl() const { return FMouseInControl; }

  // ---- Events
  TNotifyEvent OnClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TNotifyEvent OnResize;

  // Fires OnClick (a control may refuse, for example while disabled).
  virtual void Click();
  // Called once the form that owns it has been built (its "design" is complete).
  virtual void Loaded() {}
  // Enter, Esc and Tab offered to every control of the form in turn when the
  // focused control does not want them; true takes the key.
  virtual bool DialogKey(WORD Key, TShiftState Shift);
  // The form's focus moved to NewFocus (none: away from the form).
  virtual void FocusChanged(TControl* NewFocus);

  // The window procedure of this control; the default handling of each message
  // is DefaultHandler. Exceptions never leave it.
  virtual LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam);

protected:
  virtual void CreateParams(TCreateParams& Params);
  // After the window exists (fonts, initial texts of system controls).
  virtual void CreateWnd() {}
  LRESULT DefaultHandler(UINT Msg, WPARAM WParam, LPARAM LParam);

  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void KeyDown(WORD& Key, TShiftState Shift);
  virtual void KeyPress(wchar_t& Key);
  virtual void DoEnter();
  virtual void DoExit();
  virtual void Resize();
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void EnabledChanged();
  virtual void VisibleChanged() {}
  // The window-class-independent text of the control (captions).
  const std::wstring& Text() const { return FText; }
  void SetText(std::wstring_view Value);
  virtual void TextChanged();
  // Answer to WM_GETDLGCODE (DLGC_*): which keys the control keeps for itself.
  virtual UINT DialogCode() { return 0; }
  // A brush in the control's colour, for system controls' colour messages.
  HBRUSH ColorBrush();
  // Whether a left press started on this control and has not been released.
  bool MouseCaptured() const { return FClickPending; }

private:
  friend class TForm;
  friend LRESULT CALLBACK ControlWndProc(HWND, UINT, WPARAM, LPARAM);
  void CreateHandle();
  void AttachHandle(HWND Wnd);
  void UpdateBounds();
  void AdjustAnchoredChildren(int DW, int DH);
  void ParentFontChanged();
  void ParentColorChanged();
  void RemoveFromParent();

  HWND FHandle = nullptr;
  WNDPROC FOldProc = nullptr;  // subclassed system window
  bool FCreating = false;
  TControl* FParent = nullptr;
  std::vector<TControl*> FControls;  // in z-order/creation order
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  TMargins FMargins;
  bool FAlignWithMargins = false;
  TAnchors FAnchors = akLeft | akTop;
  bool FVisible = true;
  bool FEnabled = true;
  bool FTabStop = false;
  TFont FFont;
  bool FParentFont = true;
  TColor FColor = clBtnFace;
  bool FParentColor = false;
  TCursor FCursor = crDefault;
  std::wstring FText;
  bool FMouseInControl = false;
  bool FClickPending = false;
  bool FRealigning = false;
  THBrush FBrush;
  TColor FBrushColor = 0xFFFFFFFFu;
};

// A control that paints itself: Paint draws on an off-screen 32-bit bitmap of
// the control's size, which is then copied to the screen.
class TCustomControl : public TControl {
public:
  using TControl::TControl;
  // Renders the control into Target (sized to the control) without a window:
  // what the screen would show, for pixel checks and pictures.
  void PaintTo(TBitmap32& Target);

protected:
  virtual void Paint(TCanvas& Canvas);
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  // The off-screen picture of the last paint, kept while the size stays.
  std::unique_ptr<TBitmap32> FBuffer;
};

enum TBevelCut { bvNone, bvLowered, bvRaised };

// A plain coloured area holding other controls.
class TPanel : public TCustomControl {
public:
  explicit TPanel(TComponent* AOwner);
  TBevelCut BevelOuter = bvNone;

protected:
  void Paint(TCanvas& Canvas) override;
};

enum TTextLayout { tlTop, tlCenter, tlBottom };

// A text; its background is its parent's colour unless given one. Links are
// labels with a link colour, a hand cursor and a click handler.
class TLabel : public TCustomControl, public ICaptioned {
public:
  explicit TLabel(TComponent* AOwner);
  std::wstring GetCaption() const override { return Text(); }
  void SetCaption(std::wstring_view Value) override { SetText(Value); }
  ICaptioned* Captioned() override { return this; }

  TTextAlign Alignment() const { return FAlignment; }
  void SetAlignment(TTextAlign Value);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);

protected:
  void Paint(TCanvas& Canvas) override;
  void TextChanged() override;
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  TTextAlign FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FWordWrap = false;
};

// A filled rectangle with a one-pixel frame.
class TShape : public TCustomControl {
public:
  explicit TShape(TComponent* AOwner);
  TColor BrushColor() const { return FBrushColor; }
  void SetBrushColor(TColor Value);
  TColor PenColor() const { return FPenColor; }
  void SetPenColor(TColor Value);

protected:
  void Paint(TCanvas& Canvas) override;
  void CreateWnd() override;
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  TColor FBrushColor = clWhite;
  TColor FPenColor = clBlack;
};

// A push button with a caption; clicking one with a ModalResult ends its modal form.
class TButton : public TCustomControl, public ICaptioned {
public:
  explicit TButton(TComponent* AOwner);
  std::wstring GetCaption() const override { return Text(); }
  void SetCaption(std::wstring_view Value) override { SetText(Value); }
  ICaptioned* Captioned() override { return this; }
  int ModalResult = 0;
  void Click() override;

protected:
  void Paint(TCanvas& Canvas) override;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A check box with a caption; changing Checked fires OnClick.
class TCheckBox : public TCustomControl, public ICaptioned {
public:
  explicit TCheckBox(TComponent* AOwner);
  std::wstring GetCaption() const override { return Text(); }
  void SetCaption(std::wstring_view Value) override { SetText(Value); }
  ICaptioned* Captioned() override { return this; }

  bool Checked() const { return FState == cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return FState; }
  virtual void SetState(TCheckBoxState Value);
  bool AllowGrayed = false;
  // The next state: unchecked, checked, then grayed when allowed.
  virtual void Toggle();

protected:
  void Paint(TCanvas& Canvas) override;
  void Click() override;
  void KeyPress(wchar_t& Key) override;

private:
  TCheckBoxState FState = cbUnchecked;
};

// A small top-most window that shows a text near the mouse without taking the
// focus; it has no parent control.
class THintWindow : public TCustomControl {
public:
  explicit THintWindow(TComponent* AOwner);
  // Shows Text in Rect (screen coordinates).
  virtual void ActivateHint(const RECT& Rect, std::wstring_view Text);
  // Hides the window and lets its window go.
  void ReleaseHandle();
  const std::wstring& HintText() const { return Text(); }

protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint(TCanvas& Canvas) override;
};

// Shutdown: the window classes registered for controls.
void UnregisterControlClasses();

}  // namespace vt
