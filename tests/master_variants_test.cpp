#include "pci/master_variants.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "kernel/scheduler.h"
#include "monitor/bus.h"
#include "pci/target_variants.h"
#include "support/capture.h"
#include "support/scripted_agent.h"

namespace {

// Shows the hooks of a master class; a non-zero forced value replaces the
// drawn command or burst length (the draw itself still happens).
template <class Base>
class Probe : public Base {
  public:
    using Base::Base;
    bool may_start() { return this->can_start(); }
    bool fetched_all() { return this->all_done(); }
    uint32_t draw_address() { return this->next_address(); }
    uint32_t draw_command() { return this->command = this->next_command(); }
    int32_t draw_length() { return this->burst_length(); }

    uint32_t forced_command = 0;  // command to run instead of the drawn one
    int32_t forced_length = 0;    // burst length to run instead of the drawn one

  protected:
    uint32_t next_command() override {
        uint32_t c = Base::next_command();
        return forced_command ? forced_command : c;
    }
    int32_t burst_length() override {
        int32_t n = Base::burst_length();
        return forced_length ? forced_length : n;
    }
};

struct Seen {
    uint32_t address;  // AD in the address phase
    uint32_t command;  // C/BE# in the address phase
    int words;         // completed data phases
    bool operator==(const Seen&) const = default;
};

// Runs three transactions of a master class against a plain FAST target and
// records them from the bus.
template <class Master>
std::vector<Seen> first_three(int32_t seed, uint32_t base) {
    TestTop top;
    PullupAgent pull("pa", &top);
    Master m("pm", &top);
    PCI_target target("pt", &top);
    PCI_bus bus("pb", &top.name);
    bus.connect_agent(pull);
    bus.connect_agent(target);
    bus.connect_agent(m);
    target.set_config(4, base | 8, 0xFFF00000);
    target.config[1] = 0x0002;
    m.base_address = base;
    m.set_trans_count(3);
    reset_all();
    m.rng.set_seed(seed);
    m.gnt.force(V0);
    std::vector<Seen> seen;
    logic_value prev_frame = VZ;
    while (!m.is_done() && sim_cycle < 5000) {
        clock_all();
        uint32_t ad = 0, cbe = 0;
        if (bus.frame.read() == V0 && prev_frame != V0 && signals_to_int(bus.ad, 32, ad) &&
            signals_to_int(bus.cbe, 4, cbe))
            seen.push_back({ad, cbe, 0});
        if (bus.irdy.is_low() && bus.trdy.is_low() && !seen.empty())
            ++seen.back().words;
        prev_frame = bus.frame.read();
    }
    return seen;
}

struct HintRun {
    std::vector<bool> may_start;  // can_start() in cycles 101 to 106
    int32_t next_address = 0;     // first cycle after 100 with FRAME# low
};

// A one-word transaction started in cycle 96, stopped without data with
// ad_word on AD seen in cycle 100 by a scripted target.
HintRun hinted_retry(uint32_t command, uint32_t ad_word, int32_t overhead) {
    TestTop top;
    PullupAgent pull("pa", &top);
    Probe<PCI_short_master> m("pm1", &top);
    ScriptedAgent s("pt1", &top);
    PCI_bus bus("pb", &top.name);
    bus.connect_agent(pull);
    bus.connect_agent(m);
    bus.connect_agent(s);
    m.set_trans_count(5);
    m.set_retry_overhead(overhead);
    m.forced_command = command;
    m.forced_length = 1;
    s.at(97, [](ScriptedAgent& t) {
        t.devsel = V0;
        t.trdy = V1;
        t.stop = V1;
    });
    s.at(99, [ad_word](ScriptedAgent& t) {
        t.stop = V0;
        t.drive_ad(ad_word);
    });
    s.at(100, [](ScriptedAgent& t) {
        t.devsel = V1;
        t.stop = V1;
        t.release_ad();
    });
    s.at(101, [](ScriptedAgent& t) {
        t.devsel = VZ;
        t.stop = VZ;
        t.trdy = VZ;
    });
    reset_all();
    m.gnt.force(V1);
    run_to_cycle(96);
    m.gnt.force(V0);
    HintRun run;
    while (sim_cycle < 110) {
        if (sim_cycle > 100 && sim_cycle <= 106)
            run.may_start.push_back(m.may_start());
        clock_all();
        if (sim_cycle > 101 && bus.frame.read() == V0 && run.next_address == 0)
            run.next_address = sim_cycle;
    }
    return run;
}

}  // namespace

TEST(MasterVariants, FirstThreeTransactionsOfEachMaster) {
    EXPECT_EQ(first_three<PCI_short_master>(17, 0),
              (std::vector<Seen>{{0x16FC, 6, 1}, {0x5124, 6, 1}, {0x41E4, 6, 1}}));
    sim_kernel_clear();
    EXPECT_EQ(first_three<PCI_long_master>(42, 0x100000),
              (std::vector<Seen>{{0x1038D0, 7, 229}, {0x105408, 7, 336}, {0x1052D4, 7, 290}}));
    sim_kernel_clear();
    EXPECT_EQ(first_three<PCI_fixed_master>(144, 0x180000),
              (std::vector<Seen>{{0x1842C8, 7, 128}, {0x1858B0, 7, 128}, {0x183B84, 7, 128}}));
}

TEST(MasterVariants, HintedReadRetryHoldsTheMasterBack) {
    const std::vector<bool> held = {false, false, false, false, false, true};
    HintRun read = hinted_retry(6, 0x12345605, 0);
    EXPECT_EQ(read.may_start, held);
    EXPECT_EQ(read.next_address, 107);  // REQ# and the address phase in 106
    sim_kernel_clear();
    HintRun overhead = hinted_retry(6, 0x12345605, 2);
    EXPECT_EQ(overhead.may_start, (std::vector<bool>{false, false, false, true, true, true}));
}

TEST(MasterVariants, RetryWithoutBackOff) {
    const std::vector<bool> free(6, true);
    for (auto [command, word, overhead] : {std::tuple{6u, 0x12345605u, -1},  // switched off
                                           std::tuple{7u, 0x12345605u, 0},   // a write
                                           std::tuple{6u, 0x12345705u, 0},   // no hint
                                           std::tuple{6u, 0x12345605u, INT32_MIN}}) {  // wraps
        HintRun run = hinted_retry(command, word, overhead);
        EXPECT_EQ(run.may_start, free) << command << " " << word;
        EXPECT_EQ(run.next_address, 102);
        sim_kernel_clear();
    }
}

TEST(MasterVariants, HooksDrawInTheirRanges) {
    TestTop top;
    Probe<PCI_short_master> s("pm1", &top);
    Probe<PCI_long_master> l("pm2", &top);
    Probe<PCI_fixed_master> f("pm3", &top);
    l.base_address = 0x100000;
    l.set_trans_count(1000);
    reset_all();
    for (int i = 0; i < 1000; ++i) {
        s.draw_address();
        uint32_t c = s.draw_command();
        int32_t n = s.draw_length();
        EXPECT_TRUE(c == 6 ? n == 1 : c == 7 && n >= 1 && n <= 7) << c << " " << n;
        EXPECT_FALSE(l.fetched_all());
        uint32_t a = l.draw_address();
        EXPECT_TRUE(a >= 0x100000 && a <= 0x107FFC && a % 4 == 0) << std::hex << a;
        n = l.draw_length();
        EXPECT_TRUE(n >= 8 && n <= 383) << n;
        EXPECT_EQ(f.draw_length(), 128);
    }
    EXPECT_TRUE(l.fetched_all());
    EXPECT_EQ(s.latency_timer(), 48);
}

TEST(MasterVariants, NoTransactionsMeansDoneAtOnce) {
    TestTop top;
    PCI_fixed_master m("pm3", &top);
    reset_all();
    clock_all();
    EXPECT_TRUE(m.is_done());
    EXPECT_EQ(m.req.read(), V1);
}

TEST(MasterVariants, ShortMasterRunsCleanAgainstTheDelayTarget) {
    TestTop top;
    PullupAgent pull("pa", &top);
    PCI_short_master m("pm1", &top);
    PCI_delay_target target("pt1", &top);
    PCI_bus bus("pb", &top.name);
    bus.connect_agent(pull);
    bus.connect_agent(target);
    bus.connect_agent(m);
    m.set_trans_count(100);
    m.t.config[1] |= PCI_master::fast_back_to_back_enable;
    reset_all();
    m.rng.set_seed(17);
    m.set_multiplier(23095);
    target.rng.set_seed(13);
    target.set_multiplier(8180);
    m.gnt.force(V0);
    OutputCapture out;
    int transfers = 0;
    while (!m.is_done() && sim_cycle < 20000) {
        clock_all();
        transfers += bus.irdy.is_low() && bus.trdy.is_low();
    }
    EXPECT_TRUE(m.is_done());
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(target.trans_done(), transfers);
    EXPECT_GT(m.total_latency(), 0);
}
