#pragma once
// What the bus monitor collects per target: the address map that sorts each
// transaction into a "card" (an address range), and the per-card counters of
// decode speeds, data phases and latencies, kept by a listener of the
// monitor's transaction events. The text report lives in report.h.

#include <cstdint>

#include "monitor/events.h"

// Up to 256 address ranges in insertion order. Card numbers are entry indices.
class PCI_address_map {
  public:
    // Number of entries the map can hold.
    static constexpr int max_entries = 256;
    // Card of an address that matches no entry; its counters are kept too.
    static constexpr int no_card = 255;

    // Appends (base, mask); a full map ignores the call silently.
    void add_range(uint32_t base, uint32_t mask) {
        if (count_ >= max_entries)
            return;
        base_[count_] = base;
        mask_[count_] = mask;
        ++count_;
    }

    // Index of the first entry with (address & mask) == base, else no_card.
    int find_range(uint32_t address) const {
        for (int i = 0; i < count_; ++i) {
            if ((address & mask_[i]) == base_[i])
                return i;
        }
        return no_card;
    }

    int32_t count() const { return count_; }
    uint32_t base(int index) const { return base_[index]; }
    uint32_t mask(int index) const { return mask_[index]; }

  private:
    int32_t count_ = 0;                // entries in use, 0..max_entries
    uint32_t base_[max_entries] = {};  // base address of each entry
    uint32_t mask_[max_entries] = {};  // address bits compared for each entry
};

// The sums of one card's counters that the text report and the statistics
// document both give, worked out once (PCI_target_statistics::figures).
struct PCI_card_figures {
    int32_t claimed = 0;          // transactions claimed, at any decode speed
    int32_t first_phases = 0;     // first data phases: the initial latency samples
    double initial_weighted = 0;  // sum of initial latency x count
    int32_t later_phases = 0;     // data phases after the first one: burst samples
    double burst_weighted = 0;    // sum of burst latency x count
};

// Per-card counters, indexed [...][card]. A plain record: the monitor counts,
// the report reads.
struct PCI_target_statistics {
    // Columns of every table, one per card number.
    static constexpr int cards = PCI_address_map::max_entries;
    // Rows of decode_count: FAST, MED, SLOW, SUB (speed_index of the speed).
    static constexpr int decode_speeds = pci_decode_speeds;
    // Highest bin of each latency histogram; longer waits are counted there.
    static constexpr int max_initial_latency = 32;
    static constexpr int max_burst_latency = 16;

    // Zeroes every counter.
    void clear();
    // The sums of card's counters.
    PCI_card_figures figures(int card) const;

    // Address phases with a recognised command, whatever their card.
    int32_t total_transfers = 0;
    // Transactions claimed per decode speed (speed_index).
    int32_t decode_count[decode_speeds][cards] = {};
    // Histogram of the first data phase's wait, clocks after DEVSEL#.
    int32_t initial_latency[max_initial_latency + 1][cards] = {};
    // Histogram of every later data phase's wait, clocks after the previous one.
    int32_t burst_latency[max_burst_latency + 1][cards] = {};
    // Data phases completed.
    int32_t data_count[cards] = {};
};

// Counts the monitor's events into a PCI_target_statistics record.
class PCI_statistics_recorder : public PCI_transaction_listener {
  public:
    // Zeroes every counter.
    void clear() { stats.clear(); }
    const PCI_target_statistics& statistics() const { return stats; }

    void on_address(const PCI_address_event& event) override;
    void on_claim(int32_t cycle, PCI_decode_speed speed) override;
    void on_data_phase(const PCI_data_event& event) override;

  private:
    PCI_target_statistics stats;          // the counters
    int card = PCI_address_map::no_card;  // card of the current transaction
};
