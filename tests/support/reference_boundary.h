#pragma once
// The cycle boundary written literally, for tests to compare the kernel
// with. Every port is committed at every boundary, in port-list order, and
// every net with a port is rebuilt from Z through the resolution table; no
// work list, no counts, no bit planes. Signals are numbered in creation
// order (ports in port-list order) and live in plain arrays.

#include <cstdint>
#include <string>
#include <vector>

#include "kernel/logic.h"

class REF_boundary {
  public:
    // A new port (appended to the port list) or net; returns its number.
    int add_port();
    int add_net();

    // Attaches port to net, or merges the port's net into net's chain if the
    // port has one already.
    void connect(int net, int port);
    // Joins other's chain to net's; net's root becomes the root of all.
    void merge(int net, int other);
    // Points every port at its net's root (the first step of a reset).
    void attach_to_roots();

    // A port's drive (last one in a cycle wins), force and own commit.
    void drive_port(int port, logic_value v);
    void force_port(int port, logic_value v);
    void commit_port(int port);
    // A net's own drive and force.
    void drive_net(int net, logic_value v);
    void force_net(int net, logic_value v);

    // The end of a cycle: every port committed in port-list order, then the
    // phase flip.
    void boundary();

    // What the kernel's read(), read_next() and own_level() give.
    logic_value port_read(int port) const;
    logic_value port_read_next(int port) const { return ports_[port].level[next_]; }
    logic_value port_own(int port) const { return ports_[port].level[cur_]; }
    logic_value net_read(int net) const { return nets_[net].level[cur_]; }
    logic_value net_read_next(int net) const { return nets_[net].level[next_]; }

    // signals_to_int and signals_to_hex over the current levels of nets.
    bool nets_to_int(const std::vector<int>& nets, uint32_t& result) const;
    std::string nets_to_hex(const std::vector<int>& nets) const;

    int port_count() const { return static_cast<int>(ports_.size()); }
    int net_count() const { return static_cast<int>(nets_.size()); }
    // The net a port drives and reads, -1 for none.
    int port_net(int port) const { return ports_[port].net; }

  private:
    struct port_state {
        logic_value level[2] = {VZ, VZ};  // the two buffers, indexed by phase
        int net = -1;                     // the attached net, -1 for none
        bool driven = false;              // drive() was called in this cycle
    };
    struct net_state {
        logic_value level[2] = {VZ, VZ};  // the two buffers, indexed by phase
        int chain_next = -1;              // next net of the merged chain, -1 at its end
        int last_drive_phase = -1;        // cur_ at the last drive
        bool restart_force = true;        // the next force starts from Z
        int root = -1;                    // the net standing for the whole chain
    };

    std::vector<port_state> ports_;  // every port, port-list order
    std::vector<net_state> nets_;    // every net, creation order
    int cur_ = 0;                    // index of the current buffer
    int next_ = 1;                   // index of the next buffer
};
