// The built-in table: locales, sections, keys, placeholders and the texts
// that stay English.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fw/uSysUtils.h"
#include "lang/LngStrings.h"

namespace vt {
namespace {

const std::vector<std::wstring> kMainKeys = {
    L"labCaption",       L"labCancel",          L"labRetry",           L"labProxy",
    L"msgMsiStartError", L"msgMsiRunError",     L"msgDownloading",     L"msgInstallInit",
    L"msgProductNameCaption", L"msgConfirmCancel", L"msgDownloadError", L"msgDownloadWrongData",
    L"msgUnsuppParams",  L"msgMinOS",           L"msgMinSP",           L"msgWin80NS",
    L"msgOtherProdInstalled", L"msgBrevikInstalled", L"msgOtherAVWarn", L"msgConnectionError"};
const std::vector<std::wstring> kProxyKeys = {
    L"labCaption",        L"labProxyDescription",  L"labProxyServerName", L"labProxyServerPort",
    L"chkAuthentication", L"labProxyUserName",     L"labProxyUserPassword", L"btnOK",
    L"btnCancel",         L"msgWrongPort",         L"labProxyType",       L"msgProxyHTTP",
    L"msgProxySOCKS",     L"msgProxyRelay"};

const TLocaleSection& SectionOf(const TLocale& l, const wchar_t* Id) {
  for (const auto& s : l.Sections)
    if (s.SectionID == Id) return s;
  throw Exception(std::wstring(L"no section ") + Id);
}

std::wstring Text(const TLocales& t, const wchar_t* Locale, const wchar_t* Sect, const wchar_t* Key) {
  for (const auto& l : t)
    if (l.LngID == Locale)
      for (const auto& i : SectionOf(l, Sect).Items)
        if (i.StringID == Key) return i.Value;
  throw Exception(std::wstring(L"no text ") + Locale + L"/" + Key);
}

// The format placeholders of a text, in order ("%d", "%-6s", "%%").
std::vector<std::wstring> Placeholders(const std::wstring& s) {
  std::vector<std::wstring> r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != L'%') continue;
    size_t j = i + 1;
    while (j < s.size() && (s[j] == L'-' || s[j] == L'.' || (s[j] >= L'0' && s[j] <= L'9'))) ++j;
    r.push_back(s.substr(i, j < s.size() ? j - i + 1 : j - i));
    i = j;
  }
  return r;
}

TEST(LngStrings, FiveLocalesWithBothSectionsAndAllKeysInOrder) {
  TLocales t = GetBuiltInLocales();
  ASSERT_EQ(t.size(), 5u);
  const wchar_t* ids[] = {L"en-us", L"de-de", L"fr-fr", L"ru-ru", L"it-it"};
  for (size_t n = 0; n < t.size(); ++n) {
    SCOPED_TRACE(ids[n]);
    EXPECT_EQ(t[n].LngID, ids[n]);
    ASSERT_EQ(t[n].Sections.size(), 2u);
    EXPECT_EQ(t[n].Sections[0].SectionID, L"frmMain");
    EXPECT_EQ(t[n].Sections[1].SectionID, L"frmProxySettings");
    for (size_t s = 0; s < 2; ++s) {
      const auto& want = s == 0 ? kMainKeys : kProxyKeys;
      std::vector<std::wstring> got;
      for (const auto& i : t[n].Sections[s].Items) got.push_back(i.StringID);
      EXPECT_EQ(got, want);
    }
  }
}

TEST(LngStrings, EveryTextIsCleanAndKeepsThePlaceholdersOfItsEnglishText) {
  TLocales t = GetBuiltInLocales();
  for (const auto& l : t) {
    for (size_t s = 0; s < l.Sections.size(); ++s) {
      for (size_t k = 0; k < l.Sections[s].Items.size(); ++k) {
        const std::wstring& v = l.Sections[s].Items[k].Value;
        const std::wstring& en = t[0].Sections[s].Items[k].Value;
        SCOPED_TRACE(l.LngID + L"/" + l.Sections[s].Items[k].StringID);
        EXPECT_FALSE(v.empty());
        EXPECT_EQ(v.find(L'['), std::wstring::npos);
        EXPECT_EQ(Placeholders(v), Placeholders(en));
        // Text no wider than UTF-16 from a UTF-8 source: no replacement
        // characters, C1 controls, lone surrogates or stray line ends.
        for (size_t i = 0; i < v.size(); ++i) {
          wchar_t c = v[i];
          EXPECT_FALSE(c == 0xFFFD || (c >= 0x80 && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF)) << i;
          if (c == L'\r') {
            EXPECT_TRUE(i + 1 < v.size() && v[i + 1] == L'\n') << i;
          }
          if (c == L'\n') {
            EXPECT_TRUE(i > 0 && v[i - 1] == L'\r') << i;
          }
          EXPECT_FALSE(c < L' ' && c != L'\r' && c != L'\n') << i;
        }
      }
    }
  }
  EXPECT_EQ(Placeholders(Text(t, L"en-us", L"frmMain", L"msgMsiRunError")), (std::vector<std::wstring>{L"%d", L"%d"}));
  for (const wchar_t* id : {L"en-us", L"de-de", L"fr-fr", L"ru-ru", L"it-it"}) {
    std::wstring u = Text(t, id, L"frmMain", L"msgUnsuppParams");
    EXPECT_EQ(u.substr(u.size() - 4), L"\r\n%s") << id;
  }
}

TEST(LngStrings, ListedTextsStayEnglishAndTheOthersAreTranslated) {
  TLocales t = GetBuiltInLocales();
  std::set<std::pair<std::wstring, std::wstring>> english;  // (locale, section/key)
  for (const wchar_t* id : {L"de-de", L"fr-fr", L"ru-ru", L"it-it"}) {
    english.insert({id, L"frmMain/msgMinOS"});
    for (const wchar_t* k : {L"msgProxyHTTP", L"msgProxySOCKS", L"msgProxyRelay"})
      english.insert({id, std::wstring(L"frmProxySettings/") + k});
  }
  for (const wchar_t* id : {L"de-de", L"fr-fr", L"it-it"}) english.insert({id, L"frmMain/msgConnectionError"});
  for (const wchar_t* id : {L"ru-ru", L"it-it"}) english.insert({id, L"frmMain/labCaption"});
  // Words that are the same in the translation.
  const std::set<std::pair<std::wstring, std::wstring>> alike = {
      {L"de-de", L"frmMain/labProxy"}, {L"fr-fr", L"frmMain/labProxy"}, {L"it-it", L"frmMain/labProxy"},
      {L"de-de", L"frmProxySettings/labProxyServerPort"},
      {L"it-it", L"frmProxySettings/labProxyUserPassword"}};
  for (size_t n = 1; n < t.size(); ++n) {
    for (size_t s = 0; s < 2; ++s) {
      for (size_t k = 0; k < t[n].Sections[s].Items.size(); ++k) {
        std::wstring key = t[n].Sections[s].SectionID + L"/" + t[n].Sections[s].Items[k].StringID;
        bool same = t[n].Sections[s].Items[k].Value == t[0].Sections[s].Items[k].Value;
        std::pair<std::wstring, std::wstring> p{t[n].LngID, key};
        if (english.count(p)) {
          EXPECT_TRUE(same) << t[n].LngID << L" " << key;
        } else if (!alike.count(p)) {
          EXPECT_FALSE(same) << t[n].LngID << L" " << key;
        }
      }
    }
  }
}

TEST(LngStrings, EnglishTextsAndTheMakersAddresses) {
  TLocales t = GetBuiltInLocales();
  EXPECT_EQ(Text(t, L"en-us", L"frmMain", L"msgUnsuppParams"), L"Following parameters are wrong:\r\n%s");
  EXPECT_EQ(Text(t, L"en-us", L"frmMain", L"msgOtherProdInstalled"),
            L"It appears that a version of this software is already installed on your system. Please "
            L"uninstall the program and restart your computer before trying to run this setup again.\r\n\r\n"
            L"If you are sure you don't have a version of this software currently installed, please "
            L"contact our support.");
  EXPECT_EQ(Text(t, L"en-us", L"frmMain", L"msgConnectionError"),
            std::wstring(L"Could not connect to the server. Please check your internet connection, proxy- "
                         L"or firewall settings. *.") +
                kMakerDownloadDomain + L" should be reachable from this device.");
  EXPECT_EQ(Text(t, L"en-us", L"frmProxySettings", L"btnOK"), L"Ok");
  for (const wchar_t* id : {L"en-us", L"de-de", L"fr-fr", L"ru-ru", L"it-it"}) {
    SCOPED_TRACE(id);
    std::wstring brevik = Text(t, id, L"frmMain", L"msgBrevikInstalled");
    std::wstring url = kMakerSupportUrl;
    ASSERT_GT(brevik.size(), url.size());
    EXPECT_EQ(brevik.substr(brevik.size() - url.size()), url);
    EXPECT_NE(brevik.find(L"Veltrano Brevik"), std::wstring::npos);
    std::wstring av = Text(t, id, L"frmMain", L"msgOtherAVWarn");
    EXPECT_NE(av.find(kMakerSupportEmail), std::wstring::npos);
    EXPECT_NE(av.find(L"Veltrano Shield"), std::wstring::npos);
    // Three paragraphs.
    size_t paragraphs = 1;
    for (size_t p = av.find(L"\r\n\r\n"); p != std::wstring::npos; p = av.find(L"\r\n\r\n", p + 4)) ++paragraphs;
    EXPECT_EQ(paragraphs, 3u);
    std::wstring conn = Text(t, id, L"frmMain", L"msgConnectionError");
    EXPECT_NE(conn.find(std::wstring(L"*.") + kMakerDownloadDomain), std::wstring::npos);
  }
  std::wstring av = Text(t, L"en-us", L"frmMain", L"msgOtherAVWarn");
  EXPECT_EQ(av.substr(av.size() - 25), L"Do you want to continue ?");
  for (const wchar_t* addr : {kMakerSupportUrl, kMakerSupportEmail, kMakerDownloadDomain})
    EXPECT_NE(std::wstring(addr).find(L"veltrano.com"), std::wstring::npos) << addr;
}

TEST(LngStrings, TranslationsAreRealUtf16) {
  TLocales t = GetBuiltInLocales();
  // Spelled with escapes here, so a misread source file cannot pass.
  EXPECT_EQ(Text(t, L"de-de", L"frmMain", L"msgUnsuppParams"), L"Die folgenden Parameter sind ung\u00FCltig:\r\n%s");
  EXPECT_EQ(Text(t, L"fr-fr", L"frmMain", L"labRetry"), L"R\u00E9essayer");
  EXPECT_EQ(Text(t, L"ru-ru", L"frmMain", L"labCancel"), L"\u041E\u0442\u043C\u0435\u043D\u0430");
  EXPECT_EQ(Text(t, L"it-it", L"frmMain", L"msgMsiRunError"),
            L"Si \u00E8 verificato un errore durante l'installazione: %d/%d");
}

}  // namespace
}  // namespace vt
