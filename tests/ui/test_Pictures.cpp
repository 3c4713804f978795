// The built-in control pictures: every one is present in the executable's
// resources, has its size, and shows what defines it (the close cross, the
// check-box colours and tick, the two combo triangles).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fw/uGraphics.h"

namespace vt {
namespace {

class Pictures : public ::testing::Test {
protected:
  static void SetUpTestSuite() { GraphicsInitialization(); }
  static void TearDownTestSuite() { GraphicsFinalization(); }
};

constexpr uint32_t Argb(int R, int G, int B) { return 0xFF000000u | (R << 16) | (G << 8) | B; }
constexpr uint32_t kWhite = Argb(255, 255, 255), kHoverGrey = Argb(236, 236, 236);

bool Dark(uint32_t P) {
  return (P >> 24) == 255 && ((P >> 16) & 0xFF) < 96 && ((P >> 8) & 0xFF) < 96 && (P & 0xFF) < 96;
}
bool Transparent(uint32_t P) { return (P >> 24) < 32; }

TEST_F(Pictures, CaptionButtons) {
  const struct {
    const wchar_t* Name;
    int W, H;
  } buttons[] = {{L"QSMIN", 45, 26},  {L"QSMAX", 45, 26},  {L"QSRESTORE", 45, 26}, {L"QSCLOSE", 45, 26},
                 {L"QSHELP", 14, 12}, {L"QSLIKE", 14, 12}, {L"QSMENU", 14, 12}};
  for (auto& b : buttons)
    for (std::wstring suffix : {L"", L"HOVER"}) {
      std::wstring name = b.Name + suffix;
      SCOPED_TRACE(testing::PrintToString(name));
      TPngImage p;
    p.LoadFromResource(name);
      ASSERT_EQ(p.Width(), b.W);
      ASSERT_EQ(p.Height(), b.H);
      uint32_t bg = suffix.empty() ? kWhite : kHoverGrey;
      for (auto [x, y] : {std::pair{0, 0}, {b.W - 1, 0}, {0, b.H - 1}, {b.W - 1, b.H - 1}})
        EXPECT_EQ(p.PixelARGB(x, y), bg) << x << "," << y;
      int dark = 0;
      for (int y = 0; y < b.H; ++y)
        for (int x = 0; x < b.W; ++x) dark += Dark(p.PixelARGB(x, y));
      EXPECT_GE(dark, 8) << "a glyph";
    }
}

TEST_F(Pictures, CloseCrossIsTenByTenAtColumns17To26Rows9To18) {
  for (auto [name, bg] : {std::pair{L"QSCLOSE", kWhite}, {L"QSCLOSEHOVER", kHoverGrey}}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    TPngImage p;
    p.LoadFromResource(name);
    for (int y = 0; y < 26; ++y)
      for (int x = 0; x < 45; ++x) {
        bool onCross = y >= 9 && y <= 18 && (x - 17 == y - 9 || 26 - x == y - 9);
        uint32_t px = p.PixelARGB(x, y);
        if (onCross) {
          EXPECT_TRUE(Dark(px)) << x << "," << y;
        } else if (x < 17 || x > 26 || y < 9 || y > 18) {
          EXPECT_EQ(px, bg) << x << "," << y;
        }
      }
  }
}

TEST_F(Pictures, CheckBoxes) {
  const struct {
    const wchar_t* State;
    uint32_t Colour;
  } states[] = {{L"Norm", Argb(3, 133, 198)},
                {L"Hover", Argb(4, 169, 251)},
                {L"Click", Argb(2, 101, 151)},
                {L"Dis", Argb(203, 232, 249)}};
  for (auto& s : states) {
    const std::wstring ns = std::wstring(L"chb") + s.State + L"NS", sel = std::wstring(L"chb") + s.State + L"Sel";
    SCOPED_TRACE(testing::PrintToString(ns));
    // Unchecked: a square outline with a white inside.
    TPngImage p;
    p.LoadFromResource(ns);
    ASSERT_EQ(p.Width(), 17);
    ASSERT_EQ(p.Height(), 17);
    for (auto [x, y] : {std::pair{0, 0}, {16, 0}, {0, 16}, {16, 16}, {8, 0}, {0, 8}}) EXPECT_EQ(p.PixelARGB(x, y), s.Colour);
    for (auto [x, y] : {std::pair{1, 1}, {8, 8}, {15, 15}}) EXPECT_EQ(p.PixelARGB(x, y), kWhite);
    // Checked: a filled square with a white tick through (4, 8), (7, 11) and (12, 6).
    p.LoadFromResource(sel);
    ASSERT_EQ(p.Width(), 17);
    for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {15, 15}, {2, 14}, {8, 3}, {14, 10}}) EXPECT_EQ(p.PixelARGB(x, y), s.Colour);
    for (auto [x, y] : {std::pair{4, 8}, {5, 9}, {7, 11}, {10, 8}, {12, 6}}) EXPECT_EQ(p.PixelARGB(x, y), kWhite);
    // The switch-like pictures: a knob in a rounded track, left when off, right when on.
    p.LoadFromResource(ns + L"_Mode");
    ASSERT_EQ(p.Width(), 33);
    ASSERT_EQ(p.Height(), 16);
    EXPECT_TRUE(Transparent(p.PixelARGB(0, 0)));
    EXPECT_EQ(p.PixelARGB(8, 8), s.Colour);
    EXPECT_EQ(p.PixelARGB(25, 8), kWhite);
    p.LoadFromResource(sel + L"_Mode");
    ASSERT_EQ(p.Width(), 33);
    ASSERT_EQ(p.Height(), 16);
    EXPECT_TRUE(Transparent(p.PixelARGB(32, 15)));
    EXPECT_EQ(p.PixelARGB(8, 8), s.Colour);
    EXPECT_EQ(p.PixelARGB(25, 8), kWhite);
  }
}

TEST_F(Pictures, ComboButtonsAreTwoTriangles) {
  // Up triangle in rows 0 to 3 (2, 4, 6, 8 pixels wide), a gap, down triangle in rows 6 to 9.
  const std::vector<std::string> shape = {"...##...", "..####..", ".######.", "########", "........",
                                          "........", "########", ".######.", "..####..", "...##..."};
  std::vector<uint32_t> colours;
  for (const wchar_t* name : {L"ComboButton", L"ComboButtonHover", L"ComboButtonClick", L"ComboButtonDisabled"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    TPngImage p;
    p.LoadFromResource(name);
    ASSERT_EQ(p.Width(), 8);
    ASSERT_EQ(p.Height(), 10);
    uint32_t ink = p.PixelARGB(3, 0);
    EXPECT_EQ(ink >> 24, 255u);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 8; ++x) {
        if (shape[y][x] == '#') {
          EXPECT_EQ(p.PixelARGB(x, y), ink) << x << "," << y;
        } else {
          EXPECT_TRUE(Transparent(p.PixelARGB(x, y))) << x << "," << y;
        }
      }
    colours.push_back(ink);
  }
  // Normal is dark grey; each state has its own shade.
  const uint32_t r = (colours[0] >> 16) & 0xFF, g = (colours[0] >> 8) & 0xFF, b = colours[0] & 0xFF;
  EXPECT_LT(r, 128u);
  EXPECT_TRUE(r == g && g == b);
  for (size_t i = 0; i < colours.size(); ++i)
    for (size_t j = i + 1; j < colours.size(); ++j) EXPECT_NE(colours[i], colours[j]);
}

}  // namespace
}  // namespace vt
