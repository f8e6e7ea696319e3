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

PCI_card_figures PCI_target_statistics::figures(int card) const {
    PCI_card_figures f;
    for (int speed = 0; speed < decode_speeds; ++speed) f.claimed += decode_count[speed][card];
    // Latency x count is exact in 64 bits and in a double.
    for (int latency = 0; latency <= max_initial_latency; ++latency) {
        const int32_t count = initial_latency[latency][card];
        f.initial_weighted += static_cast<double>(static_cast<int64_t>(latency) * count);
        f.first_phases += count;
    }
    for (int latency = 0; latency <= max_burst_latency; ++latency) {
        const int32_t count = burst_latency[latency][card];
        f.burst_weighted += static_cast<double>(static_cast<int64_t>(latency) * count);
        f.later_phases += count;
    }
    return f;
}

void PCI_statistics_recorder::on_address(const PCI_address_event& event) {
    if (!event.decoded)
        return;
    card = event.card;
    ++stats.total_transfers;
}

void PCI_statistics_recorder::on_claim(int32_t, PCI_decode_speed speed) {
    ++stats.decode_count[speed_index(speed)][card];
}

void PCI_statistics_recorder::on_data_phase(const PCI_data_event& event) {
    // Longer waits than the last bin are counted there.
    if (event.first) {
        const int32_t bin =
            std::min(event.wait, int32_t{PCI_target_statistics::max_initial_latency});
        ++stats.initial_latency[bin][card];
    } else {
        const int32_t bin = std::min(event.wait, int32_t{PCI_target_statistics::max_burst_latency});
        ++stats.burst_latency[bin][card];
    }
    ++stats.data_count[card];
}
