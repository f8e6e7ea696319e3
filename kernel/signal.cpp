#include "kernel/signal.h"

#include <algorithm>

#include "kernel/instance.h"
#include "kernel/packed_wires.h"

SIM_net::SIM_net(const char* name_text, const SIM_name* parent, const SIM_context& context)
    : SIM_signal(context.clock()), name(name_text, parent), queue_(&context.commit_queue()) {}

int SIM_net::last_drive_phase(int cur) const {
    // A net with ports is driven at every boundary, the last one in the
    // phase before the current one.
    if (drive_boundary == queue_->boundary())
        return cur;
    if (!members.empty() && members_since < queue_->boundary())
        return cur ^ 1;
    return drive_phase;
}

void SIM_net::drive(logic_value v) {
    const int cur = cur_phase();
    if (last_drive_phase(cur) != cur) {
        level[next_phase()] = VZ;
        restart_force = true;
    }
    drive_phase = cur;
    drive_boundary = queue_->boundary();
    // The next buffer is this net's own again.
    if (packed_state)
        packed_state->kept &= ~packed_mask;
    level[next_phase()] = resolve(v);
    mark_dirty();
}

logic_value SIM_net::packed_next() const {
    return packed_owner->previous_level(packed_bit);
}

void SIM_net::force(logic_value v) {
    if (restart_force) {
        restart_force = false;
        level[0] = level[1] = VZ;
    }
    level[0] = level[1] = resolve(v);
    queue_->count_level_change();
    update_packing(level[0]);
    mark_dirty();
}

SIM_net::resolution SIM_net::resolve_members(int cur) {
    if (members.empty())
        return resolution::untouched;
    const int next = cur ^ 1;
    // The ports' levels go on top of what this cycle's drives left, unless
    // they are the cycle's first drive.
    const bool first = last_drive_phase(cur) != cur;
    // The fold, counting the members not at Z on the way (resolve_single
    // has taken the nets with at most one).
    logic_value v = first ? VZ : level[next];
    int32_t count = 0;
    uintptr_t addresses = 0;
    for (const SIM_port* port : members) {
        const logic_value member_level = port->level[next];
        v = resolve_levels(v, member_level);
        const bool active = member_level != VZ;
        count += active;
        addresses ^= active ? reinterpret_cast<uintptr_t>(port) : 0;
    }
    active_count = count;
    active_xor = addresses;
    // A net resolved as a word keeps no counts.
    active_valid = !packed_state || !(packed_state->words & packed_mask);
    level[next] = v;
    drive_phase = cur;
    if (!first)
        return resolution::resolve_again;
    restart_force = true;
    return resolution::resolved;
}

void SIM_net::add_member(SIM_port* port) {
    active_valid = false;
    queue_->note_topology_change();
    if (members.empty())
        members_since = queue_->boundary();
    auto at =
        std::upper_bound(members.begin(), members.end(), port,
                         [](const SIM_port* a, const SIM_port* b) { return a->index < b->index; });
    members.insert(at, port);
    mark_dirty();
}

void SIM_net::remove_member(SIM_port* port) {
    active_valid = false;
    queue_->note_topology_change();
    mark_dirty();
    if (members.size() == 1) {
        drive_phase = last_drive_phase(cur_phase());
        members_since = UINT64_MAX;
    }
    members.erase(std::find(members.begin(), members.end(), port));
}

void SIM_net::connect(SIM_port& port) {
    if (port.net) {
        merge(*port.net);
    } else {
        port.net = this;
        port.wire_levels = level;
        add_member(&port);
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
    : SIM_port(name_text, &owner->name, owner->context()) {}

SIM_port::SIM_port(const char* name_text, SIM_context& context)
    : SIM_port(name_text, nullptr, context) {}

SIM_port::SIM_port(const char* name_text, const SIM_name* parent, SIM_context& context)
    : SIM_signal(context.clock()),
      name(name_text, parent),
      queue_(&context.commit_queue()),
      index(static_cast<int32_t>(context.port_list().size())) {
    context.register_port(this);
}

void SIM_port::attach_to_root() {
    if (!net || net->root() == net)
        return;
    net->remove_member(this);
    net = net->root();
    wire_levels = net->level;
    net->add_member(this);
}

std::ostream& operator<<(std::ostream& os, const SIM_port& port) {
    char buffer[SIM_name::buffer_size];
    return os << port.name.full_name(buffer, SIM_name::buffer_size - 1) << '=' << port.to_char();
}
