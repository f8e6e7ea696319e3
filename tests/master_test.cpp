// The masters on a small bus: the base master's wire timing cycle by cycle,
// terminations, retries, errors, Latency Timer, start hold and completion;
// the retry, short, long and fixed masters' draws and retry back-off.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "pci/bus.h"
#include "pci/master_variants.h"
#include "support/capture.h"
#include "support/scripted_agent.h"

namespace {

using M = PCI_master;

// Pull-ups, a master, a target, an agent free for a test's own bus activity,
// and the bus joining them.
template <class Master, class Target>
struct MasterBench {
    MasterBench() {
        for (PCI_agent* a : std::initializer_list<PCI_agent*>{&pull, &target, &m, &s})
            bus.connect_agent(*a);
    }
    // FRAME# IRDY# DEVSEL# TRDY# STOP#, AD and C/BE# as seen in this cycle.
    std::string lines() const {
        char ad[9], cbe[2];
        return std::string{bus.frame.to_char(), bus.irdy.to_char(), bus.devsel.to_char(),
                           bus.trdy.to_char(),  bus.stop.to_char(), ' '} +
               signals_to_hex(bus.ad, 32, ad, 9) + " " + signals_to_hex(bus.cbe, 4, cbe, 2);
    }
    std::string control() const { return lines().substr(0, 5); }  // the five lines only

    // The kernel operations on the design.
    void reset_all() { top.reset_all(); }
    void clock_all() { top.clock_all(); }
    void run_to_cycle(int32_t n) { top.run_to_cycle(n); }
    int32_t cycle() const { return top.sim_cycle(); }

    TestTop top;
    PullupAgent pull{"pa", &top};
    Master m{"pm1", &top};
    Target target{"pt1", &top};
    ScriptedAgent s{"ps", &top};
    PCI_bus bus{"pb", top};
};

// DEVSEL# TRDY# STOP# for ScriptedAgent::drive_at.
const std::vector<SIM_port PCI_agent::*> dts = {&PCI_agent::devsel, &PCI_agent::trdy,
                                                &PCI_agent::stop};

struct Transaction {
    uint32_t address;  // start address
    uint32_t command;  // bus command
    int32_t length;    // data phases
    bool operator==(const Transaction&) const = default;
};

// A master that runs a fixed list of transactions and shows its state.
class ListMaster : public PCI_master {
  public:
    using PCI_master::PCI_master;

    bool retrying() const { return retry_pending; }

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

// The list master and a FAST target with a 1 MB memory window at 0.
struct Bench : MasterBench<ListMaster, WaitTarget> {
    Bench() {
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
};

struct Row {
    int32_t cycle;
    const char* lines;  // as MasterBench::lines() shows them
    M::State state;     // master state during the cycle
};

void check_rows(Bench& b, const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        b.run_to_cycle(r.cycle);
        EXPECT_EQ(b.lines(), r.lines) << "cycle " << r.cycle;
        EXPECT_EQ(b.m.state_code(), r.state) << "cycle " << r.cycle;
    }
}

// A short master running one-word transactions of a chosen command, showing
// its can_start().
class HintedMaster : public PCI_short_master {
  public:
    using PCI_short_master::PCI_short_master;
    bool may_start() { return can_start(); }
    uint32_t forced_command = 0;  // command of every transaction

  protected:
    uint32_t next_command() override { return forced_command; }
    int32_t burst_length() override { return 1; }
};

}  // namespace

TEST(MasterTiming, OneWordWriteWithoutFastBackToBack) {
    Bench b;
    b.start({{0x1000, 7, 1}, {0x2000, 7, 1}});
    check_rows(b, {
                      {2, "HHHHH zzzzzzzz z", M::IDLE},
                      {3, "0HHHH 00001000 7", M::ADDR},
                      {4, "10001 27450000 0", M::DEVSEL_FAST},
                      {5, "H1111 zzzzzzzz z", M::IDLE},
                      {6, "0HHHH 00002000 7", M::ADDR},
                  });
    EXPECT_EQ(b.m.total_latency(), 3);  // REQ# in cycle 1, transfer in cycle 4
    EXPECT_EQ(b.target.trans_done(), 1);
    // The master's own configuration function is on no wire: it rests idle
    // with its lines at Z while the master runs.
    EXPECT_TRUE(b.m.t.detached());
    EXPECT_FALSE(b.target.detached());
    EXPECT_EQ(b.m.t.current_state(), PCI_target::IDLE);
    for (const SIM_port* p : {&b.m.t.devsel, &b.m.t.trdy, &b.m.t.stop, &b.m.t.par, &b.m.t.perr})
        EXPECT_EQ(p->own_level(), VZ) << p->name.full_name();
}

TEST(MasterTiming, ReadReleasesAdAfterTheAddressPhase) {
    Bench b;
    b.start({{0x1000, 6, 2}});
    check_rows(b, {
                      {3, "0HHHH 00001000 6", M::ADDR},
                      {4, "00011 zzzzzzzz 0", M::DEVSEL_FAST},
                      {5, "00001 27450000 0", M::DATA},
                      // FRAME# went high with the next-to-last word.
                      {6, "10001 27450001 0", M::DATA},
                      {7, "H1111 zzzzzzzz z", M::IDLE},
                  });
    EXPECT_EQ(b.m.address, 0x1008u);
    EXPECT_EQ(b.target.trans_done(), 2);
}

TEST(MasterTiming, FastBackToBackAfterAWriteOnly) {
    Bench b;
    b.start({{0x1000, 7, 1}, {0x2000, 7, 2}, {0x3000, 6, 1}, {0x4000, 7, 1}}, true);
    check_rows(b, {
                      {4, "10001 27450000 0", M::DEVSEL_FAST},
                      // The next address was driven in the clock of the final phase.
                      {5, "01111 00002000 7", M::ADDR},
                      {6, "00001 38b10001 0", M::DEVSEL_FAST},
                      {7, "10001 18ad0002 0", M::DEVSEL_FAST},
                      {8, "01111 00003000 6", M::ADDR},
                      // After a read the bus goes idle for a clock.
                      {10, "10001 27450000 0", M::DATA},
                      {11, "H1111 zzzzzzzz z", M::IDLE},
                      {12, "0HHHH 00004000 7", M::ADDR},
                  });
}

TEST(MasterTiming, NoFastBackToBackWithoutGrant) {
    Bench b;
    b.start({{0x1000, 7, 1}, {0x2000, 7, 1}}, true);
    b.run_to_cycle(4);
    b.m.gnt.force(V1);
    b.clock_all();
    b.m.gnt.force(V0);
    EXPECT_EQ(b.control(), "H1111");
    EXPECT_EQ(b.m.state_code(), M::IDLE);
    b.run_to_cycle(6);
    EXPECT_EQ(b.lines(), "0HHHH 00002000 7");
}

TEST(MasterTiming, DevselInTheFourthClockIsAccepted) {
    Bench b;
    b.target.set_decode_speeds(PCI_decode_speed::sub);
    b.start({{0x1000, 7, 1}});
    check_rows(b, {
                      {7, "10001 27450000 0", M::DEVSEL_SUB},
                      {8, "H1111 zzzzzzzz z", M::IDLE},
                  });
    EXPECT_EQ(b.target.trans_done(), 1);
}

TEST(MasterTermination, MasterAbortAfterTheFourthClock) {
    Bench b;  // nobody claims 0x200000
    b.start({{0x200000, 7, 4}});
    check_rows(b, {{7, "00HHH 27450000 0", M::DEVSEL_SUB}});
    EXPECT_EQ(b.m.req.read(), V0);
    check_rows(b, {
                      {8, "10HHH 27450000 0", M::TURNAROUND},
                      {9, "H1HHH zzzzzzzz z", M::IDLE},
                  });
    EXPECT_EQ(b.m.req.read(), V1);
    EXPECT_FALSE(b.m.retrying());
    // The words left are issued again from the running address.
    check_rows(b, {{10, "0HHHH 00200004 7", M::ADDR}});
}

TEST(MasterTermination, TargetAbortDropsTheTransaction) {
    Bench b;  // the scripted agent claims 0x200000, then aborts
    b.s.drive_at(3, dts, "0--");
    b.s.drive_at(4, dts, "1-0");
    b.start({{0x200000, 7, 4}});
    b.run_to_cycle(5);
    EXPECT_EQ(b.m.state_code(), M::DATA);
    check_rows(b, {
                      {6, "101H0 27450000 0", M::TURNAROUND},
                      {7, "H11H0 zzzzzzzz z", M::IDLE},
                  });
    EXPECT_EQ(b.m.req.read(), V1);
    EXPECT_FALSE(b.m.retrying());
}

TEST(MasterRetry, RetriedWriteRegeneratesTheSameWord) {
    Bench b;
    b.target.wait = 20;  // above the Retry threshold of 16
    b.start({{0x1000, 7, 1}});
    std::string req;                         // REQ# per cycle
    std::set<std::string> addresses, words;  // AD and C/BE# of address and data phases
    int attempts = 0;
    logic_value prev_frame = VZ, prev_irdy = VZ;
    while (!b.m.is_done() && b.cycle() < 60) {
        b.clock_all();
        req += b.m.req.to_char();
        if (b.bus.frame.read() == V0 && prev_frame != V0) {
            ++attempts;
            addresses.insert(b.lines().substr(6));
        }
        if (b.bus.irdy.read() == V0 && prev_irdy != V0)
            words.insert(b.lines().substr(6, 8));
        prev_frame = b.bus.frame.read();
        prev_irdy = b.bus.irdy.read();
    }
    EXPECT_TRUE(b.m.is_done());  // false through every retried attempt
    EXPECT_GE(attempts, 2);
    EXPECT_EQ(addresses, std::set<std::string>{"00001000 7"});
    EXPECT_EQ(words, std::set<std::string>{"27450000"});
    EXPECT_EQ(req.find("010"), std::string::npos) << req;  // REQ# never high for one clock
    EXPECT_EQ(b.m.pattern_count(), 1);
    EXPECT_EQ(b.target.trans_done(), 1);
}

// REQ# goes high with the retry and stays high for two clocks at least; the
// parked GNT# lets the master reissue without it.
TEST(MasterRetry, RetryDeassertsReqAndReissuesOnTheGrant) {
    Bench b;
    b.target.wait = 20;
    b.start({{0x1000, 7, 1}, {0x2000, 7, 1}});  // REQ# stays asserted to the end
    b.run_to_cycle(4);                          // STOP# without TRDY#: the target retries
    EXPECT_EQ(b.control(), "10010");
    EXPECT_EQ(b.m.req.read(), V0);
    b.clock_all();
    EXPECT_TRUE(b.m.retrying());
    EXPECT_EQ(b.m.state_code(), M::IDLE);
    EXPECT_EQ(b.m.req.read(), V1);
    b.clock_all();
    EXPECT_EQ(b.m.state_code(), M::ADDR);
    EXPECT_EQ(b.m.req.read(), V1);
}

TEST(MasterErrors, TargetRespondingTooEarly) {
    Bench b;
    b.s.drive_at(2, dts, "0--");
    b.start({{0x200000, 7, 1}});
    OutputCapture out(b.top.context());
    b.run_to_cycle(4);
    EXPECT_EQ(out.text(), "ERROR: target responded too early!\n");
}

TEST(MasterErrors, ReqDeassertedForOneClock) {
    Bench b;
    b.start({{0x1000, 7, 1}});
    b.m.start_allowed = false;  // the master leaves REQ# alone
    OutputCapture out(b.top.context());
    for (logic_value v : {V0, V1, V0, V0}) {
        b.m.req.force(v);
        b.clock_all();
    }
    EXPECT_EQ(out.text(), "ERROR: tb:pm1:req deasserted for only 1 clock\n");
}

TEST(MasterLatencyTimer, ZeroEndsTheBurstWithoutGrant) {
    Bench b;
    b.m.set_debug(1);
    b.m.set_latency_timer(0);
    b.start({{0x1000, 7, 4}, {0x2000, 7, 1}});
    OutputCapture out(b.top.context());
    b.run_to_cycle(3);
    b.m.gnt.force(V1);
    b.run_to_cycle(5);
    EXPECT_EQ(b.control(), "H1111");  // one data phase, then off the bus
    EXPECT_EQ(b.target.trans_done(), 1);
    EXPECT_EQ(out.text(), "MLT timeout!\nMLT timeout!\n");
    EXPECT_EQ(b.m.req.read(), V0);  // more to do: REQ# stays asserted
}

TEST(MasterStart, CanStartHoldsBackRequestAndAddress) {
    Bench b;
    b.m.start_allowed = false;
    b.start({{0x1000, 7, 1}});
    for (int i = 0; i < 6; ++i) {
        b.clock_all();
        EXPECT_EQ(b.m.req.read(), V1);
        EXPECT_NE(b.bus.frame.read(), V0);
    }
    b.m.start_allowed = true;
    b.clock_all();  // cycle 7: REQ# and the address phase
    EXPECT_EQ(b.m.req.read(), V0);
    EXPECT_EQ(b.control(), "0HHHH");
}

TEST(MasterDone, SetInTheIdleStepAfterTheLastPhase) {
    Bench b;
    b.start({{0x1000, 7, 1}});
    b.run_to_cycle(5);  // the transfer was in cycle 4
    EXPECT_FALSE(b.m.is_done());
    EXPECT_EQ(b.m.req.read(), V1);  // nothing left: REQ# deasserted with it
    b.clock_all();
    EXPECT_TRUE(b.m.is_done());
}

// The first three transactions of each master class with the bench's seed,
// against a plain FAST target, as seen on the bus.
template <class Master>
std::vector<Transaction> first_three(int32_t seed, uint32_t base) {
    MasterBench<Master, PCI_target> b;
    b.target.set_config(4, base | 8, 0xFFF00000);
    b.target.config[1] = 0x0002;
    b.m.base_address = base;
    b.m.set_trans_count(3);
    b.reset_all();
    b.m.rng.set_seed(seed);
    b.m.gnt.force(V0);
    std::vector<Transaction> seen;
    logic_value prev_frame = VZ;
    while (!b.m.is_done() && b.cycle() < 5000) {
        b.clock_all();
        uint32_t ad = 0, cbe = 0;
        if (b.bus.frame.read() == V0 && prev_frame != V0 && signals_to_int(b.bus.ad, 32, ad) &&
            signals_to_int(b.bus.cbe, 4, cbe))
            seen.push_back({ad, cbe, 0});
        if (b.bus.irdy.is_low() && b.bus.trdy.is_low() && !seen.empty())
            ++seen.back().length;
        prev_frame = b.bus.frame.read();
    }
    return seen;
}

TEST(MasterVariants, FirstThreeTransactionsOfEachMaster) {
    EXPECT_EQ(first_three<PCI_short_master>(17, 0),
              (std::vector<Transaction>{{0x16FC, 6, 1}, {0x5124, 6, 1}, {0x41E4, 6, 1}}));
    EXPECT_EQ(
        first_three<PCI_long_master>(42, 0x100000),
        (std::vector<Transaction>{{0x1038D0, 7, 229}, {0x105408, 7, 336}, {0x1052D4, 7, 290}}));
    EXPECT_EQ(
        first_three<PCI_fixed_master>(144, 0x180000),
        (std::vector<Transaction>{{0x1842C8, 7, 128}, {0x1858B0, 7, 128}, {0x183B84, 7, 128}}));
}

// A one-word transaction started in cycle 96 is stopped without data by the
// scripted agent, with a word on AD seen in cycle 100: can_start() in cycles
// 101 to 106 and the first later cycle with FRAME# low.
TEST(MasterVariants, HintedReadRetryHoldsTheMasterBack) {
    struct Case {
        uint32_t command, ad_word;
        int32_t overhead;
        std::vector<bool> may_start;
        int32_t next_address;
    };
    const std::vector<bool> free(6, true);
    const Case cases[] = {
        {6, 0x12345605, 0, {false, false, false, false, false, true}, 107},
        {6, 0x12345605, 2, {false, false, false, true, true, true}, 105},
        {6, 0x12345605, -1, free, 102},                              // back-off switched off
        {7, 0x12345605, 0, free, 102},                               // a write
        {6, 0x12345705, 0, free, 102},                               // no hint
        {6, 0x12345605, INT32_MIN, std::vector<bool>(6, false), 0},  // exact: held for 2^31 clocks
        {6, 0x12345605, INT32_MAX, free, 102},                       // exact: no wait left
    };
    for (const Case& c : cases) {
        MasterBench<HintedMaster, PCI_target> b;  // the target claims nothing
        b.m.set_trans_count(5);
        b.m.set_retry_overhead(c.overhead);
        b.m.forced_command = c.command;
        b.s.drive_at(97, dts, "011");
        b.s.drive_at(99, dts, "--0");
        b.s.at(99, [&c](ScriptedAgent& t) { t.drive_ad(c.ad_word); });
        b.s.drive_at(100, dts, "1-1");
        b.s.at(100, [](ScriptedAgent& t) { t.release_ad(); });
        b.s.drive_at(101, dts, "zzz");
        b.reset_all();
        b.m.gnt.force(V1);
        b.run_to_cycle(96);
        b.m.gnt.force(V0);
        std::vector<bool> may_start;
        int32_t next_address = 0;
        while (b.cycle() < 110) {
            if (b.cycle() > 100 && b.cycle() <= 106)
                may_start.push_back(b.m.may_start());
            b.clock_all();
            if (b.cycle() > 101 && b.bus.frame.read() == V0 && next_address == 0)
                next_address = b.cycle();
        }
        EXPECT_EQ(may_start, c.may_start) << c.command << " " << c.ad_word << " " << c.overhead;
        EXPECT_EQ(next_address, c.next_address) << c.command << " " << c.overhead;
    }
}
