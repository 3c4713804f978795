#include "ui/uThreadImages.h"

#include "log/DebugLogUtils.h"

namespace vt {

namespace {

// Created on first use, freed by ThreadImagesFinalization, never by a static destructor.
SRWLOCK gInstanceLock = SRWLOCK_INIT;
TThreadImages* gThreadImages = nullptr;

// The picture name becomes part of a file path: only plain names go there.
bool PlainName(std::wstring_view Name) {
  if (Name.empty()) return false;
  for (wchar_t c : Name)
    if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' || c == L'-'))
      return false;
  return true;
}

}  // namespace

const TCachedImage* TThreadImages::Find(std::wstring_view AResName) {
  TCsLock lock(FGuard);
  for (auto& e : FCache)
    if (SameTextAZ(e->FResName, AResName)) return e.get();
  return nullptr;
}

std::unique_ptr<TCachedImage> TThreadImages::Load(std::wstring_view AResName) {
  std::wstring name(AResName);
  TLogScope scope(L"-> TThreadImages.Load(" + name + L")", L"<- TThreadImages.Load: False");
  auto entry = std::make_unique<TCachedImage>(name);
  auto img = std::make_unique<TPngImage>();
  if (PlainName(name)) {
    std::wstring file = Format(L"%sSkins\\%s.png", {ExtractFilePath(GetModulePath()), name});
    if (FileExists(file)) {
      // The folder is writable by anyone: a file that does not load counts as absent.
      try {
        img->LoadFromFile(file);
        entry->FLoaded = true;
        LogLine(L"Skin file " + file);
      } catch (const std::exception& e) {
        LogException(&e, L"Skin file ignored: " + file);
      }
    }
  }
  if (!entry->FLoaded) {
    try {
      img->LoadFromResource(name);
      entry->FLoaded = true;
    } catch (const std::exception& e) {
      LogException(&e, L"No picture " + name);
      img.reset();
    }
  }
  entry->FImg = std::move(img);
  scope.SetClose(Format(L"<- TThreadImages.Load: %s", {entry->FLoaded}));
  return entry;
}

const TCachedImage* TThreadImages::LoadImage(std::wstring_view AResName) {
  if (auto* e = Find(AResName)) return e;
  auto fresh = Load(AResName);  // outside the lock: reading a file can take a while
  TCsLock lock(FGuard);
  // Another thread may have loaded the same name meanwhile: the first entry stays.
  for (auto& e : FCache)
    if (SameTextAZ(e->FResName, AResName)) return e.get();
  FCache.push_back(std::move(fresh));
  return FCache.back().get();
}

bool TThreadImages::LoadImage(std::wstring_view AResName, TPngImage* Dest) {
  if (!Dest) return false;
  const TPngImage* img = LoadImage(AResName)->Img();
  if (!img || img->Empty()) return false;
  try {
    Dest->Assign(*img);
    return true;
  } catch (const std::exception& e) {
    LogException(&e, L"Picture not copied: " + std::wstring(AResName));
    return false;
  }
}

bool TThreadImages::DrawImage(std::wstring_view AResName, TCanvas* ACanvas, const RECT& ARect) {
  if (!ACanvas) return false;
  const TPngImage* img = LoadImage(AResName)->Img();
  if (!img || img->Empty()) return false;
  if (ARect.right == 0 && ARect.bottom == 0) return img->Draw(*ACanvas, ARect.left, ARect.top);
  RECT r = ARect;
  if (r.right == 0) r.right = r.left + img->Width();
  if (r.bottom == 0) r.bottom = r.top + img->Height();
  return img->StretchDraw(*ACanvas, r);
}

SIZE TThreadImages::GetSize(std::wstring_view AResName) {
  const TPngImage* img = LoadImage(AResName)->Img();
  if (!img) return {0, 0};
  return {img->Width(), img->Height()};
}

TThreadImages& ThreadImages() {
  {
    TReadLock lock(gInstanceLock);
    if (gThreadImages) return *gThreadImages;
  }
  TWriteLock lock(gInstanceLock);
  if (!gThreadImages) gThreadImages = new TThreadImages;
  return *gThreadImages;
}

void ThreadImagesFinalization() {
  TWriteLock lock(gInstanceLock);
  delete gThreadImages;
  gThreadImages = nullptr;
}

bool LoadSkinImage(std::wstring_view AResName, TPngImage* Dest) {
  if (AResName.empty() || !Dest) return false;
  return ThreadImages().LoadImage(AResName, Dest);
}

}  // namespace vt
