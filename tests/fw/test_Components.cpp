// The component model: ownership, creation order, names and captions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fw/uComponents.h"
#include "fw/uForms.h"

namespace vt {
namespace {

// Records its name in Log when destroyed, after its own components.
class TTraced : public TComponent {
public:
  TTraced(TComponent* AOwner, std::wstring Tag, std::vector<std::wstring>& Log)
      : TComponent(AOwner), FTag(std::move(Tag)), FLog(Log) {}
  ~TTraced() override {
    DestroyComponents();
    FLog.push_back(FTag);
  }

private:
  std::wstring FTag;
  std::vector<std::wstring>& FLog;
};

class TCountingLabel : public TLabel {
public:
  using TLabel::TLabel;
  int Changes = 0;

protected:
  void TextChanged() override { ++Changes; }
};

TEST(Components, OwnerListsInCreationOrderAndFreesNewestFirst) {
  std::vector<std::wstring> log;
  {
    TForm form(nullptr);
    auto* a = new TTraced(&form, L"a", log);
    auto* b = new TTraced(&form, L"b", log);
    new TTraced(b, L"b.child", log);
    auto* c = new TTraced(&form, L"c", log);
    ASSERT_EQ(form.ComponentCount(), 3);
    EXPECT_EQ(form.Components(0), a);
    EXPECT_EQ(form.Components(1), b);
    EXPECT_EQ(form.Components(2), c);
    EXPECT_EQ(b->Owner(), &form);
    EXPECT_EQ(c->ComponentIndex(), 2);
    EXPECT_EQ(form.ComponentIndex(), -1);
    EXPECT_TRUE(log.empty());
  }
  EXPECT_EQ(log, (std::vector<std::wstring>{L"c", L"b.child", L"b", L"a"}));
}

TEST(Components, BaseDestructorFreesWhatADerivedOneLeft) {
  std::vector<std::wstring> log;
  auto* owner = new TComponent(nullptr);
  new TTraced(owner, L"x", log);
  new TTraced(owner, L"y", log);
  delete owner;
  EXPECT_EQ(log, (std::vector<std::wstring>{L"y", L"x"}));
}

TEST(Components, FreedComponentLeavesItsOwnersList) {
  std::vector<std::wstring> log;
  TForm form(nullptr);
  new TTraced(&form, L"a", log);
  auto* b = new TTraced(&form, L"b", log);
  auto* c = new TTraced(&form, L"c", log);
  delete b;
  ASSERT_EQ(form.ComponentCount(), 2);
  EXPECT_EQ(form.Components(1), c);
  EXPECT_EQ(c->ComponentIndex(), 1);
  EXPECT_THROW(form.Components(2), EComponentError);
  EXPECT_THROW(form.Components(-1), EComponentError);
}

TEST(Components, NamesAreIdentifiersUniqueAmongSiblingsIgnoringCase) {
  TForm form(nullptr);
  TForm other(nullptr);
  auto* a = CreateNamed<TLabel>(&form, L"labCancel");
  EXPECT_EQ(form.FindComponent(L"LABCANCEL"), a);
  EXPECT_EQ(form.FindComponent(L"labRetry"), nullptr);
  EXPECT_EQ(form.FindComponent(L""), nullptr);

  auto* b = new TLabel(&form);
  EXPECT_THROW(b->SetName(L"LabCancel"), EComponentError);
  EXPECT_TRUE(b->Name().empty());
  // Unnamed siblings may coexist; another owner's names do not collide.
  new TLabel(&form);
  EXPECT_NO_THROW(CreateNamed<TLabel>(&other, L"labCancel"));
  // A failed creation does not leave a half-named component behind.
  EXPECT_THROW(CreateNamed<TButton>(&form, L"labcancel"), EComponentError);
  EXPECT_EQ(form.ComponentCount(), 3);

  a->SetName(L"LABCANCEL");
  EXPECT_EQ(a->Name(), L"LABCANCEL");

  for (const wchar_t* bad : {L"1lab", L"lab Cancel", L"lab-x", L"lab\u00E4"})
    EXPECT_THROW(b->SetName(bad), EComponentError) << bad;
  b->SetName(L"_lab2");
  EXPECT_EQ(b->Name(), L"_lab2");
  b->SetName(L"");
  EXPECT_TRUE(b->Name().empty());
}

TEST(Components, OnlyCaptionedKindsHaveACaption) {
  TForm form(nullptr);
  TComponent* plain = new TComponent(&form);
  TComponent* kinds[] = {&form, new TLabel(&form), new TButton(&form), new TCheckBox(&form)};
  EXPECT_EQ(plain->Captioned(), nullptr);
  for (TComponent* c : kinds) {
    ICaptioned* cap = c->Captioned();
    ASSERT_NE(cap, nullptr);
    EXPECT_EQ(cap->GetCaption(), L"");
    cap->SetCaption(L"Abbrechen");
    EXPECT_EQ(cap->GetCaption(), L"Abbrechen");
  }
}

TEST(Components, CaptionChangedRunsOnlyOnAChange) {
  TCountingLabel lab(nullptr);
  lab.SetCaption(L"Retry");
  lab.SetCaption(L"Retry");
  lab.SetCaption(L"Wiederholen");
  EXPECT_EQ(lab.Changes, 2);
  EXPECT_EQ(lab.GetCaption(), L"Wiederholen");
}

}  // namespace
}  // namespace vt
