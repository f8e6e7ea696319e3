#pragma once
// A vector of nets read as one number. Once track() has run, the boundary
// (kernel/boundary.h) keeps the nets' levels in bit planes as they change,
// so a read is a few word operations, and resolves as words the nets that
// only vectors of ports drive. Without it (or if another packing has one of
// the nets already) the nets are packed at most once per level version of
// the boundary, which counts every boundary and force.

#include <cstdint>

#include "kernel/boundary.h"
#include "kernel/context.h"
#include "kernel/signal.h"

class SIM_packed_wires {
  public:
    // The count nets starting at nets, of context's simulation; the nets
    // need not exist before track().
    SIM_packed_wires(SIM_net* const* nets, int count, const SIM_context& context)
        : nets_(nets),
          count_(count),
          boundary_(&context.boundary()),
          ref_(boundary_->add_packing()) {}
    SIM_packed_wires(const SIM_packed_wires&) = delete;
    SIM_packed_wires& operator=(const SIM_packed_wires&) = delete;

    // Lets the nets (which must exist) keep their levels in this packing's
    // planes from now on (at most 32 of them); call it before their first
    // drive.
    void track();

    // signals_to_int over the nets, with the same result and return value:
    // on a Z or X the result keeps the bits above the highest such wire.
    bool read(uint32_t& result) const {
        if (tracked_) [[likely]]
            return boundary_->read(ref_, result);
        return read_untracked(result);
    }

    // signals_to_hex over the nets without its terminator: (count + 3) / 4
    // characters at buffer. Tracked packings only; returns false (nothing
    // written) otherwise.
    bool write_hex(char* buffer) const {
        if (!tracked_)
            return false;
        boundary_->write_hex(ref_, buffer);
        return true;
    }

    // The nets, element 0 = bit 0.
    SIM_net* const* nets() const { return nets_; }

  private:
    // The packing once per level version.
    bool read_untracked(uint32_t& result) const {
        if (version_ != boundary_->level_version()) {
            version_ = boundary_->level_version();
            complete_ = signals_to_int(nets_, count_, word_);
        }
        result = word_;
        return complete_;
    }

    SIM_net* const* nets_;                   // the wires' handles, not owned
    int count_;                              // number of wires
    SIM_boundary* boundary_;                 // the simulation's boundary, which holds the levels
    SIM_boundary::packing_ref ref_;          // the packing's record
    bool tracked_ = false;                   // the boundary keeps the nets' levels as words
    mutable uint64_t version_ = UINT64_MAX;  // untracked: level version of word_
    mutable uint32_t word_ = 0;              // untracked: packed (or partial) value
    mutable bool complete_ = false;          // untracked: no wire was Z or X
};
