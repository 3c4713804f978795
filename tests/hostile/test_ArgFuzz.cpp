// The command-line parser under random and damaged command lines: a fixed
// seed, a fixed count and a time bound per run. Generated lines must give
// exactly the options their arguments stand for; damaged lines must still
// give options that keep the parser's promises (no crash, the same result
// twice, property names upper-cased, the log file argument consumed, every
// argument nothing knows listed).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "app/uInstallOptions.h"
#include "fw/uSysUtils.h"
#include "hostile/ArgFuzz.h"
#include "log/DebugLogUtils.h"

namespace vt {
namespace {

using test::TArgCase;
using test::TArgExpectation;
using test::TArgFuzzer;
using test::TArgLimits;

constexpr uint32_t kSeed = 20260613;
constexpr int kCount = 20000;
constexpr ULONGLONG kTimeBoundMs = 60000;
const std::wstring kProgram = L"\"C:\\Program Files\\Veltrano\\setup.exe\" ";

// Printable form of any text (failures show the exact characters).
std::string Shown(const std::wstring& s, size_t Max = 400) {
  std::string out;
  for (size_t i = 0; i < s.size() && i < Max; ++i) {
    wchar_t c = s[i];
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
      out += buf;
    }
  }
  if (s.size() > Max) out += "...(" + std::to_string(s.size()) + " chars)";
  return out;
}

std::vector<std::wstring> SplitTail(const std::wstring& Tail) {
  auto all = SplitCommandLine(kProgram + Tail);
  if (all.empty()) return {};
  return {all.begin() + 1, all.end()};
}

// The first difference between what the parser left and what was expected.
std::string Difference(const TArgExpectation& w, const TInstallOptions& o, const std::wstring& DefaultLog1,
                       const std::wstring& DefaultLog2) {
  auto want = w.Properties();
  if (want.size() != o.FMsiProperties.Count()) return "property count";
  for (size_t i = 0; i < want.size(); ++i)
    if (o.FMsiProperties[i].Name != want[i].first || o.FMsiProperties[i].Value != want[i].second)
      return "property " + std::to_string(i) + ": " + Shown(o.FMsiProperties[i].Name) + " is not " + Shown(want[i].first);
  if (o.FUnsupportedParams != w.Unsupported)
    return "unsupported list: got [" + Shown(o.FUnsupportedParams) + "] want [" + Shown(w.Unsupported) + "]";
  if (o.FQuietMode != w.Quiet || o.FNoRebranding != w.NoReb || o.FNoEnvCheck != w.NoCheck ||
      o.FNoDownload != w.NoDownload)
    return "flags";
  if (o.FLogMode != w.LogMode || o.FLogAttributes != w.LogAttributes) return "log mode or attributes";
  if (w.LogFileIsDefault ? (o.FLogFile != DefaultLog1 && o.FLogFile != DefaultLog2) : o.FLogFile != w.LogFile)
    return "log file " + Shown(o.FLogFile);
  if (o.FInstallDir != w.InstallDir) return "folder " + Shown(o.FInstallDir) + " want " + Shown(w.InstallDir);
  if (o.FAltVer != w.AltVer || o.FCenv != w.Cenv) return "/ALTVER or /CENV";
  const auto &p = o.FProxyParams, &q = w.Proxy;
  if (p.HostName != q.HostName || p.Port != q.Port || p.UseAuth != q.UseAuth || p.UserName != q.UserName ||
      p.Password != q.Password || p.ProxyType != q.ProxyType || p.ProxyKind != q.ProxyKind)
    return "proxy settings (host " + Shown(p.HostName) + ", port " + std::to_string(p.Port) + ")";
  return "";
}

// Runs Body(i) for i < kCount or until the time bound; returns how many ran.
// The parser logs every property it sets: those lines stay out of the test's log.
template <class F>
int Bounded(const char* Name, F Body) {
  SetDebugOutput(true, false);
  LockThreadLogging();
  ULONGLONG start = GetTickCount64();
  int i = 0;
  for (; i < kCount && GetTickCount64() - start < kTimeBoundMs; ++i)
    if (!Body(i)) break;
  UnlockThreadLogging();
  SetDebugOutput(false, false);
  std::printf("%s: %d of %d cases (seed %u) in %llu ms\n", Name, i, kCount, kSeed,
              static_cast<unsigned long long>(GetTickCount64() - start));
  LogFmt(L"%s: %d cases", {Utf8ToWide(Name), i});
  return i;
}

struct TStats {
  int Unsupported = 0, Properties = 0, Long = 0, DefaultLog = 0, OpenQuote = 0;
  void Add(const TArgCase& c) {
    Unsupported += !c.Want.Unsupported.empty();
    Properties += !c.Want.SetCalls.empty();
    Long += std::any_of(c.Args.begin(), c.Args.end(), [](const std::wstring& a) { return a.size() >= 1000; });
    DefaultLog += c.Want.LogFileIsDefault;
    OpenQuote += std::count(c.Tail.begin(), c.Tail.end(), L'"') % 2;
  }
  void Print() const {
    std::printf("  with unsupported arguments %d, with properties %d, with long values %d, \"*\" log files %d, "
                "unterminated quotes %d\n",
                Unsupported, Properties, Long, DefaultLog, OpenQuote);
  }
};

TEST(ArgFuzz, GeneratedCommandLinesGiveTheOptionsTheirArgumentsStandFor) {
  TArgFuzzer fuzz(kSeed, TArgLimits{});
  TStats stats;
  int ran = Bounded("generated command lines", [&](int i) {
    TArgCase c = fuzz.Next();
    stats.Add(c);
    auto args = SplitTail(c.Tail);
    if (args != c.Args) {
      ADD_FAILURE() << "case " << i << ": the line does not split into its arguments: " << Shown(c.Tail);
      return false;
    }
    // "*": the default name, made from the clock (either side of a second boundary).
    std::wstring log1 = c.Want.LogFileIsDefault ? GetLogFileName(L"InstallLog") : L"";
    TInstallOptions o;
    ParseInstallArguments(args, o);
    std::string diff = Difference(c.Want, o, log1, c.Want.LogFileIsDefault ? GetLogFileName(L"InstallLog") : L"");
    if (!diff.empty()) ADD_FAILURE() << "case " << i << ": " << diff << "\n  line: " << Shown(c.Tail);
    return diff.empty();
  });
  stats.Print();
  EXPECT_GT(ran, 1000);
}

TEST(ArgFuzz, ArgumentsGivenDirectlyAreDequotedWhereTheyShouldBe) {
  TArgLimits limits;
  limits.Direct = true;
  TArgFuzzer fuzz(kSeed + 1, limits);
  int ran = Bounded("arguments given directly", [&](int i) {
    TArgCase c = fuzz.Next();
    std::wstring log1 = c.Want.LogFileIsDefault ? GetLogFileName(L"InstallLog") : L"";
    TInstallOptions o;
    ParseInstallArguments(c.Args, o);
    std::string diff = Difference(c.Want, o, log1, c.Want.LogFileIsDefault ? GetLogFileName(L"InstallLog") : L"");
    if (!diff.empty()) {
      std::string args;
      for (const auto& a : c.Args) args += " [" + Shown(a, 80) + "]";
      ADD_FAILURE() << "case " << i << ": " << diff << "\n  arguments:" << args;
    }
    return diff.empty();
  });
  EXPECT_GT(ran, 1000);
}

// ---------------------------------------------------------------- damaged lines

const std::set<std::wstring> kSwitchWords = {L"/QUIET",   L"/QN",     L"/PASSIVE", L"/QB",        L"/QR",
                                             L"/QF",      L"/NOREB",  L"/NOCHECK", L"/NODOWNLOAD"};
const std::set<std::wstring> kValueNames = {L"/ALTVER",       L"/CENV",          L"/DIR",      L"/PROXYSERVER",
                                            L"/PROXYPORT",    L"/PROXYUSERNAME", L"/PROXYPASSWORD", L"/PROXYTYPE"};

bool Listed(const std::wstring& List, const std::wstring& Entry) {
  return (L"\r\n" + List + L"\r\n").find(L"\r\n" + Entry + L"\r\n") != std::wstring::npos;
}

// What any command line must give; empty when it does.
std::string BrokenPromise(const std::vector<std::wstring>& Args, const TInstallOptions& o) {
  for (const auto& a : Args)
    if (a.empty() || a.find(L'"') != std::wstring::npos) return "argument " + Shown(a) + " after splitting";
  for (size_t i = 0; i < o.FMsiProperties.Count(); ++i) {
    const std::wstring& n = o.FMsiProperties[i].Name;
    if (n.empty() || n != UpperCaseAZ(n) || n[0] == L'/' || n.find(L'=') != std::wstring::npos ||
        std::wstring(TrimBlanks(n)) != n)
      return "property name " + Shown(n);
    for (size_t j = 0; j < i; ++j)
      if (SameTextAZ(o.FMsiProperties[j].Name, n)) return "property " + Shown(n) + " twice";
  }
  if (o.FLogMode & ~0x3FFFu || o.FLogAttributes & ~3u) return "log bits";
  if (!o.FInstallDir.empty() && o.FInstallDir.back() != L'\\') return "folder without a backslash";
  if (o.FProxyParams.ProxyKind == vtpckVeltRelay && o.FProxyParams.ProxyType != vtptSocks) return "relay kind";
  // Each argument that names nothing we know is listed as it was given; the
  // argument after a logging switch is the log file and never listed.
  size_t lastLog = Args.size();
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::wstring& a = Args[i];
    size_t eq = a.find(L'=');
    if (eq != std::wstring::npos) {
      std::wstring name = UpperCaseAZ(TrimBlanks(std::wstring_view(a).substr(0, eq)));
      if (!name.empty() && name[0] == L'/' && !kValueNames.count(name) && !Listed(o.FUnsupportedParams, a))
        return "unknown name not listed: " + Shown(a);
      continue;
    }
    std::wstring up = UpperCaseAZ(a);
    if (kSwitchWords.count(up)) continue;
    if (up.starts_with(L"/L")) {
      for (wchar_t c : up == L"/LOG" ? std::wstring(L"*") : up.substr(2))
        if (std::wstring(L"IWEARUCMOPVX+!*").find(c) == std::wstring::npos &&
            !Listed(o.FUnsupportedParams, std::wstring(L"/L") + c))
          return "logging letter not listed in " + Shown(a);
      lastLog = i++;
      continue;
    }
    if (!Listed(o.FUnsupportedParams, a)) return "unknown argument not listed: " + Shown(a);
  }
  if (lastLog + 1 < Args.size() ? o.FLogFile != Args[lastLog + 1] && Args[lastLog + 1] != L"*"
                                : lastLog < Args.size() && !o.FLogFile.empty())
    return "log file " + Shown(o.FLogFile) + " is not the argument after the last logging switch";
  return "";
}

bool SameOptions(const TInstallOptions& a, const TInstallOptions& b) {
  if (a.FMsiProperties.Count() != b.FMsiProperties.Count()) return false;
  for (size_t i = 0; i < a.FMsiProperties.Count(); ++i)
    if (a.FMsiProperties[i].Name != b.FMsiProperties[i].Name || a.FMsiProperties[i].Value != b.FMsiProperties[i].Value)
      return false;
  const auto &p = a.FProxyParams, &q = b.FProxyParams;
  return a.FUnsupportedParams == b.FUnsupportedParams && a.FQuietMode == b.FQuietMode && a.FLogMode == b.FLogMode &&
         a.FLogAttributes == b.FLogAttributes && a.FInstallDir == b.FInstallDir && a.FAltVer == b.FAltVer &&
         a.FCenv == b.FCenv && a.FNoRebranding == b.FNoRebranding && a.FNoEnvCheck == b.FNoEnvCheck &&
         a.FNoDownload == b.FNoDownload && p.HostName == q.HostName && p.Port == q.Port && p.UseAuth == q.UseAuth &&
         p.UserName == q.UserName && p.Password == q.Password && p.ProxyType == q.ProxyType &&
         p.ProxyKind == q.ProxyKind;
}

TEST(ArgFuzz, DamagedCommandLinesKeepTheParsersPromises) {
  TArgFuzzer fuzz(kSeed + 2, TArgLimits{});
  int ran = Bounded("damaged command lines", [&](int i) {
    std::wstring line = fuzz.Mutate(fuzz.Next().Tail);
    auto args = SplitTail(line);
    TInstallOptions first, second;
    ParseInstallArguments(args, first);
    ParseInstallArguments(args, second);
    std::string broken = SameOptions(first, second) ? BrokenPromise(args, first) : "a second parse differs";
    if (!broken.empty()) ADD_FAILURE() << "case " << i << ": " << broken << "\n  line: " << Shown(line);
    return broken.empty();
  });
  EXPECT_GT(ran, 1000);
}

}  // namespace
}  // namespace vt
