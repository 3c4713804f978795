#include "fw/uGraphics.h"

#include <objidl.h>
#include <shlwapi.h>
// GDI+'s C++ wrappers own their objects (their destructors dispose them).
#include <gdiplus.h>

#include <algorithm>
#include <cstring>

#include "fw/uSysUtils.h"

namespace vt {

namespace {

// Start-up and shutdown pair up; GDI+ runs from the first start to the last shutdown.
ULONG_PTR gGdiPlusToken = 0;
int gGdiPlusUsers = 0;

// Picture files come from folders anyone can write to: a PNG is decoded only
// when its header names a sane size, so a hostile file cannot make GDI+
// allocate gigabytes (4096 x 4096 x 4 bytes = 64 MiB at most).
constexpr int kMaxPictureSide = 4096;
constexpr size_t kMaxPictureBytes = 16u << 20;

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t ReadBigEndian32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Raises unless Data starts like a PNG file whose header chunk gives a size
// within the limits; returns the size.
SIZE CheckPngHeader(const void* Data, size_t Size) {
  if (Size > kMaxPictureBytes)
    throw Exception(Format(L"PNG data of %u bytes exceeds the limit of %u bytes", {Size, kMaxPictureBytes}));
  auto* p = static_cast<const unsigned char*>(Data);
  // Signature, then the first chunk: length 13, type "IHDR", width, height, ...
  if (!p || Size < 8 + 8 + 13 + 4 || std::memcmp(p, kPngSignature, 8) != 0 || ReadBigEndian32(p + 8) != 13 ||
      std::memcmp(p + 12, "IHDR", 4) != 0)
    throw Exception(L"Not a PNG picture");
  uint32_t w = ReadBigEndian32(p + 16), h = ReadBigEndian32(p + 20);
  if (w == 0 || h == 0 || w > kMaxPictureSide || h > kMaxPictureSide)
    throw Exception(Format(L"PNG picture of %u by %u pixels is outside the limit of %d by %d",
                           {w, h, kMaxPictureSide, kMaxPictureSide}));
  return {LONG(w), LONG(h)};
}

HFONT CreateFontFor(const TFont& F) {
  // A negative height asks for the character height (without internal leading).
  return CreateFontW(-F.Height(), 0, 0, 0, F.Bold() ? FW_BOLD : FW_NORMAL, FALSE, F.Underline() ? TRUE : FALSE,
                     FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, F.Name().c_str());
}

bool SameFace(const TFont& A, const TFont& B) {
  return A.Name() == B.Name() && A.Height() == B.Height() && A.Bold() == B.Bold() && A.Underline() == B.Underline();
}

// DIB pixels are 0xAARRGGBB; colour values are 0x00BBGGRR.
constexpr uint32_t SwapRB(uint32_t C) { return ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF); }

bool PngEncoder(CLSID& Clsid) {
  UINT count = 0, size = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::vector<BYTE> buf(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buf.data());
  if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i)
    if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, L"image/png") == 0) {
      Clsid = codecs[i].Clsid;
      return true;
    }
  return false;
}

}  // namespace

TColor ColorToRGB(TColor C) {
  if (C & 0x80000000u) return GetSysColor(int(C & 0xFF));
  return C & 0xFFFFFF;
}

// ---------------------------------------------------------------- TFont

TFont& TFont::operator=(const TFont& o) {
  if (this != &o) {
    FName = o.FName;
    FHeight = o.FHeight;
    FBold = o.FBold;
    FUnderline = o.FUnderline;
    FColor = o.FColor;
    FHandle.Reset();
  }
  return *this;
}

void TFont::SetName(std::wstring_view Value) {
  if (FName == Value) return;
  FName = Value;
  FHandle.Reset();
}

void TFont::SetHeight(int Value) {
  if (FHeight == Value) return;
  FHeight = Value;
  FHandle.Reset();
}

void TFont::SetSize(int Points) { SetHeight(MulDiv(Points, 96, 72)); }

int TFont::Size() const { return MulDiv(FHeight, 72, 96); }

void TFont::SetBold(bool Value) {
  if (FBold == Value) return;
  FBold = Value;
  FHandle.Reset();
}

void TFont::SetUnderline(bool Value) {
  if (FUnderline == Value) return;
  FUnderline = Value;
  FHandle.Reset();
}

bool TFont::operator==(const TFont& o) const { return SameFace(*this, o) && FColor == o.FColor; }

HFONT TFont::Handle() const {
  if (!FHandle) FHandle.Reset(CreateFontFor(*this));
  return FHandle.Get();
}

// ---------------------------------------------------------------- TCanvas

TCanvas::TCanvas(HDC DC) : FDC(DC), FSaved(SaveDC(DC)) {}

TCanvas::~TCanvas() {
  // Puts the context's own objects back before the members delete ours.
  if (FSaved) RestoreDC(FDC, FSaved);
}

void TCanvas::UseBrush() {
  if (BrushClear) {
    SelectObject(FDC, GetStockObject(NULL_BRUSH));
    return;
  }
  TColor c = ColorToRGB(BrushColor);
  if (FBrush && c == FBrushKey) {
    SelectObject(FDC, FBrush.Get());
    return;
  }
  THBrush b(CreateSolidBrush(c));
  SelectObject(FDC, b.Get());
  FBrush = std::move(b);  // the old brush is no longer selected
  FBrushKey = c;
}

void TCanvas::UsePen() {
  if (PenClear) {
    SelectObject(FDC, GetStockObject(NULL_PEN));
    return;
  }
  TColor c = ColorToRGB(PenColor);
  if (FPen && c == FPenKey && PenWidth == FPenWidthKey) {
    SelectObject(FDC, FPen.Get());
    return;
  }
  THPen p(CreatePen(PS_SOLID, std::max(PenWidth, 1), c));
  SelectObject(FDC, p.Get());
  FPen = std::move(p);
  FPenKey = c;
  FPenWidthKey = PenWidth;
}

void TCanvas::UseFont() {
  // The canvas selects a handle of its own: changing Font drops the font's
  // cached handle, which must never be deleted while selected here.
  if (!FFontHandle || !SameFace(Font, FFontKey)) {
    THFont f(CreateFontFor(Font));
    SelectObject(FDC, f.Get());
    FFontHandle = std::move(f);
    FFontKey = Font;
  }
  SetTextColor(FDC, ColorToRGB(Font.Color()));
  SetBkColor(FDC, ColorToRGB(BrushColor));
  SetBkMode(FDC, TransparentText ? TRANSPARENT : OPAQUE);
}

void TCanvas::FillRect(const RECT& R) {
  if (BrushClear) return;
  UseBrush();
  ::FillRect(FDC, &R, FBrush.Get());
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  UseBrush();
  UsePen();
  ::Rectangle(FDC, X1, Y1, X2, Y2);
}

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int W, int H) {
  UseBrush();
  UsePen();
  ::RoundRect(FDC, X1, Y1, X2, Y2, W, H);
}

void TCanvas::Polygon(const std::vector<POINT>& Points) {
  if (Points.empty()) return;
  UseBrush();
  UsePen();
  ::Polygon(FDC, Points.data(), int(Points.size()));
}

void TCanvas::MoveTo(int X, int Y) { MoveToEx(FDC, X, Y, nullptr); }

void TCanvas::LineTo(int X, int Y) {
  UsePen();
  ::LineTo(FDC, X, Y);
}

void TCanvas::FrameRect(const RECT& R, TColor Color) {
  THBrush b(CreateSolidBrush(ColorToRGB(Color)));
  ::FrameRect(FDC, &R, b.Get());
}

void TCanvas::DrawFocusRect(const RECT& R) {
  SetTextColor(FDC, RGB(0, 0, 0));
  SetBkColor(FDC, RGB(255, 255, 255));
  ::DrawFocusRect(FDC, &R);
}

void TCanvas::TextOut(int X, int Y, std::wstring_view Text) {
  UseFont();
  ::TextOutW(FDC, X, Y, Text.data(), int(Text.size()));
}

int TCanvas::TextRect(RECT& R, std::wstring_view Text, unsigned Flags) {
  static constexpr std::pair<unsigned, UINT> kMap[] = {
      {tfCenter, DT_CENTER},       {tfRight, DT_RIGHT},           {tfVCenter, DT_VCENTER},
      {tfSingleLine, DT_SINGLELINE}, {tfWordBreak, DT_WORDBREAK}, {tfEndEllipsis, DT_END_ELLIPSIS},
      {tfNoPrefix, DT_NOPREFIX},   {tfCalcRect, DT_CALCRECT},
  };
  UINT dt = DT_LEFT;
  for (auto [tf, d] : kMap)
    if (Flags & tf) dt |= d;
  UseFont();
  // Without DT_MODIFYSTRING DrawTextW does not write to the text.
  return DrawTextW(FDC, const_cast<wchar_t*>(Text.data()), int(Text.size()), &R, dt);
}

SIZE TCanvas::TextExtent(std::wstring_view Text) {
  UseFont();
  SIZE s{0, 0};
  GetTextExtentPoint32W(FDC, Text.data(), int(Text.size()), &s);
  return s;
}

void TCanvas::ClipRect(const RECT& R) {
  SelectClipRgn(FDC, nullptr);
  IntersectClipRect(FDC, R.left, R.top, R.right, R.bottom);
}

void TCanvas::RemoveClip() { SelectClipRgn(FDC, nullptr); }

TColor TCanvas::Pixel(int X, int Y) const { return GetPixel(FDC, X, Y); }

void TCanvas::SetPixel(int X, int Y, TColor C) { SetPixelV(FDC, X, Y, ColorToRGB(C)); }

void TCanvas::CopyFrom(int X, int Y, int W, int H, HDC Source, int SX, int SY) {
  BitBlt(FDC, X, Y, W, H, Source, SX, SY, SRCCOPY);
}

// ---------------------------------------------------------------- TBitmap32

TBitmap32::TBitmap32(int Width, int Height)
    : FWidth(std::max(Width, 0)), FHeight(std::max(Height, 0)), FDC(CreateCompatibleDC(nullptr)) {
  if (!FDC) RaiseLastOSError();
  // A zero-sized control still gets a canvas; it just draws nowhere.
  if (FWidth > 0 && FHeight > 0) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = FWidth;
    bi.bmiHeader.biHeight = -FHeight;  // top-down: row 0 first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    FBitmap.Reset(CreateDIBSection(FDC.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!FBitmap) RaiseLastOSError();
    FBits = static_cast<uint32_t*>(bits);
    FOldBitmap = SelectObject(FDC.Get(), FBitmap.Get());
  } else {
    FWidth = FHeight = 0;
  }
  FCanvas = std::make_unique<TCanvas>(FDC.Get());
}

TBitmap32::~TBitmap32() {
  FCanvas.reset();
  if (FOldBitmap) SelectObject(FDC.Get(), FOldBitmap);
}

TColor TBitmap32::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return 0;
  GdiFlush();  // GDI may still be drawing into the bits
  return SwapRB(FBits[size_t(Y) * FWidth + X] & 0xFFFFFF);
}

void TBitmap32::SetPixel(int X, int Y, TColor C) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return;
  GdiFlush();
  FBits[size_t(Y) * FWidth + X] = SwapRB(ColorToRGB(C));
}

void TBitmap32::CopyTo(HDC DC, int X, int Y) const {
  if (FWidth > 0) BitBlt(DC, X, Y, FWidth, FHeight, FDC.Get(), 0, 0, SRCCOPY);
}

bool TBitmap32::SaveToPng(const std::wstring& FileName) const {
  CLSID png;
  if (FWidth == 0 || !PngEncoder(png)) return false;
  GdiFlush();
  // GDI leaves the alpha byte undefined: save as plain RGB.
  Gdiplus::Bitmap b(FWidth, FHeight, FWidth * 4, PixelFormat32bppRGB, reinterpret_cast<BYTE*>(FBits));
  return b.GetLastStatus() == Gdiplus::Ok && b.Save(FileName.c_str(), &png, nullptr) == Gdiplus::Ok;
}

// ---------------------------------------------------------------- TPngImage

// The decoded pixels (straight ARGB, rows top-down); GDI+ sees them only while drawing.
struct TPngImage::TImpl {
  int W = 0, H = 0;
  std::vector<uint32_t> Pixels;
};

TPngImage::TPngImage() : FImpl(std::make_unique<TImpl>()) {}
TPngImage::~TPngImage() = default;

bool TPngImage::Empty() const { return FImpl->W == 0; }
int TPngImage::Width() const { return FImpl->W; }
int TPngImage::Height() const { return FImpl->H; }

void TPngImage::LoadFromFile(const std::wstring& FileName) {
  THandle f(CreateFileW(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!f) throw Exception(Format(L"Cannot open the picture file %s: %s", {FileName, SysErrorMessage(GetLastError())}));
  LARGE_INTEGER size{};
  if (GetFileType(f.Get()) != FILE_TYPE_DISK || !GetFileSizeEx(f.Get(), &size))
    throw Exception(Format(L"%s is not a picture file", {FileName}));
  if (uint64_t(size.QuadPart) > kMaxPictureBytes)
    throw Exception(Format(L"The picture file %s is larger than %u bytes", {FileName, kMaxPictureBytes}));
  std::vector<unsigned char> data(size_t(size.QuadPart));
  DWORD got = 0;
  if (!data.empty() && (!ReadFile(f.Get(), data.data(), DWORD(data.size()), &got, nullptr) || got != data.size()))
    throw Exception(Format(L"Cannot read the picture file %s", {FileName}));
  LoadFromBytes(data.data(), data.size());
}

void TPngImage::LoadFromBytes(const void* Data, size_t Size) {
  SIZE hdr = CheckPngHeader(Data, Size);
  TComRef<IStream> stream(SHCreateMemStream(static_cast<const BYTE*>(Data), UINT(Size)));
  if (!stream) throw Exception(L"Out of memory for a PNG picture");
  std::unique_ptr<Gdiplus::Bitmap> bmp(Gdiplus::Bitmap::FromStream(stream.Get()));
  // GetLastStatus also resets the status: read it once.
  Gdiplus::Status st = bmp ? bmp->GetLastStatus() : Gdiplus::OutOfMemory;
  if (st != Gdiplus::Ok) throw Exception(Format(L"The PNG picture cannot be decoded (GDI+ status %d)", {int(st)}));
  int w = int(bmp->GetWidth()), h = int(bmp->GetHeight());
  if (w != hdr.cx || h != hdr.cy) throw Exception(L"The PNG picture decodes to another size than its header says");
  Gdiplus::Rect rect(0, 0, w, h);
  Gdiplus::BitmapData bd{};
  // GDI+ decodes lazily: a broken image body shows up here.
  st = bmp->LockBits(&rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &bd);
  if (st != Gdiplus::Ok) throw Exception(Format(L"The PNG picture cannot be decoded (GDI+ status %d)", {int(st)}));
  auto unlock = ScopeExit([&] { bmp->UnlockBits(&bd); });
  auto impl = std::make_unique<TImpl>();
  impl->W = w;
  impl->H = h;
  impl->Pixels.resize(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    std::memcpy(&impl->Pixels[size_t(y) * w], static_cast<const BYTE*>(bd.Scan0) + ptrdiff_t(y) * bd.Stride,
                size_t(w) * 4);
  FImpl = std::move(impl);  // a failed load leaves the old picture
}

void TPngImage::LoadFromResource(const std::wstring& Name, HMODULE Module) {
  if (!Module) Module = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(Module, Name.c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL mem = res ? LoadResource(Module, res) : nullptr;
  const void* data = mem ? LockResource(mem) : nullptr;
  if (!data) throw Exception(Format(L"No picture resource %s", {Name}));
  LoadFromBytes(data, SizeofResource(Module, res));
}

void TPngImage::Assign(const TPngImage& Source) {
  if (this != &Source) FImpl = std::make_unique<TImpl>(*Source.FImpl);  // copy first: a failure changes nothing
}

void TPngImage::Clear() { *FImpl = TImpl{}; }

namespace {

bool DrawPixels(const std::vector<uint32_t>& Pixels, int W, int H, HDC DC, const RECT& R, bool Stretch) {
  if (W == 0 || R.right <= R.left || R.bottom <= R.top) return W != 0;
  // GDI+ only reads the pixels it is given here.
  Gdiplus::Bitmap bmp(W, H, W * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(const_cast<uint32_t*>(Pixels.data())));
  Gdiplus::Graphics g(DC);
  if (bmp.GetLastStatus() != Gdiplus::Ok || g.GetLastStatus() != Gdiplus::Ok) return false;
  g.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
  g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  g.SetInterpolationMode(Stretch ? Gdiplus::InterpolationModeHighQualityBilinear
                                 : Gdiplus::InterpolationModeNearestNeighbor);
  // Edge pixels repeat instead of fading into transparency when stretched.
  Gdiplus::ImageAttributes attr;
  attr.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
  Gdiplus::Rect dest(R.left, R.top, R.right - R.left, R.bottom - R.top);
  return g.DrawImage(&bmp, dest, 0, 0, W, H, Gdiplus::UnitPixel, &attr) == Gdiplus::Ok;
}

}  // namespace

bool TPngImage::Draw(TCanvas& Canvas, int X, int Y) const {
  return DrawPixels(FImpl->Pixels, FImpl->W, FImpl->H, Canvas.Handle(), {X, Y, X + FImpl->W, Y + FImpl->H}, false);
}

bool TPngImage::StretchDraw(TCanvas& Canvas, const RECT& R) const {
  return DrawPixels(FImpl->Pixels, FImpl->W, FImpl->H, Canvas.Handle(), R, true);
}

uint32_t TPngImage::PixelARGB(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FImpl->W || Y >= FImpl->H) return 0;
  return FImpl->Pixels[size_t(Y) * FImpl->W + X];
}

void TPngImage::SetPixelColor(int X, int Y, TColor C) {
  if (X < 0 || Y < 0 || X >= FImpl->W || Y >= FImpl->H) return;
  FImpl->Pixels[size_t(Y) * FImpl->W + X] = 0xFF000000u | SwapRB(ColorToRGB(C));
}

// ---------------------------------------------------------------- start-up

void GraphicsInitialization() {
  if (gGdiPlusUsers++ > 0) return;
  Gdiplus::GdiplusStartupInput in;
  Gdiplus::Status st = Gdiplus::GdiplusStartup(&gGdiPlusToken, &in, nullptr);
  if (st != Gdiplus::Ok) {
    gGdiPlusToken = 0;
    gGdiPlusUsers = 0;
    throw Exception(Format(L"GDI+ could not start (status %d)", {int(st)}));
  }
}

void GraphicsFinalization() {
  if (gGdiPlusUsers == 0 || --gGdiPlusUsers > 0) return;
  Gdiplus::GdiplusShutdown(gGdiPlusToken);
  gGdiPlusToken = 0;
}

}  // namespace vt
