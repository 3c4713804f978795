// The owner-drawn progress bar: a flat bar with a one-pixel frame that reports
// its whole percentage as a text; also wizard, marquee and segmented styles.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "fw/uControls.h"
#include "fw/uThread.h"
#include "fw/uWinHandles.h"
#include "ui/uProgressBarInterface.h"

namespace vt {

enum TProgressBarTextPosition { pbtpInside, pbtpUnder };

using TVtPbTextChangeNotifyEvent = std::function<void(TComponent* Sender, const std::wstring& Text)>;

// The fixed colour of frame, fill and stripes.
inline constexpr TColor kProgressBarColor = 13010179;
// The segment colours of the segmented styles.
inline constexpr TColor kSegmentExcluded = 5879380;
inline constexpr TColor kSegmentAllowed = 2013063;
inline constexpr TColor kSegmentUnsure = 49407;
inline constexpr TColor kSegmentDenied = 11382271;

// The hint of a segment: its label on the segment's colour.
class TVtHint : public THintWindow {
public:
  explicit TVtHint(TComponent* AOwner);
  void ActivateHint(const RECT& Rect, std::wstring_view Text) override;

  bool fActivating = false;
  TFont FFont;
  int32_t Status = 0;
  RECT RectHint{};

protected:
  void Paint(TCanvas& Canvas) override;
};

class TVtProgressBar;

// Moves the marquee stripes of a bar: one pixel every 10 ms.
class TAnimateThread : public TThread {
public:
  explicit TAnimateThread(TVtProgressBar* AProgressbar) : Progressbar(AProgressbar) {}
  TVtProgressBar* Progressbar;

protected:
  void Execute() override;
};

class TVtProgressBar : public TCustomControl, public IProgressBar {
public:
  explicit TVtProgressBar(TComponent* AOwner);
  ~TVtProgressBar() override;

  int64_t Min() const { return fMin; }
  void SetMin(int64_t Value) override;
  int64_t Max() const { return fMax; }
  void SetMax(int64_t Value) override;
  int64_t Position() const { return fPosition; }
  void SetPosition(int64_t Value) override;
  TProgressBarType ProgressBarType() const { return fProgressBarType; }
  void SetProgressBarType(TProgressBarType Value) override;

  bool ShowPosition() const { return fShowPosition; }
  void SetShowPosition(bool Value);
  const std::wstring& BarText() const { return fText; }
  void SetBarText(const std::wstring& Value);
  void SetTextAllowed(const std::wstring& Value);
  void SetTextExcluded(const std::wstring& Value);
  void SetTextUnsure(const std::wstring& Value);
  void SetTextDenied(const std::wstring& Value);
  int32_t ProcAllowed() const { return fProcAllowed; }
  void SetProcAllowed(int32_t Value);
  int32_t ProcExcluded() const { return fProcExcluded; }
  void SetProcExcluded(int32_t Value);
  int32_t ProcUnsure() const { return fProcUnsure; }
  void SetProcUnsure(int32_t Value);
  // The bar's own switch for segmented painting and hints (the window stays enabled).
  bool Enabled() const { return fEnabled; }
  void SetEnabled(bool Value) override;
  TColor ColorBorder() const { return FColorBorder; }
  void SetColorBorder(TColor Value);
  TColor ColorProgress() const { return FColorProgress; }
  void SetColorProgress(TColor Value);
  TProgressBarTextPosition TextPosition() const { return FTextPosition; }
  void SetTextPosition(TProgressBarTextPosition Value);
  int32_t TextSpacing() const { return FTextSpacing; }
  void SetTextSpacing(int32_t Value);
  bool ShowBorder() const { return FShowBorder; }
  void SetShowBorder(bool Value);
  bool SmoothProgressEdge() const { return FSmoothProgressEdge; }
  void SetSmoothProgressEdge(bool Value);
  TVtPbTextChangeNotifyEvent OnTextChange;

  // The whole percentage of the position, and its text ("42 %").
  int32_t Percent() const;
  std::wstring PercentText() const;
  // The fill width for a bar of the given width (Q), frame flag g = 1 - f.
  int FillWidth(int W, int G) const;
  // The animation phase of the marquee (0..19), and whether a thread animates it.
  int32_t MarqueePosition();
  bool Animating() const { return static_cast<bool>(FAnimateThread); }
  TVtHint* HintWindow() const { return HintWnd; }
  int32_t CurrentHint() const { return CurHint; }

  // Segment widths (excluded, allowed, unsure, denied) for the control's
  // width as the segmented painting computes them on Canvas's font.
  struct TSegments {
    int E, A, U, D;
  };
  TSegments SegmentWidths(TCanvas& Canvas);

  void Loaded() override;

  // IProgressBar
  int64_t GetMin() const override { return fMin; }
  int64_t GetMax() const override { return fMax; }
  int64_t GetPosition() const override { return fPosition; }
  TProgressBarType GetProgressBarType() const override { return fProgressBarType; }
  void SetBarVisible(bool Value) override { SetVisible(Value); }
  bool GetBarVisible() const override { return Visible(); }

protected:
  void Paint(TCanvas& Canvas) override;
  void FontChanged() override;
  void MouseLeave() override;
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  friend class TAnimateThread;
  // The window the animation thread asks to repaint (none without a window).
  HWND AnimationTarget() const;
  void CheckPercent();
  void StartAnimation();
  void StopAnimation();
  void PaintMarquee(TCanvas& Canvas, RECT R);
  void PaintSegments(TCanvas& Canvas);
  std::wstring FullLabel(int32_t Share, const std::wstring& Text) const;
  void HintTest(POINT Screen);

  TVtHint* HintWnd;
  int32_t CurHint = 0;
  int64_t fMin = 0;
  int64_t fMax = 100;
  int32_t fProcAllowed = 25;
  int32_t fProcExcluded = 25;
  int32_t fProcUnsure = 25;
  int64_t fPosition = 0;
  TProgressBarType fProgressBarType = ptNormal;
  bool fShowPosition = false;
  std::wstring fText = L"Text1";
  std::wstring fTextAllowed = L"Allowed";
  std::wstring fTextExcluded = L"Excluded";
  std::wstring fTextUnsure = L"Unsure";
  std::wstring fTextDenied = L"Denied";
  bool fEnabled = true;
  bool IsMouse = false;
  TColor FColorBorder = 13010177;
  TColor FColorProgress = 13010177;
  TProgressBarTextPosition FTextPosition = pbtpUnder;
  int32_t FTextSpacing = 2;
  int32_t FCurrPercent = -1;
  bool FShowBorder = true;
  int32_t FAutoMarqueePosition = 0;
  std::unique_ptr<TAnimateThread> FAnimateThread;
  TCriticalSection CSMarqueePosition;
  bool FSmoothProgressEdge = false;
  std::atomic<HWND> FAnimationWnd{nullptr};
};

}  // namespace vt
