// The string catalogue: picks a locale from the user's Windows locale, applies
// a window's section to the window's components and answers message lookups.
#pragma once
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fw/uComponents.h"
#include "fw/uSysUtils.h"
#include "fw/uWinHandles.h"
#include "lang/LngStrings.h"

// windows.h maps GetMessage to GetMessageW; every unit that sees this header
// sees that mapping too, so the member below is consistently GetMessageW.

namespace vt {

// Values for name tags in tagged texts; no built-in text is tagged.
struct TParseReplacementSet;
using PParseReplacementSet = const TParseReplacementSet*;

class TMessagesItem {
public:
  TMessagesItem(std::wstring Name, std::wstring Text) : fName(std::move(Name)), fText(std::move(Text)) {}
  std::wstring fName;
  std::wstring fText;
};

// Text formatted with Args; Text unchanged when the arguments do not fit it.
std::wstring SafeFormat(std::wstring_view Text, std::span<const TFmtArg> Args);
inline std::wstring SafeFormat(std::wstring_view Text, TFmtArgs Args) {
  return SafeFormat(Text, std::span<const TFmtArg>(Args.begin(), Args.size()));
}

// The lowest version class of Windows Vista and later.
inline constexpr int32_t kFirstVistaVersionClass = 8;

// The locale ID for a language code ("07" or "de") and the locale identifier
// it came from; "en-us" for a code that no row knows.
std::wstring LanguageCodeToLocaleID(std::wstring_view Code, LCID Lcid);
// The locale ID for a user locale identifier on Windows of the given version
// class; "en-us" when the system cannot describe the locale.
std::wstring LcidToLocaleID(LCID Lcid, int32_t VersionClass);

class TLanguage : public TComponent {
public:
  TLanguage(TComponent* AOwner, bool ADisableStore, std::wstring_view ASectionName);
  ~TLanguage() override;

  // Recomputes the locale; drops the messages unless OnlyIfChanged and the
  // locale stayed the same. True when the messages were dropped.
  bool Reset(bool OnlyIfChanged);
  // Applies section FormName of the locale chosen from FormLocal (empty:
  // the user's) to the owner's components and fills the messages.
  bool LocalForm(std::wstring_view FormName, std::wstring_view FormLocal);
  std::wstring GetLanguage(std::wstring_view CustomValue);
  // The locale ID of the user's Windows locale.
  std::wstring GetSystemLanguageCode();

  // The text of key Name; empty when neither the messages nor (with TryLng)
  // the applied section hold it.
  std::wstring GetMessage(std::wstring_view Name, bool TryLng = true, bool AParceIt = true,
                          PParseReplacementSet Replaced = nullptr);
  // The first non-empty text of the keys Names, in order.
  std::wstring GetMessage(std::initializer_list<std::wstring_view> Names, bool TryLng);
  std::wstring GetMessage(std::span<const std::wstring> Names, bool TryLng);
  std::wstring Get_Message(std::wstring_view Name);
  std::wstring GetMessageFmt(std::wstring_view Name, std::span<const TFmtArg> Args, bool TryLng = true);
  std::wstring GetMessageFmt(std::wstring_view Name, TFmtArgs Args, bool TryLng = true) {
    return GetMessageFmt(Name, std::span<const TFmtArg>(Args.begin(), Args.size()), TryLng);
  }
  bool SetMessage(std::wstring_view Name, std::wstring_view Text, bool WhenEmpty);

  bool IsEnUs();
  // The chosen locale ID, lower case; empty before the first choice.
  std::wstring CurrentLocal();

  // Consulted first by GetLanguage; empty here.
  virtual std::wstring GetUserLanguage();

  const TLocales& Locales() const { return FLocales; }
  // The table this catalogue works from; forgets the applied section.
  void SetLocales(TLocales Value);
  // The section the last LocalForm found; none if the window has none.
  PLocaleSection GetSection();
  // The name of the section last applied.
  std::wstring SectionName();

private:
  // Index of the first message whose key is not below Name.
  size_t LowerBound(std::wstring_view Name) const;
  std::wstring SectionText(std::wstring_view Name) const;

  std::vector<std::unique_ptr<TMessagesItem>> lstMessages;  // sorted by key, ignoring case
  TCriticalSection csMessages;
  TCriticalSection csIniFile;  // held while a section is applied; guards Section
  TCriticalSection csAlternativeSections;
  std::wstring FCurrentLocal;  // written under csMessages
  std::wstring WorkingDir;
  std::wstring lSection;
  std::vector<std::wstring> lAlternativeSections;
  bool lOnlySpecifiedSections = false;
  TComponent* lControl;
  bool FDisableSettingsStore;
  TLocales FLocales;
  PLocaleSection Section = nullptr;
};

// The worker module's catalogue: created before the main window exists, it
// only chooses the locale ID that the download address carries.
void WorkerLanguageInitialization();
void WorkerLanguageFinalization();
// None before the initialisation and after the finalisation.
TLanguage* WorkerLanguage();

}  // namespace vt
