#pragma once
// The fixed design: arbiter, three masters with random traffic, three targets,
// the bus and its monitor, wired and configured. Master n talks to target n
// only; the monitor reports per target window.

#include <array>

#include "kernel/instance.h"
#include "monitor/monitor.h"
#include "pci/arbiter.h"
#include "pci/bus.h"
#include "pci/master_variants.h"
#include "pci/target_variants.h"

// The seeds of one agent's random source and data pattern.
struct PCI_source_seeds {
    int32_t seed;         // SIM_random seed
    uint32_t multiplier;  // 16-bit pattern multiplier
};

class PCI_testbench : public SIM_instance {
  public:
    // Number of masters, and of targets.
    static constexpr int units = 3;

    // Builds the members (this order is the instance-list order, hence the
    // order of every reset() and clock()), joins them to the bus and the
    // arbiter and applies the built-in configuration. The bench is the top
    // of a design in context.
    PCI_testbench(const char* name, SIM_context& context);

    // Seeds every random source and data pattern; runs before the members'
    // own reset() since the bench is first in the instance list.
    void reset() override;
    // The bench itself does nothing in a cycle.
    void clock() override {}

    PCI_arbiter pa;        // "pa": rotating-priority arbiter with the pull-ups
    PCI_short_master pm1;  // "pm1": master 1, short bursts, 80 % reads, to pt1
    PCI_long_master pm2;   // "pm2": master 2, long bursts, 20 % reads, to pt2
    PCI_fixed_master pm3;  // "pm3": master 3, 128-word bursts, 20 % reads, to pt3
    PCI_delay_target pt1;  // "pt1": target 1, slow memory, 1 MB at 0x000000
    PCI_page_target pt2;   // "pt2": target 2, fast memory, 64 KB at 0x100000
    PCI_page_target pt3;   // "pt3": target 3, fast memory, 64 KB at 0x180000
    PCI_bus pb;            // "pb": the shared nets and the cycle dump
    PCI_monitor pmon;      // "pmon": protocol checks, trace and statistics

    // The masters and the targets, unit n at index n - 1.
    const std::array<PCI_random_master*, units> masters;
    const std::array<PCI_target*, units> targets;

    // Whether every master has finished its work.
    bool all_done() const;
    // Seeds applied by reset(), unit n at index n - 1; set before reset().
    std::array<PCI_source_seeds, units> master_seeds;
    std::array<PCI_source_seeds, units> target_seeds;

  private:
    // The random sources of the targets, unit n at index n - 1.
    const std::array<SIM_random*, units> target_rngs;
};
