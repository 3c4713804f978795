#include "ui/GUIStyleConstants.h"

#include <utility>

namespace vt {

TColor GetStyleColor(int Index) {
  switch (Index) {
    case 1: return 7039851;    // (107, 107, 107)
    case 2: return 10921638;   // (166, 166, 166)
    case 4: return kBrandBlue;
    case 3: case 5: case 6: case 7: case 8: case 10: case 14: return clWhite;
    case 9: return 16750899;   // (51, 153, 255)
    case 11: case 12: return 14276821;  // (213, 216, 217)
    case 13: return 15592680;  // (232, 236, 237)
    case 15: return 16710648;  // (248, 251, 254)
    default: return clBlack;
  }
}

TButtonColors PresetColors(TButtonColorPreset Preset, TButtonPaintState State) {
  static constexpr TColor kBlueRow[] = {kBrandBlue, kHoverBlue, kPressedBlue, kDisabledBlue};
  static constexpr TColor kGreenRow[] = {3974199, 5490509, 2721060, 12709605};
  const int s = (State >= bpsNormal && State <= bpsDisabled) ? State : bpsNormal;
  switch (Preset) {
    case bcpGeneral: return {kBlueRow[s], clWhite, kBlueRow[s]};
    case bcpAlternative: return {kGreenRow[s], clWhite, kGreenRow[s]};
    case bcpAlternativeInversed: return {clWhite, kGreenRow[s], kGreenRow[s]};
    case bcpGeneralInversed:
    default: return {clWhite, kBlueRow[s], kBlueRow[s]};
  }
}

void SmoothCorners(TCanvas& Canvas, int W, int H) {
  const int w = W, h = H;
  if (w <= 0 || h <= 0) return;
  const std::pair<int, int> points[] = {{0, 0},     {w - 1, 0},     {0, h - 1},     {w - 1, h - 1},
                                        {1, 1},     {w - 2, 1},     {1, h - 2},     {w - 2, h - 2}};
  for (auto [x, y] : points) {
    if (x < 0 || y < 0 || x >= w || y >= h) continue;
    const TColor self = Canvas.Pixel(x, y);
    unsigned r = 0, g = 0, b = 0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        int nx = x + dx, ny = y + dy;
        TColor c = (nx < 0 || ny < 0 || nx >= w || ny >= h) ? self : Canvas.Pixel(nx, ny);
        r += GetRValue32(c);
        g += GetGValue32(c);
        b += GetBValue32(c);
      }
    Canvas.SetPixel(x, y, RGBColor(uint8_t(r / 9), uint8_t(g / 9), uint8_t(b / 9)));
  }
}

}  // namespace vt
