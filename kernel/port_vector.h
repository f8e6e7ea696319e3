#pragma once
// Up to 32 ports of one module driven as a word (AD, C/BE#). Each port stays
// a port of its own: read(), own_level(), read_next(), drive(), force() and
// commit() give and do what they would if the bits were driven one by one.
// A handle: the boundary (kernel/boundary.h) keeps the ports' current and
// next levels as bit planes, so a word drive is a few word operations, and
// commits every bit at once. read_wires() reads the word on the ports'
// wires, the way a module reads AD.

#include <cstdint>

#include "kernel/boundary.h"
#include "kernel/context.h"
#include "kernel/logic.h"
#include "kernel/signal.h"

class SIM_port_vector {
  public:
    // The count (at most 32) ports starting at ports, element 0 = bit 0, of
    // context's simulation; a port can be a bit of one vector only, and
    // stays one for the life of the simulation.
    SIM_port_vector(SIM_port* const* ports, int count, SIM_context& context)
        : SIM_port_vector(context) {
        assign(ports, count);
    }
    // A vector of no ports yet, for a module that builds them later.
    explicit SIM_port_vector(SIM_context& context)
        : boundary_(&context.boundary()), ref_(boundary_->add_vector()) {}
    // Makes the count ports at ports this vector's bits (once), before their
    // first drive.
    void assign(SIM_port* const* ports, int count);
    SIM_port_vector(const SIM_port_vector&) = delete;
    SIM_port_vector& operator=(const SIM_port_vector&) = delete;

    // Drives bit i with 1 if bit i of word is set, else 0 (int_to_signals).
    void drive(uint32_t word) {
        boundary_->drive(ref_, SIM_level_planes::of_word(word & boundary_->mask(ref_)));
    }
    // Drives every bit with Z (fill_signals with Z).
    void release() { boundary_->drive(ref_, SIM_level_planes::of_z(boundary_->mask(ref_))); }

    // The word on the ports' wires, with the result and return value of
    // signals_to_int over the ports.
    bool read_wires(uint32_t& result) const { return boundary_->read_wires(ref_, result); }

    int size() const { return boundary_->size(ref_); }
    // The bits whose ports' own current level is 0 or 1 (own_level() of
    // each port, as one word).
    uint32_t strong_bits() const { return boundary_->strong_bits(ref_); }

  private:
    SIM_boundary* boundary_;        // the simulation's boundary, which holds the levels
    SIM_boundary::vector_ref ref_;  // the vector's record
};
