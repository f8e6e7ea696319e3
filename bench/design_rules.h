#pragma once
// The rules that relate the parts of a design to each other, checked after
// every value has been read: counts, names, BAR windows, master windows,
// monitor cards, and the warnings about what is legal but likely a mistake.
// Values out of their own range are the reader's business (design_file.h).

#include <cstdint>
#include <string>
#include <vector>

#include "bench/design_diagnostics.h"
#include "pci/design.h"

// Where each part of a design was written, for the problems found in it.
// Missing entries (a design built in code) are reported nowhere.
struct PCI_design_places {
    // Places of one master or target.
    struct agent {
        PCI_design_place table;                 // its [[master]] / [[target]] header
        PCI_design_place name;                  // its name value
        PCI_design_place bar;                   // targets: the bar value
        std::vector<PCI_design_place> windows;  // masters: each window, in order
        // Its bar (a target) or its windows (a master) were read without
        // error; the rules about them skip it otherwise.
        bool usable = true;
    };
    PCI_design_place file;                // the start of the design (counts of the whole)
    std::vector<agent> masters;           // by master position
    std::vector<agent> targets;           // by target position
    std::vector<PCI_design_place> cards;  // each [[monitor.card]], in order
    // Place of master i, target i, card i (nowhere when not recorded).
    const agent& master(size_t i) const;
    const agent& target(size_t i) const;
    PCI_design_place card(size_t i) const;
};

// The name of a valid agent or card: [a-z][a-z0-9_]{0,15}, not reserved.
bool design_name_valid(const std::string& name);
// Whether value is a power of two (0 is not).
bool is_power_of_two(uint64_t value);
// Bytes as the design file writes them: "64KiB", "1MiB", "48B".
std::string format_size(uint64_t bytes);
// An address as 0x and eight hex digits.
std::string format_address(uint64_t address);

// Checks the rules over design, reporting at places.
void check_design_rules(const PCI_design& design, const PCI_design_places& places,
                        PCI_design_diagnostics& diagnostics);
