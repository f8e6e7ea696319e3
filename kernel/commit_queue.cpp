#include "kernel/commit_queue.h"

#include "kernel/signal.h"

void SIM_commit_queue::add_net(SIM_net* net) {
    net->dirty = true;
    nets_.push_back(net);
}

void SIM_commit_queue::commit(const SIM_clock& clock) {
    const int cur = clock.cur_phase;
    const int next = clock.next_phase;
    // Written at the previous boundary and untouched since: the next buffer
    // still holds the level before that boundary.
    for (std::size_t i = 0; i < last_port_count_; ++i) {
        SIM_port* port = last_ports_[i];
        if (!port->queued)
            port->level[next] = port->level[cur];
    }
    for (SIM_net* net : last_nets_)
        if (!net->dirty)
            net->level[next] = net->level[cur];
    for (std::size_t i = 0; i < port_count_; ++i) {
        SIM_port* port = ports_[i];
        port->queued = false;
        logic_value v;
        if (port->driven) {
            v = port->level[next];
            port->driven = false;
        } else {
            v = port->level[cur];
            port->level[next] = v;
        }
        SIM_net* net = port->net;
        if (net && !net->dirty && v != port->level[cur])
            add_net(net);
    }
    last_nets_.clear();
    for (SIM_net* net : nets_) {
        net->dirty = false;
        switch (net->resolve_members(cur)) {
            case SIM_net::resolution::untouched:
                break;
            case SIM_net::resolution::resolve_again:
                carried_.push_back(net);
                [[fallthrough]];
            case SIM_net::resolution::resolved:
                last_nets_.push_back(net);
                break;
        }
    }
    nets_.clear();
    for (SIM_net* net : carried_) add_net(net);
    carried_.clear();
    last_ports_.swap(ports_);
    last_port_count_ = port_count_;
    port_count_ = 0;
    ++boundary_;
    ++level_version_;
}
