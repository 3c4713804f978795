// GoogleTest entry: the log units start as in the product, so code under test
// logs as it would there.
#include <gtest/gtest.h>

#include "common/TestUtils.h"
#include "fw/uThread.h"
#include "log/DebugLogUtils.h"
#include "log/uDebugLog.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Each run starts from an empty log of its own: what an earlier run left in
  // that file must not decide a result.
  const std::wstring log = vt::test::EnvVar(L"VeltranoDbgLog");
  if (!log.empty()) DeleteFileW(log.c_str());
  vt::DebugLogInitialization();
  vt::DebugLogUtilsInitialization();
  vt::ThreadSyncInitialization();  // the test's main thread is the window thread
  int rc = RUN_ALL_TESTS();
  vt::ThreadSyncFinalization();
  vt::DebugLogUtilsFinalization();
  vt::DebugLogFinalization();
  return rc;
}
