#include "outputs/bus_activity.h"

#include "pci/bus.h"

void PCI_bus_activity::count(const SIM_cycle_info& info) {
    const bool busy = bus_.frame.is_low() || bus_.irdy.is_low();
    if (busy)
        ++busy_;
    else if (was_busy_)
        ++turnaround_;
    else
        ++idle_;
    was_busy_ = busy;
    last_ = info;
}

int64_t PCI_bus_activity::closing_index() const {
    return last_.end == SIM_cycle_end::running ? int64_t{last_.run_index} + 1 : last_.run_index;
}

const char* PCI_bus_activity::stopped_by() const {
    switch (last_.end) {
        case SIM_cycle_end::masters_done:
            return "masters_done";
        case SIM_cycle_end::window_passed:
            return "dump_window";
        case SIM_cycle_end::running:
            break;
    }
    return "iteration_limit";
}
