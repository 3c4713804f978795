// SHA-1: the published test vectors, and agreement with OpenSSL on buffers,
// strings and files of the sizes around the block and work-buffer edges.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "common/TestUtils.h"
#include "fw/uSysUtils.h"
#include "log/UHash.h"
#include "log/uCommonAppInfo.h"

namespace vt {
namespace {

// A string read in pieces of at most 700 bytes, so HashStream's 1024-byte
// reads come back short as well as whole.
class TStringReadStream : public TReadStream {
public:
  explicit TStringReadStream(std::string Data) : FData(std::move(Data)) {}
  size_t Read(void* Buffer, size_t Count) override {
    size_t n = std::min({Count, FData.size() - FPos, size_t(700)});
    std::memcpy(Buffer, FData.data() + FPos, n);
    FPos += n;
    return n;
  }

private:
  std::string FData;
  size_t FPos = 0;
};

const std::string kZeros(40, '0');

std::string Hex(const TSHA1Digest& d) { return WideToUtf8(TLbSHA1::HashPrint(d)); }

std::string OpenSslSha1(const void* Data, size_t Size) {
  unsigned char md[SHA_DIGEST_LENGTH];
  SHA1(static_cast<const unsigned char*>(Data), Size, md);
  TSHA1Digest d;
  for (int i = 0; i < SHA_DIGEST_LENGTH; ++i) d[i] = md[i];
  return Hex(d);
}

// Deterministic bytes that are not periodic at any block size.
std::string Pattern(size_t Size) {
  std::string s(Size, '\0');
  uint32_t x = 0x12345678u ^ static_cast<uint32_t>(Size);
  for (auto& c : s) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

TEST(Sha1, PublishedVectors) {
  struct TVector {
    std::string Message;
    const char* Digest;
  } vectors[] = {
      {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
      {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
       "rstu",
       "A49B2446A02C645BF419F995B67091253A04A259"},
      {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
  };
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.Message.substr(0, 20));
    TLbSHA1 h;
    TSHA1Digest d{};
    h.HashString(std::string_view(v.Message), d);
    EXPECT_EQ(Hex(d), v.Digest);
    EXPECT_EQ(WideToUtf8(h.Print()), v.Digest);
    TSHA1Digest copy{};
    h.GetDigest(copy);
    EXPECT_EQ(copy, d);
    EXPECT_EQ(WideToUtf8(TLbSHA1::CalcBufferDigestStr(v.Message.data(), v.Message.size())), v.Digest);
    TStringReadStream in(v.Message);
    TSHA1Digest streamed{};
    h.HashStream(in, streamed);
    EXPECT_EQ(Hex(streamed), v.Digest);
  }
}

TEST(Sha1, BuffersAgreeWithOpenSsl) {
  const std::string data = Pattern(4200);
  std::vector<size_t> sizes;
  for (size_t n = 0; n <= 130; ++n) sizes.push_back(n);
  for (size_t n : {1023u, 1024u, 1025u, 2047u, 2048u, 2049u, 3071u, 4096u, 4200u}) sizes.push_back(n);
  TLbSHA1 h;
  for (size_t n : sizes) {
    TSHA1Digest d{};
    h.HashBuffer(data.data(), n, d);
    EXPECT_EQ(Hex(d), OpenSslSha1(data.data(), n)) << n;
  }
}

TEST(Sha1, StringsAsUtf16OrUtf8) {
  const std::wstring s = L"Gr\u00FC\u00DFe \u20AC \u4E2D";
  const std::string utf8 = WideToUtf8(s);
  TLbSHA1 h;
  TSHA1Digest d{};
  h.HashString(std::wstring_view(s), true, d);
  EXPECT_EQ(Hex(d), OpenSslSha1(utf8.data(), utf8.size()));
  h.HashString(std::wstring_view(s), false, d);
  EXPECT_EQ(Hex(d), OpenSslSha1(s.data(), s.size() * sizeof(wchar_t)));
}

TEST(Sha1, FilesAgreeWithOpenSslAndEmptyGivesZeros) {
  test::TTempDir dir;
  for (size_t n : {0u, 1u, 1023u, 1024u, 1025u, 65536u, 3000017u}) {
    SCOPED_TRACE(n);
    const std::string data = Pattern(n);
    const std::wstring file = dir.File(L"f" + std::to_wstring(n) + L".bin");
    test::WriteFileBytes(file, data);
    const std::string expected = n == 0 ? kZeros : OpenSslSha1(data.data(), data.size());
    EXPECT_EQ(WideToUtf8(GetFileSHA1(file)), expected);
    TLbSHA1 h;
    TSHA1Digest d{};
    d.fill(0xAA);
    h.HashFile(file, d);
    EXPECT_EQ(Hex(d), expected);
    EXPECT_EQ(WideToUtf8(h.Print()), expected);
  }
}

TEST(Sha1, UnreadableFilesGiveZeros) {
  test::TTempDir dir;
  const std::wstring locked = dir.File(L"locked.bin");
  test::WriteFileBytes(locked, "some content");
  // Held open without any sharing: the hasher cannot open it.
  HANDLE h = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WideToUtf8(GetFileSHA1(locked)), kZeros);
  CloseHandle(h);
  EXPECT_EQ(WideToUtf8(GetFileSHA1(locked)), OpenSslSha1("some content", 12));

  EXPECT_EQ(WideToUtf8(GetFileSHA1(dir.File(L"missing.bin"))), kZeros);
  EXPECT_EQ(WideToUtf8(GetFileSHA1(dir.Path())), kZeros);  // a folder
  EXPECT_EQ(WideToUtf8(GetFileSHA1(L"")), kZeros);

  // A previous digest does not survive a failed hash.
  TLbSHA1 hasher;
  TSHA1Digest d{};
  hasher.HashString(std::string_view("abc"), d);
  hasher.HashFile(dir.File(L"missing.bin"), d);
  EXPECT_EQ(Hex(d), kZeros);
  EXPECT_EQ(WideToUtf8(hasher.Print()), kZeros);
}

}  // namespace
}  // namespace vt
