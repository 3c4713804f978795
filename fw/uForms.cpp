#include "fw/uForms.h"

#include "fw/uThread.h"

#include <algorithm>

namespace vt {

namespace {

TApplication* gApplication = nullptr;

struct TDisabledWindows {
  HWND Keep;
  std::vector<HWND> List;
};

BOOL CALLBACK DisableOthers(HWND Wnd, LPARAM Param) {
  auto* d = reinterpret_cast<TDisabledWindows*>(Param);
  if (Wnd != d->Keep && IsWindowVisible(Wnd) && IsWindowEnabled(Wnd)) {
    EnableWindow(Wnd, FALSE);
    d->List.push_back(Wnd);
  }
  return TRUE;
}

}  // namespace

// ---- TForm

TForm::TForm(TComponent* AOwner) : TCustomControl(AOwner) {
  FVisible = false;
  SetBounds(0, 0, 320, 240);
}

TForm::~TForm() {
  // Controls first, while the form's handlers can still be reached.
  DestroyComponents();
  if (gApplication && gApplication->FMainForm == this) gApplication->FMainForm = nullptr;
}

void TForm::CreateParams(TCreateParams& P) {
  P.ClassName = L"VtForm";
  P.ClassStyle = 0;
  P.Style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  P.ExStyle = 0;
  P.Caption = Text();
  P.X = Left();
  P.Y = Top();
  P.Width = Width();
  P.Height = Height();
  // An owned window has no taskbar button; the main form owns none.
  P.WndParent = nullptr;
  if (Parent()) {
    P.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (Visible() ? WS_VISIBLE : 0);
    P.WndParent = Parent()->Handle();
    return;
  }
  TForm* ownerForm = nullptr;
  for (TComponent* o = Owner(); o && !ownerForm; o = o->Owner()) ownerForm = dynamic_cast<TForm*>(o);
  if (!ownerForm && gApplication && gApplication->MainForm() != this) ownerForm = gApplication->MainForm();
  if (ownerForm && ownerForm != this)
    P.WndParent = ownerForm->Handle();
  else
    P.ExStyle |= WS_EX_APPWINDOW;
}

void TForm::CreateWnd() {}

void TForm::Paint(TCanvas& Canvas) { TCustomControl::Paint(Canvas); }

void TForm::PlaceByPosition() {
  FPlaced = true;
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  RECT around = area;
  if (Position == poOwnerFormCenter) {
    for (TComponent* o = Owner(); o; o = o->Owner()) {
      if (auto* f = dynamic_cast<TForm*>(o); f && f->HandleAllocated()) {
        GetWindowRect(f->Handle(), &around);
        break;
      }
    }
  }
  if (Position == poDesigned) return;
  int x = around.left + (around.right - around.left - Width()) / 2;
  int y = around.top + (around.bottom - around.top - Height()) / 2;
  SetBounds(x, y, Width(), Height());
}

void TForm::ShowForm() {
  Handle();
  if (!FPlaced) PlaceByPosition();
  if (!Visible()) {
    SetVisible(true);
    DoShow();
  } else {
    ShowWindow(Handle(), SW_SHOW);
  }
}

void TForm::HideForm() {
  if (!Visible()) return;
  SetVisible(false);
  if (OnHide) OnHide(this);
}

void TForm::DoShow() {
  if (OnShow) OnShow(this);
  if (FActiveControl && FActiveControl->CanFocus()) FActiveControl->SetFocus();
}

int TForm::ShowModal() {
  if (FModal || Visible()) throw Exception(L"Cannot make a visible window modal");
  TDisabledWindows others{Handle(), {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableOthers, reinterpret_cast<LPARAM>(&others));
  HWND previousActive = GetActiveWindow();
  FModal = true;
  FModalResult = mrNone;
  auto restore = ScopeExit([&] {
    for (HWND w : others.List)
      if (IsWindow(w)) EnableWindow(w, TRUE);
    // Activate the window below before hiding, so the focus does not wander off.
    if (previousActive && IsWindow(previousActive)) SetActiveWindow(previousActive);
    FModal = false;
    HideForm();
  });
  ShowForm();
  while (FModalResult == mrNone) {
    Application().HandleMessage();
    if (Application().Terminated()) {
      FModalResult = mrCancel;
    } else if (FModalResult != mrNone) {
      TCloseAction action = caHide;
      DoClose(action);
      if (action == caNone) FModalResult = mrNone;
    }
  }
  return FModalResult;
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (gApplication && gApplication->MainForm() == this) {
    gApplication->Terminate();
    return;
  }
  HideForm();
  // caFree: the owner frees the form (forms are owned like every component).
}

void TForm::SetActiveControl(TControl* Value) {
  FActiveControl = Value;
  if (Value && HandleAllocated() && Visible() && Value->CanFocus()) Value->SetFocus();
}

void TForm::ActiveChanged(TControl* NewFocus) {
  FActiveControl = NewFocus;
  for (TControl* c : AllControls()) c->FocusChanged(NewFocus);
}

std::vector<TControl*> TForm::AllControls() const {
  std::vector<TControl*> out;
  // Depth first, each parent's children in order.
  std::function<void(const TControl*)> walk = [&](const TControl* p) {
    for (int i = 0; i < p->ControlCount(); ++i) {
      TControl* c = p->Controls(i);
      out.push_back(c);
      walk(c);
    }
  };
  walk(this);
  return out;
}

void TForm::SelectNext(bool Forward) {
  std::vector<TControl*> list;
  for (TControl* c : AllControls())
    if (c->TabStop() && c->CanFocus()) list.push_back(c);
  if (list.empty()) return;
  HWND focus = GetFocus();
  auto it = std::find_if(list.begin(), list.end(), [&](TControl* c) { return c->HandleAllocated() && c->Handle() == focus; });
  size_t n = list.size(), i;
  if (it == list.end())
    i = Forward ? 0 : n - 1;
  else
    i = Forward ? (static_cast<size_t>(it - list.begin()) + 1) % n : (static_cast<size_t>(it - list.begin()) + n - 1) % n;
  list[i]->SetFocus();
}

bool TForm::HandleDialogKey(WORD Key, TShiftState Shift) {
  if (Key == VK_TAB && !(Shift & (ssCtrl | ssAlt))) {
    SelectNext(!(Shift & ssShift));
    return true;
  }
  for (TControl* c : AllControls())
    if (c->Showing() && c->DialogKey(Key, Shift)) return true;
  return false;
}

void TForm::LoadedAll() {
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* c = dynamic_cast<TControl*>(Components(i))) c->Loaded();
  Loaded();
}

LRESULT TForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(WParam) != WA_INACTIVE && FActiveControl && FActiveControl->CanFocus()) {
        FActiveControl->SetFocus();
        return 0;
      }
      break;
    case WM_ACTIVATEAPP:
      if (gApplication) gApplication->ActivateChanged(WParam != 0);
      break;
    default:
      break;
  }
  return TCustomControl::WndProc(Msg, WParam, LParam);
}

// ---- TApplication

TApplication::TApplication() = default;
TApplication::~TApplication() = default;

void TApplication::Run() {
  if (FMainForm && ShowMainForm) FMainForm->ShowForm();
  while (!FTerminated) HandleMessage();
}

void TApplication::Terminate() {
  FTerminated = true;
  // Wakes a loop that waits for messages; no WM_QUIT, which would end a message box.
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

bool TApplication::ProcessMessage(MSG& Msg) {
  if (!PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Msg.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  if (!IsDialogMessage(Msg)) {
    TranslateMessage(&Msg);
    DispatchMessageW(&Msg);
  }
  return true;
}

void TApplication::HandleMessage() {
  MSG m;
  unsigned calls = SynchronizedCallCount();
  if (ProcessMessage(m)) return;
  // A synchronised call delivered while peeking may have changed what the
  // caller's loop waits for (a modal result): no idle wait this time.
  if (SynchronizedCallCount() != calls) return;
  bool done = true;
  try {
    if (OnIdle) OnIdle(done);
    for (size_t i = 0; i < FEvents.size(); ++i)
      if (FEvents[i]->OnIdle) FEvents[i]->OnIdle(FEvents[i], done);
  } catch (...) {
    HandleException(std::current_exception());
  }
  if (done && !FTerminated) MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void TApplication::ProcessMessages() {
  MSG m;
  while (ProcessMessage(m)) {
  }
}

bool TApplication::IsDialogMessage(MSG& Msg) {
  if (Msg.message != WM_KEYDOWN) return false;
  WORD key = static_cast<WORD>(Msg.wParam);
  if (key != VK_TAB && key != VK_RETURN && key != VK_ESCAPE) return false;
  TControl* c = TControl::FromHandle(Msg.hwnd);
  TForm* form = c ? c->ParentForm() : nullptr;
  if (!form) return false;
  UINT code = static_cast<UINT>(SendMessageW(Msg.hwnd, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&Msg)));
  if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return false;
  if (key == VK_TAB && (code & DLGC_WANTTAB)) return false;
  try {
    return form->HandleDialogKey(key, KeyboardShiftState());
  } catch (...) {
    HandleException(std::current_exception());
    return true;
  }
}

void TApplication::HandleException(std::exception_ptr E) {
  if (!OnException) return;
  try {
    OnException(E);
  } catch (...) {
  }
}

void TApplication::ActivateChanged(bool Active) {
  if (Active == FActive) return;
  FActive = Active;
  for (size_t i = 0; i < FEvents.size(); ++i) {
    TApplicationEvents* e = FEvents[i];
    const TNotifyEvent& ev = Active ? e->OnActivate : e->OnDeactivate;
    if (ev) ev(e);
  }
}

TApplication& Application() {
  if (!gApplication) throw Exception(L"The application object does not exist");
  return *gApplication;
}

TApplication* ApplicationInstance() { return gApplication; }

// ---- TApplicationEvents

TApplicationEvents::TApplicationEvents(TComponent* AOwner) : TComponent(AOwner) {
  if (gApplication) gApplication->FEvents.push_back(this);
}

TApplicationEvents::~TApplicationEvents() {
  if (gApplication) {
    auto& l = gApplication->FEvents;
    l.erase(std::remove(l.begin(), l.end(), this), l.end());
  }
}

void FormsInitialization() {
  if (!gApplication) gApplication = new TApplication();
}

void FormsFinalization() {
  delete gApplication;
  gApplication = nullptr;
  UnregisterControlClasses();
}

}  // namespace vt
