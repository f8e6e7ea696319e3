#include "kernel/instance.h"

#include "kernel/output.h"
#include "kernel/scheduler.h"

namespace {
bool clock_warned = false;  // missing-clock warning already printed this run
bool reset_warned = false;  // missing-reset warning already printed this run

void warn_once(bool& flag, const char* text, const SIM_instance& instance) {
    if (flag)
        return;
    flag = true;
    char buffer[SIM_name::buffer_size];
    sim_out() << text << instance.name.full_name(buffer, SIM_name::buffer_size - 1) << '\n';
}
}  // namespace

SIM_instance::SIM_instance(const char* name_text, SIM_instance* parent)
    : name(name_text, parent ? &parent->name : nullptr) {
    register_instance(this);
    sim_cycle = 1;
}

void SIM_instance::reset() {
    warn_once(reset_warned, "Warning - no reset function defined for instance ", *this);
}

void SIM_instance::clock() {
    warn_once(clock_warned, "Warning - no clock function defined for instance ", *this);
}

void SIM_instance::clear_warnings() {
    clock_warned = false;
    reset_warned = false;
}
