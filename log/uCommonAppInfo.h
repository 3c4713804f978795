// The block that identifies a run at the top of the debug log.
#pragma once

namespace vt {

// Writes the application information block when debug output is on.
void LogApplicationCommonInfo();

}  // namespace vt
