// The targets on a small bus: the neutral target's decode timing, wait
// states, Retry and the remembered transaction, burst limits, BACKOFF,
// warnings and configuration space; the hint, page and delay targets' latency
// draws, burst wait placement, page-end disconnect and retry hints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>

#include "pci/target_variants.h"
#include "support/capture.h"
#include "target_bench.h"

namespace {

constexpr uint32_t kBase = 0x00200000;  // BAR0 of the probe: 64 KB

// The neutral target with a memory and I/O window and settable latencies.
class ProbeTarget : public PCI_target {
  public:
    ProbeTarget(const char* name_text, SIM_instance* parent) : PCI_target(name_text, parent) {
        set_config(1, 0x0003, 0xFFFF);           // I/O and memory space enabled
        set_config(4, kBase | 0x8, 0xFFFF0000);  // prefetchable memory
    }
    int32_t initial_wait() override { return initial; }
    int32_t burst_wait() override { return burst; }
    int32_t burst_limit() override { return limit; }
    using PCI_target::decode;
    using PCI_target::range_end;
    using PCI_target::stop_with_data;

    int32_t initial = 0;  // initial wait to report
    int32_t burst = 0;    // burst wait to report
    int32_t limit = -2;   // burst limit to report
};

class ProbeHint : public PCI_hint_target {
  public:
    using PCI_hint_target::PCI_hint_target;
    using PCI_hint_target::retry_data;
    using PCI_target::ready_cycle;
};

using Bench = TargetBench<ProbeTarget>;
using PageBench = TargetBench<PCI_page_target>;
using DelayBench = TargetBench<PCI_delay_target>;

// `count` repeats of one cycle's DEVSEL#/TRDY#/STOP#, as lines() shows them.
std::string repeated(const char* dts, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += std::string(i ? " " : "") + dts;
    return text;
}

// One word at each decode speed, then a read that must wait 20 clocks: with
// threshold 16 it is retried at once, with 20 it waits. The limit is exact:
// the largest threshold means "never retry", not a limit wrapped negative.
TEST(TargetTiming, OneWordAtEachDecodeSpeedRetryAndWaitStates) {
    struct Case {
        uint32_t command;
        PCI_decode_speed speed;
        int32_t initial, threshold;
        std::string lines;  // DEVSEL#/TRDY#/STOP# from the address phase in cycle 5
        int32_t transfer;   // cycle of the data transfer, 0 for none
    };
    const std::string retry = "HHH HHH 010 111 HHH";  // FRAME# was high: driven high once
    const Case cases[] = {
        {CMD_MEMORY_WRITE, PCI_decode_speed::fast, 0, 16, "HHH 001 111 HHH", 6},
        {CMD_MEMORY_READ, PCI_decode_speed::fast, 0, 16, "HHH 011 001 111 HHH", 7},
        // Slower decodes show DEVSEL# and TRDY# together, a clock later per step.
        {CMD_MEMORY_READ, PCI_decode_speed::med, 0, 16, "HHH HHH 001 111 HHH", 7},
        {CMD_MEMORY_READ, PCI_decode_speed::slow, 0, 16, "HHH HHH HHH 001 111 HHH", 8},
        {CMD_MEMORY_READ, PCI_decode_speed::sub, 0, 16, "HHH HHH HHH HHH 001 111 HHH", 9},
        {CMD_MEMORY_READ, PCI_decode_speed::med, 20, 16, retry, 0},
        {CMD_MEMORY_READ, PCI_decode_speed::med, 20, 20,
         "HHH HHH " + repeated("011", 20) + " 001 111 HHH", 27},  // TRDY# in a + 22
        {CMD_MEMORY_READ, PCI_decode_speed::med, 20, INT32_MAX,
         "HHH HHH " + repeated("011", 20) + " 001 111 HHH", 27},
    };
    for (const Case& c : cases) {
        Bench b;
        b.t.set_decode_speed(c.command, c.speed);
        b.t.initial = c.initial;
        b.t.set_init_retry_threshold(c.threshold);
        b.start();
        b.transaction(5, c.command, kBase, 1);
        b.run_to(30);
        const bool read = is_read_command(c.command);
        EXPECT_EQ(b.lines(5, 4 + (c.lines.size() + 1) / 4), c.lines)
            << speed_index(c.speed) << " " << c.threshold;
        if (c.transfer == 0) {
            EXPECT_TRUE(b.transfers.empty());
            continue;
        }
        ASSERT_EQ(b.transfers.size(), 1u);
        EXPECT_EQ(b.transfers[0], std::make_pair(c.transfer, read ? 0x27450000u : 0xD0000000u));
        EXPECT_EQ(b.done[c.transfer - 1], 0);
        EXPECT_EQ(b.done[c.transfer], 1);
        if (read) {
            EXPECT_EQ(b.samples[c.transfer + 1].ad, "zzzzzzzz");
        }
    }
}

TEST(TargetDecode, WindowsCommandsAndEnables) {
    Bench b;
    b.start();
    ProbeTarget& t = b.t;
    const PCI_target::State fast = PCI_target::DATA, none = PCI_target::NOT_SELECTED;
    EXPECT_EQ(t.decode(CMD_MEMORY_READ_LINE, kBase + 0xFFFC), fast);
    EXPECT_EQ(t.decode(CMD_MEMORY_READ, kBase + 0x10000), none);  // outside
    EXPECT_EQ(t.decode(CMD_MEMORY_READ, kBase + 1), none);        // odd address
    EXPECT_EQ(t.decode(CMD_IO_WRITE, kBase + 1), fast);
    EXPECT_EQ(t.decode(CMD_IO_READ, kBase), none);  // even address
    for (uint32_t cmd : {0u, 1u, 4u, 5u, 8u, 9u, 13u}) EXPECT_EQ(t.decode(cmd, kBase), none) << cmd;
    EXPECT_EQ(t.decode(CMD_CONFIG_READ, kBase), none);  // no IDSEL

    t.set_decode_speed(CMD_CONFIG_WRITE, PCI_decode_speed::slow);
    t.set_decode_speed(CMD_CONFIG_WRITE, static_cast<PCI_decode_speed>(7));  // not a speed: ignored
    t.idsel.force(V0);
    EXPECT_EQ(t.decode(CMD_CONFIG_READ, 0x40), fast);
    EXPECT_EQ(t.decode(CMD_CONFIG_WRITE, 0x40), PCI_target::DECODE_SLOW);
    t.idsel.force(VZ);

    t.config[1] = 0x0001;  // memory space disabled
    t.range_end = 0;
    EXPECT_EQ(t.decode(CMD_MEMORY_WRITE, kBase + 8), none);
    EXPECT_EQ(t.range_end, 0x0020FFFFu);  // stored before the space test
    t.address = t.range_end;              // a word at the window's end disconnects
    EXPECT_TRUE(t.stop_with_data());
    EXPECT_EQ(t.decode(CMD_IO_READ, kBase + 1), fast);
    t.config[1] = 0x0002;  // I/O space disabled
    EXPECT_EQ(t.decode(CMD_IO_READ, kBase + 1), none);
    t.config_mask[4] = 0;  // BAR disabled
    EXPECT_EQ(t.decode(CMD_MEMORY_READ, kBase), none);
}

TEST(TargetDecode, UnclaimedTransactionDrivesNothing) {
    Bench b;
    b.start();
    b.transaction(5, CMD_MEMORY_READ, 0x00300000, 2);
    b.m.at(9, [](ScriptedAgent& s) { s.frame = V1; });  // nobody answers: give up
    b.run_to(9);
    EXPECT_EQ(b.t.current_state(), PCI_target::NOT_SELECTED);
    b.run_to(12);
    EXPECT_EQ(b.t.current_state(), PCI_target::IDLE);
    EXPECT_EQ(b.lines(5, 12), repeated("HHH", 8));
}

// A retried read is remembered: another transaction is stopped when the
// remembered ready cycle comes (or at once while it is still too far), and
// the repeat then gets its data.
TEST(TargetLatency, RememberedTransactionStopsOthers) {
    Bench b;
    b.t.initial = 20;
    b.start();
    b.transaction(5, CMD_MEMORY_READ, kBase, 1);  // ready 25, retried at 6
    b.transaction(10, CMD_MEMORY_READ, kBase + 0x40, 1);
    b.transaction(30, CMD_MEMORY_READ, kBase, 1);
    b.run_to(34);
    EXPECT_EQ(b.dts(7), "010");
    EXPECT_EQ(b.lines(11, 26), repeated("011", 15) + " 010");  // stopped without data
    EXPECT_EQ(b.dts(32), "001");
    EXPECT_EQ(b.transfer_cycles(), std::vector<int32_t>{32});

    // Far from ready, a write of another address is stopped at once.
    b.t.initial = 30;
    b.transaction(40, CMD_MEMORY_READ, kBase + 0x80, 1);  // ready 70
    b.transaction(45, CMD_MEMORY_WRITE, kBase, 1);
    b.run_to(50);
    EXPECT_EQ(b.dts(42), "010");
    EXPECT_EQ(b.dts(46), "010");
    EXPECT_EQ(b.transfers.size(), 1u);
}

TEST(TargetBurst, LimitZeroAndThreeAcrossTransactions) {
    {
        Bench b;
        b.t.limit = 0;
        b.start();
        b.transaction(5, CMD_MEMORY_WRITE, kBase, 4);
        b.transaction(12, CMD_MEMORY_WRITE, kBase, 4);
        b.run_to(20);
        EXPECT_EQ(b.dts(6), "000");  // Disconnect with data on every word
        EXPECT_EQ(b.dts(13), "000");
        EXPECT_EQ(b.transfers.size(), 2u);
        EXPECT_EQ(b.done[20], 2);
    }
    Bench b;
    b.t.limit = 3;
    b.start();
    b.transaction(5, CMD_MEMORY_READ, kBase, 2);
    b.transaction(12, CMD_MEMORY_READ, kBase + 0x100, 8);
    b.run_to(25);
    // The fourth word overall, the second of the next transaction, stops.
    EXPECT_EQ(b.transfer_cycles(), (std::vector<int32_t>{7, 8, 14, 15}));
    EXPECT_EQ(b.dts(15), "000");
    EXPECT_EQ(b.dts(14), "001");
}

TEST(TargetBurst, MasterWaitStateHoldsTheWord) {
    Bench b;
    b.start();
    b.transaction(5, CMD_MEMORY_READ, kBase, 3);
    b.m.at(7, [](ScriptedAgent& s) { s.irdy = V1; });
    b.m.at(8, [](ScriptedAgent& s) { s.irdy = V0; });
    b.run_to(12);
    using Transfer = std::pair<int32_t, uint32_t>;
    EXPECT_EQ(b.transfers,
              (std::vector<Transfer>{{7, 0x27450000u}, {9, 0x27450001u}, {10, 0x27450002u}}));
    EXPECT_EQ(b.dts(8), "001");
}

TEST(TargetBackoff, ReleasesPerrAndLines) {
    Bench b;
    b.t.initial = 20;
    b.start();
    b.transaction(5, CMD_MEMORY_WRITE, kBase, 3);  // Retry seen in 6
    // The master drives PAR and is slow to end the transaction.
    for (int c = 3; c < 9; ++c) b.m.at(c, [](ScriptedAgent& s) { s.par = V1; });
    for (int c = 6; c < 9; ++c) b.m.at(c, [](ScriptedAgent& s) { s.frame = V0; });
    b.m.at(9, [](ScriptedAgent& s) {
        s.par = VZ;
        s.frame = V1;
    });
    b.run_to(14);
    EXPECT_TRUE(b.samples[7].perr == '0' || b.samples[7].perr == '1');
    for (int c = 8; c <= 10; ++c) EXPECT_EQ(b.samples[c].perr, 'H') << c;
    // Still backing off with TRDY# released, then FRAME# high: driven high once.
    EXPECT_EQ(b.lines(10, 12), "0H0 1H1 HHH");
}

// An idle target with its lines at rest still judges another agent's PAR:
// a wrong one draws PERR# low, a right one high.
TEST(TargetParity, IdleTargetJudgesParDrivenByAnother) {
    for (const bool wrong : {false, true}) {
        Bench b;
        b.start();
        b.m.at(10, [](ScriptedAgent& s) {
            s.drive_ad(0x00000007u);  // three ones: parity 1 with C/BE# 0
            s.drive_cbe(0);
        });
        b.m.at(11, [wrong](ScriptedAgent& s) { s.par = wrong ? V0 : V1; });
        b.m.at(12, [](ScriptedAgent& s) { s.par = VZ; });
        b.run_to(15);
        EXPECT_EQ(b.samples[11].perr, 'H');
        EXPECT_EQ(b.samples[13].perr, wrong ? '0' : '1') << wrong;
        // No PAR on the wire: PERR# driven high from then on.
        EXPECT_EQ(b.samples[14].perr, '1') << wrong;
        EXPECT_EQ(b.samples[15].perr, '1') << wrong;
    }
}

TEST(TargetWarnings, UnpackableLinesAndUncoveredCases) {
    Bench b;
    OutputCapture out(b.top.context());
    b.t.initial = 3;
    b.start();
    b.transaction(5, CMD_MEMORY_WRITE, kBase, 2);
    b.m.at(5, [](ScriptedAgent& s) { s.trdy = V0; });  // fights the target's 1
    b.m.at(6, [](ScriptedAgent& s) { s.trdy = VZ; });
    b.m.at(7, [](ScriptedAgent& s) { s.release_ad(); });  // the first word floats
    b.m.at(9, [](ScriptedAgent& s) {                      // so does the last, with its enables
        s.release_ad();
        s.release_cbe();
    });
    b.run_to(8);
    EXPECT_EQ(out.take(), "Warning! Bug in PCI_target::clock()\n");  // TRDY# X
    b.run_to(9);
    EXPECT_EQ(out.take(), "Warning! Bug in PCI_target::prepare_data()\n");
    b.run_to(12);
    EXPECT_EQ(out.take(),
              "Warning! Bug in PCI_target::clock()\nWarning! Bug in PCI_target::clock()\n");
    EXPECT_EQ(b.done[12], 2);
}

TEST(TargetConfig, MaskedWritesAndRegistersBeyondTheHeader) {
    Bench b;
    PCI_target& t = b.t;
    uint32_t addr = 4, enables = 0x2, data = 0xFFFFFFFF;  // lane 1 disabled
    t.config_write(enables, addr, data);
    EXPECT_EQ(addr, 8u);
    EXPECT_EQ(t.config[1], 0x000000FFu);  // the mask covers the low half only
    addr = 4;
    EXPECT_EQ(t.config_read(addr), 0x000000FFu);
    EXPECT_EQ(addr, 8u);

    // Nothing beyond the header is touched: neither the registers nor the
    // masks stored right after them.
    uint32_t before[PCI_target::config_registers];
    uint32_t masks_before[PCI_target::config_registers];
    std::copy(std::begin(t.config), std::end(t.config), before);
    std::copy(std::begin(t.config_mask), std::end(t.config_mask), masks_before);
    for (uint32_t a : {256u, 0xFFFFFFFCu}) {
        addr = a;
        enables = 0;
        t.config_write(enables, addr, data);
        EXPECT_EQ(addr, a + 4);
        addr = a;
        EXPECT_EQ(t.config_read(addr), 0xFFFFFFFFu);
        EXPECT_EQ(addr, a + 4);
    }
    t.set_config(64, 1, 1);  // ignored
    t.set_config(-1, 1, 1);
    EXPECT_TRUE(std::equal(std::begin(t.config), std::end(t.config), before));
    EXPECT_TRUE(std::equal(std::begin(t.config_mask), std::end(t.config_mask), masks_before));
}

TEST(HintTarget, HintCarriesTheMissingClocks) {
    TestTop top;
    ProbeHint t("t", &top);
    const std::pair<int32_t, uint32_t> hints[] = {
        {8, 0x12345608u},
        {255, 0x123456FFu},
        {256, 0u},
        {-1, 0xFFFFFFFFu},  // passed: no master reads this as a hint
    };
    for (auto [missing, hint] : hints) {
        t.ready_cycle = top.sim_cycle() + missing;
        EXPECT_EQ(t.retry_data(), hint) << missing;
    }
}

// Seed 1 draws 346 first: a read waits 346 % 5 + 8 = 9 clocks, a write
// 346 % 2 + 3 = 3, then one clock more before every 32-byte line.
std::unique_ptr<PageBench> page_burst(uint32_t command, uint32_t address, int words) {
    auto b = std::make_unique<PageBench>();
    b->start();
    b->transaction(5, command, address, words);
    b->run_to(30);
    return b;
}

TEST(PageTarget, ReadBurstWaitsBeforeEachLine) {
    auto b = page_burst(CMD_MEMORY_READ, 0x100000, 10);
    EXPECT_EQ(b->dts(6), "011");  // FAST decode
    EXPECT_EQ(b->transfer_cycles(), (std::vector<int32_t>{15, 16, 17, 18, 19, 20, 21, 22, 24, 25}));
    for (uint32_t k = 0; k < b->transfers.size(); ++k)
        EXPECT_EQ(b->transfers[k].second, 0x27450000u | k);
    EXPECT_EQ(b->dts(23), "011");
    EXPECT_EQ(b->samples[23].ad, "27450007");  // previous word left on AD
}

TEST(PageTarget, WriteBurstWaitsAfterEachLine) {
    auto b = page_burst(CMD_MEMORY_WRITE, 0x100000, 11);
    EXPECT_EQ(b->transfer_cycles(),
              (std::vector<int32_t>{9, 11, 12, 13, 14, 15, 16, 17, 18, 20, 21}));
    EXPECT_EQ(b->done[21], 11);
}

TEST(PageTarget, DisconnectWithDataAtPageEnd) {
    auto b = page_burst(CMD_MEMORY_READ, 0x100FF0, 8);
    EXPECT_EQ(b->transfer_cycles(), (std::vector<int32_t>{15, 16, 17, 18}));
    EXPECT_EQ(b->lines(17, 18), "001 000");
}

TEST(PageTarget, RetryHintWithLoweredThreshold) {
    PageBench b;
    b.t.set_init_retry_threshold(5);
    b.start();
    b.transaction(5, CMD_MEMORY_READ, 0x100000, 1);
    b.run_to(9);
    EXPECT_EQ(b.dts(7), "010");
    EXPECT_EQ(b.samples[7].ad, "12345608");
    EXPECT_EQ(b.samples[8].ad, "zzzzzzzz");
}

// Seed 27 draws 9350 first: a wait of 30 clocks, over the threshold of 16.
TEST(DelayTarget, RetriedReadIsServedInItsReadyCycle) {
    DelayBench b;
    b.t.rng.set_seed(27);
    b.start();
    b.transaction(5, CMD_MEMORY_READ, 0x1000, 1);
    b.transaction(25, CMD_MEMORY_READ, 0x1000, 1);
    b.run_to(40);
    EXPECT_EQ(b.lines(6, 7), "HHH 010");  // MED decode, Retry
    EXPECT_EQ(b.samples[7].ad, "1234561e");
    EXPECT_EQ(b.lines(36, 37), "011 001");  // a + 32
    EXPECT_EQ(b.transfer_cycles(), std::vector<int32_t>{37});
    // The repeat drew no new wait, only the burst limit.
    SIM_random expected;
    expected.set_seed(27);
    expected.next();
    expected.next();
    EXPECT_EQ(b.t.rng.next(), expected.next());
}

// Seed 32 draws 11081 (wait 1), then 26213 (burst limit 3: the fourth word
// carries STOP#).
TEST(DelayTarget, BurstLimitDisconnectsWithData) {
    DelayBench b;
    b.t.rng.set_seed(32);
    b.start();
    b.transaction(5, CMD_MEMORY_WRITE, 0x0, 8);
    b.run_to(20);
    EXPECT_EQ(b.lines(7, 11), "011 001 001 001 000");
    EXPECT_EQ(b.transfer_cycles(), (std::vector<int32_t>{8, 9, 10, 11}));
}

}  // namespace
