#pragma once
// A vector of nets read as one number, packed at most once per level change:
// every reader of the same wires in a cycle shares one packing. The levels
// of a simulation's nets change only at the cycle boundary and by a force,
// and both count a new level version in the commit queue.

#include <cstdint>

#include "kernel/commit_queue.h"
#include "kernel/context.h"
#include "kernel/logic.h"
#include "kernel/signal.h"

class SIM_packed_wires {
  public:
    // The count (at most 32) nets starting at nets, of context's simulation.
    SIM_packed_wires(SIM_net* const* nets, int count, const SIM_context& context)
        : nets_(nets), count_(count), queue_(&context.commit_queue()) {}

    // signals_to_int over the nets, with the same result and return value.
    bool read(uint32_t& result) const {
        if (version_ != queue_->level_version()) {
            version_ = queue_->level_version();
            complete_ = signals_to_int(nets_, count_, word_);
        }
        result = word_;
        return complete_;
    }

    // The nets, element 0 = bit 0.
    SIM_net* const* nets() const { return nets_; }

  private:
    SIM_net* const* nets_;                   // the wires, not owned
    int count_;                              // number of wires
    const SIM_commit_queue* queue_;          // counts level versions
    mutable uint64_t version_ = UINT64_MAX;  // level version of word_
    mutable uint32_t word_ = 0;              // packed (or partial) value
    mutable bool complete_ = false;          // no wire was Z or X
};
