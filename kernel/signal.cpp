#include "kernel/signal.h"

#include "kernel/instance.h"

SIM_net::SIM_net(const char* name_text, const SIM_name* parent, const SIM_context& context)
    : SIM_signal(context.clock()), name(name_text, parent) {}

void SIM_net::force(logic_value v) {
    if (restart_force) {
        restart_force = false;
        level[0] = level[1] = VZ;
    }
    level[0] = level[1] = resolve(v);
}

void SIM_net::connect(SIM_port& port) {
    if (port.net) {
        merge(*port.net);
    } else {
        port.net = this;
    }
}

void SIM_net::merge(SIM_net& other) {
    SIM_net* mine = root_;
    SIM_net* theirs = other.root_;
    if (mine == theirs)
        return;
    SIM_net* last = mine;
    while (last->chain_next) last = last->chain_next;
    last->chain_next = theirs;
    for (SIM_net* n = theirs; n; n = n->chain_next) n->root_ = mine;
}

SIM_port::SIM_port(const char* name_text, SIM_instance* owner)
    : SIM_signal(owner->context().clock()), name(name_text, &owner->name) {
    owner->context().register_port(this);
}

SIM_port::SIM_port(const char* name_text, SIM_context& context)
    : SIM_signal(context.clock()), name(name_text, nullptr) {
    context.register_port(this);
}

std::ostream& operator<<(std::ostream& os, const SIM_port& port) {
    char buffer[SIM_name::buffer_size];
    return os << port.name.full_name(buffer, SIM_name::buffer_size - 1) << '=' << port.to_char();
}
