#include "support/reference_boundary.h"

int REF_boundary::add_port() {
    ports_.emplace_back();
    return port_count() - 1;
}

int REF_boundary::add_net() {
    nets_.emplace_back();
    nets_.back().root = net_count() - 1;
    return net_count() - 1;
}

void REF_boundary::connect(int net, int port) {
    if (ports_[port].net >= 0)
        merge(net, ports_[port].net);
    else
        ports_[port].net = net;
}

void REF_boundary::merge(int net, int other) {
    const int mine = nets_[net].root;
    const int theirs = nets_[other].root;
    if (mine == theirs)
        return;
    int last = mine;
    while (nets_[last].chain_next >= 0) last = nets_[last].chain_next;
    nets_[last].chain_next = theirs;
    for (int n = theirs; n >= 0; n = nets_[n].chain_next) nets_[n].root = mine;
}

void REF_boundary::attach_to_roots() {
    for (port_state& port : ports_)
        if (port.net >= 0)
            port.net = nets_[port.net].root;
}

void REF_boundary::drive_port(int port, logic_value v) {
    ports_[port].driven = true;
    ports_[port].level[next_] = v;
}

void REF_boundary::force_port(int port, logic_value v) {
    port_state& p = ports_[port];
    p.driven = false;
    p.level[0] = p.level[1] = v;
    if (p.net >= 0)
        force_net(p.net, v);
}

void REF_boundary::commit_port(int port) {
    port_state& p = ports_[port];
    if (!p.driven)
        drive_port(port, p.level[cur_]);
    const logic_value v = p.level[next_];
    p.driven = false;
    if (p.net >= 0)
        drive_net(p.net, v);
}

void REF_boundary::drive_net(int net, logic_value v) {
    net_state& n = nets_[net];
    if (n.last_drive_phase != cur_) {
        n.last_drive_phase = cur_;
        n.level[next_] = VZ;
        n.restart_force = true;
    }
    n.level[next_] = resolve_levels(n.level[next_], v);
}

void REF_boundary::force_net(int net, logic_value v) {
    net_state& n = nets_[net];
    if (n.restart_force) {
        n.restart_force = false;
        n.level[0] = n.level[1] = VZ;
    }
    n.level[0] = n.level[1] = resolve_levels(n.level[next_], v);
}

void REF_boundary::boundary() {
    for (int port = 0; port < port_count(); ++port) commit_port(port);
    cur_ ^= 1;
    next_ ^= 1;
}

logic_value REF_boundary::port_read(int port) const {
    const port_state& p = ports_[port];
    return p.net >= 0 ? nets_[p.net].level[cur_] : p.level[cur_];
}

bool REF_boundary::nets_to_int(const std::vector<int>& nets, uint32_t& result) const {
    if (nets.size() > 32)
        return false;
    result = 0;
    for (auto i = nets.size(); i-- > 0;) {
        const logic_value v = net_read(nets[i]);
        if (v == VZ || v == VX)
            return false;
        result = (result << 1) | (level_is_high(v) ? 1u : 0u);
    }
    return true;
}

std::string REF_boundary::nets_to_hex(const std::vector<int>& nets) const {
    const int count = static_cast<int>(nets.size());
    std::string text;
    for (int g = (count + 3) / 4 - 1; g >= 0; --g) {
        logic_value b[4];
        for (int k = 0; k < 4; ++k) b[k] = 4 * g + k < count ? net_read(nets[4 * g + k]) : VZ;
        text += hex_digit(b[3], b[2], b[1], b[0]);
    }
    return text;
}
