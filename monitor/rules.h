#pragma once
// Protocol rule checks the bus monitor runs every cycle on the five
// handshake lines: no unknown levels, sustained tri-state lines driven high
// before release, and FRAME# deasserted only while IRDY# is asserted. Each
// rule counts how often it applied and how often it was broken.

#include <array>
#include <cstdint>

#include "kernel/logic.h"
#include "pci/agent.h"

class PCI_rule_checker {
  public:
    // The rules, in the order of their report lines.
    enum rule : int {
        trdy_known,           // TRDY# never unknown (checked every cycle)
        irdy_known,           // IRDY# never unknown
        stop_known,           // STOP# never unknown
        frame_known,          // FRAME# never unknown
        devsel_known,         // DEVSEL# never unknown
        trdy_sts,             // TRDY# driven high before release (checked when it leaves 0)
        irdy_sts,             // IRDY# the same
        stop_sts,             // STOP# the same
        frame_sts,            // FRAME# the same
        devsel_sts,           // DEVSEL# the same
        frame_end_with_irdy,  // FRAME# 0 -> 1 only with IRDY# asserted (checked on each such edge)
        rule_count,
    };
    // How often one rule applied, and how often it was broken.
    struct counts {
        int64_t checked = 0;   // cycles in which the rule applied
        int64_t violated = 0;  // of those, cycles in which it was broken
    };

    // Checks the current levels seen by the agent's ports, prints an
    // "ERROR: " line per broken rule (naming the agent), and remembers the
    // levels for the next cycle. Inline: the monitor checks every cycle.
    void check(const PCI_agent& observer) {
        const logic_value trdy = observer.trdy.read();
        const logic_value irdy = observer.irdy.read();
        const logic_value stop = observer.stop.read();
        const logic_value frame = observer.frame.read();
        const logic_value devsel = observer.devsel.read();

        // The unknown-level rules apply in every cycle; the others only
        // where a strong 0 went away. Most cycles have neither an unknown
        // line nor such an edge: then the count is all there is to do.
        ++checks_;
        const uint32_t levels = pack(trdy, irdy, stop, frame, devsel);
        if (levels != quiet_levels)
            check_new_levels(observer, trdy, irdy, stop, frame, devsel, levels);
    }

    // Zeroes the counts (the remembered levels stay).
    void clear_counts() {
        counts_ = {};
        checks_ = 0;
    }
    // The counts of one rule.
    counts count_of(rule which) const {
        counts c = counts_[which];
        if (which <= devsel_known)
            c.checked = checks_;
        return c;
    }
    // A short stable name of the rule, e.g. "frame_sts".
    static const char* rule_name(rule which);

  private:
    // Counts one application of a rule; returns broken.
    bool tally(rule which, bool broken);
    // check() past levels other than the quiet ones (levels packed): the
    // rules that apply, and the levels remembered.
    [[gnu::noinline]] void check_new_levels(const PCI_agent& observer, logic_value trdy,
                                            logic_value irdy, logic_value stop, logic_value frame,
                                            logic_value devsel, uint32_t levels);
    // The checks of a cycle in which a line is unknown or a strong 0 went
    // away; the applications of the unknown-level rules check() counts.
    [[gnu::noinline]] void check_changes(const PCI_agent& observer, logic_value trdy,
                                         logic_value irdy, logic_value stop, logic_value frame,
                                         logic_value devsel);

    // The five levels as one number, three bits each, TRDY# lowest.
    static constexpr uint32_t pack(logic_value trdy, logic_value irdy, logic_value stop,
                                   logic_value frame, logic_value devsel) {
        return static_cast<uint32_t>(trdy) | static_cast<uint32_t>(irdy) << 3 |
               static_cast<uint32_t>(stop) << 6 | static_cast<uint32_t>(frame) << 9 |
               static_cast<uint32_t>(devsel) << 12;
    }
    // Matches no packed levels.
    static constexpr uint32_t no_quiet_levels = ~uint32_t{0};

    // Levels at the previous check. Z before the first one: then a line
    // cannot look as if it had just been released.
    logic_value prev_trdy = VZ;                // TRDY#
    logic_value prev_irdy = VZ;                // IRDY#
    logic_value prev_stop = VZ;                // STOP#
    logic_value prev_frame = VZ;               // FRAME#
    logic_value prev_devsel = VZ;              // DEVSEL#
    std::array<counts, rule_count> counts_{};  // per rule, indexed by rule; the
                                               // unknown-level rules' checked is checks_
    int64_t checks_ = 0;  // checks since the counts were cleared (each applies those rules)
    // The previous check's levels, packed, if none of them was unknown;
    // else no_quiet_levels. The same levels again have no line unknown and
    // none released: the check only counts.
    uint32_t quiet_levels = pack(VZ, VZ, VZ, VZ, VZ);
};
