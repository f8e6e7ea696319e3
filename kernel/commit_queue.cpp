#include "kernel/commit_queue.h"

#include <algorithm>

#include "kernel/packed_wires.h"
#include "kernel/port_vector.h"
#include "kernel/signal.h"

namespace {
template <typename T>
void erase_item(std::vector<T*>& items, T* item) {
    items.erase(std::remove(items.begin(), items.end(), item), items.end());
}
}  // namespace

void SIM_commit_queue::register_vector(SIM_port_vector* vector) {
    all_vectors_.push_back(vector);
    ++topology_;
}

void SIM_commit_queue::unregister_vector(SIM_port_vector* vector) {
    erase_item(all_vectors_, vector);
    ++topology_;
}

void SIM_commit_queue::register_wires(SIM_packed_wires* wires) {
    all_wires_.push_back(wires);
    ++topology_;
}

void SIM_commit_queue::unregister_wires(SIM_packed_wires* wires) {
    erase_item(all_wires_, wires);
    for (SIM_port_vector* vector : all_vectors_)
        if (vector->wires_ == wires)
            vector->wires_ = nullptr;
    ++topology_;
}

void SIM_commit_queue::note_topology_change() {
    ++topology_;
    for (SIM_port_vector* vector : all_vectors_) vector->wires_ = nullptr;
}

void SIM_commit_queue::update_layout() {
    layout_topology_ = topology_;
    for (SIM_port_vector* vector : all_vectors_) vector->wires_ = nullptr;
    for (SIM_packed_wires* wires : all_wires_) wires->update_layout(all_vectors_);
}

void SIM_commit_queue::commit(const SIM_clock& clock) {
    const int cur = clock.cur_phase;
    const int next = clock.next_phase;
    if (layout_topology_ != topology_) [[unlikely]]
        update_layout();
    // The vectors first, so that their ports' next buffers are up to date
    // for every resolution below.
    for (SIM_port_vector* vector : vectors_) {
        const uint32_t changed = vector->commit();
        if (vector->queued_)
            last_vectors_.push(vector);
        if (changed != 0 && vector->wires_)
            vector->wires_->member_changed_ |= changed;
    }
    vectors_.clear();
    vectors_.swap(last_vectors_);
    // Written at the previous boundary and untouched since: the next buffer
    // still holds the level before that boundary.
    for (SIM_port* port : last_ports_)
        if (!port->queued)
            port->level[next] = port->level[cur];
    for (SIM_net* net : last_nets_)
        if (!net->dirty)
            net->level[next] = net->level[cur];
    last_nets_.clear();
    for (SIM_port* port : ports_) {
        port->queued = false;
        logic_value v;
        SIM_net* net = port->net;
        if (port->driven) {
            v = port->level[next];
            port->driven = false;
        } else {
            v = port->level[cur];
            // A port committed on its own changes its next level back here:
            // a net that took it already resolves again below.
            if (net && port->level[next] != v && net->single_boundary == boundary_ && !net->dirty)
                add_net(net);
            port->level[next] = v;
        }
        const logic_value old_level = port->level[cur];
        if (net && v != old_level) {
            net->note_member_level(port, old_level, v);
            if (!net->dirty) {
                if (net->resolve_single(cur, boundary_)) {
                    // One driver at most: resolved at once, again if another
                    // member changes further down the list.
                    net->single_boundary = boundary_;
                    last_nets_.push(net);
                    net->update_packing(net->level[next]);
                } else {
                    add_net(net);
                }
            }
        }
    }
    for (SIM_packed_wires* wires : all_wires_) wires->resolve_members();
    for (SIM_net* net : nets_) {
        net->dirty = false;
        if (net->resolve_single(cur, boundary_)) {
            last_nets_.push(net);
        } else {
            switch (net->resolve_members(cur)) {
                case SIM_net::resolution::untouched:
                    // A net of no port is never rebuilt: its two buffers take
                    // turns as the current one, and its packing follows.
                    if (net->packed_state && net->level[0] != net->level[1])
                        carried_.push(net);
                    break;
                case SIM_net::resolution::resolve_again:
                    carried_.push(net);
                    [[fallthrough]];
                case SIM_net::resolution::resolved:
                    last_nets_.push(net);
                    break;
            }
        }
        net->update_packing(net->level[next]);
    }
    nets_.clear();
    for (SIM_packed_wires* wires : all_wires_) wires->state_.queued = 0;
    for (SIM_net* net : carried_) add_net(net);
    carried_.clear();
    last_ports_.swap(ports_);
    ports_.clear();
    ++boundary_;
    ++level_version_;
}
