// Exceptions, typed formatting and small string helpers shared by every unit.
#pragma once
#include <windows.h>

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace vt {

// Base of the setup's own exceptions: a class name and a user-readable message.
class Exception : public std::exception {
public:
  explicit Exception(std::wstring Message) : FMessage(std::move(Message)) {}
  virtual std::wstring ClassName() const { return L"Exception"; }
  const std::wstring& Message() const { return FMessage; }
  // Call-stack text; empty where the platform gives none.
  virtual std::wstring StackTrace() const { return {}; }
  const char* what() const noexcept override;

private:
  std::wstring FMessage;
  mutable std::string FWhat;
};

// Raised by Format when the arguments do not fit the format.
class EConvertError : public Exception {
public:
  using Exception::Exception;
  std::wstring ClassName() const override { return L"EConvertError"; }
};

// A failed Windows call, carrying its error code.
class EOSError : public Exception {
public:
  EOSError(std::wstring Message, DWORD Code) : Exception(std::move(Message)), ErrorCode(Code) {}
  std::wstring ClassName() const override { return L"EOSError"; }
  DWORD ErrorCode;
};

// Raises EOSError for Code (default: the calling thread's last error).
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(DWORD Code);

// System message text for Code, without trailing blanks, line breaks and full stops.
std::wstring SysErrorMessage(DWORD Code, LANGID Lang = 0);

// One formatting argument. Its kind is fixed at the call site, so a placeholder
// that does not fit its argument is detected instead of read as something else.
class TFmtArg {
public:
  enum class TKind { String, Signed, Unsigned, Pointer, Boolean };

  TFmtArg(const wchar_t* s) : FKind(TKind::String), FStr(s ? s : L"") {}
  TFmtArg(const std::wstring& s) : FKind(TKind::String), FStr(s) {}
  TFmtArg(std::wstring_view s) : FKind(TKind::String), FStr(s) {}
  TFmtArg(const char* s);
  TFmtArg(const std::string& s) : TFmtArg(s.c_str()) {}
  TFmtArg(bool b) : FKind(TKind::Boolean), FUInt(b ? 1 : 0) {}
  TFmtArg(wchar_t c) : FKind(TKind::String), FOwned(1, c), FStr(FOwned) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T> &&
                                          !std::is_same_v<T, char> && !std::is_same_v<T, wchar_t>,
                                      int> = 0>
  TFmtArg(T v) : FKind(TKind::Signed), FInt(v) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> &&
                                          !std::is_same_v<T, bool> && !std::is_same_v<T, wchar_t>,
                                      int> = 0>
  TFmtArg(T v) : FKind(TKind::Unsigned), FUInt(v) {}
  template <class T, std::enable_if_t<std::is_enum_v<T>, int> = 0>
  TFmtArg(T v) : TFmtArg(static_cast<std::underlying_type_t<T>>(v)) {}
  TFmtArg(const void* p) : FKind(TKind::Pointer), FUInt(reinterpret_cast<uintptr_t>(p)) {}
  TFmtArg(std::nullptr_t) : FKind(TKind::Pointer), FUInt(0) {}

  TFmtArg(const TFmtArg& o) : FKind(o.FKind), FInt(o.FInt), FUInt(o.FUInt), FOwned(o.FOwned),
                              FStr(o.FOwned.empty() ? o.FStr : std::wstring_view(FOwned)) {}
  TFmtArg& operator=(const TFmtArg&) = delete;

  TKind Kind() const { return FKind; }
  int64_t AsSigned() const { return FInt; }
  uint64_t AsUnsigned() const { return FUInt; }
  std::wstring_view AsString() const { return FStr; }

private:
  TKind FKind;
  int64_t FInt = 0;
  uint64_t FUInt = 0;
  std::wstring FOwned;
  std::wstring_view FStr;
};

using TFmtArgs = std::initializer_list<TFmtArg>;

// Formats with "%s", "%d", "%u", "%x" (upper-case hex), "%p" (eight upper-case
// hex digits), "%%", an optional "-" (left-align), width and ".precision".
// Raises EConvertError when a placeholder is malformed, has no argument or
// does not fit its argument's kind; never writes a half-formatted result.
std::wstring Format(std::wstring_view Fmt, std::span<const TFmtArg> Args);
inline std::wstring Format(std::wstring_view Fmt, TFmtArgs Args) {
  return Format(Fmt, std::span<const TFmtArg>(Args.begin(), Args.size()));
}

const wchar_t* BoolToStr(bool b);  // "True" / "False"

// Upper/lower case of the letters a to z only.
std::wstring UpperCaseAZ(std::wstring_view s);
bool SameTextAZ(std::wstring_view a, std::wstring_view b);
// Removes leading and trailing characters at or below the space character.
std::wstring_view TrimBlanks(std::wstring_view s);
// A signed 32-bit decimal: leading blanks, at most one sign, then digits only.
// False (Out unchanged) for anything else, an empty text or a value out of range.
bool TryStrToInt(std::wstring_view s, int32_t& Out);

std::wstring Utf8ToWide(std::string_view s);
std::string WideToUtf8(std::wstring_view s);
std::string WideToAnsi(std::wstring_view s);

// True when Path names an existing file (not a folder).
bool FileExists(const std::wstring& Path);

// Full path of the running executable, and its folder with a trailing backslash.
std::wstring GetModulePath(HMODULE Module = nullptr);
std::wstring ExtractFilePath(std::wstring_view Path);   // up to and including the last '\'
std::wstring ExtractFileName(std::wstring_view Path);
std::wstring ChangeFileExt(std::wstring_view Path, std::wstring_view Ext);

}  // namespace vt
