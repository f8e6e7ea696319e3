#include "kernel/scheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/instance.h"
#include "kernel/signal.h"
#include "support/capture.h"

namespace {
// Records the cycle of every clock() and what it read of its partner's pin.
class Echo : public SIM_instance {
  public:
    Echo(const char* name, SIM_instance* parent) : SIM_instance(name, parent) {}
    void reset() override { out.force(V0); }
    void clock() override {
        cycles.push_back(sim_cycle);
        seen.push_back(in.read());
        out = in.read() == V1 ? V0 : V1;  // toggle against the partner
    }
    SIM_port out{"out", this};
    SIM_port in{"in", this};
    std::vector<int32_t> cycles;
    std::vector<logic_value> seen;
};

class Silent : public SIM_instance {
  public:
    using SIM_instance::SIM_instance;
};
}  // namespace

TEST(Scheduler, CycleCounterAndPhases) {
    EXPECT_EQ(sim_cycle, 0);
    Echo a("a", nullptr);
    EXPECT_EQ(sim_cycle, 1);
    reset_all();
    EXPECT_EQ(sim_cycle, 1);
    EXPECT_EQ(cur_phase, 0);
    clock_all();
    EXPECT_EQ(a.cycles.front(), 1);
    EXPECT_EQ(sim_cycle, 2);
    EXPECT_EQ(cur_phase, 1);
    EXPECT_EQ(next_phase, 0);
}

TEST(Scheduler, InstanceOrderDoesNotChangeWhatIsRead) {
    // Two pairs wired crosswise, built in opposite orders, see the same levels.
    auto run = [](bool swap) {
        sim_kernel_clear();
        Echo x(swap ? "y" : "x", nullptr);
        Echo y(swap ? "x" : "y", nullptr);
        SIM_net xy("xy", nullptr), yx("yx", nullptr);
        xy.connect(x.out);
        xy.connect(y.in);
        yx.connect(y.out);
        yx.connect(x.in);
        reset_all();
        for (int i = 0; i < 4; ++i) clock_all();
        return swap ? std::make_pair(y.seen, x.seen) : std::make_pair(x.seen, y.seen);
    };
    EXPECT_EQ(run(false), run(true));
}

TEST(Scheduler, ListsInConstructionOrder) {
    SIM_instance top("tb", nullptr);
    Echo a("a", &top);
    Echo b("b", &top);
    ASSERT_EQ(instance_list().size(), 3u);
    EXPECT_EQ(instance_list()[1], &a);
    EXPECT_EQ(instance_list()[2], &b);
    ASSERT_EQ(port_list().size(), 4u);
    EXPECT_EQ(port_list()[0], &a.out);
    EXPECT_EQ(port_list()[3], &b.in);
    EXPECT_EQ(b.full_name(), "tb:b");
}

TEST(Scheduler, MissingFunctionsWarnOncePerRun) {
    OutputCapture out;
    SIM_instance top("tb", nullptr);
    Silent first("first", &top);
    Silent second("second", &top);
    reset_all();
    EXPECT_EQ(out.take(), "Warning - no reset function defined for instance tb\n");
    clock_all();
    clock_all();
    EXPECT_EQ(out.take(), "Warning - no clock function defined for instance tb\n");
    reset_all();
    EXPECT_EQ(out.take(), "");
}

TEST(Scheduler, ClearStartsAFreshKernel) {
    OutputCapture out;
    {
        Silent old("old", nullptr);
        reset_all();
        clock_all();
    }
    sim_kernel_clear();
    out.take();
    EXPECT_TRUE(instance_list().empty());
    EXPECT_TRUE(port_list().empty());
    EXPECT_EQ(sim_cycle, 0);
    Silent fresh("fresh", nullptr);
    reset_all();
    EXPECT_EQ(out.take(), "Warning - no reset function defined for instance fresh\n");
}
