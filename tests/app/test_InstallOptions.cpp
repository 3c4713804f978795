#include <gtest/gtest.h>
TEST(Smoke3, Runs) { SUCCEED(); }
