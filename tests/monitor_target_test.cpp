// The monitor against a real target: a scripted master that reacts to the
// bus writes a burst to a page target, and the monitor's view of it must
// agree with the target's own count.
#include <gtest/gtest.h>

#include <string>

#include "monitor/bus.h"
#include "monitor/monitor.h"
#include "pci/commands.h"
#include "pci/target_variants.h"
#include "support/capture.h"
#include "support/scripted_agent.h"

namespace {

TEST(MonitorWithTarget, WriteBurstToPageTarget) {
    OutputCapture out;
    TestTop tb;
    PullupAgent pa("pa", &tb);
    ScriptedAgent pm1("pm1", &tb);
    PCI_page_target pt2("pt2", &tb);
    PCI_monitor pmon("pmon", &tb);
    PCI_bus pb("pb", &tb.name);
    for (PCI_agent* agent : {static_cast<PCI_agent*>(&pa), static_cast<PCI_agent*>(&pt2),
                             static_cast<PCI_agent*>(&pmon), static_cast<PCI_agent*>(&pm1)}) {
        pb.connect_agent(*agent);
    }
    pmon.add_range(0x00100000, 0xFFFF0000);
    pmon.set_debug(1);
    reset_all();

    // Four data phases: IRDY# from the first clock on, FRAME# deasserted
    // once three transfers were seen, both released after the fourth.
    constexpr int words = 4;
    int seen = 0;
    pm1.at(2, [](ScriptedAgent& m) {
        m.frame = V0;
        m.drive_ad(0x00100040);
        m.drive_cbe(CMD_MEMORY_WRITE);
    });
    for (int32_t cycle = 3; cycle < 60; ++cycle) {
        pm1.at(cycle, [&seen, cycle](ScriptedAgent& m) {
            if (cycle == 3) {
                m.irdy = V0;
                m.drive_cbe(0);
            }
            if (seen < words && m.irdy.is_low() && m.trdy.is_low())
                ++seen;
            if (seen == words - 1)
                m.frame = V1;
            if (seen == words) {
                m.frame = VZ;
                m.irdy = m.irdy.own_level() == V0 ? V1 : VZ;
                m.release_ad();
                m.release_cbe();
            }
            if (m.irdy.own_level() == V0 || seen < words)
                m.drive_ad(0xA0 + seen);
        });
    }
    while (sim_cycle < 60) clock_all();

    const std::string text = out.text();
    EXPECT_EQ(text.rfind("Memory Write          Add: 00100040\n  FAST decode\n", 0), 0u) << text;
    EXPECT_NE(text.find("Burst Length: 4\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;
    const PCI_target_statistics& s = pmon.statistics();
    EXPECT_EQ(s.data_count[0], pt2.trans_done());
    EXPECT_EQ(s.data_count[0], words);
    int first = 0, later = 0;
    for (int l = 0; l <= 32; ++l) first += s.initial_latency[l][0];
    for (int l = 0; l <= 16; ++l) later += s.burst_latency[l][0];
    EXPECT_EQ(first, 1);
    EXPECT_EQ(later, words - 1);
    EXPECT_EQ(s.initial_latency[0][0], 0);  // a page write waits 3 or 4 clocks
}

}  // namespace
