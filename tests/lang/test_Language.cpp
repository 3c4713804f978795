// The catalogue: locale choice, section application to a form, lookups,
// aliases, formatting and its locks.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fw/uComponents.h"
#include "fw/uForms.h"
#include "lang/Language.h"
#include "lang/LngStrings.h"

namespace vt {
namespace {

// A catalogue whose user-language hook answers with a fixed value (or throws).
class TFixedLanguage : public TLanguage {
public:
  TFixedLanguage(TComponent* AOwner, std::wstring Value, bool Throw = false)
      : TLanguage(AOwner, true, L""), FValue(std::move(Value)), FThrow(Throw) {}
  std::wstring GetUserLanguage() override {
    if (FThrow) throw EConvertError(L"no user language");
    return FValue;
  }

private:
  std::wstring FValue;
  bool FThrow;
};

// An edit: a control with text but no caption.
class TTestEdit : public TComponent {
public:
  using TComponent::TComponent;
  std::wstring Text;
};

TLanguage* NewCatalogue(TComponent* Owner) {
  auto* lang = new TLanguage(Owner, true, L"");
  lang->SetLocales(GetBuiltInLocales());
  return lang;
}

ICaptioned* Cap(TComponent* Form, const wchar_t* Name) { return Form->FindComponent(Name)->Captioned(); }

// The main window's components, design-time captions as the form has them.
std::unique_ptr<TForm> MainForm() {
  auto form = std::make_unique<TForm>(nullptr);
  form->SetName(L"frmMain");
  form->SetCaption(L"Veltrano Shield");
  CreateNamed<TComponent>(form.get(), L"pnlBodyMain");
  CreateNamed<TComponent>(form.get(), L"pbActionProgress");
  CreateNamed<TLabel>(form.get(), L"labTitle")->SetCaption(L"design title");
  CreateNamed<TLabel>(form.get(), L"labProxy")->SetCaption(L"Proxy");
  CreateNamed<TLabel>(form.get(), L"labProgress");
  CreateNamed<TLabel>(form.get(), L"labRetry")->SetCaption(L"Retry");
  CreateNamed<TLabel>(form.get(), L"labCancel")->SetCaption(L"Cancel");
  new TLabel(form.get());  // unnamed
  return form;
}

std::unique_ptr<TForm> ProxyForm() {
  auto form = std::make_unique<TForm>(nullptr);
  form->SetName(L"frmProxySettings");
  form->SetCaption(L"Proxy settings");
  for (const wchar_t* n : {L"labCaption", L"labProxyDescription", L"labProxyType", L"labProxyServerName",
                           L"labProxyServerPort", L"labProxyUserName", L"labProxyUserPassword"})
    CreateNamed<TLabel>(form.get(), n)->SetCaption(L"placeholder");
  CreateNamed<TComponent>(form.get(), L"cbProxyType");
  for (const wchar_t* n : {L"txtProxyServerName", L"txtProxyServerPort", L"txtProxyUserName", L"txtProxyUserPassword"})
    CreateNamed<TTestEdit>(form.get(), n);
  CreateNamed<TCheckBox>(form.get(), L"chkAuthentication")->SetCaption(L"placeholder");
  CreateNamed<TButton>(form.get(), L"btnOK")->SetCaption(L"placeholder");
  CreateNamed<TButton>(form.get(), L"btnCancel")->SetCaption(L"placeholder");
  return form;
}

TEST(LanguageCode, MapsCodesByTableAndLocaleIdentifiers) {
  struct {
    const wchar_t* Code;
    LCID Lcid;
    const wchar_t* Want;
  } cases[] = {
      {L"de", 0x0407, L"de-de"}, {L"07", 0x0407, L"de-de"}, {L"fr", 0x040C, L"fr-fr"},
      {L"0c", 0x040C, L"fr-fr"}, {L"ru", 0x0419, L"ru-ru"}, {L"19", 0x0419, L"ru-ru"},
      {L"it", 0x0410, L"it-it"}, {L"10", 0x0410, L"it-it"}, {L"es", 0x0C0A, L"es-es"},
      {L"0a", 0x0C0A, L"es-es"}, {L"gr", 0x0408, L"gr-gr"}, {L"ca", 0x0403, L"es-ca"},
      {L"pt", 0x0416, L"pt-br"}, {L"bg", 0x0402, L"en-us"}, {L"sv", 0x041D, L"en-us"},
      {L"1a", 0x041A, L"en-us"}, {L"09", 1033, L"en-us"},  {L"el", 0x0408, L"en-us"},
      // Compared exactly: the table's hex digits are lower case.
      {L"DE", 0x0407, L"en-us"}, {L"0C", 0x040C, L"en-us"}, {L"", 0x0407, L"en-us"},
      {L"d", 0x0407, L"en-us"},
      // The Chinese identifiers win over whatever the code gave.
      {L"zh", 1028, L"zh-tw"},   {L"04", 3076, L"zh-tw"},   {L"de", 5124, L"zh-tw"},
      {L"zh", 2052, L"zh-cn"},   {L"xx", 4100, L"zh-cn"},   {L"zh", 0x0404 + 0x10000, L"zh-cn"},
  };
  for (const auto& c : cases) EXPECT_EQ(LanguageCodeToLocaleID(c.Code, c.Lcid), c.Want) << c.Code << L" " << c.Lcid;
}

TEST(LanguageCode, MapsLocaleIdentifiersOnEachWindowsGeneration) {
  const int32_t kWin10x64 = 27, kXP = 6, kVista = kFirstVistaVersionClass;
  struct {
    LCID Lcid;
    int32_t VersionClass;
    const wchar_t* Want;
  } cases[] = {
      {0x0407, kWin10x64, L"de-de"},  // de-DE
      {0x0C07, kWin10x64, L"de-de"},  // de-AT
      {0x0807, kWin10x64, L"de-de"},  // de-CH
      {0x1007, kWin10x64, L"de-de"},  // de-LU
      {0x0C0A, kWin10x64, L"es-es"},  // es-ES
      {0x0419, kWin10x64, L"ru-ru"},  {0x040C, kWin10x64, L"fr-fr"}, {0x0810, kWin10x64, L"it-it"},
      {0x0409, kWin10x64, L"en-us"},  {0x0809, kWin10x64, L"en-us"},
      {1028, kWin10x64, L"zh-tw"},    {2052, kWin10x64, L"zh-cn"},   {1028, kXP, L"zh-tw"},
      {0x0419, kXP, L"ru-ru"},        {0x0407, kXP, L"de-de"},       {0x0C07, kXP, L"de-de"},
      {0x040C, kXP, L"fr-fr"},        {0x0C0A, kXP, L"es-es"},       {0x0419, -1, L"ru-ru"},
      {0x0419, kVista, L"ru-ru"},     {0x0419, 128, L"ru-ru"},
      // Greek takes the two routes apart: hex "08" gives "gr-gr", the name "el" nothing.
      {0x0408, kVista - 1, L"gr-gr"}, {0x0408, kVista, L"en-us"},
      // A locale the system cannot describe counts as US English.
      {0x7FFF0000, kWin10x64, L"en-us"}, {0x7FFF0000, kXP, L"en-us"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LcidToLocaleID(c.Lcid, c.VersionClass), c.Want) << std::hex << c.Lcid << L" " << c.VersionClass;
}

TEST(Language, ChoosesATableLocaleOrUsEnglish) {
  struct {
    const wchar_t* User;
    const wchar_t* Want;
  } cases[] = {{L"de-de", L"de-de"}, {L"fr-fr", L"fr-fr"}, {L"ru-ru", L"ru-ru"}, {L"it-it", L"it-it"},
               {L"en-us", L"en-us"}, {L"es-es", L"en-us"}, {L"zh-tw", L"en-us"}, {L"RU-RU", L"ru-ru"},
               {L"de", L"en-us"}};
  for (const auto& c : cases) {
    TFixedLanguage lang(nullptr, c.User);
    lang.SetLocales(GetBuiltInLocales());
    EXPECT_EQ(lang.GetLanguage(L""), c.Want) << c.User;
    EXPECT_TRUE(lang.Reset(false));
    EXPECT_EQ(lang.CurrentLocal(), c.Want);
    EXPECT_EQ(lang.IsEnUs(), std::wstring(c.Want) == L"en-us");
  }
  TFixedLanguage lang(nullptr, L"de-de");
  lang.SetLocales(GetBuiltInLocales());
  EXPECT_EQ(lang.GetLanguage(L"IT-IT"), L"it-it");  // a custom value goes first
  EXPECT_EQ(lang.GetLanguage(L"es-es"), L"en-us");
  // Without a table nothing but US English can be chosen.
  TFixedLanguage bare(nullptr, L"de-de");
  EXPECT_EQ(bare.GetLanguage(L""), L"en-us");
}

TEST(Language, FailingUserLanguageFallsBackToTheSystemLocale) {
  TFixedLanguage failing(nullptr, L"de-de", true);
  failing.SetLocales(GetBuiltInLocales());
  TLanguage plain(nullptr, true, L"");
  plain.SetLocales(GetBuiltInLocales());
  EXPECT_EQ(failing.GetLanguage(L""), plain.GetLanguage(L""));
}

TEST(Language, LocalFormAppliesCaptionsByNameAndLeavesOthersAlone) {
  auto form = MainForm();
  TLanguage* lang = NewCatalogue(form.get());
  lang->Reset(false);
  ASSERT_TRUE(lang->LocalForm(L"frmMain", L"de-de"));
  EXPECT_EQ(lang->CurrentLocal(), L"de-de");
  EXPECT_EQ(lang->SectionName(), L"frmMain");
  EXPECT_EQ(Cap(form.get(), L"labCancel")->GetCaption(), L"Abbrechen");
  EXPECT_EQ(Cap(form.get(), L"labRetry")->GetCaption(), L"Wiederholen");
  EXPECT_EQ(Cap(form.get(), L"labProxy")->GetCaption(), L"Proxy");
  EXPECT_EQ(Cap(form.get(), L"labTitle")->GetCaption(), L"design title");
  EXPECT_EQ(Cap(form.get(), L"labProgress")->GetCaption(), L"");
  // The form is not its own component: labCaption names no component here.
  EXPECT_EQ(form->GetCaption(), L"Veltrano Shield");
  EXPECT_EQ(lang->GetMessage(L"msgCaption"), L"Veltrano Shield Web-Setup");

  // Applying again in another locale overwrites what it applied.
  ASSERT_TRUE(lang->LocalForm(L"frmMain", L"en-us"));
  EXPECT_EQ(Cap(form.get(), L"labCancel")->GetCaption(), L"Cancel");
  EXPECT_EQ(lang->GetMessage(L"msgCancel"), L"Cancel");
}

TEST(Language, ProxyDialogGetsItsCaptionsAndEditsKeepTheirText) {
  auto form = ProxyForm();
  TLanguage* lang = NewCatalogue(form.get());
  lang->Reset(false);
  ASSERT_TRUE(lang->LocalForm(L"frmProxySettings", L"en-us"));
  EXPECT_EQ(Cap(form.get(), L"btnOK")->GetCaption(), L"Ok");
  EXPECT_EQ(Cap(form.get(), L"btnCancel")->GetCaption(), L"Cancel");
  EXPECT_EQ(Cap(form.get(), L"chkAuthentication")->GetCaption(), L"Authentication required");
  EXPECT_EQ(Cap(form.get(), L"labCaption")->GetCaption(), L"Connection Settings");
  EXPECT_EQ(Cap(form.get(), L"labProxyType")->GetCaption(), L"Proxy server type:");
  for (const wchar_t* n : {L"txtProxyServerName", L"txtProxyServerPort", L"txtProxyUserName", L"txtProxyUserPassword"}) {
    auto* edit = static_cast<TTestEdit*>(form->FindComponent(n));
    EXPECT_EQ(edit->Captioned(), nullptr);
    EXPECT_EQ(edit->Text, L"") << n;
  }
  EXPECT_EQ(form->GetCaption(), L"Proxy settings");
  EXPECT_EQ(lang->GetMessage(L"msgCaption"), L"Connection Settings");
  EXPECT_EQ(lang->GetMessage(L"msgProxyRelay"), L"Relay Proxy");
  // This catalogue knows only its own window's section.
  EXPECT_EQ(lang->GetMessage(L"msgDownloadError"), L"");

  ASSERT_TRUE(lang->LocalForm(L"frmProxySettings", L"ru-ru"));
  EXPECT_EQ(Cap(form.get(), L"btnCancel")->GetCaption(), L"\u041E\u0442\u043C\u0435\u043D\u0430");
  EXPECT_EQ(lang->GetMessage(L"msgProxyHTTP"), L"HTTP");
}

TEST(Language, LookupsOfTheMainWindowsCatalogue) {
  auto form = MainForm();
  TLanguage* lang = NewCatalogue(form.get());
  ASSERT_TRUE(lang->LocalForm(L"frmMain", L"en-us"));
  EXPECT_EQ(lang->GetMessage(L"MSGDOWNLOADERROR"), L"Error occurred during download of the product: %s");
  EXPECT_EQ(lang->GetMessage(L"msgdownloaderror"), lang->GetMessage(L"msgDownloadError"));
  EXPECT_EQ(lang->GetMessage(L"msgCancel"), L"Cancel");
  EXPECT_EQ(lang->GetMessage(L"msgRetry"), L"Retry");
  EXPECT_EQ(lang->GetMessage(L"labRetry"), L"Retry");
  EXPECT_EQ(lang->Get_Message(L"msgCaption"), L"Veltrano Shield web setup");
  EXPECT_EQ(lang->GetMessage(L"msgWrongPort"), L"");
  EXPECT_EQ(lang->GetMessage(L"msgNoSuchKey"), L"");
  EXPECT_EQ(lang->GetMessage(L""), L"");
  EXPECT_EQ(lang->GetMessage({L"", L"msgNoSuchKey", L"msgRetry"}, true), L"Retry");
  EXPECT_EQ(lang->GetMessage({L"msgConfirmCancel", L"msgRetry"}, true), L"Do you want to cancel installation?");
  EXPECT_EQ(lang->GetMessage({L"", L"msgNoSuchKey"}, true), L"");
  std::vector<std::wstring> names = {L"", L"msgNope", L"MSGINSTALLINIT"};
  EXPECT_EQ(lang->GetMessage(std::span<const std::wstring>(names), true), L"Initializing...");

  EXPECT_EQ(lang->GetMessageFmt(L"msgMsiRunError", {L"x"}), L"Error occurred during installation: %d/%d");
  EXPECT_EQ(lang->GetMessageFmt(L"msgMsiRunError", {7, 1603u}), L"Error occurred during installation: 7/1603");
  EXPECT_EQ(lang->GetMessageFmt(L"msgMsiStartError", {3}), L"Error loading installation database: %d/%d");
  EXPECT_EQ(lang->GetMessageFmt(L"msgProductNameCaption", {L"Veltrano Shield"}), L"Installing Veltrano Shield...");
  EXPECT_EQ(lang->GetMessageFmt(L"msgProductNameCaption", {nullptr}), L"Installing %s...");
  EXPECT_EQ(lang->GetMessageFmt(L"msgUnsuppParams", {L"/FOO"}), L"Following parameters are wrong:\r\n/FOO");
  EXPECT_EQ(lang->GetMessageFmt(L"msgNoSuchKey", {1}), L"");
}

TEST(Language, WindowWithoutSectionKeepsCaptionsAndAnswersNothing) {
  auto form = MainForm();
  TLanguage* lang = NewCatalogue(form.get());
  EXPECT_TRUE(lang->LocalForm(L"InstallThread", L""));
  EXPECT_EQ(lang->GetSection(), nullptr);
  EXPECT_EQ(Cap(form.get(), L"labCancel")->GetCaption(), L"Cancel");
  EXPECT_EQ(Cap(form.get(), L"labTitle")->GetCaption(), L"design title");
  EXPECT_EQ(lang->GetMessage(L"msgCancel"), L"");
  EXPECT_EQ(lang->GetMessage(L"labCancel"), L"");
  std::wstring id = lang->CurrentLocal();
  const TLocales& t = lang->Locales();
  EXPECT_TRUE(std::any_of(t.begin(), t.end(), [&](const TLocale& l) { return l.LngID == id; })) << id;
}

TEST(Language, ResetDropsMessagesButTheSectionStillAnswersWithTryLng) {
  TLanguage lang(nullptr, true, L"");
  lang.SetLocales(GetBuiltInLocales());
  ASSERT_TRUE(lang.LocalForm(L"frmMain", L"en-us"));
  ASSERT_TRUE(lang.SetMessage(L"msgExtra", L"extra", false));
  EXPECT_EQ(lang.GetMessage(L"msgExtra"), L"extra");

  // Reset follows the user's locale; choose en-us so the section stays valid.
  std::wstring user = lang.GetLanguage(L"");
  EXPECT_FALSE(lang.Reset(true) && user == L"en-us");
  EXPECT_TRUE(lang.Reset(false));
  EXPECT_EQ(lang.GetMessage(L"msgExtra"), L"");
  if (user == L"en-us") {
    EXPECT_EQ(lang.GetMessage(L"labRetry", true), L"Retry");
    EXPECT_EQ(lang.GetMessage(L"labRetry", false), L"");
    // The "msg" aliases live only in the message list.
    EXPECT_EQ(lang.GetMessage(L"msgRetry", true), L"");
  } else {
    // A section of another locale no longer answers.
    EXPECT_EQ(lang.GetMessage(L"labRetry", true), L"");
  }
}

TEST(Language, ResetOnlyIfChangedKeepsTheMessages) {
  TFixedLanguage lang(nullptr, L"fr-fr");
  lang.SetLocales(GetBuiltInLocales());
  ASSERT_TRUE(lang.LocalForm(L"frmMain", L""));
  EXPECT_EQ(lang.GetMessage(L"msgCancel"), L"Annuler");
  EXPECT_FALSE(lang.Reset(true));
  EXPECT_EQ(lang.GetMessage(L"msgCancel"), L"Annuler");
  EXPECT_TRUE(lang.Reset(false));
  EXPECT_EQ(lang.GetMessage(L"msgCancel", false), L"");
  EXPECT_EQ(lang.GetMessage(L"labCancel", true), L"Annuler");
}

TEST(Language, SetMessageReplacesByKeyIgnoringCase) {
  TLanguage lang(nullptr, true, L"");
  EXPECT_TRUE(lang.SetMessage(L"MSGX", L"a", false));
  EXPECT_TRUE(lang.SetMessage(L"msgx", L"b", false));
  EXPECT_EQ(lang.GetMessage(L"MsgX"), L"b");
  EXPECT_TRUE(lang.SetMessage(L"msgX", L"c", true));
  EXPECT_EQ(lang.GetMessage(L"msgx"), L"b");
  EXPECT_TRUE(lang.SetMessage(L"msgEmpty", L"", false));
  EXPECT_TRUE(lang.SetMessage(L"msgEmpty", L"filled", true));
  EXPECT_EQ(lang.GetMessage(L"MSGEMPTY"), L"filled");
  EXPECT_TRUE(lang.SetMessage(L"msgNew", L"new", true));
  EXPECT_EQ(lang.GetMessage(L"msgNew"), L"new");
}

TEST(Language, BinarySearchFindsEveryKeyInsertedInAnyOrder) {
  TLanguage lang(nullptr, true, L"");
  std::vector<std::wstring> keys;
  for (int i = 0; i < 300; ++i) keys.push_back(L"k" + std::to_wstring((i * 7919) % 1009) + (i % 3 ? L"x" : L"Y"));
  for (const auto& k : keys) lang.SetMessage(k, L"v" + k, false);
  for (const auto& k : keys) {
    std::wstring upper = UpperCaseAZ(k);
    ASSERT_EQ(lang.GetMessage(upper, false), L"v" + k) << k;
  }
  EXPECT_EQ(lang.GetMessage(L"k", false), L"");
  EXPECT_EQ(lang.GetMessage(L"k99999", false), L"");
  EXPECT_EQ(lang.GetMessage(L"zzz", false), L"");
}

TEST(Language, SafeFormatReturnsTheTextWhenArgumentsDoNotFit) {
  struct {
    const wchar_t* Fmt;
    std::vector<TFmtArg> Args;
    const wchar_t* Want;
  } cases[] = {
      {L"%d/%d", {1, 2}, L"1/2"},
      {L"%d/%d", {L"x"}, L"%d/%d"},
      {L"%d/%d", {1}, L"%d/%d"},
      {L"%s", {}, L"%s"},
      {L"%s", {5}, L"%s"},
      {L"%d", {true}, L"%d"},
      {L"%s", {true}, L"True"},
      {L"100%", {}, L"100%"},
      {L"%q", {1}, L"%q"},
      {L"%s and %s", {L"a", L"b", L"c"}, L"a and b"},
      {L"plain", {}, L"plain"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeFormat(c.Fmt, std::span<const TFmtArg>(c.Args)), c.Want) << c.Fmt;
}

TEST(Language, ConcurrentLookupsAndUpdatesDoNotBlockEachOther) {
  TLanguage lang(nullptr, true, L"");
  lang.SetLocales(GetBuiltInLocales());
  ASSERT_TRUE(lang.LocalForm(L"frmMain", L"en-us"));
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        std::wstring key = L"msgT" + std::to_wstring(t) + L"_" + std::to_wstring(i % 17);
        lang.SetMessage(key, L"v", i % 2 == 0);
        if (lang.GetMessage(key) != L"v") ++bad;
        if (lang.GetMessage(L"msgRetry") != L"Retry") ++bad;
      }
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < 30; ++i)
      if (!lang.LocalForm(L"frmMain", L"en-us")) ++bad;
  });
  for (auto& th : threads) th.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST(Language, WorkerCatalogueChoosesALocaleAndHasNoSection) {
  ASSERT_EQ(WorkerLanguage(), nullptr);
  WorkerLanguageInitialization();
  TLanguage* lang = WorkerLanguage();
  ASSERT_NE(lang, nullptr);
  EXPECT_EQ(lang->Owner(), nullptr);
  EXPECT_EQ(lang->GetSection(), nullptr);
  EXPECT_EQ(lang->CurrentLocal(), lang->GetLanguage(L""));
  EXPECT_EQ(lang->GetMessage(L"msgCancel"), L"");
  WorkerLanguageFinalization();
  EXPECT_EQ(WorkerLanguage(), nullptr);
}

}  // namespace
}  // namespace vt
