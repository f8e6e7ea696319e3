// Test entry. Every test builds its designs in contexts of its own, so no
// state carries from one test to the next.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
