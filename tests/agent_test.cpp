// The agent base (ports, reset, parity services, command classes) and the
// bus that joins agents (nets, connection, dump line).
#include "pci/agent.h"

#include <gtest/gtest.h>

#include <sstream>

#include "pci/bus.h"
#include "pci/commands.h"
#include "support/scripted_agent.h"

namespace {
// Two agents on a bus under "tb", with the parity services or without.
struct PairBench {
    explicit PairBench(bool parity = true) {
        a.parity = b.parity = parity;
        bus.connect_agent(a);
        bus.connect_agent(b);
    }
    TestTop top;
    ScriptedAgent a{"drv", &top};
    ScriptedAgent b{"chk", &top};
    PCI_bus bus{"pb", top};
};
}  // namespace

TEST(Agent, PortsInCommitOrderAndResetToZ) {
    TestTop top;
    ScriptedAgent a("a", &top);
    const auto& ports = top.context().port_list();
    ASSERT_EQ(ports.size(), 47u);
    EXPECT_EQ(ports[0], &a.frame);
    EXPECT_EQ(ports[10], &a.sdone);
    EXPECT_EQ(ports[11], a.ad[0]);
    EXPECT_EQ(ports[42], a.ad[31]);
    EXPECT_EQ(ports[46], a.cbe[3]);
    EXPECT_EQ(a.ad[7]->name.full_name(), "tb:a:ad");
    a.frame.force(V0);
    a.ad[3]->force(V1);
    a.PCI_agent::reset();
    EXPECT_EQ(a.frame.own_level(), VZ);
    EXPECT_EQ(a.ad[3]->own_level(), VZ);
}

// An agent is detached only if none of its pins is on a wire: one pin on a
// wire of its own is enough to count it as attached.
TEST(Agent, DetachedOnlyWithNoPinOnAWire) {
    PairBench b;
    ScriptedAgent lone("lone", &b.top);
    ScriptedAgent one_pin("one", &b.top);
    ScriptedAgent one_ad("onead", &b.top);
    SIM_net wire("w", &b.top.name, b.top.context());
    SIM_net ad_wire("wad", &b.top.name, b.top.context());
    wire.connect(one_pin.sdone);
    ad_wire.connect(*one_ad.cbe[3]);
    b.top.reset_all();
    const std::pair<const PCI_agent*, bool> cases[] = {
        {&b.a, false}, {&b.b, false}, {&lone, true}, {&one_pin, false}, {&one_ad, false}};
    for (const auto& [agent, detached] : cases)
        EXPECT_EQ(agent->detached(), detached) << agent->full_name();
}

TEST(Agent, ParFollowsAdByOneClockAndPerrTwoClocksAfter) {
    struct Case {
        uint32_t ad, cbe;
        int floating;  // AD line released by the driver, or -1
        logic_value par, perr;
    };
    // The last two: AD incomplete gives PAR unknown, not tested; the driver's
    // own AD0 floating gives no PAR at all.
    const Case cases[] = {{1, 0, -1, V1, V1},      {3, 1, -1, V1, V1}, {0, 0, -1, V0, V1},
                          {0xFF, 0xF, -1, V0, V1}, {5, 0, 20, VX, VZ}, {6, 0, 0, VZ, VZ}};
    for (const Case& c : cases) {
        PairBench b;
        b.a.at(1, [c](ScriptedAgent& s) {
            s.drive_ad(c.ad);
            s.drive_cbe(c.cbe);
            if (c.floating >= 0)
                s.ad[c.floating]->drive(VZ);
        });
        b.top.reset_all();
        b.top.run_to_cycle(2);  // AD driven in cycle 1 is on the bus; PAR computed now
        EXPECT_EQ(b.bus.par.read(), VZ);
        b.top.run_to_cycle(3);  // PAR on the bus
        EXPECT_EQ(b.bus.par.read(), c.par) << std::hex << c.ad << " " << c.cbe;
        b.top.run_to_cycle(4);  // the checker's verdict on PERR#; the driver keeps off it
        EXPECT_EQ(b.bus.perr.read(), c.perr) << std::hex << c.ad;
        EXPECT_EQ(b.a.perr.own_level(), VZ);
    }
}

TEST(Agent, WrongParGivesPerrTwoClocksAfterTheTestedCycle) {
    // A third agent drives a wrong PAR: AD 1 (odd) in cycle 2, PAR 0 in cycle 3.
    PairBench b;
    ScriptedAgent liar("liar", &b.top);
    b.bus.connect_agent(liar);
    liar.at(1, [](ScriptedAgent& s) {
        s.drive_ad(1);
        s.drive_cbe(0);
    });
    liar.at(2, [](ScriptedAgent& s) { s.par = V0; });
    liar.at(3, [](ScriptedAgent& s) { s.par = V1; });  // now correct for AD 1
    liar.at(5, [](ScriptedAgent& s) { s.par = VH; });
    b.top.reset_all();
    b.top.run_to_cycle(3);  // PAR 0 on the bus, checked against cycle 2's AD
    EXPECT_EQ(b.bus.perr.read(), VZ);
    b.top.run_to_cycle(4);  // both checkers drive PERR# low
    EXPECT_EQ(b.bus.perr.read(), V0);
    b.top.run_to_cycle(5);  // PAR 1 against AD 1: no error
    EXPECT_EQ(b.bus.perr.read(), V1);
    b.top.run_to_cycle(8);  // a weak PAR is not tested; the checkers keep PERR# high
    EXPECT_EQ(b.bus.par.read(), VH);
    EXPECT_EQ(b.bus.perr.read(), V1);
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

TEST(Bus, NetNamesAndDumpLine) {
    PairBench d(false);
    EXPECT_EQ(d.bus.ad[5]->name.full_name(), "tb:pb:ad");
    EXPECT_EQ(d.bus.cbe[0]->name.full_name(), "tb:pb:cbe");
    EXPECT_EQ(d.bus.frame.name.full_name(), "tb:pb:frame");
    d.a.at(1, [](ScriptedAgent& s) {
        s.drive_ad(0x0010003c);
        s.ad[28]->drive(VZ);  // top group: some Z
        s.drive_cbe(6);
        s.frame = V0;
        s.devsel = VH;
        s.stop = V1;
        s.irdy = VL;
        s.serr = V1;
    });
    d.b.at(1, [](ScriptedAgent& s) {
        s.ad[4]->drive(V1);  // agrees with a's 1
        s.ad[8]->drive(V1);  // a drives 0 here: X
        s.ad[9]->drive(VZ);
        s.trdy = VH;
        s.stop = V0;  // against a's 1: x
    });
    d.top.reset_all();
    std::ostringstream out;
    d.bus.dump(out);
    d.top.clock_all();
    d.bus.dump(out);
    EXPECT_EQ(out.str(),
              " AD:zzzzzzzz CBE:z FRAME:z DEVSEL:z STOP:z IRDY:z TRDY:z PAR:z PERR:z SERR:z\n"
              " AD:Z0100X3c CBE:6 FRAME:0 DEVSEL:H STOP:x IRDY:L TRDY:H PAR:z PERR:z SERR:1\n");
}
