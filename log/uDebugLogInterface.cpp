#include "log/uDebugLogInterface.h"

#include "log/uDebugLog.h"

namespace vt {

const TDebugLogBinding& DebugLogBinding() {
  static constexpr TDebugLogBinding kBinding{&DebugLogWrite, &DebugLogLockThread, &DebugLogUnlockThread,
                                             &MakeDefaultLogFileName};
  return kBinding;
}

}  // namespace vt
