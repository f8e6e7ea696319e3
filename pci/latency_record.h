#pragma once
// A record of measured latencies in clocks: how many, their sum, the
// extremes, a histogram with one bin per clock up to an open last bin, and
// the latencies themselves (for percentiles).

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

struct PCI_latency_record {
    // Highest bin of the histogram; longer latencies are counted there.
    static constexpr int max_bin = 127;

    // Counts one latency; a negative one (never measured) goes to bin 0.
    void add(int32_t latency) {
        const int32_t value = std::max(latency, int32_t{0});
        ++count;
        total += latency;
        min = count == 1 ? value : std::min(min, value);
        max = count == 1 ? value : std::max(max, value);
        ++histogram[std::min(value, int32_t{max_bin})];
        values.push_back(value);
    }
    // Forgets every latency.
    void clear() { *this = PCI_latency_record(); }

    int32_t count = 0;                             // latencies counted
    int64_t total = 0;                             // their sum
    int32_t min = 0;                               // the shortest (0 while count is 0)
    int32_t max = 0;                               // the longest (0 while count is 0)
    std::array<int32_t, max_bin + 1> histogram{};  // latencies per clock count
    std::vector<int32_t> values;                   // every latency, in order (as binned)
};
