#include <gtest/gtest.h>

#include "kernel/logic.h"

TEST(Logic, Smoke) { EXPECT_EQ(resolve_levels(VL, VH), VX); }
