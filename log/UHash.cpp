#include "log/UHash.h"

#include <cstring>

#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"
#include "log/DebugLogUtils.h"

namespace vt {

namespace {

inline uint32_t Rol(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

}  // namespace

void TSHA1Context::Reset() {
  FState[0] = 0x67452301;
  FState[1] = 0xEFCDAB89;
  FState[2] = 0x98BADCFE;
  FState[3] = 0x10325476;
  FState[4] = 0xC3D2E1F0;
  FLength = 0;
  FUsed = 0;
}

void TSHA1Context::Transform(const uint8_t* Block) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i)
    w[i] = (uint32_t(Block[4 * i]) << 24) | (uint32_t(Block[4 * i + 1]) << 16) | (uint32_t(Block[4 * i + 2]) << 8) |
           uint32_t(Block[4 * i + 3]);
  for (int i = 16; i < 80; ++i) w[i] = Rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  uint32_t a = FState[0], b = FState[1], c = FState[2], d = FState[3], e = FState[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    uint32_t t = Rol(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rol(b, 30);
    b = a;
    a = t;
  }
  FState[0] += a;
  FState[1] += b;
  FState[2] += c;
  FState[3] += d;
  FState[4] += e;
}

void TSHA1Context::Update(const void* Data, size_t Size) {
  const uint8_t* p = static_cast<const uint8_t*>(Data);
  FLength += Size;
  if (FUsed) {
    size_t n = std::min(Size, sizeof(FBlock) - FUsed);
    std::memcpy(FBlock + FUsed, p, n);
    FUsed += n;
    p += n;
    Size -= n;
    if (FUsed < sizeof(FBlock)) return;
    Transform(FBlock);
    FUsed = 0;
  }
  while (Size >= sizeof(FBlock)) {
    Transform(p);
    p += sizeof(FBlock);
    Size -= sizeof(FBlock);
  }
  std::memcpy(FBlock, p, Size);
  FUsed = Size;
}

TSHA1Digest TSHA1Context::Finish() {
  const uint64_t bits = FLength * 8;
  static const uint8_t kPad[64] = {0x80};
  size_t padLen = FUsed < 56 ? 56 - FUsed : 120 - FUsed;
  Update(kPad, padLen);
  uint8_t len[8];
  for (int i = 0; i < 8; ++i) len[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(len, 8);
  TSHA1Digest d;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 4; ++j) d[4 * i + j] = static_cast<uint8_t>(FState[i] >> (24 - 8 * j));
  Reset();
  return d;
}

std::wstring TLbSHA1::HashPrint(const TSHA1Digest& Digest) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring s;
  s.reserve(40);
  for (uint8_t b : Digest) {
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s;
}

void TLbSHA1::HashBuffer(const void* Buffer, size_t Size, TSHA1Digest& Digest) {
  TSHA1Context ctx;
  const uint8_t* p = static_cast<const uint8_t*>(Buffer);
  while (Size > 0) {
    size_t n = std::min(Size, sizeof(fBuf));
    std::memcpy(fBuf, p, n);
    ctx.Update(fBuf, n);
    p += n;
    Size -= n;
  }
  fDigest = ctx.Finish();
  Digest = fDigest;
}

void TLbSHA1::HashStream(TReadStream& Stream, TSHA1Digest& Digest) {
  TSHA1Context ctx;
  for (size_t n; (n = Stream.Read(fBuf, sizeof(fBuf))) > 0;) ctx.Update(fBuf, n);
  fDigest = ctx.Finish();
  Digest = fDigest;
}

void TLbSHA1::HashString(std::wstring_view S, bool AsUtf8, TSHA1Digest& Digest) {
  if (AsUtf8) {
    std::string u = WideToUtf8(S);
    HashBuffer(u.data(), u.size(), Digest);
  } else {
    HashBuffer(S.data(), S.size() * sizeof(wchar_t), Digest);
  }
}

void TLbSHA1::HashString(std::string_view S, TSHA1Digest& Digest) { HashBuffer(S.data(), S.size(), Digest); }

std::wstring TLbSHA1::CalcBufferDigestStr(const void* Buffer, size_t Size) {
  TLbSHA1 h;
  TSHA1Digest d;
  h.HashBuffer(Buffer, Size, d);
  return HashPrint(d);
}

void TLbSHA1::HashFile(const std::wstring& FileName, TSHA1Digest& Digest) {
  TLogScope scope(Format(L"-> TLbSHA1.HashFile(%s)", {FileName}), L"<- TLbSHA1.HashFile(...): 00000");
  Digest.fill(0);
  fDigest.fill(0);
  try {
    THandle file(CreateFileW(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
      try {
        RaiseLastOSError();
      } catch (const Exception& e) {
        LogException(&e, L"TLbSHA1.HashFile(1)");
      }
    } else {
      LARGE_INTEGER size{};
      // An empty file cannot be mapped: its digest stays zero. The size is read
      // once the mapping exists (the file can then no longer shrink) and is
      // bounded by the view, so a file that grows meanwhile is not read past it.
      THandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
      if (mapping && GetFileSizeEx(file.Get(), &size)) {
        TMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
        MEMORY_BASIC_INFORMATION mbi{};
        if (view.Get() && VirtualQuery(view.Get(), &mbi, sizeof mbi) == sizeof mbi) {
          uint32_t length = size.LowPart;
          if (mbi.RegionSize < length) length = static_cast<uint32_t>(mbi.RegionSize);
          try {
            HashBuffer(view.Get(), length, Digest);
          } catch (const std::exception& e) {
            Digest.fill(0);
            fDigest.fill(0);
            LogException(&e, L"TLbSHA1.HashFile(2)");
          }
        }
      }
    }
  } catch (const std::exception& e) {
    LogException(&e, L"TLbSHA1.HashFile(3)");
  }
  scope.SetClose(Format(L"<- TLbSHA1.HashFile(...): %d%d%d%d%d", {Digest[0], Digest[1], Digest[2], Digest[3], Digest[4]}));
}

}  // namespace vt
