// The log API: the only thing other units call to write the debug log.
#pragma once
#include <windows.h>

#include <exception>
#include <string>
#include <string_view>

#include "fw/uSysUtils.h"

namespace vt {

class TLogInfo;

void LogLine(std::wstring_view Text);
void LogLineTo(std::wstring_view Text, TLogInfo* Target);
// Raise EConvertError (and write nothing) when Args do not fit Format.
void LogFmt(std::wstring_view Format, TFmtArgs Args);
void LogFmtTo(std::wstring_view Format, TFmtArgs Args, TLogInfo* Target);
// "%s; LastError = %d(%s)"; without a code, the thread's last error.
void LogLastError(std::wstring_view Text);
void LogLastError(std::wstring_view Text, DWORD ErrorCode, TLogInfo* Target = nullptr);
void LogException(const std::exception* E, std::wstring_view Text, TLogInfo* Target = nullptr);
std::wstring GetLogFileName(std::wstring_view BaseName);
void SetDebugOutput(bool Enable, bool Announce);
bool IsDebugOutput();
void LockThreadLogging(TLogInfo* Target = nullptr);
void UnlockThreadLogging(TLogInfo* Target = nullptr);
void SetLogTargetFilter();

// The system message text for Code in US English, trimmed as log lines want it.
std::wstring LastErrorText(DWORD Code);

// Reads the two registry switches and applies them to the log (system start-up).
void ApplyRegistryDebugSwitches();

// A "->"/"<-" pair as a scope: Open is written now, the closing line when the
// scope ends, also through an exception, so the thread's indentation always
// comes back. SetClose replaces the closing line (a result to report);
// FailClose, when given, is the closing line when an exception leaves the scope.
class TLogScope {
public:
  TLogScope(std::wstring_view Open, std::wstring Close, std::wstring FailClose = {})
      : FClose(std::move(Close)), FFailClose(std::move(FailClose)) {
    LogLine(Open);
  }
  ~TLogScope() { LogLine(!FFailClose.empty() && std::uncaught_exceptions() > FExceptions ? FFailClose : FClose); }
  TLogScope(const TLogScope&) = delete;
  TLogScope& operator=(const TLogScope&) = delete;
  void SetClose(std::wstring Close) { FClose = std::move(Close); }

private:
  std::wstring FClose;
  std::wstring FFailClose;
  int FExceptions = std::uncaught_exceptions();
};

void DebugLogUtilsInitialization();
void DebugLogUtilsFinalization();

}  // namespace vt
