#include "log/uCommonAppInfo.h"

#include "log/DebugLogUtils.h"

namespace vt {

void LogApplicationCommonInfo() {
  if (!IsDebugOutput()) return;
  // The identifying lines are added with the system probes.
}

}  // namespace vt
