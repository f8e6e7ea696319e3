#pragma once
// The shared PCI bus: one net per bus signal, the joining of every agent's
// pins to them, and the one-line dump of the bus levels.

#include <memory>
#include <ostream>

#include "kernel/instance.h"
#include "kernel/name.h"
#include "kernel/packed_wires.h"
#include "kernel/signal.h"

class PCI_agent;

class PCI_bus {
  public:
    // The wires of parent's simulation, named under parent.
    PCI_bus(const char* name, SIM_instance& parent);
    PCI_bus(const PCI_bus&) = delete;
    PCI_bus& operator=(const PCI_bus&) = delete;

    // Joins the agent's FRAME#..TRDY#, PAR, PERR#, SERR#, AD and C/BE# pins.
    void connect_agent(PCI_agent& agent);
    // Prints " AD:... CBE:. FRAME:. ..." and ends the line.
    void dump(std::ostream& out) const;
    // Longest text of format_dump, the line end included.
    static constexpr int dump_size = 80;
    // Writes the text of dump() to buffer (dump_size bytes at least), no
    // terminator; returns its length.
    int format_dump(char* buffer) const;
    // parity32 of AD ^ C/BE# as ad_word and cbe_word read them (on a Z or X,
    // of their partial words); complete is false if either read was not
    // complete. Computed once per level version of the boundary.
    uint32_t parity(bool& complete) const {
        if (parity_version_ != queue_->level_version()) {
            parity_version_ = queue_->level_version();
            uint32_t word = 0, command = 0;
            const bool ad_ok = ad_word.read(word);
            const bool cbe_ok = cbe_word.read(command);
            parity_complete_ = ad_ok && cbe_ok;
            parity_ = parity32(word ^ command);
        }
        complete = parity_complete_;
        return parity_;
    }

    SIM_name name;              // "pb" under the test bench
    SIM_net frame;              // FRAME#
    SIM_net devsel;             // DEVSEL#
    SIM_net stop;               // STOP#
    SIM_net trdy;               // TRDY#
    SIM_net irdy;               // IRDY#
    SIM_net perr;               // PERR#
    SIM_net serr;               // SERR#
    SIM_net par;                // PAR
    SIM_net lock;               // LOCK#, no members
    SIM_net sbo;                // SBO#, no members
    SIM_net sdone;              // SDONE, no members
    SIM_net* ad[32];            // AD bit i; owned through ad_nets
    SIM_net* cbe[4];            // C/BE# bit i; owned through cbe_nets
    SIM_packed_wires ad_word;   // AD packed once per level change
    SIM_packed_wires cbe_word;  // C/BE# packed once per level change

  private:
    const SIM_boundary* queue_;                     // counts level versions
    mutable uint64_t parity_version_ = UINT64_MAX;  // level version of parity_
    mutable uint32_t parity_ = 0;                   // cached result of parity()
    mutable bool parity_complete_ = false;          // cached completeness of parity()
    std::unique_ptr<SIM_net> ad_nets[32];           // storage behind ad
    std::unique_ptr<SIM_net> cbe_nets[4];           // storage behind cbe
};
