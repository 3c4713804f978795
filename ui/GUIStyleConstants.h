// The palette of the owner-drawn controls: colours by index, the button colour
// presets by state, and the corner softening the framed controls share.
#pragma once
#include <functional>

#include "fw/uComponents.h"
#include "fw/uGraphics.h"

namespace vt {

inline constexpr TColor kBrandBlue = 13010179;     // (3, 133, 198)
inline constexpr TColor kHoverBlue = 16492804;     // (4, 169, 251)
inline constexpr TColor kPressedBlue = 9921794;    // (2, 101, 151)
inline constexpr TColor kDisabledBlue = 16378059;  // (203, 232, 249)

// The colour of palette index Index (the light palette; the dark one is never
// selected in this setup); black for an index the palette does not know.
TColor GetStyleColor(int Index);

enum TButtonColorPreset { bcpCustom, bcpGeneral, bcpGeneralInversed, bcpAlternative, bcpAlternativeInversed };

// Button states as the colour table orders them.
enum TButtonPaintState { bpsNormal = 0, bpsHover = 1, bpsPressed = 2, bpsDisabled = 3 };

struct TButtonColors {
  TColor Background;
  TColor Text;
  TColor Frame;
  bool operator==(const TButtonColors&) const = default;
};

// The colours of a preset other than bcpCustom in a state.
TButtonColors PresetColors(TButtonColorPreset Preset, TButtonPaintState State);

// Softens a one-pixel rounded frame drawn over a W x H area: the pixels
// (0,0), (W-1,0), (0,H-1), (W-1,H-1), (1,1), (W-2,1), (1,H-2), (W-2,H-2), in
// that order, each become the per-channel average of the 3 x 3 block around
// them (a neighbour outside the area counts as the pixel itself).
void SmoothCorners(TCanvas& Canvas, int W, int H);

// Asked before a user change; setting Allow to false refuses it.
using TOnChangingEvent = std::function<void(TComponent* Sender, bool& Allow)>;

}  // namespace vt
