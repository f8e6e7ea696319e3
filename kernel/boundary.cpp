// The boundary's ports and nets, and the order of its steps. Vectors and
// packings are in boundary_words.cpp.
#include "kernel/boundary.h"

#include <algorithm>

void SIM_boundary::add_port(port_ref port) {
    port->index = static_cast<int32_t>(all_ports_.size());
    all_ports_.push_back(port);
}

void SIM_boundary::force(port_ref port, logic_value v) {
    port->driven = false;
    if (port->vector != nullptr) [[unlikely]]
        force_bit(port, v);
    else
        port->level[0] = port->level[1] = v;
    if (port->net != nullptr) {
        port->net->active_valid = false;
        force(port->net, v);
    }
}

void SIM_boundary::commit(port_ref port) {
    if (port->vector != nullptr) [[unlikely]] {
        commit_bit(port);
        return;
    }
    const int64_t next = clock_.next_phase;
    if (!port->driven)
        port->level[next] = port->level[clock_.cur_phase];
    port->driven = false;
    if (port->net != nullptr) {
        port->net->active_valid = false;
        drive(port->net, port->level[next]);
    }
}

logic_value SIM_boundary::committed_level(const port_record* port) const {
    if (port->vector != nullptr) [[unlikely]]
        return port->vector->cur.at(port->bit);
    return port->level[clock_.next_phase];
}

void SIM_boundary::add_net(net_ref net, SIM_net* handle) {
    net->handle = handle;
}

int64_t SIM_boundary::last_drive_phase(const net_record* net, int64_t cur) const {
    // A net with ports is driven at every boundary, the last one in the
    // phase before the current one.
    if (net->drive_boundary == boundary_)
        return cur;
    if (!net->members.empty() && net->members_since < boundary_)
        return cur ^ 1;
    return net->drive_phase;
}

void SIM_boundary::drive(net_ref net, logic_value v) {
    const int64_t cur = clock_.cur_phase;
    const int64_t next = clock_.next_phase;
    if (last_drive_phase(net, cur) != cur) {
        net->level[next] = VZ;
        net->restart_force = true;
    }
    net->drive_phase = cur;
    net->drive_boundary = boundary_;
    net->level[next] = resolve_levels(net->level[next], v);
    mark_dirty(net);
}

void SIM_boundary::force(net_ref net, logic_value v) {
    if (net->restart_force) {
        net->restart_force = false;
        net->level[0] = net->level[1] = VZ;
    }
    net->level[0] = net->level[1] = resolve_levels(net->level[clock_.next_phase], v);
    ++level_version_;
    update_packing(net, net->level[0]);
    mark_dirty(net);
}

SIM_net* SIM_boundary::root(const net_record* net) const {
    return net->root->handle;
}

void SIM_boundary::add_member(net_record* net, port_record* port) {
    net->active_valid = false;
    note_topology_change();
    if (net->members.empty())
        net->members_since = boundary_;
    auto at = std::upper_bound(
        net->members.begin(), net->members.end(), port,
        [](const port_record* a, const port_record* b) { return a->index < b->index; });
    net->members.insert(at, port);
    mark_dirty(net);
}

void SIM_boundary::remove_member(net_record* net, port_record* port) {
    net->active_valid = false;
    note_topology_change();
    mark_dirty(net);
    if (net->members.size() == 1) {
        net->drive_phase = last_drive_phase(net, clock_.cur_phase);
        net->members_since = UINT64_MAX;
    }
    net->members.erase(std::find(net->members.begin(), net->members.end(), port));
}

void SIM_boundary::connect(net_ref net, port_ref port) {
    if (port->net != nullptr) {
        merge(net, port->net);
        return;
    }
    port->net = net;
    port->wire = net->level;
    add_member(net, port);
}

void SIM_boundary::merge(net_ref net, net_ref other) {
    net_record* mine = net->root;
    net_record* theirs = other->root;
    if (mine == theirs)
        return;
    net_record* last = mine;
    while (last->chain_next != nullptr) last = last->chain_next;
    last->chain_next = theirs;
    for (net_record* n = theirs; n != nullptr; n = n->chain_next) n->root = mine;
}

void SIM_boundary::attach_to_roots() {
    for (port_record* port : all_ports_) {
        net_record* net = port->net;
        if (net == nullptr || net->root == net)
            continue;
        remove_member(net, port);
        port->net = net->root;
        port->wire = port->net->level;
        add_member(port->net, port);
    }
}

inline bool SIM_boundary::resolve_single(net_record* net, int64_t cur) {
    // Ports attached before this boundary and no drive of the net itself in
    // this cycle: the first drive (see last_drive_phase).
    if (!net->active_valid || net->active_count > 1 || net->drive_boundary == boundary_ ||
        net->members_since >= boundary_)
        return false;
    // Z is neutral in the fold: the one member not at Z, if any, decides. With
    // one member active, the XOR of the active members' addresses is its own.
    net->level[cur ^ 1] =
        net->active_count == 0
            ? VZ
            // NOLINTNEXTLINE(performance-no-int-to-ptr): the address, as just said
            : committed_level(reinterpret_cast<const port_record*>(net->active_xor));
    net->drive_phase = cur;
    net->restart_force = true;
    return true;
}

SIM_boundary::resolution SIM_boundary::resolve_members(net_record* net, int64_t cur) {
    if (net->members.empty())
        return resolution::untouched;
    const int64_t next = cur ^ 1;
    // The ports' levels go on top of what this cycle's drives left, unless
    // they are the cycle's first drive.
    const bool first = last_drive_phase(net, cur) != cur;
    // The fold, counting the members not at Z on the way (resolve_single
    // has taken the nets with at most one).
    logic_value v = first ? VZ : net->level[next];
    int32_t count = 0;
    uintptr_t addresses = 0;
    for (const port_record* port : net->members) {
        const logic_value member_level = committed_level(port);
        v = resolve_levels(v, member_level);
        const bool active = member_level != VZ;
        count += active;
        addresses ^= active ? reinterpret_cast<uintptr_t>(port) : 0;
    }
    net->active_count = count;
    net->active_xor = addresses;
    // A net resolved as a word keeps no counts.
    net->active_valid = net->packing == nullptr || (net->packing->words & net->packed_mask) == 0;
    net->level[next] = v;
    net->drive_phase = cur;
    if (!first)
        return resolution::resolve_again;
    net->restart_force = true;
    return resolution::resolved;
}

inline void SIM_boundary::commit_ports(int64_t cur, int64_t next) {
    for (port_record* port : ports_) {
        port->queued = false;
        logic_value v;
        net_record* net = port->net;
        if (port->driven) {
            v = port->level[next];
            port->driven = false;
        } else {
            v = port->level[cur];
            // A port committed on its own changes its next level back here:
            // a net that took it already resolves again below.
            if (net != nullptr && port->level[next] != v && net->single_boundary == boundary_ &&
                !net->dirty)
                queue_net(net);
            port->level[next] = v;
        }
        const logic_value old_level = port->level[cur];
        if (net == nullptr || v == old_level)
            continue;
        note_member_level(net, port, old_level, v);
        if (net->dirty)
            continue;
        if (resolve_single(net, cur)) {
            // One driver at most: resolved at once, again if another member
            // changes further down the list.
            net->single_boundary = boundary_;
            last_nets_.push(net);
            update_packing(net, net->level[next]);
        } else {
            queue_net(net);
        }
    }
}

inline void SIM_boundary::resolve_nets(int64_t cur, int64_t next) {
    for (net_record* net : nets_) {
        net->dirty = false;
        if (resolve_single(net, cur)) {
            last_nets_.push(net);
        } else {
            switch (resolve_members(net, cur)) {
                case resolution::untouched:
                    // A net of no port is never rebuilt: its two buffers take
                    // turns as the current one, and its packing follows.
                    if (net->packing != nullptr && net->level[0] != net->level[1])
                        carried_.push(net);
                    break;
                case resolution::resolve_again:
                    carried_.push(net);
                    [[fallthrough]];
                case resolution::resolved:
                    last_nets_.push(net);
                    break;
            }
        }
        update_packing(net, net->level[next]);
    }
    nets_.clear();
}

void SIM_boundary::commit() {
    const int64_t cur = clock_.cur_phase;
    const int64_t next = clock_.next_phase;
    if (layout_topology_ != topology_) [[unlikely]]
        update_layout();
    // Written at the previous boundary and untouched since: the next buffer
    // still holds the level before that boundary, where committing anew
    // writes the current one.
    for (vector_record* vector : last_vectors_)
        if (!vector->queued)
            vector->next = vector->cur;
    last_vectors_.clear();
    for (port_record* port : last_ports_)
        if (!port->queued)
            port->level[next] = port->level[cur];
    for (net_record* net : last_nets_)
        if (!net->dirty)
            net->level[next] = net->level[cur];
    last_nets_.clear();
    // The vectors first, so that their bits' committed levels are known to
    // every resolution below.
    for (vector_record* vector : vectors_) {
        const uint32_t changed = commit_vector(vector);
        if (changed == 0)
            continue;
        last_vectors_.push(vector);
        if (vector->wires != nullptr)
            vector->wires->member_changed |= changed;
    }
    vectors_.clear();
    commit_ports(cur, next);
    for (packing_record* packing : tracked_) resolve_words(packing, next);
    resolve_nets(cur, next);
    for (net_record* net : carried_) queue_net(net);
    carried_.clear();
    last_ports_.swap(ports_);
    ports_.clear();
    ++boundary_;
    ++level_version_;
    ++clock_.sim_cycle;
    clock_.cur_phase = next;
    clock_.next_phase = cur;
}
