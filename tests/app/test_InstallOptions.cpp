#include <gtest/gtest.h>

#include <regex>

#include "app/uInstallOptions.h"
#include "fw/uSysUtils.h"
#include "log/DebugLogUtils.h"

using namespace vt;

namespace {

// Parses "prog <Args>" as the process command line would be.
void Parse(const std::wstring& Args, TInstallOptions& o) {
  auto all = SplitCommandLine(L"\"C:\\Program Files\\setup.exe\" " + Args);
  ParseInstallArguments(std::vector<std::wstring>(all.begin() + 1, all.end()), o);
}

std::wstring Props(const TInstallOptions& o) {
  std::wstring s;
  for (size_t i = 0; i < o.FMsiProperties.Count(); ++i)
    s += o.FMsiProperties[i].Name + L"=" + o.FMsiProperties[i].Value + L";";
  return s;
}

}  // namespace

TEST(SplitCommandLine, RuntimeRules) {
  struct Case {
    std::wstring line;
    std::vector<std::wstring> args;
  } cases[] = {
      {L"a b\tc", {L"a", L"b", L"c"}},
      {L"\"C:\\Program Files\\x.exe\" /q", {L"C:\\Program Files\\x.exe", L"/q"}},
      {L"a \"\" b", {L"a", L"b"}},  // empty quoted argument skipped
      {L"a \"\"\"\" \"\" b", {L"a", L"b"}},
      {L"a\"b c\"d", {L"ab cd"}},  // quotes removed anywhere
      {L"\"/DIR=C:\\My Dir\"", {L"/DIR=C:\\My Dir"}},
      {L"/DIR=\"C:\\My Dir\\\"", {L"/DIR=C:\\My Dir\\"}},  // no escape character
      {L"\"unterminated arg", {L"unterminated arg"}},
      {L"  \x01lead\x1f  ", {L"lead"}},  // control characters separate
      {L"a \"\"", {L"a"}},
      {L"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.args, SplitCommandLine(c.line)) << WideToUtf8(c.line);
}

TEST(Dequote, PairsAndInnerQuotes) {
  EXPECT_EQ(L"C:\\x", Dequote(L"\"C:\\x\""));
  EXPECT_EQ(L"a\"b", Dequote(L"\"a\"\"b\""));
  EXPECT_EQ(L"", Dequote(L"\"\""));
  EXPECT_EQ(L"\"", Dequote(L"\""));
  EXPECT_EQ(L"\"abc", Dequote(L"\"abc"));
  EXPECT_EQ(L"plain", Dequote(L"plain"));
}

TEST(InstallOptions, SwitchesAndProperties) {
  struct Case {
    const wchar_t* args;
    std::wstring props;  // "NAME=value;" in order
    std::wstring unsupported;
    bool quiet;
  } cases[] = {
      {L"/quiet", L"BSQUIET=1;", L"", true},
      {L"/QN", L"BSQUIET=1;", L"", true},
      {L"/QUIET=1", L"", L"/QUIET=1", false},
      {L"installdir=C:\\x", L"INSTALLDIR=C:\\x;", L"", false},
      {L"\" prop =v\"", L"PROP=v;", L"", false},
      {L"PROP=", L"PROP=;", L"", false},
      {L"prop=a PROP=b other=c", L"PROP=b;OTHER=c;", L"", false},
      {L"p=a=b==", L"P=a=b==;", L"", false},
      {L"=x", L"", L"", false},
      {L"\" =x\"", L"", L"", false},
      {L"pr\u00f6p=1", L"PR\u00f6P=1;", L"", false},  // only a-z change case
      {L"/PASSIVE /QB /qr /QF", L"", L"", false},
      {L"-quiet /?", L"", L"-quiet\r\n/?", false},
      {L"/unknown=1 /Other", L"", L"/unknown=1\r\n/Other", false},
  };
  for (const auto& c : cases) {
    TInstallOptions o;
    Parse(c.args, o);
    EXPECT_EQ(c.props, Props(o)) << WideToUtf8(c.args);
    EXPECT_EQ(c.unsupported, o.FUnsupportedParams) << WideToUtf8(c.args);
    EXPECT_EQ(c.quiet, o.FQuietMode) << WideToUtf8(c.args);
  }
}

TEST(InstallOptions, OwnFlagsAndValues) {
  TInstallOptions o;
  Parse(L"/noreb /NOCHECK /NoDownload /ALTVER=\"2.0\" /CENV=test=1 /DIR=C:\\Target", o);
  EXPECT_TRUE(o.FNoRebranding);
  EXPECT_TRUE(o.FNoEnvCheck);
  EXPECT_TRUE(o.FNoDownload);
  EXPECT_EQ(L"2.0", o.FAltVer);  // the splitter has already removed the quotes
  EXPECT_EQ(L"test=1", o.FCenv);
  EXPECT_EQ(L"C:\\Target\\", o.FInstallDir);
  EXPECT_EQ(L"", o.FUnsupportedParams);

  struct DirCase {
    const wchar_t* arg;
    const wchar_t* dir;
  } dirs[] = {{L"/DIR=C:\\Target\\", L"C:\\Target\\"}, {L"/DIR=", L"\\"}, {L"\"/dir=C:\\A B\"", L"C:\\A B\\"}};
  for (const auto& d : dirs) {
    TInstallOptions x;
    Parse(d.arg, x);
    EXPECT_EQ(d.dir, x.FInstallDir) << WideToUtf8(d.arg);
  }
  // Dequoting applies to values that still carry quotes (as a caller may pass them).
  TInstallOptions q;
  ParseInstallArguments({L"/DIR=\"C:\\Q\"", L"/PROXYSERVER=\"h\"\"x\"", L"/ALTVER=\"1\""}, q);
  EXPECT_EQ(L"C:\\Q\\", q.FInstallDir);
  EXPECT_EQ(L"h\"x", q.FProxyParams.HostName);
  EXPECT_EQ(L"\"1\"", q.FAltVer);
}

TEST(InstallOptions, ProxySettings) {
  struct Case {
    const wchar_t* args;
    std::wstring host;
    int32_t port;
    bool auth;
    TVtProxyType type;
    TVtProxyCustomKind kind;
    std::wstring unsupported;
  } cases[] = {
      {L"/PROXYSERVER=proxy.local /PROXYPORT=3128", L"proxy.local", 3128, false, vtptHttp, vtpckStandard, L""},
      {L"/PROXYPORT=abc", L"", 0, false, vtptHttp, vtpckStandard, L"/PROXYPORT=abc"},
      {L"/PROXYPORT=80 /PROXYPORT=8x", L"", 80, false, vtptHttp, vtpckStandard, L"/PROXYPORT=8x"},
      {L"/PROXYPORT=-5", L"", -5, false, vtptHttp, vtpckStandard, L""},
      {L"\"/PROXYPORT= 8080\" /PROXYPORT=+0000000000000000000081", L"", 81, false, vtptHttp, vtpckStandard, L""},
      {L"\"/PROXYPORT=80 \"", L"", 0, false, vtptHttp, vtpckStandard, L"/PROXYPORT=80 "},
      {L"/PROXYPORT=99999999999", L"", 0, false, vtptHttp, vtpckStandard, L"/PROXYPORT=99999999999"},
      {L"/PROXYPORT=", L"", 0, false, vtptHttp, vtpckStandard, L"/PROXYPORT="},
      // One sign at most; decimal digits only; the 32-bit range.
      {L"/PROXYPORT=+-5", L"", 0, false, vtptHttp, vtpckStandard, L"/PROXYPORT=+-5"},
      {L"/PROXYPORT=-+5 /PROXYPORT=--5", L"", 0, false, vtptHttp, vtpckStandard,
       L"/PROXYPORT=-+5\r\n/PROXYPORT=--5"},
      {L"/PROXYPORT=0x50", L"", 0, false, vtptHttp, vtpckStandard, L"/PROXYPORT=0x50"},
      {L"/PROXYPORT=-2147483648", L"", INT32_MIN, false, vtptHttp, vtpckStandard, L""},
      {L"/PROXYPORT=2147483647 /PROXYPORT=2147483648", L"", INT32_MAX, false, vtptHttp, vtpckStandard,
       L"/PROXYPORT=2147483648"},
      {L"/PROXYTYPE=RelayProxy /PROXYPORT=8080", L"", 8080, true, vtptSocks, vtpckVeltRelay, L""},
      {L"/PROXYPORT=8080 /PROXYTYPE=relayproxy", L"", 33500, true, vtptSocks, vtpckVeltRelay, L""},
      {L"/PROXYTYPE=SOCKS", L"", 0, false, vtptSocks, vtpckStandard, L""},
      {L"/PROXYTYPE=socks /PROXYTYPE=HTTPS", L"", 0, false, vtptHttp, vtpckStandard, L""},
      {L"/PROXYTYPE=RelayProxy /PROXYTYPE=", L"", 33500, true, vtptHttp, vtpckStandard, L""},
      {L"/PROXYUSERNAME=", L"", 0, true, vtptHttp, vtpckStandard, L""},
      {L"/PROXYPASSWORD=secret", L"", 0, true, vtptHttp, vtpckStandard, L""},
  };
  for (const auto& c : cases) {
    TInstallOptions o;
    Parse(c.args, o);
    const auto& p = o.FProxyParams;
    EXPECT_EQ(c.host, p.HostName) << WideToUtf8(c.args);
    EXPECT_EQ(c.port, p.Port) << WideToUtf8(c.args);
    EXPECT_EQ(c.auth, p.UseAuth) << WideToUtf8(c.args);
    EXPECT_EQ(c.type, p.ProxyType) << WideToUtf8(c.args);
    EXPECT_EQ(c.kind, p.ProxyKind) << WideToUtf8(c.args);
    EXPECT_EQ(c.unsupported, o.FUnsupportedParams) << WideToUtf8(c.args);
  }
}

TEST(InstallOptions, InstallerLogging) {
  std::wstring debugFolder = ExtractFilePath(GetLogFileName(L"x"));
  struct Case {
    const wchar_t* args;
    uint32_t mode, attrs;
    std::wstring file;  // "<debug>" = a file beside the debug log
    std::wstring unsupported, props;
  } cases[] = {
      {L"/L*v log.txt", 0x1F9F, 0, L"log.txt", L"", L""},
      {L"/LV* log.txt", 0xF9F, 0, L"log.txt", L"", L""},
      {L"/l*vx Log.TXT", 0x3F9F, 0, L"Log.TXT", L"", L""},
      {L"/L*", 0xF9F, 0, L"", L"", L""},
      {L"/LOG *", 0xF9F, 0, L"<debug>", L"", L""},
      {L"/L* *", 0xF9F, 0, L"<debug>", L"", L""},
      {L"/LQ x", 0, 0, L"x", L"/LQ", L""},
      {L"/L+! f.log", 0, 3, L"f.log", L"", L""},
      {L"/LIW f /LE g", 0x2, 0, L"g", L"", L""},  // a later switch replaces
      {L"/L /QUIET", 0, 0, L"/QUIET", L"", L""},   // the log file is not parsed as an option
      {L"/LIZ9 a=b c", 0x10, 0, L"a=b", L"/LZ\r\n/L9\r\nc", L""},
      {L"/Lyo x", 0x80, 0, L"x", L"/LY", L""},
      {L"/LOGX f", 0x2080, 0, L"f", L"/LG", L""},  // only "/LOG" itself means "/L*"
  };
  for (const auto& c : cases) {
    TInstallOptions o;
    Parse(c.args, o);
    EXPECT_EQ(c.mode, o.FLogMode) << WideToUtf8(c.args);
    EXPECT_EQ(c.attrs, o.FLogAttributes) << WideToUtf8(c.args);
    if (c.file == L"<debug>") {
      EXPECT_EQ(debugFolder, ExtractFilePath(o.FLogFile)) << WideToUtf8(c.args);
      EXPECT_TRUE(std::regex_match(ExtractFileName(o.FLogFile), std::wregex(LR"(InstallLog_\d{14}\(\d+\)\.log)")))
          << WideToUtf8(o.FLogFile);
    } else {
      EXPECT_EQ(c.file, o.FLogFile) << WideToUtf8(c.args);
    }
    EXPECT_EQ(c.unsupported, o.FUnsupportedParams) << WideToUtf8(c.args);
  }
}

TEST(InstallOptions, EveryLogLetter) {
  struct Case {
    wchar_t letter;
    uint32_t mode, attrs;
  } cases[] = {{L'i', 0x10, 0},   {L'w', 0x4, 0},   {L'e', 0x2, 0},    {L'a', 0x100, 0},  {L'r', 0x200, 0},
               {L'u', 0x8, 0},    {L'c', 0x800, 0}, {L'm', 0x1, 0},    {L'o', 0x80, 0},   {L'p', 0x400, 0},
               {L'v', 0x1000, 0}, {L'x', 0x2000, 0}, {L'+', 0, 1},     {L'!', 0, 2},      {L'*', 0xF9F, 0}};
  uint32_t all = 0;
  for (const auto& c : cases) {
    TInstallOptions o;
    ParseInstallArguments({std::wstring(L"/L") + c.letter, L"f"}, o);
    EXPECT_EQ(c.mode, o.FLogMode) << static_cast<char>(c.letter);
    EXPECT_EQ(c.attrs, o.FLogAttributes) << static_cast<char>(c.letter);
    EXPECT_EQ(L"", o.FUnsupportedParams);
    if (c.letter != L'*') all |= c.mode;
  }
  // "*" is every mode except verbose and extra debug.
  EXPECT_EQ(all & ~0x3000u, 0xF9Fu);
}

TEST(InstallOptions, PrepareClearsOnlyPropertiesAndUnsupported) {
  TInstallOptions o;
  Parse(L"/NOREB /bad A=1", o);
  o.FProxyParams.HostName = L"kept";
  Parse(L"B=2", o);
  EXPECT_EQ(L"B=2;", Props(o));
  EXPECT_EQ(L"", o.FUnsupportedParams);
  EXPECT_TRUE(o.FNoRebranding);
  EXPECT_EQ(L"kept", o.FProxyParams.HostName);
}

TEST(InstallOptions, HandOverCopies) {
  TInstallOptions o;
  Parse(L"/PROXYSERVER=h /PROXYPORT=1 /PROXYUSERNAME=u /PROXYPASSWORD=p /PROXYTYPE=socks A=1 b=2", o);
  TInstallerProxyParams copy;
  copy.Assign(o.FProxyParams);
  EXPECT_EQ(L"h", copy.HostName);
  EXPECT_EQ(1, copy.Port);
  EXPECT_TRUE(copy.UseAuth);
  EXPECT_EQ(L"u", copy.UserName);
  EXPECT_EQ(L"p", copy.Password);
  EXPECT_EQ(vtptSocks, copy.ProxyType);
  TMsiProperties props;
  props.SetProperty(L"OLD", L"x");
  props.CopyFrom(o.FMsiProperties);
  ASSERT_EQ(2u, props.Count());
  EXPECT_EQ(L"A", props[0].Name);
  EXPECT_EQ(L"B", props[1].Name);
  EXPECT_NE(&props[0], &o.FMsiProperties[0]);  // copies, not shared items
  o.FMsiProperties.SetProperty(L"a", L"changed");
  EXPECT_EQ(L"1", props[0].Value);
  EXPECT_EQ(nullptr, props.FindByName(L"old"));
  EXPECT_NE(nullptr, props.FindByName(L"b"));
}
