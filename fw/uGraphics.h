// Drawing: colours, fonts, a thin canvas over GDI, off-screen 32-bit bitmaps
// and PNG pictures (GDI+, alpha kept).
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fw/uWinHandles.h"

namespace vt {

// A Windows colour value: red in the low byte, blue in the high byte.
using TColor = uint32_t;
inline constexpr TColor RGBColor(uint8_t R, uint8_t G, uint8_t B) { return R | (G << 8) | (uint32_t(B) << 16); }
inline constexpr uint8_t GetRValue32(TColor C) { return C & 0xFF; }
inline constexpr uint8_t GetGValue32(TColor C) { return (C >> 8) & 0xFF; }
inline constexpr uint8_t GetBValue32(TColor C) { return (C >> 16) & 0xFF; }
inline constexpr TColor clWhite = 16777215;
inline constexpr TColor clBlack = 0;
// System colours are stored as 0x80000000 | COLOR_xxx and resolved when used.
inline constexpr TColor clWindowText = 0x80000000u | COLOR_WINDOWTEXT;
inline constexpr TColor clGrayText = 0x80000000u | COLOR_GRAYTEXT;
inline constexpr TColor clBtnFace = 0x80000000u | COLOR_BTNFACE;
TColor ColorToRGB(TColor C);

// A font description; the handle is made when first needed and dropped on change.
class TFont {
public:
  TFont() = default;
  TFont(const TFont& o) : FName(o.FName), FHeight(o.FHeight), FBold(o.FBold), FUnderline(o.FUnderline), FColor(o.FColor) {}
  TFont& operator=(const TFont& o);

  const std::wstring& Name() const { return FName; }
  void SetName(std::wstring_view Value);
  // Character height in pixels (96 pixels per inch).
  int Height() const { return FHeight; }
  void SetHeight(int Value);
  // Points at 96 pixels per inch: 10 points are 13 pixels.
  void SetSize(int Points);
  int Size() const;
  bool Bold() const { return FBold; }
  void SetBold(bool Value);
  bool Underline() const { return FUnderline; }
  void SetUnderline(bool Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value) { FColor = Value; }
  bool operator==(const TFont& o) const;

  HFONT Handle() const;

private:
  std::wstring FName = L"Segoe UI";
  int FHeight = 15;
  bool FBold = false;
  bool FUnderline = false;
  TColor FColor = clWindowText;
  mutable THFont FHandle;
};

enum TTextAlign { taLeftJustify, taRightJustify, taCenter };

// Flags of TextRect, mapped to DrawTextW.
enum TTextFlags : unsigned {
  tfLeft = 0,
  tfCenter = 1,
  tfRight = 2,
  tfVCenter = 4,
  tfSingleLine = 8,
  tfWordBreak = 16,
  tfEndEllipsis = 32,
  tfNoPrefix = 64,  // "&" shown literally
  tfCalcRect = 128,
};

// Drawing on a device context; keeps the GDI objects it selects and restores
// the context's own ones when destroyed.
class TCanvas {
public:
  explicit TCanvas(HDC DC);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  HDC Handle() const { return FDC; }

  // Current tools (applied lazily before each drawing call).
  TColor BrushColor = clWhite;
  bool BrushClear = false;  // no fill (outline only)
  TColor PenColor = clBlack;
  int PenWidth = 1;
  bool PenClear = false;  // no outline
  TFont Font;
  bool TransparentText = true;

  void FillRect(const RECT& R);                                // brush only, right/bottom exclusive
  void Rectangle(int X1, int Y1, int X2, int Y2);              // pen outline + brush fill
  void RoundRect(int X1, int Y1, int X2, int Y2, int W, int H);
  void Polygon(const std::vector<POINT>& Points);
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  void FrameRect(const RECT& R, TColor Color);                 // one-pixel frame
  void DrawFocusRect(const RECT& R);
  void TextOut(int X, int Y, std::wstring_view Text);
  // Draws (or with tfCalcRect measures into R) the text; returns its height.
  int TextRect(RECT& R, std::wstring_view Text, unsigned Flags);
  SIZE TextExtent(std::wstring_view Text);
  int TextWidth(std::wstring_view Text) { return TextExtent(Text).cx; }
  int TextHeight(std::wstring_view Text) { return TextExtent(Text).cy; }
  // Clipping to a rectangle; RemoveClip drops it.
  void ClipRect(const RECT& R);
  void RemoveClip();
  TColor Pixel(int X, int Y) const;
  void SetPixel(int X, int Y, TColor C);
  // Copies a rectangle of Source to (X, Y).
  void CopyFrom(int X, int Y, int W, int H, HDC Source, int SX, int SY);

private:
  void UseBrush();
  void UsePen();
  void UseFont();

  HDC FDC;
  int FSaved;
  THBrush FBrush;
  THPen FPen;
  TColor FBrushKey = 0xFFFFFFFFu;
  TColor FPenKey = 0xFFFFFFFFu;
  int FPenWidthKey = -1;
  TFont FFontKey;      // what FFontHandle was made from
  THFont FFontHandle;  // the canvas's own: Font may drop its handle while this one is selected
};

// An off-screen 32-bit top-down bitmap with its own canvas; direct pixel access.
class TBitmap32 {
public:
  TBitmap32(int Width, int Height);
  ~TBitmap32();
  TBitmap32(const TBitmap32&) = delete;
  TBitmap32& operator=(const TBitmap32&) = delete;
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  TCanvas& Canvas() { return *FCanvas; }
  HDC DC() const { return FDC.Get(); }
  // Colour of a pixel (0 outside the bitmap).
  TColor Pixel(int X, int Y) const;
  void SetPixel(int X, int Y, TColor C);
  // Copies the whole bitmap to DC at (X, Y).
  void CopyTo(HDC DC, int X, int Y) const;
  // Writes a PNG file (GDI+ encoder); for screenshots that people look at.
  bool SaveToPng(const std::wstring& FileName) const;

private:
  int FWidth, FHeight;
  THdcMem FDC;
  THBitmap FBitmap;
  HGDIOBJ FOldBitmap = nullptr;
  uint32_t* FBits = nullptr;
  std::unique_ptr<TCanvas> FCanvas;
};

// A PNG picture (GDI+ bitmap, alpha kept). Empty until loaded.
class TPngImage {
public:
  TPngImage();
  ~TPngImage();
  TPngImage(const TPngImage&) = delete;
  TPngImage& operator=(const TPngImage&) = delete;

  bool Empty() const;
  int Width() const;
  int Height() const;
  // Each raises vt::Exception when the data is not a PNG picture GDI+ can
  // decode, or is larger than 4096 by 4096 pixels or 16 MiB; a failed load
  // keeps the previous picture.
  void LoadFromFile(const std::wstring& FileName);
  void LoadFromBytes(const void* Data, size_t Size);
  // The RCDATA resource Name of Module (0: the executable).
  void LoadFromResource(const std::wstring& Name, HMODULE Module = nullptr);
  void Assign(const TPngImage& Source);  // a deep copy; an empty source empties this
  void Clear();
  // Draws at (X, Y) in its own size, or stretched into R, blending alpha.
  // False when GDI+ could not draw (not started, or the context refused).
  bool Draw(TCanvas& Canvas, int X, int Y) const;
  bool StretchDraw(TCanvas& Canvas, const RECT& R) const;
  // Straight (non-premultiplied) ARGB of one pixel; writes keep alpha 255.
  uint32_t PixelARGB(int X, int Y) const;
  void SetPixelColor(int X, int Y, TColor C);

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// GDI+ start-up and shutdown (program start-up order, window thread). Calls
// pair up: GDI+ stops at the finalisation that matches the first initialisation.
void GraphicsInitialization();
void GraphicsFinalization();

}  // namespace vt
