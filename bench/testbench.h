#pragma once
// The fixed design: arbiter, three masters with random traffic, three targets,
// the bus and its monitor, wired and configured. Master n talks to target n
// only; the monitor reports per target window.

#include "kernel/instance.h"
#include "monitor/bus.h"
#include "monitor/monitor.h"
#include "pci/arbiter.h"
#include "pci/master_variants.h"
#include "pci/target_variants.h"

class PCI_testbench : public SIM_instance {
  public:
    // Builds the members (this order is the instance-list order, hence the
    // order of every reset() and clock()), joins them to the bus and the
    // arbiter and applies the built-in configuration.
    PCI_testbench(const char* name, SIM_instance* parent);

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
};
