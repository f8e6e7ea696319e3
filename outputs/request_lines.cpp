#include "outputs/request_lines.h"

#include "kernel/signal.h"

void PCI_request_lines::on_cycle(const SIM_cycle_info& info) {
    if (info.end != SIM_cycle_end::running)
        return;
    const char* separator = "";
    for (const SIM_port* pin : pins_) {
        out_ << separator << *pin;
        separator = "  ";
    }
    out_ << std::endl;
}
