// The neutral target on a small bus: decode timing, wait states, Retry and
// the remembered transaction, burst limits, BACKOFF, warnings and the
// configuration space.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "support/capture.h"
#include "target_bench.h"

namespace {

constexpr uint32_t kBase = 0x00200000;  // BAR0 of the probe: 64 KB

// The neutral target with a memory and I/O window and settable latencies.
class ProbeTarget : public PCI_target {
  public:
    ProbeTarget(const char* name, SIM_instance* parent) : PCI_target(name, parent) {
        set_config(1, 0x0003, 0xFFFF);           // I/O and memory space enabled
        set_config(4, kBase | 0x8, 0xFFFF0000);  // prefetchable memory
    }
    int32_t initial_wait() override { return initial; }
    int32_t burst_wait() override { return burst; }
    int32_t burst_limit() override { return limit; }
    using PCI_target::decode;
    using PCI_target::range_end;

    int32_t initial = 0;  // initial wait to report
    int32_t burst = 0;    // burst wait to report
    int32_t limit = -2;   // burst limit to report
};

using Bench = TargetBench<ProbeTarget>;

// Number of cycles in [from, to] whose DEVSEL#/TRDY#/STOP# read as dts.
int count_dts(Bench& b, int from, int to, const std::string& dts) {
    int n = 0;
    for (int c = from; c <= to; ++c) n += b.dts(c) == dts;
    return n;
}

TEST(TargetTiming, FastWriteOneWord) {
    Bench b;
    b.start();
    b.transaction(5, CMD_MEMORY_WRITE, kBase, 1);
    b.run_to(9);
    EXPECT_EQ(b.dts(5), "HHH");
    EXPECT_EQ(b.dts(6), "001");
    EXPECT_EQ(b.dts(7), "111");
    EXPECT_EQ(b.dts(8), "HHH");
    EXPECT_EQ(b.done[5], 0);
    EXPECT_EQ(b.done[6], 1);
}

TEST(TargetTiming, FastReadOneWord) {
    Bench b;
    b.start();
    b.transaction(5, CMD_MEMORY_READ, kBase, 1);
    b.run_to(10);
    EXPECT_EQ(b.dts(6), "011");
    EXPECT_EQ(b.dts(7), "001");
    ASSERT_EQ(b.transfers.size(), 1u);
    EXPECT_EQ(b.transfers[0], std::make_pair(7, 0x27450000u));
    EXPECT_EQ(b.dts(8), "111");
    EXPECT_EQ(b.samples[8].ad, "zzzzzzzz");
    EXPECT_EQ(b.dts(9), "HHH");
}

// Slower decodes show DEVSEL# and, for a read, TRDY# together, one clock
// later per step.
class TargetDecodeSpeed : public ::testing::TestWithParam<int32_t> {};

TEST_P(TargetDecodeSpeed, DevselAndTrdyTogether) {
    const int32_t speed = GetParam();
    const int32_t seen = 5 + (PCI_target::SPEED_FAST + 1 - speed);
    Bench b;
    b.t.set_decode_speed(CMD_MEMORY_READ, speed);
    b.start();
    b.transaction(5, CMD_MEMORY_READ, kBase, 1);
    b.run_to(seen + 2);
    EXPECT_EQ(b.dts(seen - 1), "HHH");
    EXPECT_EQ(b.dts(seen), "001");
    EXPECT_EQ(b.dts(seen + 1), "111");
}

INSTANTIATE_TEST_SUITE_P(MedSlowSub, TargetDecodeSpeed,
                         ::testing::Values(PCI_target::SPEED_MED, PCI_target::SPEED_SLOW,
                                           PCI_target::SPEED_SUB));

TEST(TargetDecode, WindowsCommandsAndEnables) {
    Bench b;
    b.start();
    ProbeTarget& t = b.t;
    const int32_t fast = PCI_target::DATA, none = PCI_target::NOT_SELECTED;
    EXPECT_EQ(t.decode(CMD_MEMORY_READ_LINE, kBase + 0xFFFC), fast);
    EXPECT_EQ(t.decode(CMD_MEMORY_READ, kBase + 0x10000), none);  // outside
    EXPECT_EQ(t.decode(CMD_MEMORY_READ, kBase + 1), none);        // odd address
    EXPECT_EQ(t.decode(CMD_IO_WRITE, kBase + 1), fast);
    EXPECT_EQ(t.decode(CMD_IO_READ, kBase), none);  // even address
    for (uint32_t cmd : {0u, 1u, 4u, 5u, 8u, 9u, 13u}) EXPECT_EQ(t.decode(cmd, kBase), none) << cmd;
    EXPECT_EQ(t.decode(CMD_CONFIG_READ, kBase), none);  // no IDSEL

    t.set_decode_speed(CMD_CONFIG_WRITE, PCI_target::SPEED_SLOW);
    t.set_decode_speed(CMD_CONFIG_WRITE, 7);  // not a speed: ignored
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
    EXPECT_EQ(count_dts(b, 5, 12, "HHH"), 8);
}

// The threshold is a 32-bit signed count: the largest one wraps the limit
// negative, so it retries at once like a threshold that is too small.
TEST(TargetLatency, RetryAtOnceAndWaitStates) {
    for (int32_t threshold : {16, 20, INT32_MAX}) {
        sim_kernel_clear();
        Bench b;
        b.t.initial = 20;
        b.t.set_decode_speeds(PCI_target::SPEED_MED);
        b.t.set_init_retry_threshold(threshold);
        b.start();
        b.transaction(5, CMD_MEMORY_READ, kBase, 1);
        b.run_to(30);
        if (threshold != 20) {
            EXPECT_EQ(b.dts(7), "010");  // Retry, no data word
            EXPECT_EQ(b.samples[7].ad, "00000000");
            EXPECT_EQ(b.dts(8), "111");  // FRAME# was high: driven high once
            EXPECT_EQ(b.dts(9), "HHH");
            EXPECT_TRUE(b.transfers.empty());
        } else {
            EXPECT_EQ(count_dts(b, 7, 26, "011"), 20);  // TRDY# and STOP# high
            EXPECT_EQ(b.dts(27), "001");
            ASSERT_EQ(b.transfers.size(), 1u);
        }
    }
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
    EXPECT_EQ(count_dts(b, 11, 25, "011"), 15);
    EXPECT_EQ(b.dts(26), "010");  // stopped without data
    EXPECT_EQ(b.dts(32), "001");
    ASSERT_EQ(b.transfers.size(), 1u);
    EXPECT_EQ(b.transfers[0].first, 32);

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
    sim_kernel_clear();
    Bench b;
    b.t.limit = 3;
    b.start();
    b.transaction(5, CMD_MEMORY_READ, kBase, 2);
    b.transaction(12, CMD_MEMORY_READ, kBase + 0x100, 8);
    b.run_to(25);
    // The fourth word overall, the second of the next transaction, stops.
    ASSERT_EQ(b.transfers.size(), 4u);
    EXPECT_EQ(b.transfers[3].first, 15);
    EXPECT_EQ(b.dts(15), "000");
    EXPECT_EQ(count_dts(b, 5, 25, "000"), 1);
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
    EXPECT_EQ(b.dts(10), "0H0");  // still backing off, TRDY# released
    EXPECT_EQ(b.dts(11), "1H1");  // FRAME# high: driven high once
    EXPECT_EQ(b.dts(12), "HHH");
}

TEST(TargetWarnings, UnpackableLinesAndUncoveredCases) {
    OutputCapture out;
    Bench b;
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

    uint32_t before[PCI_target::config_registers];
    std::copy(std::begin(t.config), std::end(t.config), before);
    for (uint32_t a : {256u, 0xFFFFFFFCu}) {
        addr = a;
        enables = 0;
        t.config_write(enables, addr, data);
        EXPECT_EQ(addr, a + 4);
        addr = a;
        EXPECT_EQ(t.config_read(addr), 0xFFFFFFFFu);
        EXPECT_EQ(addr, a + 4);
    }
    EXPECT_TRUE(std::equal(std::begin(t.config), std::end(t.config), before));
    t.set_config(64, 1, 1);  // ignored
    t.set_config(-1, 1, 1);
    EXPECT_TRUE(std::equal(std::begin(t.config), std::end(t.config), before));
}

}  // namespace
