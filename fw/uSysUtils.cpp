#include "fw/uSysUtils.h"

#include <algorithm>

namespace vt {

const char* Exception::what() const noexcept {
  try {
    FWhat = WideToUtf8(FMessage);
    return FWhat.c_str();
  } catch (...) {
    return "Exception";
  }
}

void RaiseLastOSError() { RaiseLastOSError(GetLastError()); }

void RaiseLastOSError(DWORD Code) {
  std::wstring text = SysErrorMessage(Code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  throw EOSError(Format(L"System Error.  Code: %d.\r\n%s", {static_cast<int32_t>(Code), text}), Code);
}

std::wstring SysErrorMessage(DWORD Code, LANGID Lang) {
  wchar_t* buf = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           nullptr, Code, Lang, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  if (n == 0 && Lang != 0)
    n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       nullptr, Code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::wstring s;
  if (n && buf) s.assign(buf, n);
  if (buf) LocalFree(buf);
  while (!s.empty() && (s.back() == L' ' || s.back() == L'\r' || s.back() == L'\n' || s.back() == L'.'))
    s.pop_back();
  return s;
}

TFmtArg::TFmtArg(const char* s) : FKind(TKind::String), FOwned(Utf8ToWide(s ? s : "")), FStr(FOwned) {}

namespace {

[[noreturn]] void FormatError(std::wstring_view Fmt) {
  throw EConvertError(L"Format '" + std::wstring(Fmt) + L"' invalid or incompatible with argument");
}

std::wstring Digits(uint64_t v, unsigned base) {
  static const wchar_t hex[] = L"0123456789ABCDEF";
  wchar_t buf[32];
  int i = 32;
  do {
    buf[--i] = hex[v % base];
    v /= base;
  } while (v);
  return std::wstring(buf + i, 32 - i);
}

}  // namespace

std::wstring Format(std::wstring_view Fmt, std::span<const TFmtArg> Args) {
  std::wstring out;
  out.reserve(Fmt.size() + 16 * Args.size());
  size_t argi = 0;
  size_t i = 0;
  while (i < Fmt.size()) {
    wchar_t c = Fmt[i++];
    if (c != L'%') {
      out += c;
      continue;
    }
    if (i >= Fmt.size()) FormatError(Fmt);
    if (Fmt[i] == L'%') {
      out += L'%';
      ++i;
      continue;
    }
    bool left = false;
    if (Fmt[i] == L'-') {
      left = true;
      ++i;
    }
    size_t width = 0;
    while (i < Fmt.size() && Fmt[i] >= L'0' && Fmt[i] <= L'9') {
      width = width * 10 + (Fmt[i++] - L'0');
      if (width > 4096) FormatError(Fmt);
    }
    bool hasPrec = false;
    size_t prec = 0;
    if (i < Fmt.size() && Fmt[i] == L'.') {
      hasPrec = true;
      ++i;
      while (i < Fmt.size() && Fmt[i] >= L'0' && Fmt[i] <= L'9') {
        prec = prec * 10 + (Fmt[i++] - L'0');
        if (prec > 4096) FormatError(Fmt);
      }
    }
    if (i >= Fmt.size()) FormatError(Fmt);
    wchar_t conv = static_cast<wchar_t>(towlower(Fmt[i++]));
    if (argi >= Args.size()) FormatError(Fmt);
    const TFmtArg& a = Args[argi++];
    std::wstring piece;
    switch (conv) {
      case L's':
        if (a.Kind() == TFmtArg::TKind::String)
          piece = a.AsString();
        else if (a.Kind() == TFmtArg::TKind::Boolean)
          piece = BoolToStr(a.AsUnsigned() != 0);
        else
          FormatError(Fmt);
        if (hasPrec && piece.size() > prec) piece.resize(prec);
        break;
      case L'd':
      case L'u': {
        bool neg = false;
        uint64_t mag;
        if (a.Kind() == TFmtArg::TKind::Signed) {
          int64_t v = a.AsSigned();
          neg = v < 0;
          mag = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        } else if (a.Kind() == TFmtArg::TKind::Unsigned) {
          mag = a.AsUnsigned();
        } else {
          FormatError(Fmt);
        }
        piece = Digits(mag, 10);
        if (hasPrec && piece.size() < prec) piece.insert(0, prec - piece.size(), L'0');
        if (neg) piece.insert(0, 1, L'-');
        break;
      }
      case L'x': {
        uint64_t v;
        if (a.Kind() == TFmtArg::TKind::Signed) {
          // Negative 32-bit values print as their 32-bit pattern.
          int64_t s = a.AsSigned();
          v = (s < 0 && s >= INT32_MIN) ? static_cast<uint32_t>(s) : static_cast<uint64_t>(s);
        } else if (a.Kind() == TFmtArg::TKind::Unsigned || a.Kind() == TFmtArg::TKind::Pointer) {
          v = a.AsUnsigned();
        } else {
          FormatError(Fmt);
        }
        piece = Digits(v, 16);
        if (hasPrec && piece.size() < prec) piece.insert(0, prec - piece.size(), L'0');
        break;
      }
      case L'p': {
        if (a.Kind() != TFmtArg::TKind::Pointer && a.Kind() != TFmtArg::TKind::Unsigned &&
            a.Kind() != TFmtArg::TKind::Signed)
          FormatError(Fmt);
        uint64_t v = a.Kind() == TFmtArg::TKind::Signed ? static_cast<uint64_t>(a.AsSigned()) : a.AsUnsigned();
        piece = Digits(v, 16);
        size_t w = sizeof(void*) * 2;
        if (piece.size() < w) piece.insert(0, w - piece.size(), L'0');
        break;
      }
      default:
        FormatError(Fmt);
    }
    if (piece.size() < width) {
      if (left)
        piece.append(width - piece.size(), L' ');
      else
        piece.insert(0, width - piece.size(), L' ');
    }
    out += piece;
  }
  return out;
}

const wchar_t* BoolToStr(bool b) { return b ? L"True" : L"False"; }

std::wstring UpperCaseAZ(std::wstring_view s) {
  std::wstring r(s);
  for (auto& ch : r)
    if (ch >= L'a' && ch <= L'z') ch = static_cast<wchar_t>(ch - 32);
  return r;
}

bool SameTextAZ(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - 32);
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::wstring_view TrimBlanks(std::wstring_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= L' ') ++b;
  while (e > b && s[e - 1] <= L' ') --e;
  return s.substr(b, e - b);
}

bool TryStrToInt(std::wstring_view s, int32_t& Out) {
  while (!s.empty() && s.front() == L' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == L'+' || s.front() == L'-')) {
    negative = s.front() == L'-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  const uint64_t limit = negative ? 2147483648ull : 2147483647ull;
  uint64_t v = 0;
  for (wchar_t c : s) {
    if (c < L'0' || c > L'9') return false;
    v = v * 10 + uint64_t(c - L'0');
    if (v > limit) return false;
  }
  Out = negative ? static_cast<int32_t>(-static_cast<int64_t>(v)) : static_cast<int32_t>(v);
  return true;
}

std::wstring Utf8ToWide(std::string_view s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring r(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), r.data(), n);
  return r;
}

static std::string WideTo(UINT cp, std::wstring_view s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string r(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), r.data(), n, nullptr, nullptr);
  return r;
}

std::string WideToUtf8(std::wstring_view s) { return WideTo(CP_UTF8, s); }
std::string WideToAnsi(std::wstring_view s) { return WideTo(CP_ACP, s); }

bool FileExists(const std::wstring& Path) {
  DWORD a = GetFileAttributesW(Path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring GetModulePath(HMODULE Module) {
  std::wstring buf(MAX_PATH, L'\0');
  for (int tries = 0; tries < 8; ++tries) {
    DWORD n = GetModuleFileNameW(Module, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
  return {};
}

std::wstring ExtractFilePath(std::wstring_view Path) {
  size_t p = Path.find_last_of(L"\\:");
  return p == std::wstring_view::npos ? std::wstring() : std::wstring(Path.substr(0, p + 1));
}

std::wstring ExtractFileName(std::wstring_view Path) {
  size_t p = Path.find_last_of(L"\\:");
  return std::wstring(p == std::wstring_view::npos ? Path : Path.substr(p + 1));
}

std::wstring ChangeFileExt(std::wstring_view Path, std::wstring_view Ext) {
  size_t dot = Path.find_last_of(L".\\:");
  if (dot == std::wstring_view::npos || Path[dot] != L'.') return std::wstring(Path) + std::wstring(Ext);
  return std::wstring(Path.substr(0, dot)) + std::wstring(Ext);
}

}  // namespace vt
