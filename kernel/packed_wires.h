#pragma once
// A vector of nets read as one number. Once track() has run, the nets keep
// their levels in two words of the packing as they change (at the boundary
// that queued them, and by a force), so a read is a few word operations;
// without it (or if another packing has one of the nets already) the nets
// are packed at most once per level version of the commit queue, which
// counts every boundary and force. The packing must outlive the use of its
// nets in the simulation.

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
    SIM_packed_wires(const SIM_packed_wires&) = delete;
    SIM_packed_wires& operator=(const SIM_packed_wires&) = delete;

    // Lets the nets (which must exist) keep their levels in this packing's
    // words from now on; call it before their first drive.
    void track() {
        bool all = count_ <= 32;
        for (int i = 0; i < count_ && all; ++i) all = nets_[i]->track_packing(planes_, i);
        tracked_ = all;
    }

    // signals_to_int over the nets, with the same result and return value:
    // on a Z or X the result keeps the bits above the highest such wire.
    bool read(uint32_t& result) const {
        if (!tracked_)
            return read_untracked(result);
        if (planes_[1] == 0) {
            result = planes_[0];
            return true;
        }
        const int top = 31 - __builtin_clz(planes_[1]);
        result = static_cast<uint32_t>(uint64_t{planes_[0]} >> (top + 1));
        return false;
    }

    // The nets, element 0 = bit 0.
    SIM_net* const* nets() const { return nets_; }

  private:
    // The packing once per level version.
    bool read_untracked(uint32_t& result) const {
        if (version_ != queue_->level_version()) {
            version_ = queue_->level_version();
            complete_ = signals_to_int(nets_, count_, word_);
        }
        result = word_;
        return complete_;
    }

    SIM_net* const* nets_;                   // the wires, not owned
    int count_;                              // number of wires
    const SIM_commit_queue* queue_;          // counts level versions
    uint32_t planes_[2] = {0, 0};            // tracked: [0] bits at 1 or H, [1] bits at Z or X
    bool tracked_ = false;                   // every net keeps its bit of planes_
    mutable uint64_t version_ = UINT64_MAX;  // untracked: level version of word_
    mutable uint32_t word_ = 0;              // untracked: packed (or partial) value
    mutable bool complete_ = false;          // untracked: no wire was Z or X
};
