#pragma once
// The master a design describes (PCI_master_spec): its read share, read and
// write lengths, address windows with their weights, address mode, commands,
// think time between transactions, own wait states and Latency Timer rule.
//
// Randomness follows the design's shapes: a fixed number draws nothing, a
// range [lo, hi] draws exactly one number, lo + next() % (hi - lo + 1). The
// draws of a new transaction come in this order: the window (only when
// there are several), the address (random mode only), the command (always),
// the length (a range only), the gap (a range only). A random address in a
// window of size S takes one draw, (next() & (S - 4)) + base, while S fits
// the source's 15 bits (up to 32 KiB); a larger window takes one more draw
// for each further 15 bits, the first draw giving the high bits.

#include <cstdint>
#include <vector>

#include "pci/design.h"
#include "pci/master_variants.h"

// A window of addresses as the master uses it: resolved to bus addresses.
struct PCI_master_window {
    uint32_t base = 0;    // first byte
    uint32_t size = 0;    // bytes, a power of two (at least 4)
    int32_t weight = 1;   // share among the master's windows
    uint32_t cursor = 0;  // sequential mode: offset of the next transaction
};

class PCI_configured_master final : public PCI_random_master {
  public:
    // windows: the design's windows with their targets' bases added, in the
    // design's order. The seeds are set by the bench.
    PCI_configured_master(const char* name, SIM_instance* parent, const PCI_master_spec& params,
                          std::vector<PCI_master_window> windows);

    // Clears the sequential cursors and the think time, then resets.
    void reset() override;

    // The value of a draw: fixed, or one number from the range.
    int32_t draw(const PCI_draw& value) {
        if (!value.ranged)
            return static_cast<int32_t>(value.lo);
        return static_cast<int32_t>(value.lo + rng.next() % (value.hi - value.lo + 1));
    }

  protected:
    // False during the think time after a transaction, then as for any
    // retry master. A design without think time never has one to test.
    bool can_start() override {
        if (think_time_ && sim_cycle() < gap_end_)
            return false;
        return PCI_retry_master::can_start();
    }
    // Counts the transaction, then picks its window and address.
    uint32_t next_address() override;
    // The read command with the read share, else the write command.
    uint32_t next_command() override;
    // The read or write length; draws the gap that follows.
    int32_t burst_length() override;
    // The master's own wait states, the two hooks below called directly.
    int32_t wait_states(bool first) override { return first ? initial_wait() : burst_wait(); }
    int32_t initial_wait() override { return draw(initial_wait_); }
    int32_t burst_wait() override { return draw(burst_wait_); }
    // With a think time REQ# goes high after the last data phase.
    bool holds_request() override;

  private:
    // A random offset below size (a power of two), word aligned.
    uint32_t random_offset(uint32_t size);

    PCI_draw read_length_;                    // data phases of a read
    PCI_draw write_length_;                   // data phases of a write
    std::vector<PCI_master_window> windows_;  // where the addresses go
    int64_t total_weight_ = 0;                // sum of the windows' weights
    PCI_address_mode mode_;                   // random or sequential addresses
    uint32_t read_command_;                   // command of a read
    uint32_t write_command_;                  // command of a write
    PCI_draw gap_;                            // think time after a transaction
    bool think_time_;                         // some draw of gap_ is above 0
    PCI_draw initial_wait_;                   // IRDY# delay before the first data phase
    PCI_draw burst_wait_;                     // IRDY# delay before each later one
    int32_t window_ = 0;                      // window of the current transaction
    int32_t next_gap_ = 0;                    // think time after the current transaction
    int32_t gap_end_ = 0;                     // no request before this cycle
};
