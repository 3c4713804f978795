// The drawing layer on off-screen bitmaps: exact pixels of GDI shapes, alpha
// blending of PNG pictures, refusal of bad picture data, text placement.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/TestUtils.h"
#include "fw/uGraphics.h"
#include "fw/uSysUtils.h"

namespace vt {
namespace {

constexpr TColor kRed = RGBColor(255, 0, 0), kGreen = RGBColor(0, 160, 0), kBlue = RGBColor(0, 0, 255);

class Graphics : public ::testing::Test {
protected:
  static void SetUpTestSuite() { GraphicsInitialization(); }
  static void TearDownTestSuite() { GraphicsFinalization(); }
};

void Fill(TBitmap32& B, TColor C) {
  B.Canvas().BrushColor = C;
  B.Canvas().FillRect({0, 0, B.Width(), B.Height()});
}

struct TProbe {
  int X, Y;
  TColor C;
};

struct TShapeCase {
  const char* Name;
  std::function<void(TCanvas&)> Draw;
  std::vector<TProbe> Probes;
};

constexpr TColor W = clWhite;

TEST_F(Graphics, ShapesTouchExactlyTheirPixels) {
  const TShapeCase cases[] = {
      {"FillRect excludes right and bottom",
       [](TCanvas& c) {
         c.BrushColor = kRed;
         c.FillRect({2, 3, 6, 8});
       },
       {{2, 3, kRed}, {5, 7, kRed}, {6, 7, W}, {5, 8, W}, {1, 3, W}, {2, 2, W}}},
      {"Rectangle: pen outline, brush inside, right and bottom excluded",
       [](TCanvas& c) {
         c.PenColor = kBlue;
         c.BrushColor = kGreen;
         c.Rectangle(1, 1, 9, 7);
       },
       {{1, 1, kBlue}, {8, 1, kBlue}, {8, 6, kBlue}, {1, 6, kBlue}, {4, 3, kGreen}, {7, 5, kGreen}, {9, 3, W}, {4, 7, W}}},
      {"Rectangle without brush keeps the inside",
       [](TCanvas& c) {
         c.PenColor = kBlue;
         c.BrushClear = true;
         c.Rectangle(1, 1, 9, 7);
       },
       {{1, 1, kBlue}, {8, 6, kBlue}, {4, 3, W}}},
      {"Rectangle without pen is brush only",
       [](TCanvas& c) {
         c.PenClear = true;
         c.BrushColor = kGreen;
         c.Rectangle(1, 1, 9, 7);
       },
       {{1, 1, kGreen}, {4, 3, kGreen}, {0, 0, W}}},
      {"FrameRect is one pixel inside the rectangle",
       [](TCanvas& c) { c.FrameRect({2, 2, 8, 8}, kRed); },
       {{2, 2, kRed}, {7, 7, kRed}, {7, 2, kRed}, {8, 8, W}, {4, 4, W}}},
      {"LineTo leaves out its end point",
       [](TCanvas& c) {
         c.PenColor = kRed;
         c.MoveTo(1, 5);
         c.LineTo(8, 5);
       },
       {{1, 5, kRed}, {7, 5, kRed}, {8, 5, W}, {0, 5, W}}},
      {"Polygon is filled",
       [](TCanvas& c) {
         c.PenColor = kBlue;
         c.BrushColor = kRed;
         c.Polygon({{2, 2}, {14, 2}, {2, 14}});
       },
       {{2, 2, kBlue}, {4, 4, kRed}, {12, 12, W}}},
      {"RoundRect cuts its corners",
       [](TCanvas& c) {
         c.PenColor = kBlue;
         c.BrushColor = kGreen;
         c.RoundRect(0, 0, 12, 12, 6, 6);
       },
       {{0, 0, W}, {11, 11, W}, {6, 0, kBlue}, {0, 6, kBlue}, {6, 6, kGreen}}},
      {"ClipRect limits drawing until removed",
       [](TCanvas& c) {
         c.ClipRect({0, 0, 5, 5});
         c.BrushColor = kRed;
         c.FillRect({0, 0, 20, 20});
         c.RemoveClip();
         c.BrushColor = kBlue;
         c.FillRect({10, 10, 12, 12});
       },
       {{4, 4, kRed}, {5, 4, W}, {4, 5, W}, {10, 10, kBlue}}},
      {"SetPixel sets one pixel",
       [](TCanvas& c) { c.SetPixel(3, 4, RGBColor(1, 2, 3)); },
       {{3, 4, RGBColor(1, 2, 3)}, {4, 4, W}, {3, 3, W}}},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.Name);
    TBitmap32 b(20, 20);
    Fill(b, W);
    tc.Draw(b.Canvas());
    for (auto& p : tc.Probes) {
      EXPECT_EQ(b.Pixel(p.X, p.Y), p.C) << "at " << p.X << "," << p.Y;
      EXPECT_EQ(b.Canvas().Pixel(p.X, p.Y), p.C) << "GDI read at " << p.X << "," << p.Y;
    }
  }
}

TEST_F(Graphics, BitmapPixelsAndCopies) {
  TBitmap32 b(6, 4);
  Fill(b, W);
  b.SetPixel(5, 3, RGBColor(10, 20, 30));
  EXPECT_EQ(b.Canvas().Pixel(5, 3), RGBColor(10, 20, 30));  // direct write seen by GDI
  EXPECT_EQ(b.Pixel(6, 0), 0u);                             // outside
  b.SetPixel(-1, 0, kRed);                                  // ignored
  TBitmap32 dest(10, 10);
  Fill(dest, kGreen);
  b.CopyTo(dest.DC(), 2, 3);
  EXPECT_EQ(dest.Pixel(7, 6), RGBColor(10, 20, 30));
  EXPECT_EQ(dest.Pixel(2, 3), W);
  EXPECT_EQ(dest.Pixel(8, 6), kGreen);
  EXPECT_EQ(dest.Pixel(1, 3), kGreen);
  TBitmap32 empty(0, 5);  // a control without area still gets a canvas
  EXPECT_EQ(empty.Width(), 0);
  empty.Canvas().FillRect({0, 0, 5, 5});
  empty.CopyTo(dest.DC(), 0, 0);
  EXPECT_EQ(dest.Pixel(0, 0), kGreen);
}

// Expected result of source-over with straight alpha, per channel.
TColor Blend(uint32_t Argb, TColor Bg) {
  unsigned a = Argb >> 24;
  auto mix = [&](unsigned s, unsigned d) { return uint8_t((s * a + d * (255 - a) + 127) / 255); };
  return RGBColor(mix((Argb >> 16) & 0xFF, GetRValue32(Bg)), mix((Argb >> 8) & 0xFF, GetGValue32(Bg)),
                  mix(Argb & 0xFF, GetBValue32(Bg)));
}

void ExpectNear(TColor Got, TColor Want, int Tol, const char* What) {
  for (int s = 0; s < 24; s += 8)
    EXPECT_NEAR(int((Got >> s) & 0xFF), int((Want >> s) & 0xFF), Tol) << What << ": got " << std::hex << Got
                                                                       << " want " << Want;
}

TEST_F(Graphics, PngAlphaBlendsOverTheBackground) {
  const std::vector<uint32_t> px = {0xFFFF0000u, 0x0000FF00u, 0x800000FFu, 0x40FFFFFFu, 0xC0102030u};
  TPngImage img;
  std::string png = test::MakePng(5, 1, px);
  img.LoadFromBytes(png.data(), png.size());
  ASSERT_EQ(img.Width(), 5);
  ASSERT_EQ(img.Height(), 1);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(img.PixelARGB(x, 0), px[x]) << x;  // alpha kept, not premultiplied

  const TColor bg = RGBColor(10, 200, 30);
  TBitmap32 b(12, 4);
  Fill(b, bg);
  ASSERT_TRUE(img.Draw(b.Canvas(), 3, 2));
  const char* names[] = {"opaque", "transparent", "half", "quarter", "three quarters"};
  for (int x = 0; x < 5; ++x) ExpectNear(b.Pixel(3 + x, 2), Blend(px[x], bg), 2, names[x]);
  EXPECT_EQ(b.Pixel(2, 2), bg);
  EXPECT_EQ(b.Pixel(8, 2), bg);
  EXPECT_EQ(b.Pixel(3, 1), bg);
  EXPECT_EQ(b.Pixel(3, 3), bg);
}

TEST_F(Graphics, StretchDrawCoversTheRectangleOnly) {
  TPngImage img;
  std::string png = test::SolidPng(2, 2, 0xFF3366CCu);
  img.LoadFromBytes(png.data(), png.size());
  TBitmap32 b(20, 20);
  Fill(b, W);
  ASSERT_TRUE(img.StretchDraw(b.Canvas(), {4, 5, 12, 11}));
  const TColor c = RGBColor(0x33, 0x66, 0xCC);
  for (auto [x, y] : {std::pair{4, 5}, {11, 10}, {8, 8}, {4, 10}, {11, 5}}) ExpectNear(b.Pixel(x, y), c, 1, "inside");
  for (auto [x, y] : {std::pair{3, 5}, {12, 10}, {8, 4}, {8, 11}}) EXPECT_EQ(b.Pixel(x, y), W) << x << "," << y;
}

TEST_F(Graphics, BadPictureDataRaisesAndKeepsThePicture) {
  std::string good = test::SolidPng(3, 2, 0xFF00FF00u);
  std::string truncated = good.substr(0, 45);
  std::string corrupt = good;
  for (size_t i = 41; i < corrupt.size() - 16; ++i) corrupt[i] = char(0xA5);  // the compressed body
  const struct {
    const char* Name;
    std::string Data;
  } cases[] = {
      {"empty", ""},
      {"not a PNG", "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01"},
      {"a BMP", std::string("BM") + std::string(60, '\0')},
      {"signature only", good.substr(0, 8)},
      {"cut inside the body", truncated},
      {"corrupt body", corrupt},
      {"4097 pixels wide", test::SolidPng(4097, 1, 0xFF0000FFu)},
      {"4097 pixels tall", test::SolidPng(1, 4097, 0xFF0000FFu)},
      {"100000 by 100000", test::PngClaimingSize(100000, 100000)},
      {"width 2^31", test::PngClaimingSize(0x80000000u, 1)},
      {"zero width", test::PngClaimingSize(0, 5)},
  };
  TPngImage img;
  img.LoadFromBytes(good.data(), good.size());
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.Name);
    EXPECT_THROW(img.LoadFromBytes(tc.Data.data(), tc.Data.size()), vt::Exception);
    EXPECT_EQ(img.Width(), 3);
    EXPECT_EQ(img.PixelARGB(2, 1), 0xFF00FF00u);
  }
  // The limit itself is allowed.
  std::string wide = test::SolidPng(4096, 1, 0xFF0000FFu);
  img.LoadFromBytes(wide.data(), wide.size());
  EXPECT_EQ(img.Width(), 4096);
  EXPECT_EQ(img.PixelARGB(4095, 0), 0xFF0000FFu);
}

TEST_F(Graphics, PictureFilesThatAreNotPicturesRaise) {
  test::TTempDir dir;
  CreateDirectoryW(dir.File(L"folder.png").c_str(), nullptr);
  // Over 16 MiB: refused before it is read.
  test::WriteFileBytes(dir.File(L"big.png"), test::SolidPng(1, 1, 0xFFFFFFFFu) + std::string(16u << 20, '\0'));
  test::WriteFileBytes(dir.File(L"empty.png"), "");
  TPngImage img;
  for (const wchar_t* name : {L"missing.png", L"folder.png", L"big.png", L"empty.png"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    EXPECT_THROW(img.LoadFromFile(dir.File(name)), vt::Exception);
    EXPECT_TRUE(img.Empty());
  }
}

TEST_F(Graphics, SavedScreenshotReadsBack) {
  test::TTempDir dir;
  TBitmap32 b(7, 5);
  Fill(b, RGBColor(200, 100, 50));
  b.SetPixel(6, 4, RGBColor(1, 2, 3));
  ASSERT_TRUE(b.SaveToPng(dir.File(L"shot.png")));
  TPngImage img;
  img.LoadFromFile(dir.File(L"shot.png"));
  ASSERT_EQ(img.Width(), 7);
  ASSERT_EQ(img.Height(), 5);
  EXPECT_EQ(img.PixelARGB(0, 0), 0xFFC86432u);
  EXPECT_EQ(img.PixelARGB(6, 4), 0xFF010203u);
  TPngImage copy;
  copy.Assign(img);
  img.Clear();
  EXPECT_TRUE(img.Empty());
  EXPECT_EQ(copy.PixelARGB(6, 4), 0xFF010203u);
  copy.SetPixelColor(0, 0, kBlue);
  EXPECT_EQ(copy.PixelARGB(0, 0), 0xFF0000FFu);
}

// The box around the pixels that are not white.
RECT InkBox(const TBitmap32& B) {
  RECT r{B.Width(), B.Height(), -1, -1};
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x)
      if (B.Pixel(x, y) != W) {
        r.left = std::min<LONG>(r.left, x);
        r.top = std::min<LONG>(r.top, y);
        r.right = std::max<LONG>(r.right, x);
        r.bottom = std::max<LONG>(r.bottom, y);
      }
  return r;
}

TEST_F(Graphics, TextRectAlignsAndShortens) {
  const struct {
    const char* Name;
    unsigned Flags;
    std::function<bool(const RECT& Ink)> Fits;
  } cases[] = {
      {"left", tfLeft, [](const RECT& i) { return i.left <= 3 && i.right < 60; }},
      {"right", tfRight, [](const RECT& i) { return i.right >= 196 && i.left > 140; }},
      {"centre", tfCenter, [](const RECT& i) { return std::abs((i.left + i.right) / 2 - 100) <= 3; }},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.Name);
    TBitmap32 b(200, 40);
    Fill(b, W);
    b.Canvas().Font.SetHeight(13);
    b.Canvas().Font.SetColor(clBlack);
    RECT r{0, 0, 200, 40};
    b.Canvas().TextRect(r, L"Hello", tc.Flags | tfSingleLine | tfVCenter);
    RECT ink = InkBox(b);
    ASSERT_GE(ink.right, 0) << "nothing drawn";
    EXPECT_TRUE(tc.Fits(ink)) << ink.left << ".." << ink.right;
    EXPECT_LE(std::abs((ink.top + ink.bottom) / 2 - 20), 4) << "vertical centre " << ink.top << ".." << ink.bottom;
  }

  // Ellipsis: the text ends in dots (ink only near the baseline) inside the rectangle.
  const std::wstring text = L"Mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm";
  TBitmap32 b(120, 30);
  Fill(b, W);
  b.Canvas().Font.SetHeight(13);
  b.Canvas().Font.SetColor(clBlack);
  ASSERT_GT(b.Canvas().TextWidth(text), 100);
  RECT r{0, 0, 100, 30};
  b.Canvas().TextRect(r, text, tfSingleLine | tfVCenter | tfEndEllipsis);
  RECT ink = InkBox(b);
  ASSERT_GE(ink.right, 0);
  EXPECT_LT(ink.right, 100);
  int tail_top = b.Height();
  for (int x = ink.right - 1; x <= ink.right; ++x)
    for (int y = 0; y < b.Height(); ++y)
      if (b.Pixel(x, y) != W) tail_top = std::min(tail_top, y);
  EXPECT_GT(tail_top, ink.top + (ink.bottom - ink.top) / 2) << "the last columns are dots, not a letter";

  // Measuring gives the text's size without drawing.
  TBitmap32 m(10, 10);
  Fill(m, W);
  m.Canvas().Font.SetHeight(13);
  RECT calc{0, 0, 500, 0};
  int h = m.Canvas().TextRect(calc, L"Hello", tfSingleLine | tfCalcRect);
  EXPECT_EQ(calc.right, m.Canvas().TextWidth(L"Hello"));
  EXPECT_EQ(h, m.Canvas().TextHeight(L"Hello"));
  EXPECT_EQ(InkBox(m).right, -1);
  EXPECT_GT(m.Canvas().TextWidth(L"Hello Hello"), m.Canvas().TextWidth(L"Hello"));
}

TEST(Font, PointsArePixelsAt96Dpi) {
  TFont f;
  f.SetSize(10);
  EXPECT_EQ(f.Height(), 13);
  EXPECT_EQ(f.Size(), 10);
  f.SetSize(8);
  EXPECT_EQ(f.Height(), 11);
  EXPECT_NE(f.Handle(), nullptr);
  TFont g = f;
  EXPECT_TRUE(g == f);
  g.SetBold(true);
  EXPECT_FALSE(g == f);
}

}  // namespace
}  // namespace vt
