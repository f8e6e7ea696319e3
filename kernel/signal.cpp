#include "kernel/signal.h"

#include "kernel/instance.h"

SIM_net::SIM_net(const char* name_text, const SIM_name* parent, const SIM_context& context)
    : SIM_signal(context.boundary()), name(name_text, parent) {
    boundary_->add_net(&record_, this);
}

SIM_port::SIM_port(const char* name_text, SIM_instance* owner)
    : SIM_port(name_text, &owner->name, owner->context()) {}

SIM_port::SIM_port(const char* name_text, SIM_context& context)
    : SIM_port(name_text, nullptr, context) {}

SIM_port::SIM_port(const char* name_text, const SIM_name* parent, SIM_context& context)
    : SIM_signal(context.boundary()), name(name_text, parent) {
    boundary_->add_port(&record_);
    context.register_port(this);
}

std::ostream& operator<<(std::ostream& os, const SIM_port& port) {
    char buffer[SIM_name::buffer_size];
    return os << port.name.full_name(buffer, SIM_name::buffer_size - 1) << '=' << port.to_char();
}
