#include "monitor/rules.h"

#include "pci/agent.h"

namespace {
// One report line: the text and the observer's hierarchical name.
void report(const char* text, const PCI_agent& observer) {
    char buffer[SIM_name::buffer_size];
    observer.sim_out() << text << observer.name.full_name(buffer, SIM_name::buffer_size - 1)
                       << std::endl;
}

// Names of the rules, indexed by PCI_rule_checker::rule.
constexpr const char* rule_names[PCI_rule_checker::rule_count] = {
    "trdy_known", "irdy_known", "stop_known", "frame_known", "devsel_known",        "trdy_sts",
    "irdy_sts",   "stop_sts",   "frame_sts",  "devsel_sts",  "frame_end_with_irdy",
};
}  // namespace

const char* PCI_rule_checker::rule_name(rule which) {
    return rule_names[which];
}

bool PCI_rule_checker::tally(rule which, bool broken) {
    ++counts_[which].checked;
    if (broken)
        ++counts_[which].violated;
    return broken;
}

void PCI_rule_checker::check_new_levels(const PCI_agent& observer, logic_value trdy,
                                        logic_value irdy, logic_value stop, logic_value frame,
                                        logic_value devsel, uint32_t levels) {
    const bool unknown = trdy == VX || irdy == VX || stop == VX || frame == VX || devsel == VX;
    const bool released = (prev_trdy == V0 && trdy != V0) || (prev_irdy == V0 && irdy != V0) ||
                          (prev_stop == V0 && stop != V0) || (prev_frame == V0 && frame != V0) ||
                          (prev_devsel == V0 && devsel != V0);
    if (unknown || released)
        check_changes(observer, trdy, irdy, stop, frame, devsel);

    prev_trdy = trdy;
    prev_irdy = irdy;
    prev_stop = stop;
    prev_frame = frame;
    prev_devsel = devsel;
    quiet_levels = unknown ? no_quiet_levels : levels;
}

void PCI_rule_checker::check_changes(const PCI_agent& observer, logic_value trdy, logic_value irdy,
                                     logic_value stop, logic_value frame, logic_value devsel) {
    // A conflict (or an unknown driver) on a control line.
    if (trdy == VX) {
        ++counts_[trdy_known].violated;
        report("ERROR: TRDY unknown on ", observer);
    }
    if (irdy == VX) {
        ++counts_[irdy_known].violated;
        report("ERROR: IRDY unknown on ", observer);
    }
    if (stop == VX) {
        ++counts_[stop_known].violated;
        report("ERROR: STOP unknown on ", observer);
    }
    if (frame == VX) {
        ++counts_[frame_known].violated;
        report("ERROR: FRAME unknown on ", observer);
    }
    if (devsel == VX) {
        ++counts_[devsel_known].violated;
        report("ERROR: DEVSEL unknown on ", observer);
    }

    // A sustained tri-state line must be driven high for one clock before it
    // is released; a strong 0 followed by the pull-up level was released
    // while asserted. The rule applies whenever a strong 0 goes away.
    if (prev_trdy == V0 && trdy != V0 && tally(trdy_sts, trdy == VH))
        report("ERROR: TRDY s/t/s violation on ", observer);
    if (prev_irdy == V0 && irdy != V0 && tally(irdy_sts, irdy == VH))
        report("ERROR: IRDY s/t/s violation on ", observer);
    if (prev_stop == V0 && stop != V0 && tally(stop_sts, stop == VH))
        report("ERROR: STOP s/t/s violation on ", observer);
    if (prev_frame == V0 && frame != V0 && tally(frame_sts, frame == VH))
        report("ERROR: FRAME s/t/s violation on ", observer);
    if (prev_devsel == V0 && devsel != V0 && tally(devsel_sts, devsel == VH))
        report("ERROR: DEVSEL s/t/s violation on ", observer);

    // FRAME# goes away with the last data phase, which needs IRDY# asserted.
    if (prev_frame == V0 && frame == V1 && tally(frame_end_with_irdy, !level_is_low(irdy))) {
        observer.sim_out() << "ERROR: FRAME cannot be deasseted when IRDY is deasserted"
                           << std::endl;
    }
}
