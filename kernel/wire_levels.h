#pragma once
// The current levels of a list of wires, for an observer that reads many of
// them every cycle (the waveform writer). Each entry is the wire a port reads
// (its net once attached, else the port itself) or a net; now() reads the
// clock's phase once, and its [i] is wire i's current level, the level
// read() gives. Add the wires after the ports point at their nets' roots
// (after SIM_context::reset_all).

#include <cstddef>
#include <vector>

#include "kernel/boundary.h"
#include "kernel/logic.h"
#include "kernel/signal.h"

class SIM_wire_levels {
  public:
    // The levels as of one moment between two boundaries.
    class view {
      public:
        view(const SIM_wire_levels& wires, int phase) : wires_(&wires), phase_(phase) {}
        // Wire i's current level.
        logic_value operator[](std::size_t i) const {
            const logic_value* buffers = wires_->buffers_[i];
            if (buffers != nullptr) [[likely]]
                return buffers[phase_];
            return wires_->signals_[i]->read();
        }

      private:
        const SIM_wire_levels* wires_;  // the list
        int phase_;                     // the clock's current phase
    };

    // Adds the wire port reads; returns its index.
    std::size_t add(const SIM_port& port) {
        return add(port.boundary().wire_buffers(port.ref()), port);
    }
    // Adds a net; returns its index.
    std::size_t add(const SIM_net& net) { return add(net.boundary().wire_buffers(net.ref()), net); }
    // Forgets every wire.
    void clear() {
        buffers_.clear();
        signals_.clear();
    }
    std::size_t size() const { return buffers_.size(); }

    // The current levels; valid until the next boundary.
    view now() const { return {*this, clock_ != nullptr ? clock_->cur_phase : 0}; }

  private:
    std::size_t add(const logic_value* buffers, const SIM_signal& signal) {
        clock_ = &signal.boundary().clock();
        buffers_.push_back(buffers);
        signals_.push_back(&signal);
        return buffers_.size() - 1;
    }

    // Each wire's level buffers, indexed by phase; null where the levels
    // are kept as words (a bit of a vector on no net), read through signals_.
    std::vector<const logic_value*> buffers_;
    std::vector<const SIM_signal*> signals_;  // each wire's signal
    const SIM_clock* clock_ = nullptr;        // the simulation's clock, whose phase picks one
};
