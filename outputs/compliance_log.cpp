#include "outputs/compliance_log.h"

#include <ostream>

PCI_compliance_log::PCI_compliance_log(std::string path, const PCI_bus& bus,
                                       const SIM_context& context)
    : file_(std::move(path)),
      checker_(bus, find_bus_agents(bus, context),
               [this](const PCI_compliance_violation& violation) { write(violation); }) {}

std::string PCI_compliance_log::open() {
    std::string error = file_.open();
    if (error.empty())
        file_.stream() << header << "\r\n";
    return error;
}

void PCI_compliance_log::write(const PCI_compliance_violation& v) {
    file_.stream() << v.cycle << ',' << v.rule << ',' << csv_field(v.agents) << ','
                   << csv_field(v.detail) << "\r\n";
}
