#pragma once
// The agents of one bus as a design built them, found from the kernel's own
// lists rather than from a fixed bench: every module whose FRAME# pin is on
// the bus's FRAME# wire, and every request/grant pair of an arbiter among
// them with the agent whose pin sits on the pair's GNT# wire. Whatever
// number of masters and targets a design has, this finds them.

#include <string>
#include <vector>

#include "kernel/context.h"
#include "kernel/signal.h"
#include "pci/agent.h"
#include "pci/bus.h"

struct PCI_bus_agents {
    // One request/grant pair of an arbiter.
    struct grant_pair {
        const SIM_port* request;  // the arbiter's port on the REQ# wire
        const SIM_port* grant;    // the arbiter's port on the GNT# wire
        int agent;                // the agent (index into agents) with a pin on GNT#; -1 none
    };

    std::vector<const PCI_agent*> agents;  // on the bus, in the design's instance order
    std::vector<std::string> names;        // each agent's own name ("pm1"), same order
    std::vector<grant_pair> grants;        // every arbiter's pairs, arbiter by arbiter

    // The index of the agent named by the port's owner, or -1.
    int owner_of(const SIM_port& port) const;
};

// The agents of bus in the design that context runs.
PCI_bus_agents find_bus_agents(const PCI_bus& bus, const SIM_context& context);
