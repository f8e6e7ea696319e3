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

void PCI_rule_checker::check(const PCI_agent& observer) {
    const logic_value trdy = observer.trdy.read();
    const logic_value irdy = observer.irdy.read();
    const logic_value stop = observer.stop.read();
    const logic_value frame = observer.frame.read();
    const logic_value devsel = observer.devsel.read();

    // A conflict (or an unknown driver) on a control line.
    if (tally(trdy_known, trdy == VX))
        report("ERROR: TRDY unknown on ", observer);
    if (tally(irdy_known, irdy == VX))
        report("ERROR: IRDY unknown on ", observer);
    if (tally(stop_known, stop == VX))
        report("ERROR: STOP unknown on ", observer);
    if (tally(frame_known, frame == VX))
        report("ERROR: FRAME unknown on ", observer);
    if (tally(devsel_known, devsel == VX))
        report("ERROR: DEVSEL unknown on ", observer);

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

    prev_trdy = trdy;
    prev_irdy = irdy;
    prev_stop = stop;
    prev_frame = frame;
    prev_devsel = devsel;
}
