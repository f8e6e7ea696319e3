#pragma once
// The text report of the monitor's per-card statistics.
//
// It prints through the stream's settings as they stand and changes them for
// the rest of the run: precision 2 from the first card line on, and fixed
// notation from the first burst-latency line on. Padded fields use the
// stream's current fill character. The number base is set for every field.

#include <ostream>

#include "monitor/statistics.h"

// "Total transfers: " and one block per entry of the map.
void print_target_report(std::ostream& out, const PCI_address_map& map,
                         const PCI_target_statistics& stats);
