#include <gtest/gtest.h>
TEST(Smoke2, Runs) { SUCCEED(); }
