#pragma once
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "common/TestUtils.h"
#include "log/uDebugLog.h"

// Points the default log target at a fresh file for one test and back afterwards.
class LogFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    FOld = vt::DefaultLogTarget()->FileName();
    FPath = FDir.File(L"t.log");
    vt::DefaultLogTarget()->SetFileName(FPath);
  }
  void TearDown() override { vt::DefaultLogTarget()->SetFileName(FOld); }
  std::vector<std::string> Lines() const { return vt::test::ReadLines(FPath); }

  // The text after the prefix "hh:nn:ss.zzz<TAB>tid___" (13 + 6 characters).
  static std::string Body(const std::string& line) { return line.size() >= 19 ? line.substr(19) : std::string(); }

  vt::test::TTempDir FDir;
  std::wstring FPath, FOld;
};
