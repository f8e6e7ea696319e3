#include "monitor/statistics.h"

#include <algorithm>
#include <iterator>

void PCI_target_statistics::clear() {
    total_transfers = 0;
    for (auto& row : decode_count) std::fill(std::begin(row), std::end(row), 0);
    for (auto& row : initial_latency) std::fill(std::begin(row), std::end(row), 0);
    for (auto& row : burst_latency) std::fill(std::begin(row), std::end(row), 0);
    std::fill(std::begin(data_count), std::end(data_count), 0);
}
