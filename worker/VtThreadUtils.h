// The worker's thread base: the platform thread with a process-wide table of
// thread names and create/destroy lines in the debug log.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "fw/uThread.h"

namespace vt {

class TVtThread : public TThread {
public:
  // Always created suspended: a C++ thread must not run its body before the
  // derived constructors have finished, so Start follows construction.
  explicit TVtThread(std::wstring_view AClassName);
  ~TVtThread() override;

  const std::wstring& ClassName() const { return FClassName; }

  // Runs Method at once on the window thread, otherwise as a blocking
  // synchronised call; an empty Method does nothing.
  static void SynchronizeEx(const std::function<void()>& Method);

private:
  std::wstring FClassName;
};

// The name the table holds for a thread id; empty when none.
std::wstring VtThreadName(DWORD ThreadId);
// Empties the thread-name table (program end).
void VtThreadUtilsFinalization();

}  // namespace vt
