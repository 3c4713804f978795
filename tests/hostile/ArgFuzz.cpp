#include "hostile/ArgFuzz.h"

#include <algorithm>
#include <climits>
#include <iterator>

#include "fw/uSysUtils.h"

namespace vt::test {

namespace {

// The installer logging letters as msiexec documents them, and "*".
struct TLetter {
  wchar_t Letter;
  uint32_t Mode;
  uint32_t Attributes;
};
constexpr TLetter kLetters[] = {
    {L'I', 0x10, 0},  {L'W', 0x4, 0},  {L'E', 0x2, 0},   {L'A', 0x100, 0},  {L'R', 0x200, 0},
    {L'U', 0x8, 0},   {L'C', 0x800, 0}, {L'M', 0x1, 0},   {L'O', 0x80, 0},   {L'P', 0x400, 0},
    {L'V', 0x1000, 0}, {L'X', 0x2000, 0}, {L'+', 0, 1},   {L'!', 0, 2},
};
constexpr wchar_t kKnownLetters[] = L"iwearucmopvxIWEARUCMOPVX+!*";
// Letters no logging switch knows, some of them look-alikes.
constexpr wchar_t kOtherLetters[] = {L'q', L'z', L'y', L'g', L's', L'1', L'9', L'?', L'/', L'\\', L'.', L'L', L'#',
                                     0xE9, 0x131, 0x212A /* Kelvin */, 0xFF2C /* fullwidth L */, 0x0399, 0xD83D};

// Switches of msiexec and near-misses of ours that the setup does not know.
const wchar_t* const kUnknownWords[] = {
    L"-quiet", L"/?", L"/i", L"/x", L"/a", L"/f", L"/j", L"/p", L"/norestart", L"/forcerestart", L"/promptrestart",
    L"/update", L"/uninstall", L"/package", L"/help", L"/h", L"quiet", L"/q", L"/qb-", L"/qb+", L"/qb!", L"/qn+",
    L"/quiet+", L"/nodownloads", L"/noreb2", L"-L*v", L"/passive2", L"\\quiet", L"//quiet", L"/QUIET/", L"/",
    L"/\xFF31\xFF35\xFF29\xFF25\xFF34",  // fullwidth QUIET
    L"/qu\x0131" L"et", L"/QU\x0130" L"ET", L"/noche\x212A", L"/\xFF2C*v", L"/qn\x200F", L"\xFEFF/quiet",
    L"/nodownload\x00A0", L"/\xD83D\xDE00", L"/noreb\xDC00"};
// Names with "=" that begin with "/" but name nothing of ours.
const wchar_t* const kUnknownNames[] = {L"/QUIET", L"/qn", L"/DIRECTORY", L"/PROXY", L"/PORT", L"/L*V", L"/",
                                        L"//DIR", L"/DIR/", L"/PROXYPORTS", L"/\xFF24IR", L"/D\x0130R", L"/NODOWNLOAD",
                                        L"/proxytype2", L"/ALT\x00A0VER", L"/ALTVER\x0085"};
const wchar_t* const kKnownNames[] = {L"/ALTVER", L"/CENV", L"/DIR", L"/PROXYSERVER", L"/PROXYPORT",
                                      L"/PROXYUSERNAME", L"/PROXYPASSWORD", L"/PROXYTYPE"};
// Installer property names, a few of them repeated in other letter case.
const wchar_t* const kPropertyNames[] = {L"INSTALLDIR", L"installfolder", L"Prop", L"p", L"A_B", L"MSIFASTINSTALL",
                                         L"x.y", L"BSQUIET", L"bsquiet", L"\x00C4\x00D6\x00DC", L"prop\x0131",
                                         L"\xFF30ROP", L"p/q", L"PROP", L"%s%d%n"};
const wchar_t* const kProxyTypes[] = {L"socks",  L"SOCKS", L"SoCkS", L"relayproxy", L"RelayProxy", L"RELAYPROXY",
                                      L"http",   L"HTTPS", L"",      L"sock",       L"socks5",     L"relay proxy",
                                      L"\x0455ocks", L"relayproxy "};
const wchar_t* const kBadPorts[] = {L"",    L"abc", L"8x",  L"0x10", L"1 ",  L"2147483648", L"-2147483649", L"++1",
                                    L"1.5", L"\x0663", L"\xFF18\xFF10", L" ",   L"+",   L"-",          L"1e3", L"80\t"};

std::wstring Upper(const std::wstring& s) { return UpperCaseAZ(s); }

}  // namespace

std::vector<std::pair<std::wstring, std::wstring>> TArgExpectation::Properties() const {
  std::vector<std::pair<std::wstring, std::wstring>> out;
  for (const auto& [name, value] : SetCalls) {
    auto it = std::find_if(out.begin(), out.end(), [&](const auto& p) { return Upper(p.first) == Upper(name); });
    if (it != out.end())
      it->second = value;
    else
      out.emplace_back(name, value);
  }
  return out;
}

wchar_t TArgFuzzer::HostileChar(bool Blanks) {
  static const wchar_t kSpecial[] = L"=/Ll*+!%\\:.-?&#'`^~$";
  static const wchar_t kUnicode[] = {0xE9,   0xDF,   0x131,  0x130,  0x212A, 0xFF2C, 0x200F, 0xFEFF, 0xFFFF, 0xFFFE,
                                     0x4E2D, 0x0640, 0x00A0, 0x3000, 0x0085, 0x2028, 0xD83D, 0xDE00, 0x0663, 0x05D0};
  size_t k = Below(Blanks ? 12 : 10);
  if (k < 5) {  // printable ASCII; a quote only where no splitting removes it
    wchar_t c = static_cast<wchar_t>(L'!' + Below(94));
    return c == L'"' && !FLimits.Direct ? L'\'' : c;
  }
  if (k < 7) return kSpecial[Below(std::size(kSpecial) - 1)];
  if (k < 9) return kUnicode[Below(std::size(kUnicode))];
  if (k < 10) return FLimits.Direct ? L'"' : L'=';
  // Blanks: inside an argument only within quotes.
  if (FLimits.ControlChars && Chance(0.5)) return static_cast<wchar_t>(1 + Below(31));
  return Chance(0.7) ? L' ' : L'\t';
}

std::wstring TArgFuzzer::Text(size_t MaxLen, bool Blanks, bool Equals) {
  size_t n = Below(MaxLen + 1);
  std::wstring s;
  while (s.size() < n) {
    wchar_t c = HostileChar(Blanks);
    if (c == L'=' && !Equals) continue;
    if (c == 0xD83D && Chance(0.5)) s += L'\xD83D', c = L'\xDE00';  // sometimes a whole pair
    s += c;
  }
  return s;
}

std::wstring TArgFuzzer::Value(bool Blanks) {
  if (FLimits.LongValue >= 1000 && Chance(FLimits.LongChance)) {
    size_t n = 1000 + Below(FLimits.LongValue - 999);
    std::wstring piece = Text(16, Blanks, true) + L"x";
    std::wstring s;
    while (s.size() < n) s += piece;
    s.resize(n);
    return s;
  }
  return Text(12, Blanks, true);
}

std::wstring TArgFuzzer::RandomCase(std::wstring s) {
  for (auto& c : s)
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'))
      if (Chance(0.5)) c = static_cast<wchar_t>(c ^ 0x20);
  return s;
}

std::wstring TArgFuzzer::Padded(const std::wstring& Name) {
  auto pad = [&] {
    std::wstring p;
    size_t n = Chance(0.8) ? 0 : 1 + Below(3);
    for (size_t i = 0; i < n; ++i)
      p += FLimits.ControlChars && Chance(0.3) ? static_cast<wchar_t>(1 + Below(31)) : (Chance(0.5) ? L' ' : L'\t');
    return p;
  };
  return pad() + Name + pad();
}

std::wstring TArgFuzzer::Encode(const std::wstring& Arg, bool Last) {
  // The splitter removes every quote and keeps blanks only between quotes;
  // an empty quoted pair adds nothing wherever it stands.
  size_t first = Arg.size(), last = 0;
  for (size_t i = 0; i < Arg.size(); ++i)
    if (Arg[i] <= L' ') first = std::min(first, i), last = i + 1;
  std::wstring out;
  if (first == Arg.size() && Chance(0.5)) {
    out = Arg;
  } else {
    size_t a = Below(std::min(first, Arg.size()) + 1);
    size_t lo = std::max(last, a);
    size_t b = lo + Below(Arg.size() - lo + 1);
    bool open = Last && b == Arg.size() && Chance(0.3);  // an unterminated quote at the end
    out = Arg.substr(0, a) + L'"' + Arg.substr(a, b - a) + (open ? L"" : L"\"") + Arg.substr(b);
  }
  for (size_t n = Chance(0.15) ? 1 + Below(2) : 0; n > 0; --n) out.insert(Below(out.size() + 1), L"\"\"");
  return out;
}

std::wstring TArgFuzzer::Separator() {
  std::wstring s;
  for (size_t n = 1 + Below(3); n > 0; --n) {
    size_t k = Below(10);
    s += k < 6 ? L' ' : k < 8 ? L'\t' : static_cast<wchar_t>(1 + Below(31));
  }
  if (Chance(0.1)) s += L"\"\" ";  // an empty quoted argument does not count
  return s;
}

void TArgFuzzer::Unsupported(TArgExpectation& w, const std::wstring& Entry) {
  if (!w.Unsupported.empty()) w.Unsupported += L"\r\n";
  w.Unsupported += Entry;
}

std::wstring TArgFuzzer::QuotedForDequote(const std::wstring& Inner, std::wstring& Dequoted) {
  std::wstring q = L"\"";
  for (wchar_t c : Inner) {
    q += c;
    if (c == L'"') q += L'"';
  }
  Dequoted = Inner;
  return q + L"\"";
}

void TArgFuzzer::AddRandomArgument(TArgCase& c, bool MayTakeNext) {
  TArgExpectation& w = c.Want;
  const bool blanks = true;  // values may hold blanks (the line then quotes them)
  // A value that the parser dequotes: plain, or (given directly) quoted.
  auto dequotedValue = [&](std::wstring& Dequoted) {
    std::wstring v;
    do v = Value(blanks);
    while (v.find(L'"') != std::wstring::npos);
    if (FLimits.Direct && Chance(0.4)) {
      std::wstring inner = Value(blanks);
      return QuotedForDequote(inner, Dequoted);
    }
    if (FLimits.Direct && Chance(0.1)) v = Chance(0.5) ? L"\"" + v : v + L"\"";  // one quote only: kept
    Dequoted = v;
    return v;
  };
  static const int kWeights[] = {5, 4, 4, 10, 20, 6, 25, 3, 12};
  int total = 0;
  for (int x : kWeights) total += x;
  int pick = static_cast<int>(Below(total)), kind = 0;
  while (pick >= kWeights[kind]) pick -= kWeights[kind++];

  switch (kind) {
    case 0: {  // quiet
      c.Args.push_back(RandomCase(Chance(0.5) ? L"/quiet" : L"/qn"));
      w.Quiet = true;
      w.SetCalls.emplace_back(L"BSQUIET", L"1");
      break;
    }
    case 1: {  // accepted, no effect
      static const wchar_t* const k[] = {L"/passive", L"/qb", L"/qr", L"/qf"};
      c.Args.push_back(RandomCase(k[Below(4)]));
      break;
    }
    case 2: {  // our flags
      size_t k = Below(3);
      c.Args.push_back(RandomCase(k == 0 ? L"/noreb" : k == 1 ? L"/nocheck" : L"/nodownload"));
      (k == 0 ? w.NoReb : k == 1 ? w.NoCheck : w.NoDownload) = true;
      break;
    }
    case 3: {  // installer logging, and the log file after it
      std::wstring arg;
      if (Chance(0.15)) {
        arg = RandomCase(L"/log");
      } else {
        arg = RandomCase(L"/l");
        for (size_t n = Below(7); n > 0; --n) {
          if (Chance(0.8)) {
            arg += kKnownLetters[Below(std::size(kKnownLetters) - 1)];
          } else {
            wchar_t o = kOtherLetters[Below(std::size(kOtherLetters))];
            if (o <= L' ' || (o == L'\xD83D' && !Chance(0.5))) o = L'q';
            arg += o;
          }
        }
        if (Chance(0.05)) arg += Chance(0.5) ? L' ' : L'\t';  // a blank is a letter too, inside quotes
      }
      c.Args.push_back(arg);
      std::wstring up = Upper(arg);
      std::wstring letters = up == L"/LOG" ? L"*" : up.substr(2);
      w.LogMode = 0;
      w.LogAttributes = 0;
      for (wchar_t l : letters) {
        if (l == L'*') {
          w.LogMode = 0xF9F;
          continue;
        }
        auto it = std::find_if(std::begin(kLetters), std::end(kLetters), [&](const TLetter& t) { return t.Letter == l; });
        if (it == std::end(kLetters)) {
          Unsupported(w, std::wstring(L"/L") + l);
        } else {
          w.LogMode |= it->Mode;
          w.LogAttributes |= it->Attributes;
        }
      }
      w.LogFile.clear();
      w.LogFileIsDefault = false;
      if (MayTakeNext) {
        static const wchar_t* const kFiles[] = {L"*", L"/quiet", L"/L*v", L"a=b", L"/foo", L"=x", L"-quiet"};
        std::wstring file = Chance(0.4) ? std::wstring(kFiles[Below(std::size(kFiles))]) : L"f" + Text(20, blanks, true);
        c.Args.push_back(file);
        w.LogFile = file;
        w.LogFileIsDefault = file == L"*";
      }
      break;
    }
    case 4: {  // our own names with a value
      std::wstring name = kKnownNames[Below(std::size(kKnownNames))];
      std::wstring value, dequoted;
      if (name == L"/ALTVER" || name == L"/CENV") {
        value = Value(blanks);
        (name == L"/ALTVER" ? w.AltVer : w.Cenv) = value;
      } else if (name == L"/PROXYPORT") {
        if (Chance(0.7)) {
          static const int32_t kEdges[] = {0, 1, 80, 8080, 65535, 65536, -1, INT32_MAX, INT32_MIN};
          int32_t n = Chance(0.3) ? kEdges[Below(std::size(kEdges))]
                                  : static_cast<int32_t>(std::uniform_int_distribution<int64_t>(INT32_MIN, INT32_MAX)(FRnd));
          std::wstring text = std::to_wstring(n);
          if (n >= 0 && Chance(0.2)) text = L"+" + text;
          if (Chance(0.2)) text = std::wstring(1 + Below(3), L' ') + text;
          if (Chance(0.1)) text.insert(text[0] == L'-' || text[0] == L'+' || text[0] == L' ' ? text.find_first_of(L"0123456789") : 0, L"000");
          value = FLimits.Direct && Chance(0.3) ? QuotedForDequote(text, dequoted) : text;
          w.Proxy.Port = n;
        } else {
          std::wstring bad = kBadPorts[Below(std::size(kBadPorts))];
          value = FLimits.Direct && Chance(0.3) ? QuotedForDequote(bad, dequoted) : bad;
          name = RandomCase(name);
          std::wstring arg = Padded(name) + L"=" + value;
          c.Args.push_back(arg);
          Unsupported(w, arg);
          break;
        }
      } else if (name == L"/PROXYTYPE") {
        std::wstring t = kProxyTypes[Below(std::size(kProxyTypes))];
        value = FLimits.Direct && Chance(0.3) ? QuotedForDequote(t, dequoted) : t;
        std::wstring up = Upper(t);
        if (up == L"SOCKS") {
          w.Proxy.ProxyType = vtptSocks;
          w.Proxy.ProxyKind = vtpckStandard;
        } else if (up == L"RELAYPROXY") {
          w.Proxy.ProxyType = vtptSocks;
          w.Proxy.ProxyKind = vtpckVeltRelay;
          w.Proxy.Port = 33500;
          w.Proxy.UseAuth = true;
        } else {
          w.Proxy.ProxyType = vtptHttp;
          w.Proxy.ProxyKind = vtpckStandard;
        }
      } else {
        value = dequotedValue(dequoted);
        if (name == L"/DIR") {
          w.InstallDir = dequoted;
          if (w.InstallDir.empty() || w.InstallDir.back() != L'\\') w.InstallDir += L'\\';
        } else if (name == L"/PROXYSERVER") {
          w.Proxy.HostName = dequoted;
        } else {
          (name == L"/PROXYUSERNAME" ? w.Proxy.UserName : w.Proxy.Password) = dequoted;
          w.Proxy.UseAuth = true;
        }
      }
      c.Args.push_back(Padded(RandomCase(name)) + L"=" + value);
      break;
    }
    case 5: {  // a "/" name we do not know, with a value
      std::wstring arg = Padded(RandomCase(kUnknownNames[Below(std::size(kUnknownNames))])) + L"=" + Value(blanks);
      c.Args.push_back(arg);
      Unsupported(w, arg);
      break;
    }
    case 6: {  // an installer property
      std::wstring name;
      if (Chance(0.6)) {
        name = kPropertyNames[Below(std::size(kPropertyNames))];
      } else {
        name = Text(10, false, false);
        if (name.empty() || name[0] == L'/') name = L"P" + name;
      }
      name = RandomCase(name);
      std::wstring value = Value(blanks);
      c.Args.push_back(Padded(name) + L"=" + value);
      w.SetCalls.emplace_back(Upper(name), value);
      break;
    }
    case 7: {  // no name: ignored
      c.Args.push_back(Padded(L"") + L"=" + Value(blanks));
      break;
    }
    default: {  // an argument we do not know
      std::wstring arg;
      if (Chance(0.6)) {
        arg = RandomCase(kUnknownWords[Below(std::size(kUnknownWords))]);
      } else {
        do arg = L"x" + Text(12, blanks, false);
        while (arg.find(L'"') != std::wstring::npos && !FLimits.Direct);
      }
      c.Args.push_back(arg);
      Unsupported(w, arg);
      break;
    }
  }
}

TArgCase TArgFuzzer::Next() {
  for (;;) {
    TArgCase c;
    size_t n = 1 + Below(FLimits.MaxArgs);
    while (c.Args.size() < n) AddRandomArgument(c, c.Args.size() + 1 < n);
    if (!FLimits.Direct) {
      for (size_t i = 0; i < c.Args.size(); ++i) {
        if (i) c.Tail += Separator();
        c.Tail += Encode(c.Args[i], i + 1 == c.Args.size());
      }
      // A quote after the last argument opens an empty one, which ends the list.
      if (!c.Tail.empty() && Chance(0.05)) {
        size_t quotes = std::count(c.Tail.begin(), c.Tail.end(), L'"');
        if (quotes % 2 == 0) c.Tail += L" \"";
      }
    }
    if (c.Tail.size() < FLimits.MaxTail) return c;
  }
}

std::wstring TArgFuzzer::Mutate(std::wstring Line) {
  for (size_t n = 1 + Below(6); n > 0; --n) {
    size_t at = Below(Line.size() + 1);
    switch (Below(8)) {
      case 0: Line.insert(at, Text(5, true, true)); break;
      case 1: Line.insert(at, 1, L'"'); break;
      case 2: Line.insert(at, 1, L'='); break;
      case 3: Line.insert(at, L"/L" + Text(3, false, false)); break;
      case 4: Line.erase(at, Below(10)); break;
      case 5: {
        size_t len = std::min<size_t>(Below(20), Line.size() - at);
        Line.insert(at, Line.substr(at, len));
        break;
      }
      case 6:
        if (at < Line.size()) Line[at] = HostileChar(true);
        break;
      default:
        if (Chance(0.2)) Line.insert(at, std::wstring(1 + Below(5000), Chance(0.5) ? L'A' : HostileChar(false)));
        break;
    }
  }
  return Line;
}

}  // namespace vt::test
