#pragma once
// The statistics document (option --stats-json): every setting in effect, how
// the run went, and per master, target, card, bus and protocol rule the
// figures of the run, as one JSON object (format "pcisim-stats", version 1;
// outputs/stats.schema.json describes it).

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/long_options.h"

class PCI_testbench;
class PCI_transaction_collector;
class PCI_bus_activity;
class PCI_compliance_checker;

// What the document is made from.
struct PCI_stats_sources {
    const PCI_testbench& bench;                  // the design after the run
    const std::vector<std::string>& arguments;   // argv[1..] as given
    const extension_settings& extensions;        // the long options' settings
    const PCI_transaction_collector& collector;  // the ends of the transactions
    const PCI_bus_activity& activity;            // the run's cycles
    const PCI_compliance_checker* compliance;    // the rulebook's counts; null without it
};

// Builds the document.
nlohmann::ordered_json stats_document(const PCI_stats_sources& sources);
