// The fixed design: member order, seeding, and the command line applied to
// it. Its built-in configuration shows in the golden cases' output.
#include "bench/testbench.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/simulation.h"
#include "kernel/scheduler.h"
#include "support/capture.h"

namespace {
// Read access to settings that the classes keep to themselves.
struct TargetProbe : PCI_target {
    static int32_t init_threshold(const PCI_target& t) {
        return t.*(&TargetProbe::init_retry_threshold);
    }
    static int32_t burst_threshold(const PCI_target& t) {
        return t.*(&TargetProbe::burst_retry_threshold);
    }
};
struct MasterProbe : PCI_random_master {
    static int32_t count(const PCI_random_master& m) { return m.*(&MasterProbe::trans_count); }
    static int32_t overhead(const PCI_random_master& m) {
        return m.*(&MasterProbe::retry_overhead);
    }
};

std::unique_ptr<PCI_testbench> make_bench() {
    return std::make_unique<PCI_testbench>("tb", nullptr);
}

// Applies the arguments (after a program name) to the bench.
std::optional<int> apply(PCI_testbench& bench, run_settings& settings,
                         std::vector<std::string> args) {
    args.insert(args.begin(), "pcisim");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    return read_command_line(static_cast<int>(argv.size()), argv.data(), bench, settings);
}
}  // namespace

TEST(Testbench, InstanceListOrder) {
    auto bench = make_bench();
    std::vector<std::string> names;
    for (const SIM_instance* instance : instance_list()) names.push_back(instance->full_name());
    EXPECT_EQ(names, (std::vector<std::string>{"tb", "tb:pa", "tb:pm1", "tb:pm1:t", "tb:pm2",
                                               "tb:pm2:t", "tb:pm3", "tb:pm3:t", "tb:pt1", "tb:pt2",
                                               "tb:pt3", "tb:pmon"}));
    EXPECT_EQ(bench->pb.name.full_name(), "tb:pb");
    EXPECT_EQ(sim_cycle, 1);
}

TEST(Testbench, ResetSeedsEverySource) {
    auto bench = make_bench();
    reset_all();
    const int32_t seeds[6] = {17, 42, 144, 13, 7, 8};
    SIM_random* sources[6] = {&bench->pm1.rng, &bench->pm2.rng, &bench->pm3.rng,
                              &bench->pt1.rng, &bench->pt2.rng, &bench->pt3.rng};
    for (int i = 0; i < 6; ++i) {
        SIM_random expected;
        expected.set_seed(seeds[i]);
        EXPECT_EQ(sources[i]->next(), expected.next()) << i;
    }
    // Pattern word 1 is 1 | ((multiplier << 16) ^ 0x27450000).
    const uint32_t multipliers[6] = {0x5A37, 0x3779, 0xABDE, 0x1FF4, 0xE515, 0xF00F};
    PCI_pattern* patterns[6] = {&bench->pm1, &bench->pm2, &bench->pm3,
                                &bench->pt1, &bench->pt2, &bench->pt3};
    for (int i = 0; i < 6; ++i) {
        uint32_t address = 0;
        patterns[i]->next_data(address);
        EXPECT_EQ(patterns[i]->next_data(address), 1u | ((multipliers[i] << 16) ^ 0x27450000u))
            << i;
    }
}

TEST(Testbench, CommandLineReachesTheDesign) {
    auto bench = make_bench();
    run_settings settings;
    OutputCapture capture;
    EXPECT_FALSE(apply(*bench, settings,
                       {"-m1l300", "-m2c7", "-m3o-1", "-t2b3", "-t1i20", "-d2", "-dm", "-dA"}));
    EXPECT_EQ(bench->pm1.latency_timer(), 44);  // 300 keeps its low 8 bits
    EXPECT_EQ(MasterProbe::count(bench->pm2), 7);
    EXPECT_EQ(MasterProbe::overhead(bench->pm3), -1);
    EXPECT_EQ(TargetProbe::burst_threshold(bench->pt2), 3);
    EXPECT_EQ(TargetProbe::burst_threshold(bench->pt3), 8);
    EXPECT_EQ(TargetProbe::init_threshold(bench->pt1), 20);
    EXPECT_EQ(bench->pm1.debug_flag(), 0);
    EXPECT_EQ(bench->pm2.debug_flag(), 1);
    EXPECT_EQ(bench->pmon.debug_flag(), 1);
    EXPECT_EQ(bench->pa.debug_flag(), 1);
    EXPECT_EQ(capture.text(), "");

    // A rejected option stops the reading; the ones before it stay applied.
    EXPECT_EQ(apply(*bench, settings, {"-m1c5", "-x", "-m1c9"}), 10);
    EXPECT_EQ(MasterProbe::count(bench->pm1), 5);
    EXPECT_EQ(capture.take(), "Unknown option x\n");

    // A run_settings of its own is not touched by design options.
    EXPECT_EQ(settings.counter_width, 3);

    // Without an argument vector nothing is read; without a program name the
    // usage line names none.
    EXPECT_FALSE(read_command_line(0, nullptr, *bench, settings));
    char* no_name[] = {nullptr, const_cast<char*>("-h"), nullptr};
    EXPECT_EQ(read_command_line(2, no_name, *bench, settings), 0);
    EXPECT_EQ(capture.text().substr(0, 27), "Usage:  <options>\nOptions:\n");
}
