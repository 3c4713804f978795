#include "app/uInstallOptions.h"

#include <windows.h>

#include <charconv>

#include "fw/uSysUtils.h"
#include "log/DebugLogUtils.h"

namespace vt {

TMsiPropertyItem* TMsiProperties::FindByName(std::wstring_view Name) const {
  for (auto& item : FItems)
    if (SameTextAZ(item->Name, Name)) return item.get();
  return nullptr;
}

void TMsiProperties::SetProperty(const std::wstring& Name, const std::wstring& Value) {
  TMsiPropertyItem* found = FindByName(Name);
  if (found)
    found->Value = Value;
  else
    FItems.push_back(std::make_unique<TMsiPropertyItem>(Name, Value));
  LogFmt(L"TMsiProperties.SetProperty: \"%s\"=\"%s\"; %p", {Name, Value, static_cast<const void*>(found)});
}

void TMsiProperties::CopyFrom(const TMsiProperties& Source) {
  if (&Source == this) return;
  FItems.clear();
  for (auto& item : Source.FItems) FItems.push_back(std::make_unique<TMsiPropertyItem>(*item));
}

void TInstallerProxyParams::Assign(const TInstallerProxyParams& Source) {
  HostName = Source.HostName;
  Port = Source.Port;
  UseAuth = Source.UseAuth;
  UserName = Source.UserName;
  Password = Source.Password;
  ProxyType = Source.ProxyType;
  ProxyKind = Source.ProxyKind;
}

std::vector<std::wstring> SplitCommandLine(std::wstring_view s) {
  std::vector<std::wstring> out;
  size_t p = 0;
  const size_t n = s.size();
  auto at = [&](size_t i) -> wchar_t { return i < n ? s[i] : L'\0'; };
  for (;;) {
    for (;;) {
      while (at(p) != L'\0' && at(p) <= L' ') ++p;
      if (at(p) == L'"' && at(p + 1) == L'"')
        p += 2;  // an empty quoted argument does not count
      else
        break;
    }
    std::wstring arg;
    while (at(p) > L' ') {
      if (at(p) == L'"') {
        ++p;
        while (at(p) != L'\0' && at(p) != L'"') arg += s[p++];
        if (at(p) != L'\0') ++p;
      } else {
        arg += s[p++];
      }
    }
    // As the runtime counts, an empty argument ends the list.
    if (arg.empty()) break;
    out.push_back(std::move(arg));
  }
  return out;
}

std::wstring Dequote(std::wstring_view s) {
  if (s.size() < 2 || s.front() != L'"' || s.back() != L'"') return std::wstring(s);
  std::wstring r;
  std::wstring_view inner = s.substr(1, s.size() - 2);
  for (size_t i = 0; i < inner.size(); ++i) {
    r += inner[i];
    if (inner[i] == L'"' && i + 1 < inner.size() && inner[i + 1] == L'"') ++i;
  }
  return r;
}

namespace {

void AddUnsupported(TInstallOptions& o, std::wstring_view entry) {
  if (!o.FUnsupportedParams.empty()) o.FUnsupportedParams += L"\r\n";
  o.FUnsupportedParams += entry;
}

// A signed 32-bit decimal: leading blanks, at most one sign, then digits only
// ("+-5" is not a number). Decimal only is this setup's choice; hex forms are
// not taken.
bool ParseInt32(std::wstring_view s, int32_t& out) {
  while (!s.empty() && s.front() == L' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == L'+' || s.front() == L'-')) {
    negative = s.front() == L'-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  std::string digits;
  for (wchar_t c : s) {
    if (c < L'0' || c > L'9') return false;
    digits += static_cast<char>(c);
  }
  uint64_t magnitude = 0;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (ec != std::errc() || ptr != digits.data() + digits.size()) return false;
  if (magnitude > (negative ? 2147483648ull : 2147483647ull)) return false;
  out = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
  return true;
}

// Rule A: name=value.
void ApplyAssignment(const std::wstring& arg, TInstallOptions& o) {
  size_t eq = arg.find(L'=');
  std::wstring name = UpperCaseAZ(TrimBlanks(std::wstring_view(arg).substr(0, eq)));
  std::wstring value = arg.substr(eq + 1);
  if (name.empty()) return;
  if (name[0] != L'/') {
    o.FMsiProperties.SetProperty(name, value);
    return;
  }
  TInstallerProxyParams& px = o.FProxyParams;
  if (name == L"/ALTVER") {
    o.FAltVer = value;
  } else if (name == L"/CENV") {
    o.FCenv = value;
  } else if (name == L"/DIR") {
    o.FInstallDir = Dequote(value);
    if (o.FInstallDir.empty() || o.FInstallDir.back() != L'\\') o.FInstallDir += L'\\';
  } else if (name == L"/PROXYSERVER") {
    px.HostName = Dequote(value);
  } else if (name == L"/PROXYPORT") {
    int32_t port;
    if (ParseInt32(Dequote(value), port))
      px.Port = port;
    else
      AddUnsupported(o, arg);
  } else if (name == L"/PROXYUSERNAME") {
    px.UserName = Dequote(value);
    px.UseAuth = true;
  } else if (name == L"/PROXYPASSWORD") {
    px.Password = Dequote(value);
    px.UseAuth = true;
  } else if (name == L"/PROXYTYPE") {
    std::wstring t = Dequote(value);
    if (SameTextAZ(t, L"socks")) {
      px.ProxyType = vtptSocks;
      px.ProxyKind = vtpckStandard;
    } else if (SameTextAZ(t, L"RelayProxy")) {
      px.ProxyType = vtptSocks;
      px.ProxyKind = vtpckVeltRelay;
      px.Port = 33500;
      px.UseAuth = true;
    } else {
      px.ProxyType = vtptHttp;
      px.ProxyKind = vtpckStandard;
    }
  } else {
    AddUnsupported(o, arg);
  }
}

struct TLogLetter {
  wchar_t Letter;
  uint32_t Mode;
  uint32_t Attr;
};

constexpr TLogLetter kLogLetters[] = {
    {L'I', 0x10, 0},  {L'W', 0x4, 0},    {L'E', 0x2, 0},    {L'A', 0x100, 0}, {L'R', 0x200, 0},
    {L'U', 0x8, 0},   {L'C', 0x800, 0},  {L'M', 0x1, 0},    {L'O', 0x80, 0},  {L'P', 0x400, 0},
    {L'V', 0x1000, 0}, {L'X', 0x2000, 0}, {L'+', 0, 1},     {L'!', 0, 2},
};

void ApplyLogLetters(std::wstring_view upper, TInstallOptions& o) {
  o.FLogMode = 0;
  o.FLogAttributes = 0;
  if (upper == L"/LOG") upper = L"/L*";
  for (wchar_t c : upper.substr(2)) {
    if (c == L'*') {
      o.FLogMode = 0xF9F;
      continue;
    }
    bool known = false;
    for (const auto& l : kLogLetters)
      if (l.Letter == c) {
        o.FLogMode |= l.Mode;
        o.FLogAttributes |= l.Attr;
        known = true;
        break;
      }
    if (!known) AddUnsupported(o, std::wstring(L"/L") + c);
  }
}

}  // namespace

void ParseInstallArguments(const std::vector<std::wstring>& Args, TInstallOptions& o) {
  o.FMsiProperties.Clear();
  o.FUnsupportedParams.clear();
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::wstring& arg = Args[i];
    if (arg.find(L'=') != std::wstring::npos) {
      ApplyAssignment(arg, o);
      continue;
    }
    std::wstring up = UpperCaseAZ(arg);
    if (up == L"/QUIET" || up == L"/QN") {
      o.FQuietMode = true;
      o.FMsiProperties.SetProperty(L"BSQUIET", L"1");
    } else if (up == L"/PASSIVE" || up == L"/QB" || up == L"/QR" || up == L"/QF") {
      // accepted for compatibility; no effect
    } else if (up == L"/NOREB") {
      o.FNoRebranding = true;
    } else if (up == L"/NOCHECK") {
      o.FNoEnvCheck = true;
    } else if (up == L"/NODOWNLOAD") {
      o.FNoDownload = true;
    } else if (up.starts_with(L"/L")) {
      ApplyLogLetters(up, o);
      // The next argument is the log file, taken as it was given.
      if (i + 1 < Args.size()) {
        o.FLogFile = Args[++i];
        if (o.FLogFile == L"*") o.FLogFile = GetLogFileName(L"InstallLog");
      } else {
        o.FLogFile.clear();
      }
    } else {
      AddUnsupported(o, arg);
    }
  }
}

void ParseProcessCommandLine(TInstallOptions& Options) {
  std::vector<std::wstring> all = SplitCommandLine(GetCommandLineW());
  std::vector<std::wstring> args;
  if (all.size() > 1) args.assign(all.begin() + 1, all.end());
  ParseInstallArguments(args, Options);
}

}  // namespace vt
