// Reading texts from a file's version resource.
#pragma once
#include <string>

namespace vt {

struct TFileInfo {
  // Language and code page of the version resource, eight upper-case hex
  // digits (language first); empty until first needed.
  std::wstring FCharSet;
  std::wstring FFileName;

  // The text of Key in the version resource's string table; empty when there
  // is no resource or no such text.
  std::wstring GetVersionString(const std::wstring& Key);
};

// The "FileVersion" text of FileName's version resource; empty when none.
std::wstring GetFileVersionText(const std::wstring& FileName);

}  // namespace vt
