// The hint, page and delay targets on a small bus: their windows, latency
// draws, burst wait placement, page-end disconnect and retry hints.
#include "pci/target_variants.h"

#include <gtest/gtest.h>

#include <vector>

#include "target_bench.h"

namespace {

using PageBench = TargetBench<PCI_page_target>;
using DelayBench = TargetBench<PCI_delay_target>;

// Cycles of the recorded transfers.
template <class Bench>
std::vector<int32_t> transfer_cycles(const Bench& b) {
    std::vector<int32_t> cycles;
    for (const auto& [cycle, word] : b.transfers) cycles.push_back(cycle);
    return cycles;
}

class ProbeHint : public PCI_hint_target {
  public:
    using PCI_hint_target::PCI_hint_target;
    using PCI_target::ready_cycle;
};

TEST(TargetVariants, ConstructorsSetTheirWindows) {
    PCI_page_target page("pt2", nullptr);
    PCI_delay_target delay("pt1", nullptr);
    EXPECT_EQ(page.config[4], 0x00100008u);
    EXPECT_EQ(page.config_mask[4], 0xFFFF0000u);
    EXPECT_EQ(page.config[1] & 0xFFFF, 0x0002u);
    EXPECT_EQ(delay.config[4], 0x00000008u);
    EXPECT_EQ(delay.config_mask[4], 0xFFF00000u);
    EXPECT_EQ(delay.config[1] & 0xFFFF, 0x0002u);
    for (int k = 5; k < 10; ++k) EXPECT_EQ(page.config_mask[k] | delay.config_mask[k], 0u);
}

TEST(TargetVariants, HintCarriesTheMissingClocks) {
    ProbeHint t("t", nullptr);
    t.ready_cycle = sim_cycle + 8;
    EXPECT_EQ(t.retry_data(), 0x12345608u);
    t.ready_cycle = sim_cycle + 255;
    EXPECT_EQ(t.retry_data(), 0x123456FFu);
    t.ready_cycle = sim_cycle + 256;
    EXPECT_EQ(t.retry_data(), 0u);
    t.ready_cycle = sim_cycle - 1;  // passed: no master reads this as a hint
    EXPECT_EQ(t.retry_data(), 0xFFFFFFFFu);
}

// Seed 1 draws 346 first: a read waits 346 % 5 + 8 = 9 clocks, a write
// 346 % 2 + 3 = 3. Seed 13 draws 4501: a write waits 4.
TEST(PageTarget, InitialWaitOfReadsAndWrites) {
    {
        PageBench b;
        b.start();
        b.transaction(5, CMD_MEMORY_READ, 0x100000, 1);
        b.run_to(17);
        EXPECT_EQ(b.dts(6), "011");
        EXPECT_EQ(b.dts(14), "011");
        EXPECT_EQ(b.dts(15), "001");  // a + W + 1
    }
    sim_kernel_clear();
    PageBench b;
    b.t.rng.set_seed(13);
    b.start();
    b.transaction(5, CMD_MEMORY_WRITE, 0x100000, 1);
    b.run_to(12);
    EXPECT_EQ(b.dts(9), "011");
    EXPECT_EQ(b.dts(10), "001");
}

TEST(PageTarget, ReadBurstWaitsBeforeEachLine) {
    PageBench b;
    b.start();
    b.transaction(5, CMD_MEMORY_READ, 0x100000, 10);
    b.run_to(30);
    EXPECT_EQ(transfer_cycles(b), (std::vector<int32_t>{15, 16, 17, 18, 19, 20, 21, 22, 24, 25}));
    for (uint32_t k = 0; k < b.transfers.size(); ++k)
        EXPECT_EQ(b.transfers[k].second, 0x27450000u | k);
    EXPECT_EQ(b.trdy(23), '1');
    EXPECT_EQ(b.samples[23].ad, "27450007");  // previous word left on AD
}

TEST(PageTarget, WriteBurstWaitsAfterEachLine) {
    PageBench b;
    b.start();
    b.transaction(5, CMD_MEMORY_WRITE, 0x100000, 11);
    b.run_to(30);
    EXPECT_EQ(transfer_cycles(b),
              (std::vector<int32_t>{9, 11, 12, 13, 14, 15, 16, 17, 18, 20, 21}));
    EXPECT_EQ(b.done[21], 11);
}

TEST(PageTarget, DisconnectWithDataAtPageEnd) {
    PageBench b;
    b.start();
    b.transaction(5, CMD_MEMORY_READ, 0x100FF0, 8);
    b.run_to(25);
    EXPECT_EQ(transfer_cycles(b), (std::vector<int32_t>{15, 16, 17, 18}));
    EXPECT_EQ(b.dts(18), "000");
    EXPECT_EQ(b.dts(17), "001");
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
    EXPECT_EQ(b.dts(6), "HHH");  // MED decode
    EXPECT_EQ(b.dts(7), "010");
    EXPECT_EQ(b.samples[7].ad, "1234561e");
    EXPECT_EQ(b.dts(36), "011");
    EXPECT_EQ(b.dts(37), "001");  // a + 32
    EXPECT_EQ(transfer_cycles(b), std::vector<int32_t>{37});
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
    EXPECT_EQ(b.dts(7), "011");
    EXPECT_EQ(transfer_cycles(b), (std::vector<int32_t>{8, 9, 10, 11}));
    EXPECT_EQ(b.dts(10), "001");
    EXPECT_EQ(b.dts(11), "000");
}

}  // namespace
