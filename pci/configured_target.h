#pragma once
// The target a design describes (PCI_target_spec): its BAR window, decode
// speed per class of command, initial wait for reads and for writes, the
// wait inside a burst, what ends a burst with a Disconnect with data, the
// retry thresholds and whether a stopped read carries a retry hint.
//
// A fixed number draws nothing, a range [lo, hi] draws exactly one number,
// lo + next() % (hi - lo + 1): the initial wait once per new first data
// phase (the read or the write range by the command), the burst wait once
// per later data phase it applies to, the disconnect count once per reload.

#include <cstdint>

#include "pci/design.h"
#include "pci/random.h"
#include "pci/target_variants.h"

class PCI_configured_target final : public PCI_hint_target {
  public:
    // Sets BAR0, its mask, the Command register (memory space), the decode
    // speeds and the thresholds from params. The seeds are set by the bench.
    PCI_configured_target(const char* name, SIM_instance* parent, const PCI_target_spec& params);

    // The value of a draw: fixed, or one number from the range.
    int32_t draw(const PCI_draw& value) {
        if (!value.ranged)
            return static_cast<int32_t>(value.lo);
        return static_cast<int32_t>(value.lo + rng.next() % (value.hi - value.lo + 1));
    }

    SIM_random rng;  // every draw of the target; seeded by the bench

  protected:
    bool stop_with_data() override;
    uint32_t retry_data() override;
    // The initial or the burst wait, the hooks below called directly.
    int32_t wait_states(bool first) override { return first ? initial_wait() : burst_wait(); }
    int32_t initial_wait() override { return draw(is_read() ? wait_read_ : wait_write_); }
    int32_t burst_wait() override {
        if ((address & burst_every_mask_) != 0)
            return 0;
        return draw(burst_wait_);
    }
    int32_t burst_limit() override;

  private:
    PCI_draw wait_read_;              // clocks before a read's first data phase
    PCI_draw wait_write_;             // clocks before a write's
    PCI_draw burst_wait_;             // clocks before a later data phase
    uint32_t burst_every_mask_ = 0;   // the burst wait applies where (address & it) == 0
    PCI_disconnect_kind disconnect_;  // what ends a burst with data
    PCI_draw disconnect_after_;       // data phases before it, for `after`
    uint32_t boundary_mask_ = 0;      // `at_boundary`: block size - 4
    bool retry_hint_ = true;          // a stopped read carries the hint
};
