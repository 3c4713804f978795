#include "lang/Language.h"

#include <algorithm>
#include <exception>

#include "log/DebugLogUtils.h"
#include "sys/OsUnit.h"

namespace vt {

namespace {

const wchar_t kDefaultLocale[] = L"en-us";

wchar_t LowerAZ(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

std::wstring LowerCaseAZ(std::wstring_view s) {
  std::wstring r(s);
  for (wchar_t& c : r) c = LowerAZ(c);
  return r;
}

// Ordering of keys without regard to the case of A to Z.
int CompareKeys(std::wstring_view a, std::wstring_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    wchar_t x = LowerAZ(a[i]), y = LowerAZ(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool StartsWithAZ(std::wstring_view s, std::wstring_view prefix) {
  return s.size() >= prefix.size() && SameTextAZ(s.substr(0, prefix.size()), prefix);
}

struct TCodeRow {
  const wchar_t* Hex;
  const wchar_t* Letters;
  const wchar_t* LocaleID;
};

// Tried in order; "1a" is both Croatian and Serbian.
const TCodeRow kCodeRows[] = {
    {L"01", L"ar", L"ar-sa"}, {L"02", L"bg", L"en-us"}, {L"03", L"ca", L"es-ca"},
    {L"04", L"zh", L"zh-cn"}, {L"05", L"cs", L"cs-cz"}, {L"07", L"de", L"de-de"},
    {L"0a", L"es", L"es-es"}, {L"0b", L"fi", L"fi-fi"}, {L"0c", L"fr", L"fr-fr"},
    {L"1a", L"hr", L"en-us"}, {L"08", L"gr", L"gr-gr"}, {L"0e", L"hu", L"hu-hu"},
    {L"10", L"it", L"it-it"}, {L"11", L"ja", L"ja-jp"}, {L"13", L"nl", L"nl-nl"},
    {L"15", L"pl", L"pl-pl"}, {L"16", L"pt", L"pt-br"}, {L"19", L"ru", L"ru-ru"},
    {L"24", L"sl", L"sl-si"}, {L"1a", L"sr", L"en-us"}, {L"1d", L"sv", L"en-us"},
    {L"1f", L"tr", L"tr-tr"}, {L"22", L"uk", L"en-us"}, {L"2a", L"vi", L"en-us"},
};

// Characters First and First+1 (0-based) of the locale's value for Type.
std::wstring LocaleInfoPart(LCID Lcid, LCTYPE Type, size_t First) {
  wchar_t buf[LOCALE_NAME_MAX_LENGTH] = {};
  if (GetLocaleInfoW(Lcid, Type, buf, LOCALE_NAME_MAX_LENGTH) == 0) RaiseLastOSError();
  std::wstring_view v(buf);
  return First < v.size() ? std::wstring(v.substr(First, 2)) : std::wstring();
}

TLanguage* gWorkerLanguage = nullptr;

}  // namespace

std::wstring SafeFormat(std::wstring_view Text, std::span<const TFmtArg> Args) {
  try {
    return Format(Text, Args);
  } catch (...) {
    return std::wstring(Text);
  }
}

std::wstring LanguageCodeToLocaleID(std::wstring_view Code, LCID Lcid) {
  std::wstring result = kDefaultLocale;
  for (const TCodeRow& row : kCodeRows) {
    if (Code == row.Hex || Code == row.Letters) {
      result = row.LocaleID;
      break;
    }
  }
  switch (Lcid) {
    case 1028:
    case 3076:
    case 5124:
      return L"zh-tw";
    case 2052:
    case 4100:
      return L"zh-cn";
    default:
      return result;
  }
}

std::wstring LcidToLocaleID(LCID Lcid, int32_t VersionClass) {
  std::wstring code;
  try {
    // Before Vista there are no locale names: the language's hex digits.
    if (VersionClass < kFirstVistaVersionClass)
      code = LocaleInfoPart(Lcid, LOCALE_ILANGUAGE, 2);
    else
      code = LocaleInfoPart(Lcid, LOCALE_SNAME, 0);
  } catch (...) {
    code = L"09";
    Lcid = 1033;
  }
  return LanguageCodeToLocaleID(code, Lcid);
}

TLanguage::TLanguage(TComponent* AOwner, bool ADisableStore, std::wstring_view ASectionName)
    : TComponent(AOwner),
      WorkingDir(ExtractFilePath(GetModulePath())),
      lSection(ASectionName),
      lControl(AOwner),
      FDisableSettingsStore(ADisableStore) {}

TLanguage::~TLanguage() = default;

bool TLanguage::Reset(bool OnlyIfChanged) {
  TLogScope log(Format(L"-> TLanguage.Reset(%s)", {OnlyIfChanged}), L"<- TLanguage.Reset: ",
                L"<- TLanguage.Reset: exception");
  std::wstring id = GetLanguage(L"");
  TCsLock ini(csIniFile);
  TCsLock msg(csMessages);
  if (OnlyIfChanged && id == FCurrentLocal) {
    log.SetClose(L"<- TLanguage.Reset: False");
    return false;
  }
  // A section of another locale must not answer lookups for this one.
  if (id != FCurrentLocal) Section = nullptr;
  lstMessages.clear();
  FCurrentLocal = id;
  log.SetClose(L"<- TLanguage.Reset: True (" + id + L")");
  return true;
}

bool TLanguage::LocalForm(std::wstring_view FormName, std::wstring_view FormLocal) {
  TLogScope log(Format(L"-> TLanguage.LocalForm(%s, %s)", {FormName, FormLocal}), L"<- TLanguage.LocalForm: ",
                L"<- TLanguage.LocalForm: exception");
  std::wstring id = GetLanguage(FormLocal);
  TCsLock ini(csIniFile);
  lSection = FormName;
  {
    TCsLock msg(csMessages);
    FCurrentLocal = id;
  }

  // A section found for another locale or window must not answer lookups.
  Section = nullptr;
  auto locale = std::find_if(FLocales.begin(), FLocales.end(),
                             [&](const TLocale& l) { return SameTextAZ(l.LngID, id); });
  if (locale == FLocales.end()) {
    log.SetClose(L"<- TLanguage.LocalForm: False");
    return false;
  }
  for (const TLocaleSection& s : locale->Sections) {
    if (SameTextAZ(s.SectionID, FormName)) {
      Section = &s;
      break;
    }
  }
  // The section's keys, sorted, each once.
  std::vector<std::wstring> ids;
  if (Section) {
    for (const TLngItem& item : Section->Items) ids.push_back(item.StringID);
    std::stable_sort(ids.begin(), ids.end(),
                     [](const std::wstring& a, const std::wstring& b) { return CompareKeys(a, b) < 0; });
    ids.erase(std::unique(ids.begin(), ids.end(),
                          [](const std::wstring& a, const std::wstring& b) { return CompareKeys(a, b) == 0; }),
              ids.end());
  }

  int captions = 0;
  if (lControl && !ids.empty()) {
    for (int i = 0; i < lControl->ComponentCount(); ++i) {
      TComponent* c = lControl->Components(i);
      if (c->Name().empty()) continue;
      ICaptioned* cap = c->Captioned();
      if (!cap) continue;
      std::wstring text = SectionText(c->Name());
      if (text.empty()) continue;
      cap->SetCaption(text);
      ++captions;
    }
  }

  for (const std::wstring& key : ids) {
    std::wstring text = SectionText(key);
    if (StartsWithAZ(key, L"lab")) SetMessage(L"msg" + key.substr(3), text, false);
    SetMessage(key, text, false);
  }
  // The message list is kept sorted on every insertion.
  log.SetClose(Format(L"<- TLanguage.LocalForm: True (%s, %d captions, %d keys)",
                      {id, captions, static_cast<int>(ids.size())}));
  return true;
}

std::wstring TLanguage::GetLanguage(std::wstring_view CustomValue) {
  std::wstring candidate;
  if (!CustomValue.empty()) {
    candidate = LowerCaseAZ(CustomValue);
  } else {
    try {
      candidate = GetUserLanguage();
    } catch (const std::exception& e) {
      LogException(&e, L"GetUserLanguage");
      candidate.clear();
    } catch (...) {
      LogException(nullptr, L"GetUserLanguage");
      candidate.clear();
    }
    if (candidate.empty()) candidate = GetSystemLanguageCode();
  }
  // The table's own spelling, so the chosen ID is always lower case.
  for (const TLocale& l : FLocales)
    if (LowerCaseAZ(l.LngID) == LowerCaseAZ(candidate)) return LowerCaseAZ(l.LngID);
  return kDefaultLocale;
}

std::wstring TLanguage::GetSystemLanguageCode() {
  LCID lcid = 1033;
  int32_t versionClass = -1;
  std::wstring result;
  try {
    lcid = GetUserDefaultLCID();
    versionClass = GetOSVersionClass();
    result = LcidToLocaleID(lcid, versionClass);
  } catch (...) {
    lcid = 1033;
    result = LanguageCodeToLocaleID(L"09", lcid);
  }
  LogFmt(L"TLanguage.GetSystemLanguageCode: LCID %d, version class %d: %s", {lcid, versionClass, result});
  return result;
}

size_t TLanguage::LowerBound(std::wstring_view Name) const {
  auto it = std::lower_bound(lstMessages.begin(), lstMessages.end(), Name,
                             [](const std::unique_ptr<TMessagesItem>& item, std::wstring_view key) {
                               return CompareKeys(item->fName, key) < 0;
                             });
  return static_cast<size_t>(it - lstMessages.begin());
}

std::wstring TLanguage::SectionText(std::wstring_view Name) const {
  if (!Section) return {};
  for (const TLngItem& item : Section->Items)
    if (SameTextAZ(item.StringID, Name)) return item.Value;
  return {};
}

std::wstring TLanguage::GetMessage(std::wstring_view Name, bool TryLng, bool AParceIt,
                                   PParseReplacementSet Replaced) {
  // No built-in text is tagged, so parsing would not change any text.
  (void)AParceIt;
  (void)Replaced;
  {
    TCsLock msg(csMessages);
    size_t i = LowerBound(Name);
    if (i < lstMessages.size() && CompareKeys(lstMessages[i]->fName, Name) == 0) return lstMessages[i]->fText;
  }
  if (!TryLng) return {};
  TCsLock ini(csIniFile);
  return SectionText(Name);
}

std::wstring TLanguage::GetMessage(std::initializer_list<std::wstring_view> Names, bool TryLng) {
  for (std::wstring_view name : Names) {
    if (name.empty()) continue;
    std::wstring text = GetMessage(name, TryLng);
    if (!text.empty()) return text;
  }
  return {};
}

std::wstring TLanguage::GetMessage(std::span<const std::wstring> Names, bool TryLng) {
  for (const std::wstring& name : Names) {
    if (name.empty()) continue;
    std::wstring text = GetMessage(name, TryLng);
    if (!text.empty()) return text;
  }
  return {};
}

std::wstring TLanguage::Get_Message(std::wstring_view Name) { return GetMessage(Name, true, true, nullptr); }

std::wstring TLanguage::GetMessageFmt(std::wstring_view Name, std::span<const TFmtArg> Args, bool TryLng) {
  return SafeFormat(GetMessage(Name, TryLng, true, nullptr), Args);
}

bool TLanguage::SetMessage(std::wstring_view Name, std::wstring_view Text, bool WhenEmpty) {
  // Lock order: csIniFile before csMessages, as in LocalForm; GetMessage
  // below re-enters both.
  TCsLock ini(csIniFile);
  TCsLock msg(csMessages);
  if (WhenEmpty && !GetMessage(Name, true, true, nullptr).empty()) return true;
  size_t i = LowerBound(Name);
  auto item = std::make_unique<TMessagesItem>(std::wstring(Name), std::wstring(Text));
  if (i < lstMessages.size() && CompareKeys(lstMessages[i]->fName, Name) == 0)
    lstMessages[i] = std::move(item);
  else
    lstMessages.insert(lstMessages.begin() + static_cast<ptrdiff_t>(i), std::move(item));
  return true;
}

bool TLanguage::IsEnUs() { return SameTextAZ(CurrentLocal(), kDefaultLocale); }

std::wstring TLanguage::CurrentLocal() {
  TCsLock msg(csMessages);
  return FCurrentLocal;
}

std::wstring TLanguage::GetUserLanguage() { return {}; }

void TLanguage::SetLocales(TLocales Value) {
  TCsLock ini(csIniFile);
  Section = nullptr;
  FLocales = std::move(Value);
}

PLocaleSection TLanguage::GetSection() {
  TCsLock ini(csIniFile);
  return Section;
}

std::wstring TLanguage::SectionName() {
  TCsLock ini(csIniFile);
  return lSection;
}

void WorkerLanguageInitialization() {
  TLogScope log(L"-> WorkerLanguageInitialization", L"<- WorkerLanguageInitialization: ",
                L"<- WorkerLanguageInitialization: exception");
  if (!gWorkerLanguage) {
    auto lang = std::make_unique<TLanguage>(nullptr, true, L"");
    lang->SetLocales(GetBuiltInLocales());
    // No such section exists: this only chooses the locale.
    lang->LocalForm(L"InstallThread", L"");
    gWorkerLanguage = lang.release();
  }
  log.SetClose(L"<- WorkerLanguageInitialization: " + gWorkerLanguage->CurrentLocal());
}

void WorkerLanguageFinalization() {
  delete gWorkerLanguage;
  gWorkerLanguage = nullptr;
}

TLanguage* WorkerLanguage() { return gWorkerLanguage; }

}  // namespace vt
