#include "kernel/scheduler.h"

#include "kernel/instance.h"
#include "kernel/signal.h"

int32_t sim_cycle = 0;
int cur_phase = 0;
int next_phase = 1;

namespace {
std::vector<SIM_instance*> instances;  // every module, construction order
std::vector<SIM_port*> ports;          // every port, construction order = commit order
}  // namespace

void register_instance(SIM_instance* instance) {
    instances.push_back(instance);
}
void register_port(SIM_port* port) {
    ports.push_back(port);
}

const std::vector<SIM_instance*>& instance_list() {
    return instances;
}
const std::vector<SIM_port*>& port_list() {
    return ports;
}

void reset_all() {
    for (SIM_port* port : ports) port->attach_to_root();
    for (SIM_instance* instance : instances) instance->reset();
}

void clock_all() {
    for (SIM_instance* instance : instances) instance->clock();
    for (SIM_port* port : ports) port->commit();
    ++sim_cycle;
    cur_phase ^= 1;
    next_phase ^= 1;
}

void sim_kernel_clear() {
    instances.clear();
    ports.clear();
    sim_cycle = 0;
    cur_phase = 0;
    next_phase = 1;
    SIM_instance::clear_warnings();
}
