#pragma once
// The passive bus monitor: an agent whose pins sit on the bus but are never
// driven. Every cycle it checks the protocol rules, then follows the bus
// through each transaction (command and address, the target's decode speed,
// the data phases with their waits, the termination) and publishes each step
// to its listeners: the per-card statistics for the report, the debug trace,
// and whatever exporter is added.

#include <cstdint>
#include <vector>

#include "monitor/events.h"
#include "monitor/rules.h"
#include "monitor/statistics.h"
#include "monitor/trace.h"
#include "pci/agent.h"

class PCI_monitor : public PCI_agent {
  public:
    // Decoder states.
    enum state_code : int32_t {
        MON_IDLE = 0,       // waiting for an address phase
        MON_FAST = 1,       // first clock after the address phase
        MON_MED = 2,        // second clock
        MON_SLOW = 3,       // third clock
        MON_SUB = 4,        // fourth clock; no DEVSEL# here is a master abort
        MON_WAIT_END = 5,   // ignore the bus until FRAME# is deasserted
        MON_DATA = 6,       // data phases
        MON_WAIT_IRDY = 7,  // TRDY# asserted before IRDY#
        MON_WAIT_TRDY = 8,  // IRDY# asserted, TRDY# and STOP# not yet
    };

    // The address map starts empty; add_range() fills it. The statistics and
    // the trace are the first two listeners.
    PCI_monitor(const char* name, SIM_instance* parent);

    // Releases the pins, clears the statistics (not the map), goes idle.
    void reset() override;
    // Rule checks, then one step of the transaction decoder.
    void clock() override;

    // Reports broken protocol rules on the current bus levels.
    void check_rules() { rules.check(*this); }

    // Adds a card for the addresses with (address & mask) == base.
    void add_range(uint32_t base, uint32_t mask) { map.add_range(base, mask); }
    // Card of an address: first matching entry, 255 if none.
    int find_range(uint32_t address) const { return map.find_range(address); }
    // Prints the per-card statistics.
    void report();
    // Adds a listener after those already there; it must outlive its use.
    void add_listener(PCI_transaction_listener& listener) { listeners.push_back(&listener); }

    const PCI_target_statistics& statistics() const { return recorder.statistics(); }
    const PCI_address_map& address_map() const { return map; }
    const PCI_rule_checker& rule_checker() const { return rules; }
    state_code decoder_state() const { return state; }

  private:
    // Hands an event to every listener in order.
    template <class Event>
    void publish(Event event) {
        for (PCI_transaction_listener* listener : listeners) event(*listener);
    }

    // One step of the state machine; reads AD and C/BE# only in an address
    // phase.
    void decode();
    // MON_DATA: a data phase, a stop, or the start of a wait.
    void data_phase();
    // Publishes a data phase that moved a word, then counts it.
    void publish_data(bool stopped, int32_t elapsed);

    PCI_rule_checker rules;                            // levels remembered by the rule checks
    PCI_address_map map;                               // address ranges that define the cards
    PCI_statistics_recorder recorder;                  // per-card counters for the report
    PCI_trace_printer tracer;                          // the debug trace
    std::vector<PCI_transaction_listener*> listeners;  // in the order they hear events
    int32_t txn_start = 0;                             // cycle of the current address phase
    int32_t wait_count = 0;       // clocks since DEVSEL# or the previous data phase
    int32_t burst_len = 0;        // data phases of the current transaction so far
    bool first_data = true;       // the next data phase is the transaction's first
    state_code state = MON_IDLE;  // decoder state
};
