#pragma once
// The test bench built from a design value: the arbiter by its policy, one
// configured master and one configured target per entry of the design, the
// bus and its monitor with one card per target window (and the design's
// further cards), wired and configured. Without a design it builds the
// built-in one.

#include <memory>
#include <vector>

#include "kernel/instance.h"
#include "monitor/monitor.h"
#include "outputs/design_view.h"
#include "pci/arbiter.h"
#include "pci/bus.h"
#include "pci/configured_master.h"
#include "pci/configured_target.h"
#include "pci/design.h"

class PCI_testbench : public SIM_instance {
  public:
    // Builds the members in this order, which is the instance-list order and
    // hence the order of every reset() and clock(): the arbiter "pa", the
    // masters (each with its configuration function), the targets, the bus
    // "pb" and the monitor "pmon". Joins pa, the targets, pmon and the
    // masters to the bus in that order and the masters to the arbiter in
    // master order. Seeds come from the design: an agent's own, else derived
    // from the design's seed (0 when it has none) as --seed derives them.
    // The bench is the top of a design in context.
    PCI_testbench(const char* name, SIM_context& context, const PCI_design& design);
    // The built-in design.
    PCI_testbench(const char* name, SIM_context& context);

    // Seeds every random source and data pattern; runs before the members'
    // own reset() since the bench is first in the instance list.
    void reset() override;
    // The bench itself does nothing in a cycle.
    void clock() override {}

    // Whether every master has finished its work.
    bool all_done() const { return running_masters_ == 0; }
    // What the outputs see of the bench, with design (which must outlive
    // the view) for its names and settings.
    PCI_design_view view(const PCI_design& design) const;

    // The arbiter; rotating is the same object when the policy is rotating,
    // else null.
    const std::unique_ptr<PCI_arbiter_base> pa;
    PCI_arbiter* const rotating;
    // The masters and the targets, number n at index n - 1.
    const std::vector<std::unique_ptr<PCI_configured_master>> masters;
    const std::vector<std::unique_ptr<PCI_configured_target>> targets;
    PCI_bus pb;        // "pb": the shared nets and the cycle dump
    PCI_monitor pmon;  // "pmon": protocol checks, trace and statistics

    // Seeds applied by reset(), number n at index n - 1; set before reset().
    std::vector<PCI_source_seeds> master_seeds;
    std::vector<PCI_source_seeds> target_seeds;

  private:
    // Masters whose work is not finished, kept by the masters themselves
    // (count_running_in): the run's end test reads one number per cycle.
    int32_t running_masters_ = 0;
};
