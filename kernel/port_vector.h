#pragma once
// Up to 32 ports of one module driven as a word (AD, C/BE#). Each port stays
// a port of its own: read(), own_level(), read_next(), drive(), force() and
// commit() give and do what they would if the bits were driven one by one.
// The vector keeps the ports' current and next levels as bit planes (bits
// at 1, at Z, and at X, L or H, whose level the port itself holds), so a word
// drive is a few word operations. At the boundary the vector commits every
// bit at once, writes the ports whose level changed and tells the packing of
// its nets (kernel/packed_wires.h) which bits changed. A changed port gets
// its new level in both buffers; its next level, which is the previous
// cycle's until it is driven, is then read from the planes by read_next()
// (level_at() and level_buffers() show the buffer as written). The ports
// stay marked as queued, so that a port's own drive reaches the vector.
// read_wires() reads the word on the ports' wires, the way a module reads AD.

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
    void drive(uint32_t word) { drive_planes(word & mask_, 0); }
    // Drives every bit with Z (fill_signals with Z).
    void release() { drive_planes(0, mask_); }

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
    uint32_t strong_bits() const { return mask_ & ~(cur_.zs | cur_.others); }

  private:
    friend class SIM_commit_queue;
    friend class SIM_packed_wires;
    friend class SIM_port;

    // Level planes of one buffer: bit i describes port i's level there.
    struct planes {
        uint32_t ones = 0;    // at 1
        uint32_t zs = 0;      // at Z
        uint32_t others = 0;  // at X, L or H (the port's buffer holds which)
    };

    // Drives bit i with 1 (ones), Z (zs) or else 0.
    void drive_planes(uint32_t ones, uint32_t zs) {
        epoch_ = queue_->boundary();
        next_.ones = ones;
        next_.zs = zs;
        next_.others = 0;
        if (queued_) {
            driven_ = mask_;
            return;
        }
        // The current levels again: the boundary would commit nothing, and
        // a bit committed on its own takes the same level driven or not.
        if (ones == cur_.ones && zs == cur_.zs && cur_.others == 0)
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
    // Puts level v into bit i of p.
    static void set_level(planes& p, int i, logic_value v) {
        const uint32_t bit = uint32_t{1} << i;
        p.ones = (p.ones & ~bit) | (v == V1 ? bit : 0);
        p.zs = (p.zs & ~bit) | (v == VZ ? bit : 0);
        p.others = (p.others & ~bit) | (v != V0 && v != V1 && v != VZ ? bit : 0);
    }

    // The boundary: every bit commits (a driven bit its next level, any other
    // its current one), the ports' next buffers get the committed levels (and
    // their current buffers too, unless X, L or H must stay there for
    // read_next() of the next cycle). Returns the bits whose level changed;
    // without a packing (wires_), their nets count the change and resolve at
    // this boundary. queued_ tells whether it must come back at the next one.
    uint32_t commit(int cur);
    // Puts v into both buffers of the ports of bits.
    void store_level(uint32_t bits, logic_value v);

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
    const planes& next_planes() const { return epoch_ == queue_->boundary() ? next_ : cur_; }

    planes cur_;               // the ports' current levels
    uint32_t cur_zeros_ = 0;   // bits whose current level is 0
    planes next_;              // their next levels, as of boundary epoch_
    uint64_t epoch_ = 0;       // boundary count for which next_ holds
    uint32_t driven_ = 0;      // bits driven in this cycle
    uint32_t touched_ = 0;     // bits whose next buffer a port's own drive or commit wrote
    uint32_t refresh_ = 0;     // bits whose next buffer holds the previous cycle's X, L or H
    bool queued_ = false;      // in the queue's vector list for the boundary
    SIM_commit_queue* queue_;  // the simulation's boundary work list
    const SIM_clock* clock_;   // whose phases index the ports' buffers
    SIM_packed_wires* wires_ = nullptr;  // packing whose bit i is port i's net, if any
};
