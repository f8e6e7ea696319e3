// The fixed design: member order, seeding, and the command line applied to
// it. Its built-in configuration shows in the golden cases' output.
#include "bench/testbench.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/simulation.h"
#include "kernel/context.h"
#include "pci/design.h"
#include "support/capture.h"

namespace {
// The fixed design in a kernel of its own.
struct Design {
    SIM_context context;  // the design's kernel
    // The design (large: on the heap).
    std::unique_ptr<PCI_testbench> bench = std::make_unique<PCI_testbench>("tb", context);
};

// Applies the arguments (after a program name) to the simulation.
std::optional<int> apply(PCI_simulation& simulation, std::vector<std::string> args) {
    args.insert(args.begin(), "pcisim");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    return simulation.read_command_line(static_cast<int>(argv.size()), argv.data());
}
}  // namespace

TEST(Testbench, InstanceListOrder) {
    Design design;
    std::vector<std::string> names;
    for (const SIM_instance* instance : design.context.instance_list())
        names.push_back(instance->full_name());
    EXPECT_EQ(names, (std::vector<std::string>{"tb", "tb:pa", "tb:pm1", "tb:pm1:t", "tb:pm2",
                                               "tb:pm2:t", "tb:pm3", "tb:pm3:t", "tb:pt1", "tb:pt2",
                                               "tb:pt3", "tb:pmon"}));
    EXPECT_EQ(design.bench->pb.name.full_name(), "tb:pb");
    EXPECT_EQ(design.context.sim_cycle(), 1);
}

TEST(Testbench, ResetSeedsEverySource) {
    Design design;
    PCI_testbench* const bench = design.bench.get();
    design.context.reset_all();
    const int32_t seeds[6] = {17, 42, 144, 13, 7, 8};
    SIM_random* sources[6] = {&bench->masters[0]->rng, &bench->masters[1]->rng,
                              &bench->masters[2]->rng, &bench->targets[0]->rng,
                              &bench->targets[1]->rng, &bench->targets[2]->rng};
    for (int i = 0; i < 6; ++i) {
        SIM_random expected;
        expected.set_seed(seeds[i]);
        EXPECT_EQ(sources[i]->next(), expected.next()) << i;
    }
    // Pattern word 1 is 1 | ((multiplier << 16) ^ 0x27450000).
    const uint32_t multipliers[6] = {0x5A37, 0x3779, 0xABDE, 0x1FF4, 0xE515, 0xF00F};
    PCI_pattern* patterns[6] = {bench->masters[0].get(), bench->masters[1].get(),
                                bench->masters[2].get(), bench->targets[0].get(),
                                bench->targets[1].get(), bench->targets[2].get()};
    for (int i = 0; i < 6; ++i) {
        uint32_t address = 0;
        patterns[i]->next_data(address);
        EXPECT_EQ(patterns[i]->next_data(address), 1u | ((multipliers[i] << 16) ^ 0x27450000u))
            << i;
    }
}

TEST(Testbench, CommandLineReachesTheDesign) {
    PCI_simulation simulation;
    PCI_testbench* const bench = &simulation.bench();
    OutputCapture capture(simulation.context());
    EXPECT_FALSE(
        apply(simulation, {"-m1l300", "-m2c7", "-m3o-1", "-t2b3", "-t1i20", "-d2", "-dm", "-dA"}));
    EXPECT_EQ(bench->masters[0]->latency_timer(), 44);  // 300 keeps its low 8 bits
    EXPECT_EQ(bench->masters[1]->transaction_count(), 7);
    EXPECT_EQ(bench->masters[2]->retry_overhead_value(), -1);
    EXPECT_EQ(bench->targets[1]->burst_threshold(), 3);
    EXPECT_EQ(bench->targets[2]->burst_threshold(), 8);
    EXPECT_EQ(bench->targets[0]->init_threshold(), 20);
    EXPECT_EQ(bench->masters[0]->debug_flag(), 0);
    EXPECT_EQ(bench->masters[1]->debug_flag(), 1);
    EXPECT_EQ(bench->pmon.debug_flag(), 1);
    EXPECT_EQ(bench->pa->debug_flag(), 1);
    EXPECT_EQ(capture.text(), "");

    // A rejected option stops the reading; the ones before it stay applied.
    EXPECT_EQ(apply(simulation, {"-m1c5", "-x", "-m1c9"}), 10);
    EXPECT_EQ(bench->masters[0]->transaction_count(), 5);
    EXPECT_EQ(capture.take(), "Unknown option x\n");

    // The run settings are not touched by design options.
    EXPECT_EQ(simulation.settings().counter_width, 3);

    // Without an argument vector nothing is read; without a program name the
    // usage line names none.
    EXPECT_FALSE(simulation.read_command_line(0, nullptr));
    char* no_name[] = {nullptr, const_cast<char*>("-h"), nullptr};
    EXPECT_EQ(simulation.read_command_line(2, no_name), 0);
    EXPECT_EQ(capture.text().substr(0, 27), "Usage:  <options>\nOptions:\n");
}

// The end test counts the masters still running: false until the last one
// has finished (the masters finish in different cycles), true from then on,
// false again after a reset, with the same cycles in the second run, and
// false after one master's own reset.
TEST(Testbench, AllDoneWaitsForTheLastMasterThroughResets) {
    PCI_design d = builtin_design();
    d.masters[0].transactions = 3;
    d.masters[1].transactions = 1;
    d.masters[2].transactions = 2;
    SIM_context context;
    const auto bench = std::make_unique<PCI_testbench>("tb", context, d);
    std::vector<std::vector<int32_t>> finish_cycles;
    for (int round = 0; round < 2; ++round) {
        context.reset_all();
        const int32_t start = context.sim_cycle();
        EXPECT_FALSE(bench->all_done());
        std::vector<int32_t> finished(bench->masters.size(), 0);
        for (int i = 0; i < 5000 && !bench->all_done(); ++i) {
            context.clock_all();
            bool every = true;
            for (size_t m = 0; m < bench->masters.size(); ++m) {
                const bool done = bench->masters[m]->is_done();
                if (done && finished[m] == 0)
                    finished[m] = context.sim_cycle() - start;
                every = every && done;
            }
            ASSERT_EQ(bench->all_done(), every) << "round " << round << " cycle " << i;
        }
        EXPECT_TRUE(bench->all_done());
        finish_cycles.push_back(finished);
    }
    EXPECT_EQ(finish_cycles[0], finish_cycles[1]);
    // The masters finish one after the other: pm1 first, pm3 last.
    EXPECT_EQ(finish_cycles[0], (std::vector<int32_t>{150, 605, 664}));
    // A master reset on its own counts itself back in.
    bench->masters[1]->reset();
    EXPECT_FALSE(bench->all_done());
}
