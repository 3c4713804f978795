#include "common/UiTestUtils.h"

#include <gtest/gtest.h>

#include "ui/QsCombobox.h"
#include "ui/VtCheckBox.h"
#include "ui/uThreadImages.h"

#include <cstdio>
#include <string>

namespace vt::test {

namespace {

class TWindowsEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    GraphicsInitialization();
    FormsInitialization();
    VtCheckBoxInitialization();
    QsComboboxInitialization();
  }
  void TearDown() override {
    QsComboboxFinalization();
    VtCheckBoxFinalization();
    ThreadImagesFinalization();
    FormsFinalization();
    GraphicsFinalization();
  }
};

}  // namespace

bool UseWindows() {
  static const bool registered = (::testing::AddGlobalTestEnvironment(new TWindowsEnvironment), true);
  return registered;
}

bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs) {
  const DWORD start = GetTickCount();
  while (!Done()) {
    if (GetTickCount() - start > TimeoutMs) return false;
    Application().ProcessMessages();
    Sleep(5);
  }
  return true;
}

namespace {

void SendPointer(DWORD Flags, int X, int Y) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = MulDiv(X, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = MulDiv(Y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = Flags;
  SendInput(1, &in, sizeof(in));
}

}  // namespace

bool MoveMouse(int X, int Y) {
  // Wine warps the X pointer; an older position can come back from the X
  // server after the move, so the move is repeated until it holds.
  for (int attempt = 0; attempt < 5; ++attempt) {
    SendPointer(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, X, Y);
    bool there = PumpUntil([&] {
      POINT p;
      GetCursorPos(&p);
      return p.x == X && p.y == Y;
    }, 1000);
    if (!there) continue;
    // Still there a moment later: no late answer took it back.
    Application().ProcessMessages();
    Sleep(30);
    Application().ProcessMessages();
    POINT p;
    GetCursorPos(&p);
    if (p.x == X && p.y == Y) return true;
  }
  return false;
}

void MouseClickHere() {
  POINT p;
  GetCursorPos(&p);
  SendPointer(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE, p.x, p.y);
  SendPointer(MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE, p.x, p.y);
}

void ClickAt(TControl* Control, int X, int Y) {
  HWND w = Control->Handle();
  SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(X, Y));
  SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(X, Y));
  SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(X, Y));
}

void ClickCentre(TControl* Control) { ClickAt(Control, Control->Width() / 2, Control->Height() / 2); }

void HoverAt(TControl* Control, int X, int Y) {
  SendMessageW(Control->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(X, Y));
}

void PressKey(WORD Key) {
  HWND w = GetFocus();
  PostMessageW(w, WM_KEYDOWN, Key, 1);
  PostMessageW(w, WM_KEYUP, Key, 0xC0000001);
  Application().ProcessMessages();
}

void TypeText(const std::wstring& Text) {
  HWND w = GetFocus();
  for (wchar_t c : Text) PostMessageW(w, WM_CHAR, c, 1);
  Application().ProcessMessages();
}

THeldKey::THeldKey(BYTE Key) : FKey(Key) {
  BYTE state[256];
  GetKeyboardState(state);
  state[FKey] |= 0x80;
  SetKeyboardState(state);
}

THeldKey::~THeldKey() {
  BYTE state[256];
  GetKeyboardState(state);
  state[FKey] &= 0x7F;
  SetKeyboardState(state);
}

TBoxAnswerer::TBoxAnswerer(std::wstring Caption, DWORD TimeoutMs) : FCaption(std::move(Caption)) {
  FThread = std::thread([this, TimeoutMs] {
    const DWORD start = GetTickCount();
    while (!FStop && GetTickCount() - start < TimeoutMs) {
      HWND box = FindWindowW(L"#32770", FCaption.c_str());
      if (box && IsWindowVisible(box)) {
        wchar_t text[512] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 512);
        FTexts.push_back(text);
        DWORD_PTR r;
        SendMessageTimeoutW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
        // The box goes once its owner thread has handled the click.
        for (int i = 0; i < 200 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(10);
      }
      Sleep(20);
    }
  });
}

std::vector<std::wstring> TBoxAnswerer::Finish() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  return FTexts;
}

TBoxAnswerer::~TBoxAnswerer() { Finish(); }

TStep Do(std::function<void()> Action) {
  return [Action = std::move(Action)] {
    Action();
    return true;
  };
}

bool RunScripted(const std::function<void()>& Body, std::vector<TStep> Steps, const std::function<void()>& Abort,
                 DWORD TimeoutMs) {
  size_t next = 0;
  bool aborted = false;
  const DWORD start = GetTickCount();
  auto previous = Application().OnIdle;
  auto restore = ScopeExit([&] { Application().OnIdle = previous; });
  Application().OnIdle = [&](bool& Done) {
    Done = false;  // keep idling: the steps and the watchdog need the ticks
    if (next < Steps.size()) {
      if (Steps[next]()) ++next;
    } else if (!aborted && GetTickCount() - start > TimeoutMs) {
      aborted = true;
      Abort();
    }
    Sleep(2);
  };
  Body();
  return !aborted && next == Steps.size();
}

std::unique_ptr<TBitmap32> Render(TCustomControl* Control) {
  auto b = std::make_unique<TBitmap32>(Control->Width(), Control->Height());
  Control->PaintTo(*b);
  return b;
}

std::unique_ptr<TBitmap32> Grab(HWND Wnd) {
  RECT r;
  GetWindowRect(Wnd, &r);
  auto b = std::make_unique<TBitmap32>(r.right - r.left, r.bottom - r.top);
  UpdateWindow(Wnd);
  HDC screen = GetDC(nullptr);
  BitBlt(b->DC(), 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  return b;
}

std::string ColorText(TColor C) {
  char buf[32];
  snprintf(buf, sizeof buf, "(%d, %d, %d)", GetRValue32(C), GetGValue32(C), GetBValue32(C));
  return buf;
}

}  // namespace vt::test
