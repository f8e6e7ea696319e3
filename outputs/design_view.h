#pragma once
// What the outputs see of a built design: the design value (names, counts,
// settings) and the running parts they read figures and wires from, in the
// design's order. The outputs never see the test bench itself.

#include <string>
#include <vector>

#include "pci/design.h"
#include "pci/master_variants.h"
#include "pci/random.h"

class PCI_bus;
class PCI_monitor;
class PCI_target;

struct PCI_design_view {
    const PCI_design& design;                       // the design as it runs
    std::string top;                                // the top instance's own name ("tb")
    std::vector<const PCI_random_master*> masters;  // master n at index n - 1
    std::vector<const PCI_target*> targets;         // target n at index n - 1
    std::vector<PCI_source_seeds> master_seeds;     // the seeds in effect, per master
    std::vector<PCI_source_seeds> target_seeds;     // and per target
    const PCI_bus& bus;                             // the shared wires
    const PCI_monitor& monitor;                     // statistics, map and rules

    // Whether every master has finished its work.
    bool all_done() const {
        for (const PCI_random_master* master : masters)
            if (!master->is_done())
                return false;
        return true;
    }
};
