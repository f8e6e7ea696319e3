#include "pci/arbiter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kernel/error.h"
#include "pci/bus.h"
#include "support/scripted_agent.h"

namespace {
// A stand-in for a master: REQ# follows a per-cycle wish, GNT# is only read.
class FakeMaster : public ScriptedAgent {
  public:
    using ScriptedAgent::ScriptedAgent;
    void reset() override {
        ScriptedAgent::reset();
        req.force(V1);
        gnt.force(VZ);
    }
    void clock() override {
        req = wants ? V0 : V1;
        ScriptedAgent::clock();
    }
    bool wants = false;         // assert REQ# from the next clock on
    SIM_port req{"req", this};  // REQ#
    SIM_port gnt{"gnt", this};  // GNT#
};

// An arbiter, three stand-in masters and an agent that makes bus traffic.
template <class Arbiter = PCI_arbiter>
struct ArbiterBench {
    TestTop top;
    Arbiter pa{"pa", &top};
    FakeMaster m0{"m0", &top};
    FakeMaster m1{"m1", &top};
    FakeMaster m2{"m2", &top};
    ScriptedAgent traffic{"traffic", &top};
    PCI_bus pb{"pb", top};
    FakeMaster* masters[3] = {&m0, &m1, &m2};

    ArbiterBench() {
        for (PCI_agent* a : std::initializer_list<PCI_agent*>{&pa, &m0, &m1, &m2, &traffic})
            pb.connect_agent(*a);
        for (FakeMaster* m : masters) pa.attach_ports(top, m->req, m->gnt);
    }
    // A transaction on the bus: FRAME# low during cycles [from, to].
    void busy(int32_t from, int32_t to) {
        traffic.at(from, [](ScriptedAgent& s) { s.frame = V0; });
        traffic.at(to + 1, [](ScriptedAgent& s) { s.frame = V1; });
        traffic.at(to + 2, [](ScriptedAgent& s) { s.frame = VZ; });
    }
    // Which master reads GNT# low now (-1 none, -2 several).
    int granted() const {
        int g = -1;
        for (int i = 0; i < 3; ++i)
            if (masters[i]->gnt.read() == V0)
                g = g == -1 ? i : -2;
        return g;
    }
};
}  // namespace

TEST(Arbiter, ResetPullsUpAndDeassertsGrantsOnNamedNets) {
    ArbiterBench b;
    const auto& ports = b.top.context().port_list();
    // The arbiter's own request/grant ports come last, in attach order.
    EXPECT_EQ(ports[ports.size() - 6]->name.full_name(), "tb:pa:req0");
    EXPECT_EQ(ports[ports.size() - 1]->name.full_name(), "tb:pa:gnt2");
    b.top.reset_all();
    EXPECT_EQ(b.m1.gnt.attached_net()->name.full_name(), "tb:gnt1");
    EXPECT_EQ(b.m1.req.attached_net()->name.full_name(), "tb:req1");
    EXPECT_EQ(b.m0.gnt.read(), V1);  // forced: visible at once
    EXPECT_EQ(b.m2.gnt.read(), V1);
    EXPECT_EQ(b.m1.req.read(), V1);
    EXPECT_EQ(b.pb.frame.read(), VZ);  // pull-ups reach the wires at the first commit
    b.top.run_to_cycle(2);
    for (SIM_net* n :
         {&b.pb.frame, &b.pb.irdy, &b.pb.trdy, &b.pb.devsel, &b.pb.stop, &b.pb.serr, &b.pb.perr})
        EXPECT_EQ(n->read(), VH);
    EXPECT_EQ(b.pb.par.read(), VZ);
    EXPECT_EQ(b.pb.ad[0]->read(), VZ);
}

TEST(Arbiter, RotatesWithTheTenure) {
    // Every master always requests; a transaction of 20 clocks starts one
    // idle clock after each grant is seen, so each owner uses its grant.
    ArbiterBench b;
    for (FakeMaster* m : b.masters) m->wants = true;
    std::vector<int> owners;
    std::vector<int32_t> cycles;
    b.top.reset_all();
    int32_t busy_until = 0;
    while (b.top.sim_cycle() < 400) {
        b.top.clock_all();
        const int32_t cycle = b.top.sim_cycle();
        int g = b.granted();
        ASSERT_NE(g, -2);
        if (g >= 0 && (owners.empty() || owners.back() != g)) {
            owners.push_back(g);
            cycles.push_back(cycle);
        }
        if (g >= 0 && cycle > busy_until + 2) {
            b.busy(cycle + 1, cycle + 20);
            busy_until = cycle + 20;
        }
    }
    ASSERT_GE(owners.size(), 4u);
    EXPECT_EQ(std::vector<int>(owners.begin(), owners.begin() + 4), (std::vector<int>{0, 1, 2, 0}));
    for (size_t i = 1; i < cycles.size(); ++i) EXPECT_GE(cycles[i] - cycles[i - 1], 48);
}

TEST(Arbiter, SwitchAfterOneIdleCycleTakesTwoClocks) {
    ArbiterBench b;
    b.m0.wants = true;
    b.top.reset_all();
    b.top.run_to_cycle(3);  // master 0 granted in this cycle
    // Master 0 stops requesting and master 1 starts, both seen in cycle 4,
    // the first idle cycle after the grant: GNT#0 is removed in 4 (seen in
    // 5) and GNT#1 asserted in 5 (seen in 6).
    b.m0.wants = false;
    b.m1.wants = true;
    b.top.run_to_cycle(4);
    EXPECT_EQ(b.granted(), 0);
    b.top.run_to_cycle(5);
    EXPECT_EQ(b.granted(), -1);
    b.top.run_to_cycle(6);
    EXPECT_EQ(b.granted(), 1);
}

TEST(Arbiter, IdleOwnerLosesGrantAfterSixteenIdleCycles) {
    // Master 0 is granted in cycle 3 and never starts; master 1 requests.
    ArbiterBench b;
    b.m0.wants = true;
    b.m1.at(1, [](ScriptedAgent& s) { static_cast<FakeMaster&>(s).wants = true; });
    b.top.reset_all();
    b.top.run_to_cycle(19);
    EXPECT_EQ(b.granted(), 0);  // idle count reaches 16 in cycle 19: switch driven
    b.top.run_to_cycle(20);
    EXPECT_EQ(b.granted(), 1);
}

TEST(Arbiter, MttZeroSwitchesAtTheNextSearch) {
    ArbiterBench b;
    b.pa.set_mtt(0);
    b.m0.wants = true;
    b.m1.wants = true;
    b.busy(5, 40);  // master 0 uses its grant: FRAME# low from cycle 6
    b.top.reset_all();
    b.top.run_to_cycle(6);
    EXPECT_EQ(b.granted(), 0);
    // Cycle 6: the transaction starts after idle clocks; the grant is used
    // and, with MTT 0, master 1 gets GNT# at once (seen in 7).
    b.top.run_to_cycle(7);
    EXPECT_EQ(b.granted(), 1);
}

TEST(Arbiter, NinthMasterThrowsAndChangesNothing) {
    TestTop top;
    PCI_arbiter pa("pa", &top);
    std::vector<std::unique_ptr<FakeMaster>> ms;
    for (int i = 0; i < 8; ++i) {
        ms.push_back(std::make_unique<FakeMaster>("m", &top));
        pa.attach_ports(top, ms.back()->req, ms.back()->gnt);
    }
    EXPECT_EQ(pa.masters(), 8);
    FakeMaster ninth("m9", &top);
    const size_t port_count = top.context().port_list().size();
    // The two lines the program prints before it ends with the status.
    try {
        pa.attach_ports(top, ninth.req, ninth.gnt);
        ADD_FAILURE() << "a ninth master was attached";
    } catch (const SIM_error& error) {
        EXPECT_STREQ(error.what(), "Too many masters for tb:pa.\nRequested: 8 Allowed: 8.\n");
        EXPECT_EQ(error.status(), 10);
    }
    EXPECT_EQ(pa.masters(), 8);
    EXPECT_EQ(top.context().port_list().size(), port_count);
    EXPECT_EQ(ninth.req.attached_net(), nullptr);
    EXPECT_EQ(ninth.gnt.attached_net(), nullptr);
}

TEST(PriorityArbiter, LowestNumberFirstAndHolds) {
    ArbiterBench<PCI_priority_arbiter> b;
    b.m1.wants = true;
    b.top.reset_all();
    b.top.run_to_cycle(3);  // request seen in 2, grant driven in 2 (no idle rule)
    EXPECT_EQ(b.granted(), 1);
    b.m0.wants = true;  // a higher priority request does not preempt
    b.top.run_to_cycle(10);
    EXPECT_EQ(b.granted(), 1);
    b.m1.wants = false;  // seen in 11: removal and new grant in the same clock
    b.top.run_to_cycle(12);
    EXPECT_EQ(b.granted(), 0);
    b.m0.wants = false;  // no parking
    b.top.run_to_cycle(20);
    EXPECT_EQ(b.granted(), -1);
}
