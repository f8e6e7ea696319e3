#pragma once
// One simulation's kernel: the instance and port lists, the clock, the
// warn-once flags and the output stream. A design is built against one
// context (its top instance receives it, children reach it through their
// parent), so several simulations can live in one process, each on its own
// thread, with nothing shared.

#include <iostream>
#include <vector>

#include "kernel/boundary.h"

class SIM_instance;
class SIM_port;

class SIM_context {
  public:
    // Output goes to out (standard output by default), which must outlive
    // its use.
    explicit SIM_context(std::ostream& out = std::cout) : out_(&out) {}
    // Instances and ports register by address: never copied.
    SIM_context(const SIM_context&) = delete;
    SIM_context& operator=(const SIM_context&) = delete;

    // Called by the constructors; lists are in construction order.
    void register_instance(SIM_instance* instance);
    void register_port(SIM_port* port) { ports_.push_back(port); }

    const std::vector<SIM_instance*>& instance_list() const { return instances_; }
    const std::vector<SIM_port*>& port_list() const { return ports_; }

    // Points every port at its net's root, then resets every instance in list
    // order. Changes neither the cycle nor the phases, commits nothing.
    void reset_all();
    // One cycle: every instance's clock() in list order, the commit of every
    // port (only driven ports do work) and the resolution of every net that
    // may change, cycle + 1, and the phase flip that makes next levels
    // current.
    void clock_all();

    int32_t sim_cycle() const { return boundary_.clock().sim_cycle; }
    // The cycle boundary, which holds every signal's levels; signals (built
    // against a const context too) are its handles.
    SIM_boundary& boundary() const { return boundary_; }
    const SIM_clock& clock() const { return boundary_.clock(); }

    // The stream everything of this simulation prints to. Its state (fill,
    // precision, notation, number base) persists across all printers.
    std::ostream& sim_out() const { return *out_; }
    void set_out(std::ostream& out) { out_ = &out; }

    // The warnings of a module without its own reset() or clock(); each
    // prints once per simulation.
    void warn_missing_reset(const SIM_instance& instance);
    void warn_missing_clock(const SIM_instance& instance);

  private:
    bool clock_warned_ = false;             // missing-clock warning already printed
    bool reset_warned_ = false;             // missing-reset warning already printed
    std::vector<SIM_instance*> instances_;  // every module, construction order
    std::vector<SIM_port*> ports_;          // every port, construction order = commit order
    mutable SIM_boundary boundary_;         // every signal's levels, and the cycle boundary
    std::ostream* out_;                     // output stream, not owned
};
