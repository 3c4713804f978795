// Driving real controls on real windows as a user would: window messages for
// clicks and keys, the system's input queue for the pointer, a watcher thread
// for message boxes, and scripted steps inside a modal loop.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fw/uForms.h"
#include "fw/uGraphics.h"

namespace vt::test {

// Registers (once per program) the test environment that starts the drawing
// layer, the window framework and the control pictures before the tests and
// stops them afterwards. Returns true; a test file keeps the result in a
// constant so the call happens before the tests run.
bool UseWindows();

// Runs the message loop until Done() or TimeoutMs have passed; false on time-out.
bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 5000);

// Moves the real pointer to screen point (X, Y) and waits until the system
// reports it there (the X server may answer late).
bool MoveMouse(int X, int Y);
// Presses and releases the left button where the pointer is.
void MouseClickHere();

// Left press and release at client point (X, Y) of the control, as messages.
void ClickAt(TControl* Control, int X, int Y);
void ClickCentre(TControl* Control);
// The pointer arriving at client point (X, Y) of the control, as a message.
void HoverAt(TControl* Control, int X, int Y);

// A key pressed and released in the focused window, then handled.
void PressKey(WORD Key);
// Characters typed into the focused window, then handled.
void TypeText(const std::wstring& Text);

// Holds a key (Shift, Alt) down in this thread's keyboard state while it lives.
class THeldKey {
public:
  explicit THeldKey(BYTE Key);
  ~THeldKey();
  THeldKey(const THeldKey&) = delete;
  THeldKey& operator=(const THeldKey&) = delete;

private:
  BYTE FKey;
};

// Watches for a message box with the caption for at most TimeoutMs, reads its
// text and presses its OK button; stops when destroyed.
class TBoxAnswerer {
public:
  explicit TBoxAnswerer(std::wstring Caption, DWORD TimeoutMs = 10000);
  ~TBoxAnswerer();
  TBoxAnswerer(const TBoxAnswerer&) = delete;
  TBoxAnswerer& operator=(const TBoxAnswerer&) = delete;
  // Waits for the watcher to end; the texts of the boxes it answered.
  std::vector<std::wstring> Finish();

private:
  std::wstring FCaption;
  std::atomic<bool> FStop{false};
  std::vector<std::wstring> FTexts;
  std::thread FThread;
};

// A step of a script: true when done, false to be called again at the next
// idle moment.
using TStep = std::function<bool()>;
// Runs Body (which shows a form modally) while the steps run one by one at
// the idle moments of its loop; when the steps are done and the loop still
// runs after TimeoutMs, Abort is called to end it. False when it had to.
bool RunScripted(const std::function<void()>& Body, std::vector<TStep> Steps, const std::function<void()>& Abort,
                 DWORD TimeoutMs = 15000);
// A step that runs Action once.
TStep Do(std::function<void()> Action);

// What the control would show now.
std::unique_ptr<TBitmap32> Render(TCustomControl* Control);
// The pixels of a window as the screen shows it.
std::unique_ptr<TBitmap32> Grab(HWND Wnd);

// The colour as (r, g, b) text for messages.
std::string ColorText(TColor C);

}  // namespace vt::test
