#include "kernel/instance.h"

SIM_instance::SIM_instance(const char* name_text, SIM_context& context)
    : name(name_text, nullptr), context_(context) {
    context_.register_instance(this);
}

SIM_instance::SIM_instance(const char* name_text, SIM_instance* parent)
    : name(name_text, &parent->name), context_(parent->context_) {
    context_.register_instance(this);
}

void SIM_instance::reset() {
    context_.warn_missing_reset(*this);
}

void SIM_instance::clock() {
    context_.warn_missing_clock(*this);
}
