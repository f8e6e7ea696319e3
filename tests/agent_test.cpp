#include "pci/agent.h"

#include <gtest/gtest.h>

#include "kernel/scheduler.h"
#include "monitor/bus.h"
#include "pci/commands.h"
#include "support/scripted_agent.h"

namespace {
// An agent that runs the parity services first in every cycle, as the
// masters and targets do, then its script.
class ParityAgent : public ScriptedAgent {
  public:
    using ScriptedAgent::ScriptedAgent;
    void clock() override {
        drive_parity();
        check_parity();
        ScriptedAgent::clock();
    }
};

struct ParityBench {
    TestTop top;
    ParityAgent driver{"drv", &top};
    ParityAgent checker{"chk", &top};
    PCI_bus bus{"pb", &top.name};
    ParityBench() {
        bus.connect_agent(driver);
        bus.connect_agent(checker);
    }
};
}  // namespace

TEST(Agent, PortsInCommitOrder) {
    TestTop top;
    ParityAgent a("a", &top);
    const auto& ports = port_list();
    ASSERT_EQ(ports.size(), 47u);
    EXPECT_EQ(ports[0], &a.frame);
    EXPECT_EQ(ports[10], &a.sdone);
    EXPECT_EQ(ports[11], a.ad[0]);
    EXPECT_EQ(ports[42], a.ad[31]);
    EXPECT_EQ(ports[46], a.cbe[3]);
    EXPECT_EQ(a.ad[7]->name.full_name(), "tb:a:ad");
}

TEST(Agent, ResetForcesEveryPortToZ) {
    TestTop top;
    ParityAgent a("a", &top);
    a.frame.force(V0);
    a.ad[3]->force(V1);
    a.PCI_agent::reset();
    EXPECT_EQ(a.frame.own_level(), VZ);
    EXPECT_EQ(a.ad[3]->own_level(), VZ);
}

TEST(Agent, ParFollowsAdByOneClock) {
    struct Case {
        uint32_t ad, cbe;
        logic_value par;
    };
    for (Case c : {Case{1, 0, V1}, Case{3, 1, V1}, Case{0, 0, V0}, Case{0xFF, 0xF, V0}}) {
        sim_kernel_clear();
        ParityBench b;
        b.driver.at(1, [c](ScriptedAgent& s) {
            s.drive_ad(c.ad);
            s.drive_cbe(c.cbe);
        });
        reset_all();
        run_to_cycle(2);  // AD driven in cycle 1 is on the bus; PAR computed now
        EXPECT_EQ(b.bus.par.read(), VZ);
        run_to_cycle(3);  // PAR on the bus
        EXPECT_EQ(b.bus.par.read(), c.par) << std::hex << c.ad << " " << c.cbe;
        run_to_cycle(4);  // the checker's verdict on PERR#
        EXPECT_EQ(b.bus.perr.read(), V1);
    }
}

TEST(Agent, ParIsXWhenAdIsIncomplete) {
    ParityBench b;
    b.driver.at(1, [](ScriptedAgent& s) {
        s.drive_ad(0x5);
        s.drive_cbe(0);
        s.ad[20]->drive(VZ);
    });
    reset_all();
    run_to_cycle(3);
    EXPECT_EQ(b.bus.par.read(), VX);
}

TEST(Agent, NoParWhileOwnAd0Floats) {
    ParityBench b;
    b.driver.at(1, [](ScriptedAgent& s) {
        s.drive_ad(0x6);
        s.ad[0]->drive(VZ);
        s.drive_cbe(0);
    });
    reset_all();
    run_to_cycle(3);
    EXPECT_EQ(b.bus.par.read(), VZ);
}

TEST(Agent, PerrVerdictTwoClocksAfterTheTestedCycle) {
    // A third agent drives a wrong PAR: AD 1 (odd) in cycle 2, PAR 0 in cycle 3.
    ParityBench b;
    ScriptedAgent liar("liar", &b.top);
    b.bus.connect_agent(liar);
    liar.at(1, [](ScriptedAgent& s) {
        s.drive_ad(1);
        s.drive_cbe(0);
    });
    liar.at(2, [](ScriptedAgent& s) { s.par = V0; });
    liar.at(3, [](ScriptedAgent& s) {
        s.par = V1;  // now claims odd parity for AD 1: correct
    });
    liar.at(5, [](ScriptedAgent& s) { s.par = VH; });
    reset_all();
    run_to_cycle(3);  // PAR 0 on the bus, checked against cycle 2's AD
    EXPECT_EQ(b.bus.perr.read(), VZ);
    run_to_cycle(4);  // both checkers drive PERR# low
    EXPECT_EQ(b.bus.perr.read(), V0);
    run_to_cycle(5);  // PAR 1 against AD 1: no error
    EXPECT_EQ(b.bus.perr.read(), V1);
    run_to_cycle(8);  // a weak PAR is not tested; the checkers keep PERR# high
    EXPECT_EQ(b.bus.par.read(), VH);
    EXPECT_EQ(b.bus.perr.read(), V1);
    EXPECT_EQ(b.checker.perr.own_level(), V1);
}

TEST(Agent, ParDriverReleasesItsPerr) {
    ParityBench b;
    b.driver.at(1, [](ScriptedAgent& s) {
        s.drive_ad(2);
        s.drive_cbe(0);
    });
    reset_all();
    run_to_cycle(5);
    EXPECT_EQ(b.driver.par.own_level(), V1);
    EXPECT_EQ(b.driver.perr.own_level(), VZ);
    EXPECT_EQ(b.checker.perr.own_level(), V1);
}

TEST(Commands, Classes) {
    std::string io, cfg, mem, rd, wr;
    for (uint32_t c = 0; c < 16; ++c) {
        io += is_io_command(c) ? 'y' : '.';
        cfg += is_config_command(c) ? 'y' : '.';
        mem += is_memory_command(c) ? 'y' : '.';
        rd += is_read_command(c) ? 'y' : '.';
        wr += is_write_command(c) ? 'y' : '.';
    }
    EXPECT_EQ(io, "..yy............");
    EXPECT_EQ(cfg, "..........yy....");
    EXPECT_EQ(mem, "......yy....y.yy");
    EXPECT_EQ(rd, "..y...y...y.y.y.");
    EXPECT_EQ(wr, "...y...y...y...y");
    EXPECT_FALSE(is_read_command(16));
}
