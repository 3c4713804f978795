// The real user-locale path. Run by the locale CTest cases, each starting this
// executable under Wine with LC_ALL set and the expected answers in
// VT_EXPECT_*; the plain run skips them.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "fw/uForms.h"
#include "lang/Language.h"
#include "lang/LngStrings.h"
#include "common/TestUtils.h"

namespace vt {
namespace {

class UserLocale : public ::testing::Test {
protected:
  void SetUp() override {
    FSystem = test::EnvVar(L"VT_EXPECT_SYSTEM_LOCALE");
    FChosen = test::EnvVar(L"VT_EXPECT_LOCALE");
    FLcid = test::EnvVar(L"VT_EXPECT_LCID");
    if (FChosen.empty()) GTEST_SKIP() << "runs only with a user locale set for Wine";
  }
  std::wstring FSystem, FChosen, FLcid;
};

TEST_F(UserLocale, SystemCodeFollowsTheUserDefaultLocale) {
  EXPECT_EQ(std::to_wstring(GetUserDefaultLCID()), FLcid);
  TLanguage lang(nullptr, true, L"");
  EXPECT_EQ(lang.GetSystemLanguageCode(), FSystem);
}

TEST_F(UserLocale, CataloguesChooseTheirLocale) {
  TForm form(nullptr);
  CreateNamed<TLabel>(&form, L"labCancel")->SetCaption(L"Cancel");
  TLanguage* lang = new TLanguage(&form, true, L"");
  lang->SetLocales(GetBuiltInLocales());
  EXPECT_TRUE(lang->Reset(false));
  EXPECT_EQ(lang->CurrentLocal(), FChosen);
  ASSERT_TRUE(lang->LocalForm(L"frmMain", L""));
  EXPECT_EQ(lang->CurrentLocal(), FChosen);
  std::wstring cancel;
  for (const TLocale& l : GetBuiltInLocales())
    if (l.LngID == FChosen) cancel = l.Sections[0].Items[1].Value;
  EXPECT_EQ(form.FindComponent(L"labCancel")->Captioned()->GetCaption(), cancel);
  EXPECT_EQ(lang->IsEnUs(), FChosen == L"en-us");

  WorkerLanguageInitialization();
  ASSERT_NE(WorkerLanguage(), nullptr);
  EXPECT_EQ(WorkerLanguage()->CurrentLocal(), FChosen);
  WorkerLanguageFinalization();
}

}  // namespace
}  // namespace vt
