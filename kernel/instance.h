#pragma once
// Base of every clocked module. Construction registers the module at the tail
// of its context's instance list, whose order is the order of every reset()
// and clock().

#include <cstdint>
#include <ostream>
#include <string>

#include "kernel/context.h"
#include "kernel/name.h"

class SIM_instance {
  public:
    // The top of a design: registers in context.
    SIM_instance(const char* name, SIM_context& context);
    // A module inside parent (not null), in the parent's context.
    SIM_instance(const char* name, SIM_instance* parent);
    virtual ~SIM_instance() = default;
    // Registered by address in the instance list: never copied.
    SIM_instance(const SIM_instance&) = delete;
    SIM_instance& operator=(const SIM_instance&) = delete;

    // Puts the module in its initial state. The default warns once per run.
    virtual void reset();
    // One cycle's work. The default warns once per run.
    virtual void clock();

    void set_debug(int32_t value) { debug = value; }
    int32_t debug_flag() const { return debug; }
    std::string full_name() const { return name.full_name(); }

    SIM_context& context() const { return context_; }
    // The simulation's cycle number.
    int32_t sim_cycle() const { return context_.sim_cycle(); }
    // The simulation's output stream.
    std::ostream& sim_out() const { return context_.sim_out(); }

    SIM_name name;  // own name; parent is the parent instance's name

  protected:
    int32_t debug = 0;  // extra trace lines when set (option -d)

  private:
    SIM_context& context_;  // the simulation this module belongs to
};
