#pragma once
// A mini-design for the monitor tests, in the order of the full bench: the
// pull-ups, a scripted master and target, the monitor clocked last, and the
// bus joining them. Scripts give the handshake lines per cycle as a row of
// five level characters: FRAME# IRDY# (driven by the master), DEVSEL# TRDY#
// STOP# (driven by the target); '-' leaves a line as it is.
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/context.h"
#include "monitor/monitor.h"
#include "pci/bus.h"
#include "pci/commands.h"
#include "support/scripted_agent.h"

// Rows of PCI_target_statistics::decode_count.
constexpr int fast_row = speed_index(PCI_decode_speed::fast);
constexpr int med_row = speed_index(PCI_decode_speed::med);
constexpr int sub_row = speed_index(PCI_decode_speed::sub);

struct MonitorBench {
    MonitorBench() {
        for (PCI_agent* agent : std::initializer_list<PCI_agent*>{&pa, &master, &target, &pmon})
            pb.connect_agent(*agent);
        pmon.add_range(0x00000000, 0xFFF00000);
        pmon.add_range(0x00100000, 0xFFFF0000);
        pmon.add_range(0x00180000, 0xFFFF0000);
    }

    // Drives one row of levels in the given cycle.
    void row(int32_t cycle, const char* levels) {
        master.drive_at(cycle, {&PCI_agent::frame, &PCI_agent::irdy}, std::string(levels, 2));
        target.drive_at(cycle, {&PCI_agent::devsel, &PCI_agent::trdy, &PCI_agent::stop},
                        levels + 2);
    }
    // Rows for consecutive cycles from first on.
    void rows(int32_t first, const std::vector<const char*>& levels) {
        for (const char* r : levels) row(first++, r);
    }
    // The master drives an address phase's AD and C/BE# in cycle, then
    // releases them.
    void address(int32_t cycle, uint32_t address, uint32_t command) {
        master.at(cycle, [=](ScriptedAgent& m) {
            m.drive_ad(address);
            m.drive_cbe(command);
        });
        master.at(cycle + 1, [](ScriptedAgent& m) {
            m.release_ad();
            m.release_cbe();
        });
    }
    // A one-word transaction claimed at FAST speed: address phase in cycle,
    // data transfer in the next.
    void one_word(int32_t cycle, uint32_t address, uint32_t command) {
        this->address(cycle, address, command);
        rows(cycle, {"0----", "1000-", "z111-", "-zzz-"});
    }
    // Runs every cycle up to and including last.
    void run_through(int32_t last) {
        while (tb.sim_cycle() <= last) tb.clock_all();
    }
    // Resets the design.
    void reset_all() { tb.reset_all(); }
    // The design's kernel.
    SIM_context& context() { return tb.context(); }

    TestTop tb;                        // parent: names read tb:pmon
    PullupAgent pa{"pa", &tb};         // weak highs on the control lines
    ScriptedAgent master{"pm1", &tb};  // drives FRAME#, IRDY#, AD, C/BE#
    ScriptedAgent target{"pt1", &tb};  // drives DEVSEL#, TRDY#, STOP#
    PCI_monitor pmon{"pmon", &tb};     // under test, clocked last
    PCI_bus pb{"pb", tb};              // the nets joining them
};
