#include "pci/master.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/scheduler.h"
#include "monitor/bus.h"
#include "support/capture.h"
#include "support/scripted_agent.h"

namespace {

struct Transaction {
    uint32_t address;  // start address
    uint32_t command;  // bus command
    int32_t length;    // data phases
};

// A master that runs a fixed list of transactions and shows its state.
class ListMaster : public PCI_master {
  public:
    using PCI_master::PCI_master;

    int32_t state_code() const { return state; }
    bool retrying() const { return retry_pending; }
    void set_debug_flag() { set_debug(1); }

    std::vector<Transaction> list;  // transactions, in order
    size_t fetched = 0;             // transactions fetched so far
    bool start_allowed = true;      // answer of can_start()

  protected:
    bool can_start() override { return start_allowed; }
    bool all_done() override { return fetched >= list.size(); }
    uint32_t next_address() override { return list[fetched++].address; }
    uint32_t next_command() override { return list[fetched - 1].command; }
    int32_t burst_length() override { return list[fetched - 1].length; }
};

// A plain target whose first data phases wait a chosen number of clocks.
class WaitTarget : public PCI_target {
  public:
    using PCI_target::PCI_target;
    int32_t initial_wait() override { return wait; }
    int32_t wait = 0;  // initial wait states
};

// Pull-ups, a master, a FAST target with a 1 MB memory window at 0, a bus.
struct Bench {
    TestTop top;
    PullupAgent pull{"pa", &top};
    ListMaster m{"pm1", &top};
    WaitTarget target{"pt1", &top};
    PCI_bus bus{"pb", &top.name};

    Bench() {
        bus.connect_agent(pull);
        bus.connect_agent(target);
        bus.connect_agent(m);
        target.set_config(4, 0x00000008, 0xFFF00000);
        target.config[1] = 0x0002;  // memory space enabled
        m.set_latency_timer(48);
        m.set_multiplier(8180);
    }
    // Resets the design with GNT# held low.
    void start(std::vector<Transaction> list, bool fast_back_to_back = false) {
        m.list = std::move(list);
        if (fast_back_to_back)
            m.t.config[1] |= PCI_master::fast_back_to_back_enable;
        reset_all();
        m.gnt.force(V0);
    }
    // FRAME# IRDY# DEVSEL# TRDY# STOP# as seen in the current cycle.
    std::string control() const {
        return {bus.frame.to_char(), bus.irdy.to_char(), bus.devsel.to_char(), bus.trdy.to_char(),
                bus.stop.to_char()};
    }
    std::string ad() const {
        char buffer[9];
        return signals_to_hex(bus.ad, 32, buffer, 9);
    }
    std::string cbe() const {
        char buffer[2];
        return signals_to_hex(bus.cbe, 4, buffer, 2);
    }
};

struct Row {
    int32_t cycle;        // cycle
    const char* control;  // FRAME# IRDY# DEVSEL# TRDY# STOP# on the bus
    const char* ad;       // AD on the bus
    const char* cbe;      // C/BE# on the bus
    int32_t state;        // master state during the cycle
};

void check_rows(Bench& b, const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        run_to_cycle(r.cycle);
        EXPECT_EQ(b.control(), r.control) << "cycle " << r.cycle;
        EXPECT_EQ(b.ad(), r.ad) << "cycle " << r.cycle;
        EXPECT_EQ(b.cbe(), r.cbe) << "cycle " << r.cycle;
        EXPECT_EQ(b.m.state_code(), r.state) << "cycle " << r.cycle;
    }
}

using M = PCI_master;

}  // namespace

TEST(MasterTiming, OneWordWriteWithoutFastBackToBack) {
    Bench b;
    b.start({{0x1000, 7, 1}, {0x2000, 7, 1}});
    check_rows(b, {
                      {2, "HHHHH", "zzzzzzzz", "z", M::IDLE},
                      {3, "0HHHH", "00001000", "7", M::ADDR},
                      {4, "10001", "27450000", "0", M::DEVSEL_FAST},
                      {5, "H1111", "zzzzzzzz", "z", M::IDLE},
                      {6, "0HHHH", "00002000", "7", M::ADDR},
                  });
    EXPECT_EQ(b.m.total_latency(), 3);  // REQ# in cycle 1, transfer in cycle 4
    EXPECT_EQ(b.target.trans_done(), 1);
}

TEST(MasterTiming, ReadReleasesAdAfterTheAddressPhase) {
    Bench b;
    b.start({{0x1000, 6, 2}});
    check_rows(b, {
                      {3, "0HHHH", "00001000", "6", M::ADDR},
                      {4, "00011", "zzzzzzzz", "0", M::DEVSEL_FAST},
                      {5, "00001", "27450000", "0", M::DATA},
                      // FRAME# went high with the next-to-last word.
                      {6, "10001", "27450001", "0", M::DATA},
                      {7, "H1111", "zzzzzzzz", "z", M::IDLE},
                  });
    EXPECT_EQ(b.m.address, 0x1008u);
    EXPECT_EQ(b.target.trans_done(), 2);
}

TEST(MasterTiming, FastBackToBackAfterAWrite) {
    Bench b;
    b.start({{0x1000, 7, 1}, {0x2000, 7, 2}}, true);
    check_rows(b, {
                      {4, "10001", "27450000", "0", M::DEVSEL_FAST},
                      // The next address was driven in the clock of the final phase.
                      {5, "01111", "00002000", "7", M::ADDR},
                      {6, "00001", "38b10001", "0", M::DEVSEL_FAST},
                  });
}

TEST(MasterTiming, NoFastBackToBackAfterARead) {
    Bench b;
    b.start({{0x1000, 6, 1}, {0x2000, 7, 1}}, true);
    check_rows(b, {
                      {5, "10001", "27450000", "0", M::DATA},
                      {6, "H1111", "zzzzzzzz", "z", M::IDLE},
                      {7, "0HHHH", "00002000", "7", M::ADDR},
                  });
}

TEST(MasterTiming, NoFastBackToBackWithoutGrant) {
    Bench b;
    b.start({{0x1000, 7, 1}, {0x2000, 7, 1}}, true);
    run_to_cycle(4);
    b.m.gnt.force(V1);
    clock_all();
    b.m.gnt.force(V0);
    EXPECT_EQ(b.control(), "H1111");
    EXPECT_EQ(b.m.state_code(), M::IDLE);
    run_to_cycle(6);
    EXPECT_EQ(b.control(), "0HHHH");
    EXPECT_EQ(b.ad(), "00002000");
}

TEST(MasterTiming, DevselInTheFourthClockIsAccepted) {
    Bench b;
    b.target.set_decode_speeds(1);  // SUB: DEVSEL# in the fourth clock
    b.start({{0x1000, 7, 1}});
    run_to_cycle(7);
    EXPECT_EQ(b.m.state_code(), M::DEVSEL_SUB);
    EXPECT_EQ(b.control(), "10001");
    run_to_cycle(8);
    EXPECT_EQ(b.target.trans_done(), 1);
    EXPECT_EQ(b.m.state_code(), M::IDLE);
}

TEST(MasterTermination, MasterAbortAfterTheFourthClock) {
    Bench b;  // nobody claims 0x200000
    b.start({{0x200000, 7, 4}});
    run_to_cycle(7);
    EXPECT_EQ(b.m.state_code(), M::DEVSEL_SUB);
    EXPECT_EQ(b.control(), "00HHH");
    EXPECT_EQ(b.m.req.read(), V0);
    check_rows(b, {
                      {8, "10HHH", "27450000", "0", M::TURNAROUND},
                      {9, "H1HHH", "zzzzzzzz", "z", M::IDLE},
                  });
    EXPECT_EQ(b.m.req.read(), V1);
    EXPECT_FALSE(b.m.retrying());
    // The words left are issued again from the running address.
    run_to_cycle(10);
    EXPECT_EQ(b.control(), "0HHHH");
    EXPECT_EQ(b.ad(), "00200004");
}

TEST(MasterTermination, TargetAbortDropsTheTransaction) {
    TestTop top;
    PullupAgent pull("pa", &top);
    ListMaster m("pm1", &top);
    ScriptedAgent s("pt1", &top);
    PCI_bus bus("pb", &top.name);
    bus.connect_agent(pull);
    bus.connect_agent(m);
    bus.connect_agent(s);
    m.list = {{0x1000, 7, 4}};
    s.at(3, [](ScriptedAgent& t) { t.devsel = V0; });
    s.at(4, [](ScriptedAgent& t) {
        t.devsel = V1;
        t.stop = V0;
    });
    reset_all();
    m.gnt.force(V0);
    run_to_cycle(5);
    EXPECT_EQ(m.state_code(), M::DATA);
    clock_all();
    EXPECT_EQ(m.state_code(), M::TURNAROUND);
    EXPECT_EQ(bus.frame.read(), V1);
    EXPECT_EQ(bus.irdy.read(), V0);
    EXPECT_EQ(m.req.read(), V1);
    clock_all();
    EXPECT_EQ(m.state_code(), M::IDLE);
    EXPECT_EQ(bus.irdy.read(), V1);
}

TEST(MasterRetry, RetriedWriteRegeneratesTheSameWord) {
    Bench b;
    b.target.wait = 20;  // above the Retry threshold of 16
    b.start({{0x1000, 7, 1}});
    std::vector<std::string> data_words;
    int addresses = 0, high_run = 2;
    logic_value prev_frame = VZ, prev_irdy = VZ, prev_req = V0;
    while (!b.m.is_done() && sim_cycle < 60) {
        clock_all();
        logic_value frame = b.bus.frame.read(), irdy = b.bus.irdy.read(), req = b.m.req.read();
        if (frame == V0 && prev_frame != V0) {
            ++addresses;
            EXPECT_EQ(b.ad(), "00001000");
        }
        if (irdy == V0 && prev_irdy != V0)
            data_words.push_back(b.ad());
        // REQ# stays high at least two clocks after it is deasserted.
        high_run = req == V1 ? high_run + 1 : high_run;
        if (req == V0 && prev_req == V1) {
            EXPECT_GE(high_run, 2) << "cycle " << sim_cycle;
        }
        if (req == V0)
            high_run = 0;
        prev_frame = frame;
        prev_irdy = irdy;
        prev_req = req;
    }
    EXPECT_TRUE(b.m.is_done());  // false through every retried attempt
    EXPECT_GE(addresses, 2);
    ASSERT_EQ(data_words.size(), static_cast<size_t>(addresses));
    for (const std::string& w : data_words) EXPECT_EQ(w, "27450000");
    EXPECT_EQ(b.m.pattern_count(), 1);
    EXPECT_EQ(b.target.trans_done(), 1);
}

TEST(MasterRetry, RetryDeassertsReqForTwoClocks) {
    Bench b;
    b.target.wait = 20;
    b.start({{0x1000, 7, 1}, {0x2000, 7, 1}});  // REQ# stays asserted to the end
    run_to_cycle(4);                            // STOP# without TRDY#: the target retries
    EXPECT_EQ(b.control(), "10010");
    EXPECT_EQ(b.m.req.read(), V0);
    clock_all();
    EXPECT_TRUE(b.m.retrying());
    EXPECT_EQ(b.m.state_code(), M::IDLE);
    EXPECT_EQ(b.m.req.read(), V1);
    clock_all();  // GNT# is still ours: reissued at once, without REQ#
    EXPECT_EQ(b.m.state_code(), M::ADDR);
    EXPECT_EQ(b.m.req.read(), V1);
}

TEST(MasterErrors, TargetRespondingTooEarly) {
    TestTop top;
    PullupAgent pull("pa", &top);
    ListMaster m("pm1", &top);
    ScriptedAgent s("pt1", &top);
    PCI_bus bus("pb", &top.name);
    bus.connect_agent(pull);
    bus.connect_agent(m);
    bus.connect_agent(s);
    m.list = {{0x1000, 7, 1}};
    s.at(2, [](ScriptedAgent& t) { t.devsel = V0; });
    reset_all();
    m.gnt.force(V0);
    OutputCapture out;
    run_to_cycle(4);
    EXPECT_EQ(out.text(), "ERROR: target responded too early!\n");
}

TEST(MasterErrors, ReqDeassertedForOneClock) {
    Bench b;
    b.start({{0x1000, 7, 1}});
    b.m.start_allowed = false;  // the master leaves REQ# alone
    OutputCapture out;
    for (logic_value v : {V0, V1, V0, V0}) {
        b.m.req.force(v);
        clock_all();
    }
    EXPECT_EQ(out.text(), "ERROR: tb:pm1:req deasserted for only 1 clock\n");
}

TEST(MasterLatencyTimer, ZeroEndsTheBurstWithoutGrant) {
    Bench b;
    b.m.set_debug_flag();
    b.m.set_latency_timer(0);
    b.start({{0x1000, 7, 4}, {0x2000, 7, 1}});
    OutputCapture out;
    run_to_cycle(3);
    b.m.gnt.force(V1);
    run_to_cycle(5);
    EXPECT_EQ(b.control(), "H1111");  // one data phase, then off the bus
    EXPECT_EQ(b.target.trans_done(), 1);
    EXPECT_EQ(out.text(), "MLT timeout!\nMLT timeout!\n");
    EXPECT_EQ(b.m.req.read(), V0);  // more to do: REQ# stays asserted
}

TEST(MasterLatencyTimer, ZeroNeverEndsTheBurstWithGrant) {
    Bench b;
    b.m.set_debug_flag();
    b.m.set_latency_timer(0);
    b.start({{0x1000, 7, 3}});
    OutputCapture out;
    run_to_cycle(8);
    EXPECT_EQ(b.target.trans_done(), 3);
    // Printed on every data step while the last word is in progress.
    EXPECT_EQ(out.text(), "Master termination!\nMaster termination!\n");
    EXPECT_EQ(b.m.latency_timer(), 0);
    b.m.set_latency_timer(0x1FF);
    EXPECT_EQ(b.m.latency_timer(), 0xFF);
}

TEST(MasterStart, CanStartHoldsBackRequestAndAddress) {
    Bench b;
    b.m.start_allowed = false;
    b.start({{0x1000, 7, 1}});
    for (int i = 0; i < 6; ++i) {
        clock_all();
        EXPECT_EQ(b.m.req.read(), V1);
        EXPECT_NE(b.bus.frame.read(), V0);
    }
    b.m.start_allowed = true;
    clock_all();  // cycle 7: REQ# and the address phase
    EXPECT_EQ(b.m.req.read(), V0);
    EXPECT_EQ(b.control(), "0HHHH");
}

TEST(MasterDone, SetInTheIdleStepAfterTheLastPhase) {
    Bench b;
    b.start({{0x1000, 7, 1}});
    run_to_cycle(5);  // the transfer was in cycle 4
    EXPECT_FALSE(b.m.is_done());
    EXPECT_EQ(b.m.req.read(), V1);  // nothing left: REQ# deasserted with it
    clock_all();
    EXPECT_TRUE(b.m.is_done());
}
