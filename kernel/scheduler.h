#pragma once
// The global lists and the two kernel operations the main loop calls:
// reset_all() once before the first cycle, clock_all() once per cycle.

#include <vector>

#include "kernel/sim_time.h"

class SIM_instance;
class SIM_port;

// Called by the constructors; lists are in construction order.
void register_instance(SIM_instance* instance);
void register_port(SIM_port* port);

const std::vector<SIM_instance*>& instance_list();
const std::vector<SIM_port*>& port_list();

// Points every port at its net's root, then resets every instance in list
// order. Changes neither sim_cycle nor the phases, commits nothing.
void reset_all();

// One cycle: every instance's clock() in list order, every port's commit in
// list order, sim_cycle + 1, and the phase flip that makes next levels current.
void clock_all();

// Forgets every registered instance and port and restores the counters, the
// phases and the warn-once flags to their program-start values. The program
// never calls it; tests call it to build several independent designs in one
// process. Objects built before the call must not be used with the new kernel.
void sim_kernel_clear();
