// Test entry: every test starts from an empty kernel and with output going to
// standard output, whatever the previous test left behind.
#include <gtest/gtest.h>

#include <iostream>

#include "kernel/output.h"
#include "kernel/scheduler.h"

namespace {
class KernelReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        sim_kernel_clear();
        sim_set_out(std::cout);
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        sim_kernel_clear();
        sim_set_out(std::cout);
    }
};
}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new KernelReset);
    return RUN_ALL_TESTS();
}
