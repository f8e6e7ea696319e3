#pragma once
// The protocol rulebook (option --compliance): a checker that reads the bus
// after every cycle, the wires and each agent's own drive on them, and
// reports every broken rule once, in the cycle it becomes visible, naming
// the agents whose own pins did it. It follows the transactions from the
// wires alone: an address phase is FRAME# asserted while no transaction
// runs; a transaction ends in the cycle with FRAME# deasserted and either
// IRDY# deasserted or the last data phase completing (TRDY# or STOP# with
// IRDY#). A line is asserted at 0 or weak L. An agent drives a line when
// its own pin is at 0 or 1 (the pull-ups' weak H is no drive).

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kernel/logic.h"
#include "monitor/bus_agents.h"

// One broken rule.
struct PCI_compliance_violation {
    int32_t cycle;       // the cycle as the bus dump numbers it
    const char* rule;    // the rule's name, e.g. "target_initial_latency"
    std::string agents;  // the agents involved, by own name, space-separated; may be empty
    std::string detail;  // what was seen
};

class PCI_compliance_checker {
  public:
    // The rules, in the order of the statistics document.
    enum rule : int {
        target_initial_latency,      // TRDY# or STOP# within 16 clocks of the address phase
        target_subsequent_latency,   // TRDY# or STOP# within 8 clocks of a completed data phase
        master_initial_latency,      // IRDY# within 8 clocks of the address phase
        master_subsequent_latency,   // IRDY# within 8 clocks of a completed data phase
        frame_stable_in_data_phase,  // FRAME# unchanged while a data phase waits
        irdy_stable_in_data_phase,   // IRDY# unchanged while a data phase waits
        frame_needs_grant,           // FRAME# asserted only with GNT# in the cycle before
        one_grant,                   // at most one GNT# asserted
        trdy_stop_need_devsel,       // TRDY# and STOP# only with DEVSEL# (or a Target-Abort)
        devsel_held,                 // DEVSEL# held to the end of the transaction
        stop_held,                   // STOP# held until FRAME# is deasserted
        write_data_stable,           // a write's AD unchanged while a data phase waits
        byte_enables_stable,         // C/BE# unchanged while a data phase waits
        parity,                      // PAR even over AD and C/BE# of the cycle before
        reserved_command,            // no reserved command in an address phase
        contention,                  // at most one agent drives a wire
        turnaround,                  // an idle clock between two agents driving a line
        rule_count,
    };
    // How often one rule applied, and how often it was broken.
    struct counts {
        int64_t checked = 0;   // occasions on which the rule applied
        int64_t violated = 0;  // of those, the ones that broke it
    };
    // Receives each violation as it is found.
    using sink = std::function<void(const PCI_compliance_violation&)>;

    // Most agents a bus may have for the checker (agent sets are bit masks).
    static constexpr int max_agents = 64;

    // Watches the bus with the given agents (at most max_agents: the rest go
    // unwatched) and hands every violation to report.
    PCI_compliance_checker(const PCI_bus& bus, PCI_bus_agents agents, sink report);

    // Checks the levels the wires and pins show now, as those of cycle.
    void check(int32_t cycle);

    const counts& count_of(rule which) const { return counts_[which]; }
    // The rule's name, as the file and the document give it.
    static const char* rule_name(rule which);
    const PCI_bus_agents& agents() const { return agents_; }

  private:
    // The bus wires a cycle shows.
    struct bus_levels {
        bool frame = false;          // FRAME# asserted
        bool irdy = false;           // IRDY# asserted
        bool trdy = false;           // TRDY# asserted
        bool stop = false;           // STOP# asserted
        bool devsel = false;         // DEVSEL# asserted
        logic_value par = VZ;        // PAR
        uint32_t ad = 0;             // AD (Z and X bits as 0)
        uint32_t cbe = 0;            // C/BE# (the same)
        bool ad_known = false;       // every AD bit at 0 or 1 (or weak)
        bool cbe_known = false;      // every C/BE# bit the same
        uint64_t granted = 0;        // agents whose GNT# wire is asserted
        int grants_low = 0;          // GNT# wires asserted
        uint64_t frame_drivers = 0;  // agents driving FRAME# to 0
    };
    // One agent's own drive in a cycle.
    struct drive {
        uint32_t strong = 0;  // bit w: control line w (see control_line) at 0 or 1
        uint32_t low = 0;     // bit w: control line w at 0
        uint32_t ad = 0;      // AD bits at 0 or 1
        uint32_t cbe = 0;     // C/BE# bits at 0 or 1
    };

    // Reads the wires and every agent's pins into now_ and drives_.
    void sample();
    // contention and turnaround, from the agents' drives.
    void check_drives(int32_t cycle);
    // one_grant and frame_needs_grant.
    void check_grants(int32_t cycle);
    // The rules of the cycle after a waiting data phase, parity, and the
    // lines held to the end (devsel_held, stop_held, trdy_stop_need_devsel).
    void check_lines(int32_t cycle);
    // The transaction: its start (reserved_command), the latencies, its end.
    void follow_transaction(int32_t cycle);
    // A new address phase in cycle.
    void start_transaction(int32_t cycle);
    // Counts one application of a rule; returns broken.
    bool tally(rule which, bool broken);
    // Counts one violation of a rule and reports it, naming the agents.
    void violation(rule which, int32_t cycle, uint64_t agents, std::string detail);
    // The agents whose own drive of control line bit differs between the
    // previous cycle and this one.
    uint64_t changed_on(uint32_t bit) const;
    // The agents with any of bits among their own drives (member).
    uint64_t driving(uint32_t drive::*member, uint32_t bits) const;
    // The agents driving control line bit low now, or in the previous cycle.
    uint64_t low_now(uint32_t bit) const;
    uint64_t low_before(uint32_t bit) const;
    // Own names of the agents in set, space-separated.
    std::string names_of(uint64_t set) const;

    const PCI_bus& bus_;                       // the wires watched
    PCI_bus_agents agents_;                    // whose pins are read
    size_t watched_;                           // agents read: at most max_agents
    sink report_;                              // where violations go
    std::array<counts, rule_count> counts_{};  // per rule, indexed by rule
    std::vector<drive> drives_;                // this cycle's own drives, per agent
    std::vector<drive> before_;                // the previous cycle's
    bus_levels now_;                           // this cycle's wires
    bus_levels prev_;                          // the previous cycle's
    uint32_t contended_ = 0;                   // wires (control bits, 8 AD, 9 C/BE#) in contention
    bool grants_broken_ = false;               // one_grant broken in the previous cycle
    bool devsel_broken_ = false;               // trdy_stop_need_devsel broken then

    // The transaction, as the wires show it.
    bool active_ = false;           // a transaction runs into the next cycle
    int32_t address_cycle_ = 0;     // its address phase
    uint32_t command_ = 0;          // its command (C/BE# in the address phase)
    uint64_t master_ = 0;           // agents that drove FRAME# low in the address phase
    uint64_t target_ = 0;           // agents that drove DEVSEL# low first in it
    bool claimed_ = false;          // DEVSEL# asserted in it so far
    bool initial_target_ = false;   // target_initial_latency still open
    bool initial_master_ = false;   // master_initial_latency still open
    bool next_target_ = false;      // target_subsequent_latency open
    bool next_master_ = false;      // master_subsequent_latency open
    int32_t completed_cycle_ = 0;   // the last completed data phase that was not the last
    bool address_before_ = false;   // the previous cycle was an address phase
    bool transfer_before_ = false;  // it completed a data phase with TRDY# and IRDY#
    bool waiting_before_ = false;   // it was a data phase waiting (see check_lines)
    int32_t waiting_since_ = 0;     // first cycle of that wait
};
