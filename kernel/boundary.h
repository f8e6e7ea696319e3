#pragma once
// The cycle boundary of one simulation, and the one owner of every signal's
// levels and of the bookkeeping that commits them. A port (SIM_port), a net
// (SIM_net), a vector of ports driven as a word (SIM_port_vector) and a
// packing of nets read as a word (SIM_packed_wires) are handles: each holds
// a record (a port's or net's inside the handle, a vector's or packing's
// here) and offers the operations of its contract, which this class carries
// out; no other class reads or writes a record.
//
// The contract (docs/kernel.md): at the boundary every port commits, in
// port-list order (a port not driven in the cycle takes its current level as
// its next one), and every net with ports is rebuilt from Z by resolving its
// ports' committed levels in port-list order; then the phases flip. This
// class does only the work that can change a level, with the same result:
// only ports driven to a new level commit, only nets whose members changed
// (or that were driven, forced or rewired) resolve again, and the signals
// written at the previous boundary get their next buffer refreshed, where
// the literal commit would have written the same level. A vector keeps its
// ports' levels as bit planes and commits all its bits at once; a packing
// resolves as words the nets only vectors drive. Every next buffer, planes
// included, holds the next level as the literal boundary leaves it.

#include <cstdint>
#include <deque>
#include <vector>

#include "kernel/logic.h"
#include "kernel/pointer_list.h"
#include "kernel/sim_time.h"

class SIM_net;
class SIM_port;

class SIM_boundary {
    struct vector_record;
    struct packing_record;

  public:
    // The record of a port and of a net. Each lives in its handle (so that
    // an operation reaches the levels with no further load), which keeps it
    // private; only this class reads or writes its fields.
    struct net_record;
    struct port_record {
        // [phase]: the current and next level; unused for a bit of a
        // vector, whose levels its vector's planes hold.
        logic_value level[2] = {VZ, VZ};
        // The levels read() gives, by phase: the net's once attached, else
        // the port's own.
        const logic_value* wire = level;
        // The levels own_level() gives, by phase: level, or for a bit of a
        // vector its vector's copy of the bit's current level.
        const logic_value* own = level;
        net_record* net = nullptr;        // the attached net
        vector_record* vector = nullptr;  // the vector this port is bit bit of
        int32_t bit = 0;                  // the bit in vector
        int32_t index = 0;                // position in the port list
        bool driven = false;              // driven in this cycle
        bool queued = false;              // in this cycle's work list (always, in a vector)
        port_record() = default;
        port_record(const port_record&) = delete;
        port_record& operator=(const port_record&) = delete;
    };

    struct net_record {
        logic_value level[2] = {VZ, VZ};    // [phase]: the current and next level
        SIM_net* handle = nullptr;          // the net's handle
        std::vector<port_record*> members;  // attached ports, port-list order
        // Members not at Z: how many and the XOR of their addresses (with
        // one, its address), while valid.
        uintptr_t active_xor = 0;
        int32_t active_count = 0;
        bool active_valid = false;
        packing_record* packing = nullptr;      // the tracking packing, if any
        uint32_t packed_mask = 0;               // this net's bit in it
        int32_t packed_bit = 0;                 // the same, as a number
        net_record* chain_next = nullptr;       // next of the merged chain
        net_record* root = this;                // representative of the chain
        uint64_t drive_boundary = UINT64_MAX;   // boundary of the last own drive
        uint64_t members_since = UINT64_MAX;    // boundary when ports were first attached
        uint64_t single_boundary = UINT64_MAX;  // boundary when resolved as a member changed
        int64_t drive_phase = -1;               // cur_phase at the last drive counted here
        bool restart_force = true;              // the next force starts from Z
        bool dirty = false;                     // queued for resolution
        net_record() = default;
        net_record(const net_record&) = delete;
        net_record& operator=(const net_record&) = delete;
    };

    // What a handle refers to.
    using port_ref = port_record*;
    using net_ref = net_record*;
    using vector_ref = vector_record*;
    using packing_ref = packing_record*;

    SIM_boundary() = default;
    SIM_boundary(const SIM_boundary&) = delete;
    SIM_boundary& operator=(const SIM_boundary&) = delete;

    // ---- Ports ----
    // Registers port at the tail of the port list.
    void add_port(port_ref port);
    // Schedules v as the port's next level (the last drive of a cycle wins).
    void drive(port_ref port, logic_value v) {
        const int64_t next = clock_.next_phase;
        if (port->queued) {
            // A bit of a vector is always marked queued: its vector keeps it.
            if (port->vector != nullptr) [[unlikely]] {
                drive_bit(port, v);
                return;
            }
            port->level[next] = v;
            port->driven = true;
        } else if (v != port->level[clock_.cur_phase]) {
            port->level[next] = v;
            port->driven = true;
            port->queued = true;
            ports_.push(port);
        } else {
            // The current level again: the boundary would commit the same.
            port->level[next] = v;
        }
    }
    // Sets v in both buffers at once, cancelling a drive of the cycle, and
    // forces the port's net with it.
    void force(port_ref port, logic_value v);
    // End of cycle for this port alone: an undriven port takes its current
    // level as its next one, then the next level drives its net.
    void commit(port_ref port);
    // The wire's current level if attached, else the port's own.
    logic_value read(const port_record* port) const { return port->wire[clock_.cur_phase]; }
    // The port's own current and next levels.
    logic_value own_level(const port_record* port) const { return port->own[clock_.cur_phase]; }
    logic_value read_next(const port_record* port) const {
        if (port->vector != nullptr) [[unlikely]]
            return port->vector->next.at(port->bit);
        return port->level[clock_.next_phase];
    }
    // The net the port is attached to, if any.
    SIM_net* attached_net(const port_record* port) const {
        return port->net != nullptr ? port->net->handle : nullptr;
    }

    // ---- Nets ----
    // Registers net; handle is what root() and attached_net() give for it.
    void add_net(net_ref net, SIM_net* handle);
    // The first drive of a cycle restarts the net from Z; the ports'
    // committed levels are resolved on top of the cycle's drives.
    void drive(net_ref net, logic_value v);
    // Forces accumulate until the next drive; the first one starts from Z.
    void force(net_ref net, logic_value v);
    logic_value read(const net_record* net) const { return net->level[clock_.cur_phase]; }
    logic_value read_next(const net_record* net) const { return net->level[clock_.next_phase]; }
    // Attaches port; a port already on a net merges that net's chain here.
    void connect(net_ref net, port_ref port);
    // Joins other's chain to net's; net's root becomes the root of all.
    void merge(net_ref net, net_ref other);
    // The net that stands for the whole merged chain.
    SIM_net* root(const net_record* net) const;
    // Points every port at its net's root, making merged nets one wire.
    void attach_to_roots();

    // ---- Vectors of ports ----
    // A new vector of no ports yet.
    vector_ref add_vector();
    // Makes the count (at most 32) ports the vector's bits, element 0 = bit
    // 0, once, before their first drive. A port can be a bit of one vector.
    void assign(vector_ref vector, const port_ref* ports, int count);
    // Drives the bits with levels.
    void drive(vector_ref vector, const SIM_level_planes& levels) {
        vector->next = levels;
        if (vector->queued) {
            vector->driven = vector->mask;
            return;
        }
        // The current levels again: the boundary would commit nothing.
        if (levels == vector->cur)
            return;
        vector->driven = vector->mask;
        vector->queued = true;
        vectors_.push(vector);
    }
    // signals_to_int over the wires of the vector's ports; from their
    // packing when the boundary found one.
    bool read_wires(const vector_record* vector, uint32_t& result) const {
        if (vector->wires != nullptr) [[likely]]
            return read(vector->wires, result);
        return read_wires_one_by_one(vector, result);
    }
    int size(const vector_record* vector) const { return vector->count; }
    uint32_t mask(const vector_record* vector) const { return vector->mask; }
    // The bits whose ports' own current level is 0 or 1.
    uint32_t strong_bits(const vector_record* vector) const {
        return vector->mask & ~(vector->cur.bit1 | vector->cur.bit2);
    }

    // ---- Packings of nets ----
    // A new packing of no nets yet.
    packing_ref add_packing() { return &all_packings_.emplace_back(); }
    // Lets the count (at most 32) nets at nets, element 0 = bit 0, keep
    // their levels in the packing's planes from now on. Returns false
    // (nothing done) if another packing has one of them already.
    bool track(packing_ref packing, const net_ref* nets, int count);
    // signals_to_int over a tracked packing's nets, with its result and
    // return value.
    bool read(const packing_record* packing, uint32_t& result) const {
        const SIM_level_planes& levels = packing->levels;
        const uint32_t neither = levels.neither();
        if (neither == 0) {
            result = levels.bit0;
            return true;
        }
        // The bits above the highest wire at Z or X, as signals_to_int leaves them.
        const int top = 31 - __builtin_clz(neither);
        result = static_cast<uint32_t>(uint64_t{levels.highs()} >> (top + 1));
        return false;
    }
    // signals_to_hex over a tracked packing's nets without its terminator.
    void write_hex(const packing_record* packing, char* buffer) const;

    // ---- Observers ----
    // The two level buffers, indexed by phase, of the wire port reads (its
    // net's once attached).
    const logic_value* wire_buffers(const port_record* port) const { return port->wire; }
    const logic_value* wire_buffers(const net_record* net) const { return net->level; }
    // The clock whose phases index the buffers.
    const SIM_clock& clock() const { return clock_; }

    // ---- The boundary ----
    // Commits and resolves, counts one boundary and one cycle, and flips
    // the phases, which makes the next levels current.
    void commit();
    // Sets the cycle number (1 once the design is built).
    void set_cycle(int32_t cycle) { clock_.sim_cycle = cycle; }
    // Boundaries so far.
    uint64_t boundary() const { return boundary_; }
    // Changes whenever a net's current level may have changed (boundaries
    // and forces).
    uint64_t level_version() const { return level_version_; }

  private:
    struct vector_record {
        port_record* ports[32] = {};      // the bits' ports
        int count = 0;                    // number of ports
        uint32_t mask = 0;                // one bit per port
        SIM_level_planes cur;             // the ports' current levels
        SIM_level_planes next;            // their next levels
        uint32_t cur_others = 0;          // cur.others(): the bits at X, L or H
        uint32_t driven = 0;              // bits driven in this cycle
        bool queued = false;              // in this cycle's vector list
        packing_record* wires = nullptr;  // packing whose bit i is port i's net, if any
        // Each bit's current level at either phase, for the readers that
        // index by phase (own_level(), and read() of a port on no net).
        logic_value shown[32][2] = {};
    };

    struct packing_record {
        std::vector<net_record*> nets;  // the wires, element 0 = bit 0, once tracked
        int count = 0;                  // number of wires
        SIM_level_planes levels;        // the nets' current levels
        uint32_t queued = 0;            // nets queued for the fold at this boundary
        uint32_t words = 0;             // nets resolved as words: only vectors drive them
        uint32_t renewed = 0;           // resolved as words to a new level at the last boundary
        uint32_t member_changed = 0;    // nets with a vector's port changed at this boundary
        std::vector<vector_record*> vectors;  // vectors whose ports are the bits of the nets
    };

    // What resolving a net's members did.
    enum class resolution {
        untouched,      // no port attached: the net keeps what drives and forces left
        resolved,       // next level = the ports' levels resolved from Z
        resolve_again,  // resolved on top of own drives: resolve at the next boundary too
    };

    // Rare paths of the ports.
    void drive_bit(port_record* port, logic_value v);
    void force_bit(port_record* port, logic_value v);
    void commit_bit(port_record* port);
    // The level a member port commits at this boundary (its next level,
    // once the vectors have committed).
    logic_value committed_level(const port_record* port) const;

    // Queues net for the boundary (once): for resolution if it has ports,
    // else (if packed) so that its packing follows it.
    void mark_dirty(net_record* net) {
        if (!net->dirty && (!net->members.empty() || net->packing != nullptr))
            queue_net(net);
    }
    void queue_net(net_record* net) {
        net->dirty = true;
        if (net->packing != nullptr)
            net->packing->queued |= net->packed_mask;
        nets_.push(net);
    }
    // Notes that member's committed level goes from old_level to new_level.
    static void note_member_level(net_record* net, const port_record* member, logic_value old_level,
                                  logic_value new_level) {
        if ((old_level == VZ) != (new_level == VZ)) {
            net->active_count += old_level == VZ ? 1 : -1;
            net->active_xor ^= reinterpret_cast<uintptr_t>(member);
        }
    }
    // Puts v into the net's bit of its packing's planes, if any.
    static void update_packing(net_record* net, logic_value v) {
        if (net->packing != nullptr)
            net->packing->levels.set(net->packed_bit, v);
    }
    // The cur_phase of the net's last drive, the ports' drives at the
    // boundary included; a drive in another phase is the first of its cycle.
    int64_t last_drive_phase(const net_record* net, int64_t cur) const;
    // The cycle's first drive of a net with at most one member not at Z,
    // inline; false (nothing done) for any other case.
    bool resolve_single(net_record* net, int64_t cur);
    // The fold: the next level from the members' committed levels.
    resolution resolve_members(net_record* net, int64_t cur);
    void add_member(net_record* net, port_record* port);
    void remove_member(net_record* net, port_record* port);
    // A net's member list changed: the layout is worked out again.
    void note_topology_change();

    // Steps of the boundary (boundary.cpp, boundary_words.cpp).
    uint32_t commit_vector(vector_record* vector);
    // Steps of commit(), in its body (each is called once per boundary).
    [[gnu::always_inline]] inline void commit_ports(int64_t cur, int64_t next);
    [[gnu::always_inline]] inline void resolve_nets(int64_t cur, int64_t next);
    void update_layout();
    void update_layout(packing_record* packing);
    static void store_shown(vector_record* vector, uint32_t bits, logic_value v);
    static void store_next(const packing_record* packing, uint32_t bits, logic_value v,
                           int64_t next);
    void resolve_words(packing_record* packing, int64_t next);
    bool read_wires_one_by_one(const vector_record* vector, uint32_t& result) const;

    SIM_clock clock_;                           // the cycle and the phases that index the buffers
    std::vector<port_record*> all_ports_;       // every port, port-list order
    std::deque<vector_record> all_vectors_;     // every vector, creation order
    std::deque<packing_record> all_packings_;   // every packing, creation order
    std::vector<packing_record*> tracked_;      // the tracked packings
    SIM_pointer_list<port_record> ports_;       // ports driven in this cycle
    SIM_pointer_list<port_record> last_ports_;  // ports committed at the previous boundary
    SIM_pointer_list<net_record> nets_;         // nets to resolve at this boundary
    SIM_pointer_list<net_record> last_nets_;    // nets resolved at the previous boundary
    SIM_pointer_list<net_record> carried_;      // nets to resolve at the next boundary too
    SIM_pointer_list<vector_record> vectors_;   // vectors driven in this cycle
    SIM_pointer_list<vector_record> last_vectors_;  // vectors changed at the previous boundary
    uint64_t topology_ = 0;                  // changes of any net's members, vectors, packings
    uint64_t layout_topology_ = UINT64_MAX;  // topology_ when the layout was worked out
    uint64_t boundary_ = 0;                  // boundaries passed
    uint64_t level_version_ = 0;             // boundaries and forces so far
};
