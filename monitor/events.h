#pragma once
// What the bus monitor's decoder publishes about each transaction, and the
// listener interface that statistics, the debug trace and exporters
// implement. Events come in bus order, within the cycle the monitor sees
// them:
//   address  -> claim | master_abort -> data_phase* -> termination? -> end
// An address phase with a command no agent decodes gives only address
// (decoded false); a master abort ends the transaction without end().

#include <cstdint>

#include "pci/commands.h"

// The address phase.
struct PCI_address_event {
    int32_t cycle;     // cycle of the address phase
    uint32_t command;  // C/BE# in the address phase (possibly partial, see the monitor)
    uint32_t address;  // AD in the address phase
    int card;          // card of the address (the monitor's map); no_card if none
    bool decoded;      // the command is one the monitor follows
};

// One data phase that moved a word.
struct PCI_data_event {
    int32_t cycle;    // cycle of the transfer
    int32_t wait;     // clocks since DEVSEL# (first phase) or the previous phase
    int32_t elapsed;  // clocks since the address phase
    bool first;       // the transaction's first data phase
    bool stopped;     // STOP# came with this word (Disconnect with data)
};

// How the target ended a transaction.
enum class PCI_termination {
    with_data,     // STOP# with TRDY#: Disconnect with data
    without_data,  // STOP# without TRDY#: Retry, Disconnect without data or Target-Abort
};

struct PCI_termination_event {
    int32_t cycle;         // cycle in which STOP# was seen
    int32_t elapsed;       // clocks since the address phase
    PCI_termination kind;  // with or without the word of this cycle
    bool devsel_asserted;  // DEVSEL# still asserted (deasserted: Target-Abort)
    int32_t data_phases;   // words moved before this cycle's
};

class PCI_transaction_listener {
  public:
    virtual ~PCI_transaction_listener() = default;

    virtual void on_address(const PCI_address_event&) {}
    // A target claimed the transaction at this speed.
    virtual void on_claim(int32_t /*cycle*/, PCI_decode_speed) {}
    // Nobody claimed the transaction within four clocks.
    virtual void on_master_abort(int32_t /*cycle*/) {}
    virtual void on_data_phase(const PCI_data_event&) {}
    // The target stopped the transaction. With data, the data phase event
    // of the same cycle follows.
    virtual void on_termination(const PCI_termination_event&) {}
    // The transaction is over: last data phase, or a stop.
    virtual void on_end(int32_t /*cycle*/, int32_t /*data_phases*/) {}
    // A handshake the decoder finds odd (a ready line withdrawn).
    virtual void on_notice(int32_t /*cycle*/, const char* /*text*/) {}
};
