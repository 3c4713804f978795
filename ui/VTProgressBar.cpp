#include "ui/VTProgressBar.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "fw/uSysUtils.h"

namespace vt {

namespace {

// Rounds to the nearest integer, halves to even (the FPU's default mode).
int RoundEven(double X) { return static_cast<int>(std::nearbyint(X)); }

}  // namespace

// ---- TVtHint

TVtHint::TVtHint(TComponent* AOwner) : THintWindow(AOwner) {}

void TVtHint::ActivateHint(const RECT& Rect, std::wstring_view Text) {
  fActivating = true;
  auto done = ScopeExit([this] { fActivating = false; });
  RectHint = Rect;
  THintWindow::ActivateHint(Rect, Text);
  // The whole window, no rounded corners of a system hint.
  SetWindowRgn(Handle(), CreateRectRgn(0, 0, Width(), Height()), TRUE);
  InvalidateRect(Handle(), nullptr, FALSE);
  UpdateWindow(Handle());
}

void TVtHint::Paint(TCanvas& Canvas) {
  static constexpr TColor kColors[] = {clWhite, kSegmentExcluded, kSegmentAllowed, kSegmentUnsure, kSegmentDenied};
  Canvas.BrushColor = clWhite;
  RECT all = ClientRect();
  Canvas.FillRect(all);
  Canvas.BrushColor = kColors[(Status >= 1 && Status <= 4) ? Status : 0];
  RECT r{0, 0, Width(), std::max(0, Height() - 2)};
  Canvas.FillRect(r);
  Canvas.Font = FFont;
  Canvas.TransparentText = true;
  Canvas.TextRect(r, HintText(), tfCenter | tfVCenter | tfSingleLine | tfNoPrefix);
}

// ---- TAnimateThread

void TAnimateThread::Execute() {
  while (!Terminated()) {
    Sleep(10);
    {
      TCsLock lock(Progressbar->CSMarqueePosition);
      Progressbar->FAutoMarqueePosition = (Progressbar->FAutoMarqueePosition + 1) % 20;
    }
    // The window thread repaints; this thread never draws.
    if (HWND w = Progressbar->AnimationTarget()) PostMessageW(w, CM_INVALIDATE, 0, 0);
  }
}

// ---- TVtProgressBar

TVtProgressBar::TVtProgressBar(TComponent* AOwner) : TCustomControl(AOwner) {
  HintWnd = new TVtHint(this);
  DoubleBuffered = true;
  SetColor(clWhite);
  SetBounds(Left(), Top(), 150, 10);
  TFont f;
  f.SetName(L"Segoe UI");
  f.SetSize(10);
  f.SetBold(true);
  f.SetColor(13010177);
  SetFont(f);
}

TVtProgressBar::~TVtProgressBar() { StopAnimation(); }

void TVtProgressBar::Loaded() {
  TCustomControl::Loaded();
  CheckPercent();
}

int32_t TVtProgressBar::Percent() const {
  if (fMax == fMin) return 0;
  long double p = (static_cast<long double>(fPosition) - static_cast<long double>(fMin)) /
                      (static_cast<long double>(fMax) - static_cast<long double>(fMin)) * 100.0L +
                  1e-15L;
  p = std::trunc(p);
  // A position far outside the range must not overflow the result.
  const long double lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(p, lo, hi));
}

std::wstring TVtProgressBar::PercentText() const { return Format(L"%d %%", {Percent()}); }

void TVtProgressBar::CheckPercent() {
  int32_t p = Percent();
  if (p == FCurrPercent) return;
  FCurrPercent = p;
  if (OnTextChange) OnTextChange(this, PercentText());
}

void TVtProgressBar::SetMin(int64_t Value) {
  if (Value == fMin) return;
  fMin = Value;
  Invalidate();
  CheckPercent();
}

void TVtProgressBar::SetMax(int64_t Value) {
  if (Value == fMax) return;
  fMax = Value;
  Invalidate();
  CheckPercent();
}

void TVtProgressBar::SetPosition(int64_t Value) {
  if (Value == fPosition) return;
  fPosition = Value;
  CheckPercent();
  Invalidate();
}

void TVtProgressBar::SetProgressBarType(TProgressBarType Value) {
  if (Value == fProgressBarType) return;
  if (fProgressBarType == ptMarqueeAuto) StopAnimation();
  if (Value == ptMarqueeAuto) StartAnimation();
  fProgressBarType = Value;
  Invalidate();
}

HWND TVtProgressBar::AnimationTarget() const { return FAnimationWnd.load(); }

void TVtProgressBar::StartAnimation() {
  {
    TCsLock lock(CSMarqueePosition);
    FAutoMarqueePosition = 0;
  }
  if (FAnimateThread) return;
  FAnimationWnd = HandleAllocated() ? Handle() : nullptr;
  FAnimateThread = std::make_unique<TAnimateThread>(this);
  FAnimateThread->Start();
}

void TVtProgressBar::StopAnimation() {
  if (!FAnimateThread) return;
  FAnimateThread->Terminate();
  FAnimateThread->WaitFor();
  FAnimateThread.reset();
  FAnimationWnd = nullptr;
}

int32_t TVtProgressBar::MarqueePosition() {
  TCsLock lock(CSMarqueePosition);
  return FAutoMarqueePosition;
}

namespace {

template <class T>
bool Store(T& Field, const T& Value) {
  if (Field == Value) return false;
  Field = Value;
  return true;
}

}  // namespace

void TVtProgressBar::SetShowPosition(bool Value) {
  if (Store(fShowPosition, Value)) Invalidate();
}
void TVtProgressBar::SetBarText(const std::wstring& Value) {
  if (Store(fText, Value)) Invalidate();
}
void TVtProgressBar::SetTextAllowed(const std::wstring& Value) {
  if (Store(fTextAllowed, Value)) Invalidate();
}
void TVtProgressBar::SetTextExcluded(const std::wstring& Value) {
  if (Store(fTextExcluded, Value)) Invalidate();
}
void TVtProgressBar::SetTextUnsure(const std::wstring& Value) {
  if (Store(fTextUnsure, Value)) Invalidate();
}
void TVtProgressBar::SetTextDenied(const std::wstring& Value) {
  if (Store(fTextDenied, Value)) Invalidate();
}
void TVtProgressBar::SetProcAllowed(int32_t Value) {
  if (Store(fProcAllowed, Value)) Invalidate();
}
void TVtProgressBar::SetProcExcluded(int32_t Value) {
  if (Store(fProcExcluded, Value)) Invalidate();
}
void TVtProgressBar::SetProcUnsure(int32_t Value) {
  if (Store(fProcUnsure, Value)) Invalidate();
}
void TVtProgressBar::SetEnabled(bool Value) {
  if (Store(fEnabled, Value)) Invalidate();
}
void TVtProgressBar::SetShowBorder(bool Value) {
  if (Store(FShowBorder, Value)) Invalidate();
}
void TVtProgressBar::SetColorBorder(TColor Value) {
  FColorBorder = Value;
  Invalidate();
}
void TVtProgressBar::SetColorProgress(TColor Value) {
  FColorProgress = Value;
  Invalidate();
}
void TVtProgressBar::SetTextPosition(TProgressBarTextPosition Value) {
  FTextPosition = Value;
  Invalidate();
}
void TVtProgressBar::SetTextSpacing(int32_t Value) {
  FTextSpacing = Value;
  Invalidate();
}
void TVtProgressBar::SetSmoothProgressEdge(bool Value) {
  FSmoothProgressEdge = Value;
  Invalidate();
}

void TVtProgressBar::FontChanged() {
  TCustomControl::FontChanged();
  // The hint shows the same face, small.
  HintWnd->FFont = Font();
  HintWnd->FFont.SetSize(7);
}

int TVtProgressBar::FillWidth(int W, int G) const {
  if (fMax == fMin) return fPosition > fMin ? W + G : 0;
  double q = static_cast<double>(W + G) / (static_cast<double>(fMax) - static_cast<double>(fMin)) *
             (static_cast<double>(fPosition) - static_cast<double>(fMin));
  if (q > W + G || fPosition > fMax) return W + G;
  return RoundEven(q);
}

void TVtProgressBar::Paint(TCanvas& C) {
  const int W = Width(), H = Height();
  if (!Parent() || W <= 2 || H <= 2) return;
  C.Font = Font();
  const std::wstring text = PercentText();
  const int TH = C.TextHeight(text);

  RECT r{0, 0, W, H};
  if (fShowPosition && FTextPosition == pbtpUnder && fProgressBarType == ptNormal)
    r.bottom = H - TH - FTextSpacing;
  else if (fProgressBarType == ptWizard)
    r.bottom = H / 2;

  int f = 0;
  C.BrushColor = ColorToRGB(Color());
  C.BrushClear = false;
  C.FillRect(ClientRect());
  if (FShowBorder) {
    C.PenColor = kProgressBarColor;
    C.PenWidth = 1;
    C.PenClear = false;
    C.Rectangle(r.left, r.top, r.right, r.bottom);
    f = 1;
  }
  const int g = 1 - f;

  if (fProgressBarType == ptMarqueeAuto) {
    PaintMarquee(C, {r.left + f, r.top + f, r.right - 2 * f, r.bottom - 2 * f});
    return;
  }

  const int Q = FillWidth(W, g);
  // Fills have no outline: GDI then leaves the rectangle's last column and row out.
  C.PenClear = true;
  C.BrushColor = kProgressBarColor;
  switch (fProgressBarType) {
    case ptNormal:
    case ptWizard:
      C.Rectangle(r.left + f, r.top + f, Q, r.bottom + g);
      if (fProgressBarType == ptNormal && FSmoothProgressEdge && Q > 2 && Q < W) {
        for (int x = Q - 2; x <= Q; ++x)
          for (int y = r.top + f; y <= r.bottom + g; ++y) {
            TColor a = C.Pixel(x - 1, y), b = C.Pixel(x + 1, y);
            if (a > 0 && b > 0)
              C.SetPixel(x, y,
                         RGBColor((GetRValue32(a) + GetRValue32(b)) >> 1, (GetGValue32(a) + GetGValue32(b)) >> 1,
                                  (GetBValue32(a) + GetBValue32(b)) >> 1));
          }
      }
      break;
    case ptAlert:
    case ptChrisAlert:
      if (fEnabled)
        PaintSegments(C);
      else
        C.Rectangle(r.left + f, r.top + f, Q, r.bottom + g);
      break;
    case ptMarquee:
      C.Rectangle(std::max(Q - 20, f), r.top + f, Q, r.bottom + g);
      break;
    default:
      break;
  }
  C.PenClear = false;

  if (fProgressBarType == ptWizard) {
    C.PenColor = ColorToRGB(FColorBorder);
    for (int x : {20, RoundEven(W / 2.0), W - 20}) {
      C.MoveTo(x, H / 4);
      C.LineTo(x, H);
    }
  }

  if (fShowPosition && (fProgressBarType == ptNormal || fProgressBarType == ptWizard)) {
    C.TransparentText = true;
    int x = (W - C.TextWidth(text)) / 2;
    int y = FTextPosition == pbtpInside ? r.top + (r.bottom - r.top - TH) / 2 : r.bottom + FTextSpacing;
    C.TextOut(x, y, text);
  }
}

void TVtProgressBar::PaintMarquee(TCanvas& C, RECT R) {
  C.ClipRect({R.left, R.top, R.right + 1, R.bottom + 1});
  const int P = MarqueePosition();
  C.BrushColor = kProgressBarColor;
  C.PenColor = kProgressBarColor;
  C.PenClear = false;
  C.BrushClear = false;
  const int h = R.bottom - R.top;
  for (int x0 = P + R.left + R.top - R.bottom - 10; x0 < R.right; x0 += 20)
    C.Polygon({{x0, R.top}, {x0 + h, R.bottom}, {x0 + h + 10, R.bottom}, {x0 + 10, R.top}});
  C.RemoveClip();
}

std::wstring TVtProgressBar::FullLabel(int32_t Share, const std::wstring& Text) const {
  return Format(L"%d%% %s", {Share, Text});
}

TVtProgressBar::TSegments TVtProgressBar::SegmentWidths(TCanvas& C) {
  // The shares must fit into 100 (through the setters, so each change repaints).
  if (fProcExcluded > 100) SetProcExcluded(100);
  if (fProcAllowed > 100 - fProcExcluded) SetProcAllowed(100 - fProcExcluded);
  if (fProcUnsure > 100 - fProcExcluded - fProcAllowed) SetProcUnsure(100 - fProcExcluded - fProcAllowed);
  const int PE = fProcExcluded, PA = fProcAllowed, PU = fProcUnsure, PD = 100 - PE - PA - PU;
  const int V = Width() - 2;
  C.Font = Font();
  const int LE = C.TextWidth(FullLabel(PE, fTextExcluded)) + 4, LA = C.TextWidth(FullLabel(PA, fTextAllowed)) + 4,
            LU = C.TextWidth(FullLabel(PU, fTextUnsure)) + 4, LD = C.TextWidth(FullLabel(PD, fTextDenied)) + 4;

  int E = RoundEven(PE * V / 100.0), A = RoundEven(PA * V / 100.0), U = RoundEven(PU * V / 100.0);
  int D = V - E - A - U;
  if (fProgressBarType == ptChrisAlert) return {E, A, U, D};

  struct TSeg {
    int& W;
    int L;
    int P;
  };
  TSeg seg[4] = {{E, LE, PE}, {A, LA, PA}, {U, LU, PU}, {D, LD, PD}};
  // Raises the other segments with a share to their label widths.
  auto raiseOthers = [&](int except) {
    for (int i = 0; i < 4; ++i)
      if (i != except && seg[i].W < seg[i].L && seg[i].P > 0) seg[i].W = seg[i].L;
  };
  if (D < 0) {
    D = 0;
    U = V - A - E;
  }
  for (int i = 0; i < 4; ++i) {
    int t = RoundEven((seg[i].L - seg[i].W) / 3.0);
    int before = 0;
    for (int j = 0; j < i; ++j) before += seg[j].W;
    bool room = i == 0 || V - before > 0;
    if (room && seg[i].W < seg[i].L) {
      seg[i].W = seg[i].P == 0 ? 0 : seg[i].L;
      for (int j = 0; j < 4; ++j)
        if (j != i) seg[j].W -= t;
      raiseOthers(i);
    }
  }
  for (int divisor : {4, 3, 2}) {
    int O = E + A + U + D - V;
    if (divisor == 4)
      for (TSeg& s : seg) s.W = std::max(s.W, 0);
    int t = RoundEven(static_cast<double>(O) / divisor);
    for (TSeg& s : seg)
      if (s.P > 0) s.W = std::max(s.W - t, s.L);
  }
  const int O = E + A + U + D - V;
  if (PE > 0) E = E - O >= LE ? E - O : LE;
  if (PA > 0) A = std::max(A - O, LA);
  if (PU > 0) U = U - O >= LU ? U - O - 1 : LU;
  if (PD > 0) D = std::max(D - O, LD);
  return {E, A, U, D};
}

void TVtProgressBar::PaintSegments(TCanvas& C) {
  const int W = Width(), H = Height();
  TSegments s = SegmentWidths(C);
  const int PE = fProcExcluded, PA = fProcAllowed, PU = fProcUnsure, PD = 100 - PE - PA - PU;
  C.BrushClear = false;
  auto fill = [&](int x1, int x2, TColor c) {
    C.BrushColor = c;
    RECT r{x1, 1, x2, H - 1};
    C.FillRect(r);
  };
  fill(1, s.E, kSegmentExcluded);
  fill(s.E, s.E + s.A, kSegmentAllowed);
  int u0 = std::min(s.E + s.A, W);
  fill(u0, u0 + s.U, kSegmentUnsure);
  fill(std::min(s.E + s.A + s.U, W - 1), W - 1, kSegmentDenied);

  C.Font = Font();
  C.TransparentText = true;
  struct TLabelPart {
    int X, Width, Share;
    const std::wstring* Text;
  };
  const TLabelPart parts[] = {{0, s.E, PE, &fTextExcluded},
                              {s.E, s.A, PA, &fTextAllowed},
                              {s.E + s.A, s.U, PU, &fTextUnsure},
                              {s.E + s.A + s.U, s.D, PD, &fTextDenied}};
  for (const TLabelPart& p : parts) {
    if (p.Share <= 0) continue;
    std::wstring label = FullLabel(p.Share, *p.Text);
    if (fProgressBarType == ptChrisAlert) {
      std::wstring shorter = Format(L"%d%%", {p.Share}), bare = Format(L"%d", {p.Share});
      if (C.TextWidth(label) + 4 < p.Width) {
      } else if (C.TextWidth(shorter) + 4 < p.Width) {
        label = shorter;
      } else if (C.TextWidth(bare) + 4 < p.Width) {
        label = bare;
      } else {
        continue;
      }
    }
    SIZE e = C.TextExtent(label);
    C.TextOut(p.X + (p.Width - e.cx) / 2, (H - e.cy) / 2, label);
  }
}

void TVtProgressBar::MouseLeave() {
  TCustomControl::MouseLeave();
  IsMouse = false;
  CurHint = 0;
  HintWnd->ReleaseHandle();
}

void TVtProgressBar::HintTest(POINT Screen) {
  if (fProgressBarType != ptChrisAlert || !fEnabled) return;
  IsMouse = true;
  const int W = Width(), H = Height();
  POINT origin = ClientToScreen({0, 0});
  const int sx = origin.x, sy = origin.y;
  const int PE = fProcExcluded, PA = fProcAllowed, PU = fProcUnsure, PD = 100 - PE - PA - PU;
  const int b = RoundEven(PE * W / 100.0), q = RoundEven(PA * W / 100.0), r = RoundEven(PU * W / 100.0);
  struct TPart {
    int Seg, From, To, Share, Extra;
    const std::wstring* Text;
  };
  const TPart parts[] = {{1, sx + 1, sx + b, PE, 2, &fTextExcluded},
                         {2, sx + b, sx + b + q, PA, 4, &fTextAllowed},
                         {3, sx + b + q, sx + b + q + r, PU, 6, &fTextUnsure},
                         {4, sx + b + q + r, sx + W + 1, PD, 8, &fTextDenied}};
  for (const TPart& p : parts) {
    if (Screen.x < p.From || Screen.x >= p.To) continue;
    if (p.Seg == CurHint) return;
    HintWnd->Status = p.Seg;
    HintWnd->ReleaseHandle();
    TBitmap32 measure(1, 1);
    measure.Canvas().Font = Font();
    std::wstring label = FullLabel(p.Share, *p.Text);
    int L = measure.Canvas().TextWidth(label) + 4;
    int segW = p.To - p.From;
    if (L >= segW) {
      int left = p.From - RoundEven((L - segW) / 2.0) - p.Extra;
      HintWnd->ActivateHint({left, sy - H - 1, left + L + 4, sy - 1}, label);
    }
    CurHint = HintWnd->Status;
    return;
  }
}

LRESULT TVtProgressBar::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_NCHITTEST) {
    LRESULT r = TCustomControl::WndProc(Msg, WParam, LParam);
    if (r == HTCLIENT) HintTest({GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)});
    return r;
  }
  if (Msg == WM_NCDESTROY) FAnimationWnd = nullptr;
  LRESULT r = TCustomControl::WndProc(Msg, WParam, LParam);
  if (Msg == WM_CREATE) FAnimationWnd = Handle();
  return r;
}

}  // namespace vt
