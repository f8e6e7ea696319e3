#pragma once
// Follows the monitor's transaction events and turns each transaction into
// one record: when it ran, which master drove it, where it went, how many
// words it moved and how it ended, with the ends named as PCI names them.
// It counts the ends per card and hands every finished record to a sink.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "monitor/events.h"
#include "monitor/statistics.h"

class SIM_signal;

// How a transaction ended.
enum class PCI_transaction_end : int {
    completed,                // the master ended it after its last data phase
    retry,                    // STOP# without data before any data phase
    disconnect_with_data,     // STOP# with TRDY#
    disconnect_without_data,  // STOP# without data after at least one data phase
    target_abort,             // STOP# without data and DEVSEL# deasserted
    master_abort,             // no target claimed it within four clocks
    not_decoded,              // a command the monitor does not follow
    unfinished,               // still running when the run stopped
};
// Number of kinds of end.
constexpr int pci_transaction_ends = 8;
// The kind's name in files: "completed", "retry", "disconnect_with_data", ...
const char* transaction_end_name(PCI_transaction_end end);

// One transaction as the monitor saw it.
struct PCI_transaction_record {
    int32_t start = 0;  // cycle of the address phase
    int32_t end = -1;   // cycle of its end; -1 while unfinished
    int master = -1;    // index of the master driving FRAME# at the address phase; -1 none
    int card = PCI_address_map::no_card;  // card of the address
    uint32_t command = 0;                 // C/BE# of the address phase
    uint32_t address = 0;                 // AD of the address phase
    int32_t data_phases = 0;              // words moved
    int32_t initial_wait = -1;            // clocks from DEVSEL# to the first word; -1 no word
    PCI_transaction_end termination = PCI_transaction_end::completed;  // how it ended
};

class PCI_transaction_collector : public PCI_transaction_listener {
  public:
    // Receives each finished record.
    using sink = std::function<void(const PCI_transaction_record&)>;

    // master_frames: each master's own FRAME# pin, in master order. on_record
    // may be empty.
    PCI_transaction_collector(std::vector<const SIM_signal*> master_frames, sink on_record);

    void on_address(const PCI_address_event& event) override;
    void on_master_abort(int32_t cycle) override;
    void on_data_phase(const PCI_data_event& event) override;
    void on_termination(const PCI_termination_event& event) override;
    void on_end(int32_t cycle, int32_t data_phases) override;

    // Hands over the transaction still running, as unfinished.
    void finish();
    // Transactions of a card (0 to 255) that ended so.
    int32_t count(int card, PCI_transaction_end end) const {
        return counts_[card][static_cast<int>(end)];
    }
    // Transactions (attempts included) master index (0 to 7) ran with the
    // command code (0 to 15).
    int32_t command_count(int master, uint32_t command) const {
        return command_counts_[master][command & 0xFu];
    }

  private:
    // Counts the open record, hands it to the sink and closes it.
    void close(int32_t cycle);

    std::vector<const SIM_signal*> master_frames_;  // FRAME# pin of each master
    sink on_record_;                                // where finished records go
    PCI_transaction_record current_;                // the transaction in progress
    bool open_ = false;                             // current_ is in progress
    // Finished transactions per card and kind of end.
    std::array<std::array<int32_t, pci_transaction_ends>, PCI_target_statistics::cards> counts_{};
    // Transactions per master index and command code.
    std::array<std::array<int32_t, 16>, 8> command_counts_{};
};
