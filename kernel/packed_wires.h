#pragma once
// A vector of nets read as one number. Once track() has run, the nets keep
// their levels in two words of the packing as they change (at the boundary
// that queued them, and by a force), so a read is a few word operations;
// without it (or if another packing has one of the nets already) the nets
// are packed at most once per level version of the commit queue, which
// counts every boundary and force. The packing must outlive the use of its
// nets in the simulation.
//
// A tracked packing also resolves its nets as words at the boundary where
// every member of net i is bit i of a vector of ports (kernel/port_vector.h)
// all of whose bits are on this packing's nets in the same order, and those
// ports are at 0, 1 or Z: net i is then X where a 1 and a 0 meet, else that
// level, Z where nobody drives, which is the fold of the resolution table
// over such levels in any order. Any other net (a force or drive of it, a
// member of no vector, a member at X, L or H) takes the fold.

#include <cstdint>
#include <vector>

#include "kernel/commit_queue.h"
#include "kernel/context.h"
#include "kernel/logic.h"
#include "kernel/signal.h"

class SIM_port_vector;

class SIM_packed_wires {
  public:
    // The count (at most 32) nets starting at nets, of context's simulation.
    SIM_packed_wires(SIM_net* const* nets, int count, const SIM_context& context)
        : nets_(nets), count_(count), queue_(&context.commit_queue()) {}
    ~SIM_packed_wires();
    SIM_packed_wires(const SIM_packed_wires&) = delete;
    SIM_packed_wires& operator=(const SIM_packed_wires&) = delete;

    // Lets the nets (which must exist) keep their levels in this packing's
    // words from now on; call it before their first drive.
    void track();

    // signals_to_int over the nets, with the same result and return value:
    // on a Z or X the result keeps the bits above the highest such wire.
    bool read(uint32_t& result) const {
        if (!tracked_)
            return read_untracked(result);
        const uint32_t neither = state_.levels.neither();
        if (neither == 0) {
            result = state_.levels.bit0;
            return true;
        }
        const int top = 31 - __builtin_clz(neither);
        result = static_cast<uint32_t>(uint64_t{state_.levels.highs()} >> (top + 1));
        return false;
    }

    // signals_to_hex over the nets without its terminator: (count + 3) / 4
    // characters at buffer. Tracked packings only; returns false (nothing
    // written) otherwise.
    bool write_hex(char* buffer) const;

    // The nets, element 0 = bit 0.
    SIM_net* const* nets() const { return nets_; }
    // The level net i had before the boundary that resolved it as a word
    // (0, 1, Z or X): its next level until it is driven again.
    logic_value previous_level(int i) const { return previous_.at(i); }

  private:
    friend class SIM_commit_queue;

    // The boundary, after the ports' commits: the nets of the bits in
    // member_changed_ are resolved as words where they can be (not queued
    // for the fold, not at L or H), the rest queued for the fold. A net
    // resolved to a new level gets it in both buffers, its previous level
    // (the next level of the coming cycle) kept in previous_.
    void resolve_members();
    // Puts v into both buffers of the nets of bits.
    void store_level(uint32_t bits, logic_value v);
    // The vectors that drive this packing (their wires_ is this) and the
    // nets only they drive, after a change of the wiring.
    void update_layout(const std::vector<SIM_port_vector*>& vectors);

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
    SIM_commit_queue* queue_;                // counts level versions, resolves dirty nets
    SIM_packed_state state_;                 // tracked: the nets' levels and boundary marks
    SIM_level_planes previous_;              // the kept nets' levels before the boundary
    bool tracked_ = false;                   // every net keeps its bit of state_
    std::vector<SIM_port_vector*> vectors_;  // vectors whose ports are the bits of the nets
    uint32_t member_changed_ = 0;            // nets with a vector's port changed at this boundary
    mutable uint64_t version_ = UINT64_MAX;  // untracked: level version of word_
    mutable uint32_t word_ = 0;              // untracked: packed (or partial) value
    mutable bool complete_ = false;          // untracked: no wire was Z or X
};
