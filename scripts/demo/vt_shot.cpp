// Saves a picture of the setup's window once it shows a text:
//   vt_shot.exe OUT.png PREFIX [DELAY_MS] [TIMEOUT_MS]
// waits (at most TIMEOUT_MS, default 60000) until a control of the setup's
// window shows a text beginning with PREFIX, waits DELAY_MS more, then writes
// what the screen shows of the window. Exit code 0 when a picture was written.
#include <windows.h>

#include <cwchar>
#include <string>

#include "fw/uGraphics.h"

namespace {

struct TSearch {
  const wchar_t* Prefix;
  bool Found;
};

BOOL CALLBACK HasText(HWND Wnd, LPARAM Param) {
  auto* s = reinterpret_cast<TSearch*>(Param);
  wchar_t text[256];
  GetWindowTextW(Wnd, text, 256);
  if (wcsncmp(text, s->Prefix, wcslen(s->Prefix)) == 0) {
    s->Found = true;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const DWORD delay = argc > 3 ? _wtoi(argv[3]) : 0;
  const DWORD timeout = argc > 4 ? _wtoi(argv[4]) : 60000;
  const DWORD start = GetTickCount();
  HWND form = nullptr;
  for (;;) {
    form = FindWindowW(L"VtForm", nullptr);
    TSearch s{argv[2], false};
    if (form && IsWindowVisible(form)) EnumChildWindows(form, HasText, reinterpret_cast<LPARAM>(&s));
    if (s.Found) break;
    if (GetTickCount() - start > timeout) return 1;
    Sleep(10);
  }
  Sleep(delay);
  RECT r;
  if (!GetWindowRect(form, &r)) return 1;
  vt::GraphicsInitialization();
  bool ok;
  {
    vt::TBitmap32 shot(r.right - r.left, r.bottom - r.top);
    HDC screen = GetDC(nullptr);
    BitBlt(shot.DC(), 0, 0, shot.Width(), shot.Height(), screen, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    ok = shot.SaveToPng(argv[1]);
  }
  vt::GraphicsFinalization();
  return ok ? 0 : 1;
}
