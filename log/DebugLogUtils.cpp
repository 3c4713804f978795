#include "log/DebugLogUtils.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "fw/uWinHandles.h"
#include "log/uCommonAppInfo.h"
#include "log/uDebugLog.h"
#include "log/uDebugLogInterface.h"

namespace vt {

namespace {

// Held for reading by every call that uses the bound routines, and for writing
// only while the unit starts and ends: a line in flight on another thread is
// finished before the routines are unbound. Never destroyed, so no thread can
// find it gone.
SRWLOCK gApiLock = SRWLOCK_INIT;
bool gApiStarted = false;  // guarded by gApiLock
std::atomic<bool> gDebugOutput{false};
std::atomic<TLogInfo*> gTargetFilter{nullptr};
// The filter value: an address that no log target can have.
char gReservedFilter;

TLogInfo* ReservedFilter() { return reinterpret_cast<TLogInfo*>(&gReservedFilter); }

void Deliver(std::wstring_view Text, TLogInfo* Target) {
  TReadLock lock(gApiLock);
  if (!gApiStarted) return;
  const TDebugLogBinding& b = DebugLogBinding();
  if (!b.Write) return;
  TLogInfo* filter = gTargetFilter.load();
  if (filter && Target != filter) return;
  // The writer takes a NUL-terminated string, so a message ends at its first NUL.
  std::wstring s(Text.substr(0, Text.find(L'\0')));
  b.Write(s.c_str(), Target);
}

std::wstring Demangled(const std::exception& e) {
  const char* raw = typeid(e).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> d(abi::__cxa_demangle(raw, nullptr, nullptr, &status), std::free);
  return Utf8ToWide(status == 0 && d ? d.get() : raw);
}

}  // namespace

void LogLine(std::wstring_view Text) {
  try {
    Deliver(Text, nullptr);
  } catch (...) {
  }
}

void LogLineTo(std::wstring_view Text, TLogInfo* Target) {
  try {
    Deliver(Text, Target);
  } catch (...) {
  }
}

void LogFmt(std::wstring_view Fmt, TFmtArgs Args) { LogLine(Format(Fmt, Args)); }

void LogFmtTo(std::wstring_view Fmt, TFmtArgs Args, TLogInfo* Target) { LogLineTo(Format(Fmt, Args), Target); }

std::wstring LastErrorText(DWORD Code) {
  const LANGID enUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  const LANGID old = GetThreadUILanguage();
  SetThreadUILanguage(enUs);
  auto restore = ScopeExit([old] { SetThreadUILanguage(old); });
  return SysErrorMessage(Code, enUs);
}

void LogLastError(std::wstring_view Text) {
  DWORD code = GetLastError();
  LogLastError(Text, code, nullptr);
}

void LogLastError(std::wstring_view Text, DWORD ErrorCode, TLogInfo* Target) {
  // Callers may still look at the error after logging it.
  TPreserveLastError keep;
  try {
    LogLineTo(Format(L"%s; LastError = %d(%s)", {Text, static_cast<int32_t>(ErrorCode), LastErrorText(ErrorCode)}),
              Target);
  } catch (...) {
  }
}

void LogException(const std::exception* E, std::wstring_view Text, TLogInfo* Target) {
  try {
    std::wstring block;
    if (E) {
      std::wstring cls, msg, stack;
      if (auto* ve = dynamic_cast<const Exception*>(E)) {
        cls = ve->ClassName();
        msg = ve->Message();
        try {
          stack = ve->StackTrace();
        } catch (...) {
          stack.clear();
        }
      } else {
        cls = Demangled(*E);
        msg = Utf8ToWide(E->what());
      }
      block = Format(L"Exception: \r\n    ClassName = %s\r\n    Message   = %s\r\n    CallStack:\r\n%s",
                     {cls, msg, stack});
    }
    std::wstring m = Text.empty() ? block : std::wstring(Text) + L"\r\n" + block;
    if (!m.empty()) LogLineTo(m, Target);
  } catch (...) {
  }
}

std::wstring GetLogFileName(std::wstring_view BaseName) {
  try {
    std::wstring (*name)(std::wstring_view) = nullptr;
    {
      TReadLock lock(gApiLock);
      if (gApiStarted) name = DebugLogBinding().LogFileName;
    }
    // Called outside the lock: the first call binds a system library, which logs.
    return name ? name(BaseName) : std::wstring();
  } catch (...) {
    return {};
  }
}

void SetDebugOutput(bool Enable, bool Announce) {
  if (Enable) {
    if (gDebugOutput.exchange(true)) return;
    if (Announce) {
      LogLine(L"------------------- Logging started by user -------------------");
      LogApplicationCommonInfo();
    }
  } else {
    if (Announce && gDebugOutput.load()) LogLine(L"------------------- Logging stopped by user -------------------");
    gDebugOutput.store(false);
  }
}

bool IsDebugOutput() { return gDebugOutput.load(); }

void LockThreadLogging(TLogInfo* Target) {
  if (!gDebugOutput.load()) return;
  try {
    TReadLock lock(gApiLock);
    if (!gApiStarted) return;
    if (auto f = DebugLogBinding().Lock) f(Target);
  } catch (...) {
  }
}

void UnlockThreadLogging(TLogInfo* Target) {
  if (!gDebugOutput.load()) return;
  try {
    TReadLock lock(gApiLock);
    if (!gApiStarted) return;
    if (auto f = DebugLogBinding().Unlock) f(Target);
  } catch (...) {
  }
}

void SetLogTargetFilter() { gTargetFilter.store(ReservedFilter()); }

void ApplyRegistryDebugSwitches() {
  bool testMode = ReadMakerRegistryFlag(L"ServiceTestMode", 1);
  bool debug = ReadMakerRegistryFlag(L"GenerateDebugOutput", 1);
  if (testMode && debug) SetLogTargetFilter();
  SetDebugOutput(debug, false);
}

void DebugLogUtilsInitialization() {
  TWriteLock lock(gApiLock);
  gApiStarted = true;
}

void DebugLogUtilsFinalization() {
  gDebugOutput.store(false);
  TWriteLock lock(gApiLock);
  gApiStarted = false;
}

}  // namespace vt
