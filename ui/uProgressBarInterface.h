// The progress bar as an interface: range, position, style and visibility.
#pragma once
#include <cstdint>

namespace vt {

enum TProgressBarType { ptNormal, ptWizard, ptAlert, ptChrisAlert, ptMarquee, ptMarqueeAuto };

class IProgressBar {
public:
  virtual void SetMin(int64_t Value) = 0;
  virtual int64_t GetMin() const = 0;
  virtual void SetMax(int64_t Value) = 0;
  virtual int64_t GetMax() const = 0;
  virtual void SetPosition(int64_t Value) = 0;
  virtual int64_t GetPosition() const = 0;
  virtual void SetProgressBarType(TProgressBarType Value) = 0;
  virtual TProgressBarType GetProgressBarType() const = 0;
  virtual void SetBarVisible(bool Value) = 0;
  virtual bool GetBarVisible() const = 0;

protected:
  ~IProgressBar() = default;
};

}  // namespace vt
