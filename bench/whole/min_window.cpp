// The peer of the setup's start-up benchmark: the least a Win32 program does
// to show a window like the setup's (borderless, 800 by 157, centred, white
// with a one-pixel border in the brand blue), built like the setup (mingw,
// static runtime, its manifest). It closes itself shortly after its first paint.
#include <windows.h>

namespace {

constexpr COLORREF kBorder = 13010179;  // the setup's border colour
bool gPainted = false;

LRESULT CALLBACK WndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(Wnd, &ps);
      RECT r;
      GetClientRect(Wnd, &r);
      FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      HBRUSH border = CreateSolidBrush(kBorder);
      FrameRect(dc, &r, border);
      DeleteObject(border);
      EndPaint(Wnd, &ps);
      if (!gPainted) SetTimer(Wnd, 1, 500, nullptr);
      gPainted = true;
      return 0;
    }
    case WM_TIMER:
      DestroyWindow(Wnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(Wnd, Msg, WParam, LParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE, PWSTR, int Show) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = Instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"VtMinWindow";
  if (!RegisterClassW(&wc)) return 1;
  const int w = 800, h = 157;
  HWND wnd = CreateWindowExW(WS_EX_APPWINDOW, wc.lpszClassName, L"Veltrano Shield", WS_POPUP,
                             (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h,
                             nullptr, nullptr, Instance, nullptr);
  if (!wnd) return 2;
  ShowWindow(wnd, Show);
  UpdateWindow(wnd);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}
