// The routines the log API hands its lines to; bound to the log unit at build time.
#pragma once
#include <string>
#include <string_view>

namespace vt {

class TLogInfo;

struct TDebugLogBinding {
  void (*Write)(const wchar_t* Message, TLogInfo* Target);
  void (*Lock)(TLogInfo* Target);
  void (*Unlock)(TLogInfo* Target);
  std::wstring (*LogFileName)(std::wstring_view BaseName);
};

const TDebugLogBinding& DebugLogBinding();

}  // namespace vt
