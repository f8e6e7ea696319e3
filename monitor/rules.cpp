#include "monitor/rules.h"

#include "pci/agent.h"

namespace {
// One report line: the text and the observer's hierarchical name.
void report(const char* text, const PCI_agent& observer) {
    char buffer[SIM_name::buffer_size];
    observer.sim_out() << text << observer.name.full_name(buffer, SIM_name::buffer_size - 1) << std::endl;
}
}  // namespace

void PCI_rule_checker::check(const PCI_agent& observer) {
    const logic_value trdy = observer.trdy.read();
    const logic_value irdy = observer.irdy.read();
    const logic_value stop = observer.stop.read();
    const logic_value frame = observer.frame.read();
    const logic_value devsel = observer.devsel.read();

    // A conflict (or an unknown driver) on a control line.
    if (trdy == VX)
        report("ERROR: TRDY unknown on ", observer);
    if (irdy == VX)
        report("ERROR: IRDY unknown on ", observer);
    if (stop == VX)
        report("ERROR: STOP unknown on ", observer);
    if (frame == VX)
        report("ERROR: FRAME unknown on ", observer);
    if (devsel == VX)
        report("ERROR: DEVSEL unknown on ", observer);

    // A sustained tri-state line must be driven high for one clock before it
    // is released; a strong 0 followed by the pull-up level was released
    // while asserted.
    if (trdy == VH && prev_trdy == V0)
        report("ERROR: TRDY s/t/s violation on ", observer);
    if (irdy == VH && prev_irdy == V0)
        report("ERROR: IRDY s/t/s violation on ", observer);
    if (stop == VH && prev_stop == V0)
        report("ERROR: STOP s/t/s violation on ", observer);
    if (frame == VH && prev_frame == V0)
        report("ERROR: FRAME s/t/s violation on ", observer);
    if (devsel == VH && prev_devsel == V0)
        report("ERROR: DEVSEL s/t/s violation on ", observer);

    // FRAME# goes away with the last data phase, which needs IRDY# asserted.
    if (prev_frame == V0 && frame == V1 && !level_is_low(irdy)) {
        observer.sim_out() << "ERROR: FRAME cannot be deasseted when IRDY is deasserted" << std::endl;
    }

    prev_trdy = trdy;
    prev_irdy = irdy;
    prev_stop = stop;
    prev_frame = frame;
    prev_devsel = devsel;
}
