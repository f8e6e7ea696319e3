#pragma once
// The statistics document (option --stats-json): every setting in effect (the
// design among them), how the run went, and per master, target, card, bus
// and protocol rule the figures of the run, with the masters' bandwidth and
// fairness, as one JSON object (format "pcisim-stats", version 2;
// outputs/stats.schema.json describes it).

#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "outputs/data_exporter.h"
#include "outputs/design_view.h"

class PCI_transaction_collector;
class PCI_bus_activity;

// What the document is made from.
struct PCI_stats_sources {
    const PCI_design_view& view;                 // the design after the run
    const PCI_data_request& request;             // the settings recorded
    const PCI_transaction_collector& collector;  // the ends of the transactions
    const PCI_bus_activity& activity;            // the run's cycles
};

// Builds the document.
nlohmann::ordered_json stats_document(const PCI_stats_sources& sources);

// Jain's fairness index of the values, (sum x)^2 / (n sum x^2): 1 when all
// are equal, 1/n when one has everything; none when all are 0 or there are
// none.
std::optional<double> jain_index(const std::vector<double>& values);
// Megabytes (10^6 bytes) a second moved by words 4-byte data phases in
// cycles clocks at 33 MHz; none for no cycles.
std::optional<double> throughput_mb_s(int64_t words, int64_t cycles);
// The nearest-rank percentile (0 < percent <= 100) of the values; none for
// no values.
std::optional<int32_t> percentile(std::vector<int32_t> values, int percent);
