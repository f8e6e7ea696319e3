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
        view(const logic_value* const* buffers, int64_t phase) : buffers_(buffers), phase_(phase) {}
        // Wire i's current level.
        logic_value operator[](std::size_t i) const { return buffers_[i][phase_]; }

      private:
        const logic_value* const* buffers_;  // each wire's two level buffers
        int64_t phase_;                      // the clock's current phase
    };

    // Adds the wire port reads; returns its index.
    std::size_t add(const SIM_port& port) {
        return add(port.boundary().wire_buffers(port.ref()), port.boundary());
    }
    // Adds a net; returns its index.
    std::size_t add(const SIM_net& net) {
        return add(net.boundary().wire_buffers(net.ref()), net.boundary());
    }
    // Forgets every wire.
    void clear() { buffers_.clear(); }
    std::size_t size() const { return buffers_.size(); }

    // The current levels; valid until the next boundary.
    view now() const { return {buffers_.data(), clock_ != nullptr ? clock_->cur_phase : 0}; }

  private:
    std::size_t add(const logic_value* buffers, const SIM_boundary& boundary) {
        clock_ = &boundary.clock();
        buffers_.push_back(buffers);
        return buffers_.size() - 1;
    }

    std::vector<const logic_value*> buffers_;  // each wire's level buffers, indexed by phase
    const SIM_clock* clock_ = nullptr;         // the simulation's clock, whose phase picks one
};
