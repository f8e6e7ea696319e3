#include "monitor/bus_agents.h"

#include "kernel/instance.h"
#include "pci/arbiter.h"

namespace {
// The wire a port drives and reads, merged chains taken as one; null if none.
const SIM_net* wire_of(const SIM_port& port) {
    const SIM_net* net = port.attached_net();
    return net != nullptr ? net->root() : nullptr;
}
}  // namespace

int PCI_bus_agents::owner_of(const SIM_port& port) const {
    for (size_t i = 0; i < agents.size(); ++i)
        if (port.name.parent() == &agents[i]->name)
            return static_cast<int>(i);
    return -1;
}

PCI_bus_agents find_bus_agents(const PCI_bus& bus, const SIM_context& context) {
    PCI_bus_agents found;
    const SIM_net* frame = bus.frame.root();
    for (const SIM_instance* instance : context.instance_list()) {
        const auto* agent = dynamic_cast<const PCI_agent*>(instance);
        if (agent != nullptr && wire_of(agent->frame) == frame) {
            found.agents.push_back(agent);
            found.names.push_back(agent->name.own_name());
        }
    }
    for (const PCI_agent* agent : found.agents) {
        const auto* arbiter = dynamic_cast<const PCI_arbiter_base*>(agent);
        if (arbiter == nullptr)
            continue;
        for (int i = 0; i < arbiter->masters(); ++i) {
            const SIM_port& grant = arbiter->grant_port(i);
            const SIM_net* grant_wire = wire_of(grant);
            int owner = -1;
            // The other pin on the GNT# wire belongs to the granted agent.
            for (const SIM_port* port : context.port_list()) {
                if (grant_wire == nullptr || port == &grant || wire_of(*port) != grant_wire)
                    continue;
                owner = found.owner_of(*port);
                if (owner >= 0)
                    break;
            }
            found.grants.push_back({&arbiter->request_port(i), &grant, owner});
        }
    }
    return found;
}
