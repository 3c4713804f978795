// Forms (top-level windows), the application object with its message loop and
// idle event, and modal forms.
#pragma once
#include <windows.h>

#include <exception>
#include <functional>
#include <vector>

#include "fw/uControls.h"

namespace vt {

enum TPosition { poDesigned, poScreenCenter, poOwnerFormCenter };
enum TCloseAction { caNone, caHide, caFree };
// Modal results.
inline constexpr int mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL;

using TCloseEvent = std::function<void(TComponent* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TComponent* Sender, bool& CanClose)>;

// A borderless top-level window. Its owner form (if any) is the window that owns
// it: an owned form has no taskbar button, the main form has one.
class TForm : public TCustomControl, public ICaptioned {
public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  std::wstring GetCaption() const override { return Text(); }
  void SetCaption(std::wstring_view Value) override { SetText(Value); }
  ICaptioned* Captioned() override { return this; }

  void SetClientSize(int W, int H) { SetBounds(Left(), Top(), W, H); }
  TPosition Position = poDesigned;

  // Shows the form (placing it by Position the first time).
  void ShowForm();
  void HideForm();
  // Shows the form modally: the other forms are disabled until ModalResult is
  // set (or the form is closed: mrCancel). Returns ModalResult.
  int ShowModal();
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int Value) { FModalResult = Value; }
  bool Modal() const { return FModal; }
  // Asks OnCloseQuery, then OnClose decides: hide, free or stay. Closing the
  // main form ends the application.
  void Close();

  TControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TControl* Value);
  // Moves the focus to the next (or previous) control that takes it, in tab order.
  void SelectNext(bool Forward);
  // Offers a dialog key (Enter, Esc, Tab) to the form's controls; true when taken.
  bool HandleDialogKey(WORD Key, TShiftState Shift);
  // Every control on the form, depth first in z-order.
  std::vector<TControl*> AllControls() const;

  // Marks every owned control loaded (the form's design is complete).
  void LoadedAll();

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void Paint(TCanvas& Canvas) override;
  virtual void DoShow();
  virtual void DoClose(TCloseAction& Action);
  virtual bool CloseQuery();

private:
  friend class TControl;
  void PlaceByPosition();
  void ActiveChanged(TControl* NewFocus);

  bool FPlaced = false;
  bool FModal = false;
  int FModalResult = mrNone;
  TControl* FActiveControl = nullptr;
};

class TApplicationEvents;

// The one application object: main form, message loop, idle, exceptions.
class TApplication {
public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  TForm* MainForm() const { return FMainForm; }
  // The first form made main owns the taskbar button.
  void SetMainForm(TForm* Form) { FMainForm = Form; }
  // False: the main form is never shown (quiet mode).
  bool ShowMainForm = true;

  // Shows the main form (unless ShowMainForm is false) and runs the message
  // loop until the main form has closed or Terminate was called.
  void Run();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // One message (false: none waiting; the idle event then ran and the loop waited).
  void HandleMessage();
  // Every message waiting now, without idling.
  void ProcessMessages();
  // Keys for the focused form before the message is dispatched: true when taken.
  bool IsDialogMessage(MSG& Msg);

  // An exception that escaped an event handler; the handler set here reports it.
  void HandleException(std::exception_ptr E);
  std::function<void(std::exception_ptr)> OnException;

  // Idle: the message queue has become empty. Done = false asks for another
  // idle call before waiting for messages.
  std::function<void(bool& Done)> OnIdle;

private:
  friend class TApplicationEvents;
  friend class TForm;
  bool ProcessMessage(MSG& Msg);
  void Idle();
  void ActivateChanged(bool Active);

  TForm* FMainForm = nullptr;
  bool FTerminated = false;
  bool FActive = false;
  std::vector<TApplicationEvents*> FEvents;
};

// The application object; exists between FormsInitialization and FormsFinalization.
TApplication& Application();
// The same, or none outside that time.
TApplication* ApplicationInstance();

// A component that hands the application's events to its owner.
class TApplicationEvents : public TComponent {
public:
  explicit TApplicationEvents(TComponent* AOwner);
  ~TApplicationEvents() override;
  std::function<void(TComponent* Sender, bool& Done)> OnIdle;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
};

// The framework's start-up (window classes, the application object) and
// shutdown, in the program's start-up order; the thread synchronisation and
// the drawing layer start before it.
void FormsInitialization();
void FormsFinalization();

}  // namespace vt
