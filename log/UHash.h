// SHA-1 hashing of buffers, strings, streams and files.
#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

using TSHA1Digest = std::array<uint8_t, 20>;

// The running SHA-1 computation (FIPS 180).
class TSHA1Context {
public:
  TSHA1Context() { Reset(); }
  void Reset();
  void Update(const void* Data, size_t Size);
  TSHA1Digest Finish();

private:
  void Transform(const uint8_t* Block);

  uint32_t FState[5];
  uint64_t FLength;  // in bytes
  uint8_t FBlock[64];
  size_t FUsed;
};

class TLbHash {
public:
  TLbHash() = default;
  virtual ~TLbHash() = default;
  TLbHash(const TLbHash&) = delete;
  TLbHash& operator=(const TLbHash&) = delete;

  // The digest of the last hash as hexadecimal text.
  std::wstring Print() const { return GetPrint(); }

protected:
  virtual std::wstring GetPrint() const = 0;

  uint8_t fBuf[1024] = {};
};

// Bytes read piece by piece: what HashStream hashes. (Not std::istream: its
// locale machinery alone would make up a tenth of the executable.)
class TReadStream {
public:
  virtual ~TReadStream() = default;
  // Up to Count bytes into Buffer; 0 at the end. Raises on a read error.
  virtual size_t Read(void* Buffer, size_t Count) = 0;
};

class TLbSHA1 : public TLbHash {
public:
  // Digest becomes 20 zero bytes when the file cannot be opened, mapped or read.
  void HashFile(const std::wstring& FileName, TSHA1Digest& Digest);
  static std::wstring HashPrint(const TSHA1Digest& Digest);
  void HashBuffer(const void* Buffer, size_t Size, TSHA1Digest& Digest);
  // Reads 1024 bytes at a time until the stream ends.
  void HashStream(TReadStream& Stream, TSHA1Digest& Digest);
  // The UTF-16 bytes of S, or with AsUtf8 its UTF-8 encoding.
  void HashString(std::wstring_view S, bool AsUtf8, TSHA1Digest& Digest);
  void HashString(std::string_view S, TSHA1Digest& Digest);
  void GetDigest(TSHA1Digest& Digest) const { Digest = fDigest; }
  static std::wstring CalcBufferDigestStr(const void* Buffer, size_t Size);

protected:
  std::wstring GetPrint() const override { return HashPrint(fDigest); }

private:
  TSHA1Digest fDigest = {};
};

}  // namespace vt
