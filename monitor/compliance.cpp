#include "monitor/compliance.h"

#include <algorithm>
#include <bit>
#include <string>

#include "pci/commands.h"

namespace {
// The control lines an agent drives, as bits of PCI_compliance_checker::drive.
enum control_line : int {
    line_frame,
    line_irdy,
    line_trdy,
    line_stop,
    line_devsel,
    line_par,
    line_perr,
    line_serr,
    control_lines,
};
// The pins of those lines, indexed by control_line.
constexpr SIM_port PCI_agent::*control_pins[control_lines] = {
    &PCI_agent::frame,  &PCI_agent::irdy, &PCI_agent::trdy, &PCI_agent::stop,
    &PCI_agent::devsel, &PCI_agent::par,  &PCI_agent::perr, &PCI_agent::serr,
};
// The wires contention looks at: the control lines, then AD and C/BE#.
constexpr int wire_ad = control_lines;
constexpr int wire_cbe = control_lines + 1;
constexpr const char* wire_names[control_lines + 2] = {
    "FRAME#", "IRDY#", "TRDY#", "STOP#", "DEVSEL#", "PAR", "PERR#", "SERR#", "AD", "C/BE#",
};

constexpr uint32_t bit(int line) {
    return uint32_t{1} << line;
}
constexpr uint64_t agent_bit(size_t agent) {
    return uint64_t{1} << agent;
}
bool strong(logic_value v) {
    return v == V0 || v == V1;
}

// Names of the rules, indexed by PCI_compliance_checker::rule.
constexpr const char* rule_names[PCI_compliance_checker::rule_count] = {
    "target_initial_latency",
    "target_subsequent_latency",
    "master_initial_latency",
    "master_subsequent_latency",
    "frame_stable_in_data_phase",
    "irdy_stable_in_data_phase",
    "frame_needs_grant",
    "one_grant",
    "trdy_stop_need_devsel",
    "devsel_held",
    "stop_held",
    "write_data_stable",
    "byte_enables_stable",
    "parity",
    "reserved_command",
    "contention",
    "turnaround",
};

// The reserved command codes: 4, 5, 8, 9.
bool reserved(uint32_t command) {
    return command_in(command, 0x0330);
}

std::string text(const char* first, int32_t number, const char* rest = "") {
    return first + std::to_string(number) + rest;
}
}  // namespace

const char* PCI_compliance_checker::rule_name(rule which) {
    return rule_names[which];
}

PCI_compliance_checker::PCI_compliance_checker(const PCI_bus& bus, PCI_bus_agents agents,
                                               sink report)
    : bus_(bus),
      agents_(std::move(agents)),
      watched_(std::min<size_t>(agents_.agents.size(), max_agents)),
      report_(std::move(report)),
      drives_(watched_),
      before_(watched_) {}

void PCI_compliance_checker::check(int32_t cycle) {
    sample();
    check_drives(cycle);
    check_grants(cycle);
    check_lines(cycle);
    follow_transaction(cycle);
    prev_ = now_;
    before_.swap(drives_);
}

void PCI_compliance_checker::sample() {
    now_.frame = bus_.frame.is_low();
    now_.irdy = bus_.irdy.is_low();
    now_.trdy = bus_.trdy.is_low();
    now_.stop = bus_.stop.is_low();
    now_.devsel = bus_.devsel.is_low();
    now_.par = bus_.par.read();
    now_.ad_known = bus_.ad_word.read(now_.ad);
    now_.cbe_known = bus_.cbe_word.read(now_.cbe);
    now_.granted = 0;
    now_.grants_low = 0;
    for (const PCI_bus_agents::grant_pair& pair : agents_.grants) {
        if (!pair.grant->is_low())
            continue;
        ++now_.grants_low;
        if (pair.agent >= 0 && static_cast<size_t>(pair.agent) < watched_)
            now_.granted |= agent_bit(static_cast<size_t>(pair.agent));
    }
    now_.frame_drivers = 0;
    for (size_t a = 0; a < watched_; ++a) {
        const PCI_agent& agent = *agents_.agents[a];
        drive d;
        for (int line = 0; line < control_lines; ++line) {
            const logic_value v = (agent.*control_pins[line]).own_level();
            if (strong(v))
                d.strong |= bit(line);
            if (v == V0)
                d.low |= bit(line);
        }
        d.ad = agent.ad_vector().strong_bits();
        d.cbe = agent.cbe_vector().strong_bits();
        if (d.low & bit(line_frame))
            now_.frame_drivers |= agent_bit(a);
        drives_[a] = d;
    }
}

bool PCI_compliance_checker::tally(rule which, bool broken) {
    ++counts_[which].checked;
    return broken;
}

void PCI_compliance_checker::violation(rule which, int32_t cycle, uint64_t agents,
                                       std::string detail) {
    ++counts_[which].violated;
    if (report_)
        report_({cycle, rule_names[which], names_of(agents), std::move(detail)});
}

std::string PCI_compliance_checker::names_of(uint64_t set) const {
    std::string names;
    for (size_t a = 0; a < watched_; ++a) {
        if (!(set & agent_bit(a)))
            continue;
        if (!names.empty())
            names += ' ';
        names += agents_.names[a];
    }
    return names;
}

uint64_t PCI_compliance_checker::driving(uint32_t drive::*member, uint32_t bits) const {
    uint64_t set = 0;
    for (size_t a = 0; a < watched_; ++a)
        if (drives_[a].*member & bits)
            set |= agent_bit(a);
    return set;
}

uint64_t PCI_compliance_checker::changed_on(uint32_t line_bit) const {
    uint64_t set = 0;
    for (size_t a = 0; a < watched_; ++a)
        if (((drives_[a].strong ^ before_[a].strong) | (drives_[a].low ^ before_[a].low)) &
            line_bit)
            set |= agent_bit(a);
    return set;
}

uint64_t PCI_compliance_checker::low_now(uint32_t line_bit) const {
    return driving(&drive::low, line_bit);
}

uint64_t PCI_compliance_checker::low_before(uint32_t line_bit) const {
    uint64_t set = 0;
    for (size_t a = 0; a < watched_; ++a)
        if (before_[a].low & line_bit)
            set |= agent_bit(a);
    return set;
}

void PCI_compliance_checker::check_drives(int32_t cycle) {
    // Bits driven by one agent so far, and by two or more.
    uint32_t seen = 0, twice = 0, seen_ad = 0, twice_ad = 0, seen_cbe = 0, twice_cbe = 0;
    for (const drive& d : drives_) {
        twice |= seen & d.strong;
        seen |= d.strong;
        twice_ad |= seen_ad & d.ad;
        seen_ad |= d.ad;
        twice_cbe |= seen_cbe & d.cbe;
        seen_cbe |= d.cbe;
    }
    const uint32_t contended =
        twice | (twice_ad ? bit(wire_ad) : 0) | (twice_cbe ? bit(wire_cbe) : 0);
    // One check per cycle; a contention counts once, in its first cycle.
    tally(contention, contended != 0);
    for (uint32_t fresh = contended & ~contended_; fresh != 0; fresh &= fresh - 1) {
        const int wire = std::countr_zero(fresh);
        const uint64_t set = wire == wire_ad    ? driving(&drive::ad, twice_ad)
                             : wire == wire_cbe ? driving(&drive::cbe, twice_cbe)
                                                : driving(&drive::strong, bit(wire));
        violation(contention, cycle, set,
                  std::string(wire_names[wire]) + " driven by " +
                      std::to_string(std::popcount(set)) + " agents at once");
    }
    contended_ = contended;

    // A sustained tri-state line or AD: an agent starts driving it in the
    // cycle right after another one's last. The lines as bits of one word.
    constexpr uint32_t sustained =
        bit(line_frame) | bit(line_irdy) | bit(line_trdy) | bit(line_stop) | bit(line_devsel);
    constexpr uint32_t ad_bit = bit(wire_ad);
    uint32_t started = 0, stopped = 0;
    for (size_t a = 0; a < watched_; ++a) {
        const uint32_t on = (drives_[a].strong & sustained) | (drives_[a].ad != 0 ? ad_bit : 0);
        const uint32_t was = (before_[a].strong & sustained) | (before_[a].ad != 0 ? ad_bit : 0);
        started |= on & ~was;
        stopped |= was & ~on;
    }
    counts_[turnaround].checked += std::popcount(started);
    for (uint32_t broken = started & stopped; broken != 0; broken &= broken - 1) {
        const int wire = std::countr_zero(broken);
        uint64_t starters = 0, stoppers = 0;
        for (size_t a = 0; a < watched_; ++a) {
            const bool on = wire == wire_ad ? drives_[a].ad != 0 : (drives_[a].strong & bit(wire));
            const bool was = wire == wire_ad ? before_[a].ad != 0 : (before_[a].strong & bit(wire));
            if (on && !was)
                starters |= agent_bit(a);
            if (was && !on)
                stoppers |= agent_bit(a);
        }
        violation(turnaround, cycle, starters | stoppers,
                  std::string(wire_names[wire]) + ": " + names_of(starters) +
                      " starts driving in the cycle after " + names_of(stoppers) +
                      " stopped, without an idle clock");
    }
}

void PCI_compliance_checker::check_grants(int32_t cycle) {
    // A violation that lasts counts once, in its first cycle.
    const bool several = now_.grants_low > 1;
    if (tally(one_grant, several && !grants_broken_))
        violation(one_grant, cycle, now_.granted,
                  std::to_string(now_.grants_low) + " GNT# lines asserted at once");
    grants_broken_ = several;

    // Every agent that asserts FRAME# now, its GNT# one cycle earlier.
    const uint64_t asserting = now_.frame_drivers & ~prev_.frame_drivers;
    if (asserting == 0)
        return;
    const uint64_t ungranted = asserting & ~prev_.granted;
    if (tally(frame_needs_grant, ungranted != 0))
        violation(frame_needs_grant, cycle, ungranted,
                  "FRAME# asserted without GNT# asserted in the cycle before");
}

void PCI_compliance_checker::check_lines(int32_t cycle) {
    if (waiting_before_) {
        if (tally(frame_stable_in_data_phase, now_.frame != prev_.frame))
            violation(frame_stable_in_data_phase, cycle, changed_on(bit(line_frame)),
                      std::string(now_.frame ? "FRAME# asserted" : "FRAME# deasserted") +
                          " before TRDY# or STOP#; " +
                          text("data phase waiting since cycle ", waiting_since_));
        if (tally(irdy_stable_in_data_phase, !now_.irdy))
            violation(irdy_stable_in_data_phase, cycle, changed_on(bit(line_irdy)),
                      "IRDY# deasserted before TRDY# or STOP#; " +
                          text("data phase waiting since cycle ", waiting_since_));
        const bool cbe_changed = now_.cbe != prev_.cbe || now_.cbe_known != prev_.cbe_known;
        if (tally(byte_enables_stable, cbe_changed))
            violation(byte_enables_stable, cycle, driving(&drive::cbe, ~0u),
                      "C/BE# changed while the data phase waits; " +
                          text("data phase waiting since cycle ", waiting_since_));
        if (is_write_command(command_ & 0xFu)) {
            const bool ad_changed = now_.ad != prev_.ad || now_.ad_known != prev_.ad_known;
            if (tally(write_data_stable, ad_changed))
                violation(write_data_stable, cycle, driving(&drive::ad, ~0u),
                          "AD changed while the write's data phase waits; " +
                              text("data phase waiting since cycle ", waiting_since_));
        }
    }

    // PAR one clock after an address phase or a completed data phase.
    if (strong(now_.par) && (address_before_ || transfer_before_) && prev_.ad_known &&
        prev_.cbe_known) {
        const uint32_t expected = parity32(prev_.ad ^ prev_.cbe);
        if (tally(parity, expected != static_cast<uint32_t>(now_.par)))
            violation(parity, cycle, driving(&drive::strong, bit(line_par)),
                      text("PAR ", now_.par == V1 ? 1 : 0, " after the ") +
                          (address_before_ ? "address" : "data") + " phase of cycle " +
                          std::to_string(cycle - 1) + ", odd parity over AD, C/BE# and PAR");
    }

    // DEVSEL# released inside a transaction, other than for a Target-Abort.
    if (active_ && prev_.devsel && !now_.devsel) {
        const bool target_abort = now_.stop && !now_.trdy;
        if (tally(devsel_held, !target_abort))
            violation(devsel_held, cycle, low_before(bit(line_devsel)),
                      "DEVSEL# deasserted before the end of the transaction of cycle " +
                          std::to_string(address_cycle_));
    }
    if (prev_.stop && !now_.stop && tally(stop_held, prev_.frame))
        violation(stop_held, cycle, low_before(bit(line_stop)),
                  "STOP# deasserted while FRAME# was still asserted");

    if (now_.trdy || now_.stop) {
        const bool trdy_alone = now_.trdy && !now_.devsel;
        const bool stop_alone = now_.stop && !now_.devsel && !(active_ && claimed_);
        const bool broken = trdy_alone || stop_alone;
        // A violation that lasts counts once, in its first cycle.
        const uint64_t set =
            (trdy_alone ? low_now(bit(line_trdy)) : 0) | (stop_alone ? low_now(bit(line_stop)) : 0);
        if (tally(trdy_stop_need_devsel, broken && !devsel_broken_))
            violation(trdy_stop_need_devsel, cycle, set,
                      std::string(trdy_alone ? "TRDY#" : "STOP#") + " asserted without DEVSEL#" +
                          (stop_alone ? " outside a Target-Abort" : ""));
        devsel_broken_ = broken;
    } else {
        devsel_broken_ = false;
    }
}

void PCI_compliance_checker::follow_transaction(int32_t cycle) {
    const bool was_active = active_;
    const bool address = !active_ && now_.frame;
    if (address) {
        start_transaction(cycle);
    } else if (active_) {
        if (now_.devsel && !claimed_) {
            claimed_ = true;
            target_ = low_now(bit(line_devsel));
        }
        const bool target_ready = now_.trdy || now_.stop;
        const int32_t since_address = cycle - address_cycle_;
        const int32_t since_data = cycle - completed_cycle_;
        const uint64_t target = claimed_ ? target_ : low_now(bit(line_devsel));
        if (initial_target_ && (target_ready || since_address > 16)) {
            initial_target_ = false;
            if (tally(target_initial_latency, since_address > 16))
                violation(
                    target_initial_latency, cycle, target,
                    text("no TRDY# or STOP# in the 16 clocks after the address phase of cycle ",
                         address_cycle_));
        }
        if (initial_master_ && (now_.irdy || since_address > 8)) {
            initial_master_ = false;
            if (tally(master_initial_latency, since_address > 8))
                violation(master_initial_latency, cycle, master_,
                          text("no IRDY# in the 8 clocks after the address phase of cycle ",
                               address_cycle_));
        }
        if (next_target_ && (target_ready || since_data > 8)) {
            next_target_ = false;
            if (tally(target_subsequent_latency, since_data > 8))
                violation(target_subsequent_latency, cycle, target,
                          text("no TRDY# or STOP# in the 8 clocks after the data phase of cycle ",
                               completed_cycle_));
        }
        if (next_master_ && (now_.irdy || since_data > 8)) {
            next_master_ = false;
            if (tally(master_subsequent_latency, since_data > 8))
                violation(master_subsequent_latency, cycle, master_,
                          text("no IRDY# in the 8 clocks after the data phase of cycle ",
                               completed_cycle_));
        }
        // A data phase that completes and is not the last opens both again.
        if (now_.irdy && now_.trdy && !now_.stop && now_.frame) {
            completed_cycle_ = cycle;
            next_target_ = next_master_ = true;
        }
        if (!now_.frame && (!now_.irdy || now_.trdy || now_.stop))
            active_ = false;
    }

    address_before_ = address;
    transfer_before_ = was_active && now_.irdy && now_.trdy;
    // A data phase waits while IRDY# is asserted without TRDY# or STOP#;
    // not after the fourth clock of a transaction no target claimed, where
    // the master ends it (Master-Abort).
    const bool master_abort = !claimed_ && cycle - address_cycle_ >= 4;
    const bool waiting =
        active_ && !address && now_.irdy && !now_.trdy && !now_.stop && !master_abort;
    if (waiting && !waiting_before_)
        waiting_since_ = cycle;
    waiting_before_ = waiting;
}

void PCI_compliance_checker::start_transaction(int32_t cycle) {
    active_ = true;
    address_cycle_ = cycle;
    command_ = now_.cbe & 0xFu;
    master_ = low_now(bit(line_frame));
    target_ = 0;
    claimed_ = false;
    initial_target_ = initial_master_ = true;
    next_target_ = next_master_ = false;
    if (now_.cbe_known && tally(reserved_command, reserved(command_)))
        violation(
            reserved_command, cycle, master_,
            text("reserved command ", static_cast<int32_t>(command_), " in the address phase"));
}
