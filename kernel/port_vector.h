#pragma once
// Up to 32 ports of one module driven as a word (AD, C/BE#). Each port stays
// a port of its own: read(), own_level(), read_next(), drive(), force() and
// commit() give and do what they would if the bits were driven one by one.
// The vector keeps the ports' current and next levels as bit planes
// (SIM_level_planes), so a word drive is a few word operations. At the
// boundary the vector commits every bit at once, writes the ports whose
// level changed and tells the packing of its nets (kernel/packed_wires.h)
// which bits changed. A changed port gets its new level in both buffers;
// its next level, which is the previous cycle's until it is driven, is then
// read from the planes by read_next(). The ports stay marked as queued, so
// that a port's own drive reaches the vector. read_wires() reads the word
// on the ports' wires, the way a module reads AD.

#include <cstdint>

#include "kernel/commit_queue.h"
#include "kernel/context.h"
#include "kernel/logic.h"
#include "kernel/packed_wires.h"
#include "kernel/signal.h"

class SIM_port_vector {
  public:
    // The count (at most 32) ports starting at ports, element 0 = bit 0, of
    // context's simulation; a port can be a bit of one vector only. The
    // ports must outlive the vector, which gives them back their own state
    // when it goes (and must not go while the simulation still runs).
    SIM_port_vector(SIM_port* const* ports, int count, SIM_context& context)
        : SIM_port_vector(context) {
        assign(ports, count);
    }
    // A vector of no ports yet, for a module that builds them later.
    explicit SIM_port_vector(SIM_context& context);
    // Makes the count ports at ports this vector's bits (once), before their
    // first drive.
    void assign(SIM_port* const* ports, int count);
    ~SIM_port_vector();
    SIM_port_vector(const SIM_port_vector&) = delete;
    SIM_port_vector& operator=(const SIM_port_vector&) = delete;

    // Drives bit i with 1 if bit i of word is set, else 0 (int_to_signals).
    void drive(uint32_t word) { drive_planes(SIM_level_planes::of_word(word & mask_)); }
    // Drives every bit with Z (fill_signals with Z).
    void release() { drive_planes(SIM_level_planes::of_z(mask_)); }

    // The word on the ports' wires, with the result and return value of
    // signals_to_int over the ports; from the packing of those wires when
    // the boundary found one.
    bool read_wires(uint32_t& result) const {
        if (wires_ != nullptr) [[likely]]
            return wires_->read(result);
        return signals_to_int(ports_, count_, result);
    }

    int size() const { return count_; }
    // The bits whose ports' own current level is 0 or 1 (own_level() of
    // each port, as one word).
    uint32_t strong_bits() const { return mask_ & ~(cur_.bit1 | cur_.bit2); }

  private:
    friend class SIM_commit_queue;
    friend class SIM_packed_wires;
    friend class SIM_port;

    // Drives the bits with levels.
    void drive_planes(const SIM_level_planes& levels) {
        epoch_ = queue_->boundary();
        next_ = levels;
        if (queued_) {
            driven_ = mask_;
            return;
        }
        // The current levels again: the boundary would commit nothing, and
        // a bit committed on its own takes the same level driven or not.
        if (levels == cur_)
            return;
        driven_ = mask_;
        queued_ = true;
        queue_->add_vector(this);
    }

    // A port's own drive to level v (the port's next buffer holds it).
    void drive_bit(int i, logic_value v);
    // A port's force to level v (both buffers hold it).
    void force_bit(int i, logic_value v);
    // A port's own commit(); see SIM_port::commit.
    void commit_bit(int i);
    // Port i's next level.
    logic_value next_level(int i) const;
    // The boundary: every bit commits (a driven bit its next level, any other
    // its current one), and both buffers of the ports whose level changed
    // (or whose next buffer a port's own drive or commit wrote) get the
    // committed level. Returns the bits whose level changed;
    // without a packing (wires_), their nets count the change and resolve at
    // this boundary. queued_ tells whether it must come back at the next one.
    uint32_t commit();
    // Puts v into both buffers of the ports of bits.
    void store_level(uint32_t bits, logic_value v);
    // Puts each of levels into both buffers of the port of its bit, for bits.
    void store_levels(uint32_t bits, const SIM_level_planes& levels);

    SIM_port* ports_[32] = {};  // the ports, not owned
    int count_ = 0;             // number of ports
    uint32_t mask_ = 0;         // one bit per port
    // Brings next_ up to date: after boundaries that did not commit this
    // vector, the next levels are the current ones.
    void catch_up() {
        if (epoch_ != queue_->boundary()) {
            next_ = cur_;
            epoch_ = queue_->boundary();
        }
    }
    // next_ as catch_up() would make it.
    const SIM_level_planes& next_planes() const {
        return epoch_ == queue_->boundary() ? next_ : cur_;
    }

    SIM_level_planes cur_;     // the ports' current levels
    SIM_level_planes next_;    // their next levels, as of boundary epoch_
    uint32_t cur_others_ = 0;  // cur_.others(): the bits at X, L or H
    uint64_t epoch_ = 0;       // boundary count for which next_ holds
    uint32_t driven_ = 0;      // bits driven in this cycle
    uint32_t touched_ = 0;     // bits whose next buffer a port's own drive or commit wrote
    bool queued_ = false;      // in the queue's vector list for the boundary
    SIM_commit_queue* queue_;  // the simulation's boundary work list
    const SIM_clock* clock_;   // whose phases index the ports' buffers
    SIM_packed_wires* wires_ = nullptr;  // packing whose bit i is port i's net, if any
};
