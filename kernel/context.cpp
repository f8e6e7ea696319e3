#include "kernel/context.h"

#include "kernel/instance.h"
#include "kernel/signal.h"

namespace {
void warn_once(std::ostream& out, bool& flag, const char* text, const SIM_instance& instance) {
    if (flag)
        return;
    flag = true;
    char buffer[SIM_name::buffer_size];
    out << text << instance.name.full_name(buffer, SIM_name::buffer_size - 1) << '\n';
}
}  // namespace

void SIM_context::register_instance(SIM_instance* instance) {
    instances_.push_back(instance);
    // Every module is built before the first cycle.
    boundary_.set_cycle(1);
}

void SIM_context::reset_all() {
    boundary_.attach_to_roots();
    for (SIM_instance* instance : instances_) instance->reset();
}

void SIM_context::clock_all() {
    for (SIM_instance* instance : instances_) instance->clock();
    boundary_.commit();
}

void SIM_context::warn_missing_reset(const SIM_instance& instance) {
    warn_once(*out_, reset_warned_, "Warning - no reset function defined for instance ", instance);
}

void SIM_context::warn_missing_clock(const SIM_instance& instance) {
    warn_once(*out_, clock_warned_, "Warning - no clock function defined for instance ", instance);
}
