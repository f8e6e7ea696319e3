#pragma once
// Base of every clocked module. Construction registers the module at the tail
// of the instance list, whose order is the order of every reset() and clock().

#include <cstdint>
#include <string>

#include "kernel/name.h"

class SIM_instance {
  public:
    // Registers the instance and sets sim_cycle to 1: all modules are built
    // before the first cycle.
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

    // Re-arms the two warn-once messages (kernel clear, for tests).
    static void clear_warnings();

    SIM_name name;  // own name; parent is the parent instance's name

  protected:
    int32_t debug = 0;  // extra trace lines when set (option -d)
};
