// A process-wide cache of PNG pictures addressed by name: a "Skins\NAME.png"
// file beside the executable replaces the executable's RCDATA resource NAME.
// Each name is loaded once, also when that failed, and kept until shutdown.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fw/uGraphics.h"
#include "fw/uWinHandles.h"

namespace vt {

// One cached name and its picture (none when neither source could be read).
class TCachedImage {
public:
  explicit TCachedImage(std::wstring_view AResName) : FResName(AResName) {}
  const std::wstring& ResName() const { return FResName; }
  const TPngImage* Img() const { return FImg.get(); }
  bool Loaded() const { return FLoaded; }

private:
  friend class TThreadImages;
  std::wstring FResName;  // as first requested
  std::unique_ptr<TPngImage> FImg;
  bool FLoaded = false;
};

class TThreadImages {
public:
  TThreadImages() = default;
  TThreadImages(const TThreadImages&) = delete;
  TThreadImages& operator=(const TThreadImages&) = delete;

  // (windows.h maps LoadImage to LoadImageW; both names stay consistent.)
  // The entry for AResName (ignoring the case of A to Z), loaded on the first
  // request. Never fails and never returns none.
  const TCachedImage* LoadImage(std::wstring_view AResName);
  // Copies the picture into Dest; false (Dest unchanged) without a picture.
  bool LoadImage(std::wstring_view AResName, TPngImage* Dest);
  // Right and bottom both 0: drawn at (left, top) in its own size; otherwise
  // stretched into ARect, a right or bottom of 0 meaning the picture's own extent.
  bool DrawImage(std::wstring_view AResName, TCanvas* ACanvas, const RECT& ARect);
  SIZE GetSize(std::wstring_view AResName);

private:
  const TCachedImage* Find(std::wstring_view AResName);
  static std::unique_ptr<TCachedImage> Load(std::wstring_view AResName);

  std::vector<std::unique_ptr<TCachedImage>> FCache;
  TCriticalSection FGuard;
};

// The shared cache, created on the first call (any thread).
TThreadImages& ThreadImages();
// Frees the shared cache (program shutdown, after the last window has gone).
void ThreadImagesFinalization();

// The loader of the caption buttons: false for an empty name or no destination.
bool LoadSkinImage(std::wstring_view AResName, TPngImage* Dest);

}  // namespace vt
