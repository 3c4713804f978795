// The built-in string table: every text the setup shows, in five locales.
#pragma once
#include <string>
#include <vector>

namespace vt {

// The maker's addresses named in the texts.
inline constexpr wchar_t kMakerSupportUrl[] = L"https://www.veltrano.com/support";
inline constexpr wchar_t kMakerSupportEmail[] = L"support@veltrano.com";
// Every download host lies under this domain.
inline constexpr wchar_t kMakerDownloadDomain[] = L"veltrano.com";

struct TLngItem {
  std::wstring StringID;  // a component name or a message key
  std::wstring Value;
};
using TLngItems = std::vector<TLngItem>;

struct TLocaleSection {
  std::wstring SectionID;  // a window name
  TLngItems Items;
};
using TLngSections = std::vector<TLocaleSection>;
using PLocaleSection = const TLocaleSection*;

struct TLocale {
  std::wstring LngID;  // lower case, such as "de-de"
  TLngSections Sections;
};
using TLocales = std::vector<TLocale>;

// "en-us", "de-de", "fr-fr", "ru-ru", "it-it", each with the sections
// "frmMain" and "frmProxySettings".
TLocales GetBuiltInLocales();

}  // namespace vt
