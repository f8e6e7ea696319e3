#pragma once
// One-bit signals with double-buffered levels. A port is a module's pin that
// holds its level until its owner drives another; a net is the shared wire,
// whose level is its ports' committed levels resolved from Z in port-list
// order. Which buffer is current is chosen by the phase indices of the
// simulation's clock, so the cycle boundary never copies a level. The
// boundary commits only the ports driven in the cycle and resolves only the
// nets that may change (see kernel/commit_queue.h); the levels are those of
// committing every port and resolving every net. Ports grouped in a vector
// (kernel/port_vector.h) and nets their packing resolves as words hold a new
// level in both buffers; their next level is then read_next()'s to give.

#include <cstdint>
#include <ostream>
#include <vector>

#include "kernel/commit_queue.h"
#include "kernel/context.h"
#include "kernel/logic.h"
#include "kernel/name.h"
#include "kernel/sim_time.h"

class SIM_instance;
class SIM_packed_wires;
class SIM_port_vector;

class SIM_signal {
  public:
    explicit SIM_signal(const SIM_clock& clock) : clock_(&clock) {}
    virtual ~SIM_signal() = default;
    // Signals are registered and wired by address: never copied.
    SIM_signal(const SIM_signal&) = delete;
    SIM_signal& operator=(const SIM_signal&) = delete;

    // Schedules a level for the next cycle.
    virtual void drive(logic_value v) { level[next_phase()] = v; }
    // Sets a level at once, in both buffers.
    virtual void force(logic_value v) { level[0] = level[1] = v; }
    // The current level.
    virtual logic_value read() const { return level[cur_phase()]; }
    // The level collected so far for the next cycle.
    virtual logic_value read_next() const { return level[next_phase()]; }

    // This object's own current level, bypassing a port's net.
    logic_value own_level() const { return level[cur_phase()]; }
    // Both level buffers, indexed by the clock's phases, for the kernel's
    // list of wires an observer reads every cycle (kernel/wire_levels.h).
    const logic_value* level_buffers() const { return level; }
    // The clock whose phases index the buffers.
    const SIM_clock& clock() const { return *clock_; }
    bool is_high() const { return level_is_high(read()); }
    bool is_low() const { return level_is_low(read()); }
    char to_char() const { return ::to_char(read()); }
    // This signal's next level combined with one more driver.
    logic_value resolve(logic_value v) const {
        return resolution_table[level[next_phase()] * 6 + v];
    }

  protected:
    int cur_phase() const { return clock_->cur_phase; }
    int next_phase() const { return clock_->next_phase; }

    const SIM_clock* clock_;  // the simulation's clock, whose phases index level
    // [cur_phase] is the current level, [next_phase] the next one.
    logic_value level[2] = {VZ, VZ};
};

class SIM_port;

// What a packing of nets (kernel/packed_wires.h) keeps of them, bit i for
// its net i.
struct SIM_packed_state {
    SIM_level_planes levels;  // the nets' current levels
    uint32_t queued = 0;      // queued for the fold at this boundary
    uint32_t kept = 0;        // resolved as a word to a new level: the packing keeps the next level
    uint32_t words = 0;       // resolved as words: no counts of members kept
};

class SIM_net final : public SIM_signal {
  public:
    // A wire of the simulation that context runs; parent may be null.
    SIM_net(const char* name, const SIM_name* parent, const SIM_context& context);

    // The first drive in a cycle restarts the wire from Z; the ports'
    // committed levels are resolved after the drives of the cycle.
    void drive(logic_value v) override;
    // Forces accumulate until the next drive; the first one starts from Z.
    void force(logic_value v) override;
    logic_value read() const override { return level[cur_phase()]; }
    // A net its packing resolved as a word to a new level holds that level
    // in both buffers; its next level (the previous cycle's until it is
    // driven again) is then kept by the packing.
    logic_value read_next() const override {
        if (packed_state && (packed_state->kept & packed_mask)) [[unlikely]]
            return packed_next();
        return level[next_phase()];
    }
    bool is_high() const { return level_is_high(read()); }
    bool is_low() const { return level_is_low(read()); }
    char to_char() const { return ::to_char(read()); }

    // Attaches a port; a port already on a net merges that net's chain here.
    void connect(SIM_port& port);
    // Joins other's chain to this one; this net's root becomes the root of all.
    void merge(SIM_net& other);
    // The net that stands for the whole merged chain.
    SIM_net* root() const { return root_; }
    // Lets one packing of several nets (owner) keep their levels as words:
    // bit bit of state. Returns false (nothing done) if another packing has
    // this net already.
    bool track_packing(SIM_packed_wires* owner, SIM_packed_state* state, int bit) {
        if (packed_state && (packed_state != state || packed_bit != bit))
            return false;
        packed_owner = owner;
        packed_state = state;
        packed_bit = bit;
        packed_mask = uint32_t{1} << bit;
        update_packing(level[cur_phase()]);
        return true;
    }

    SIM_name name;

  private:
    friend class SIM_commit_queue;
    friend class SIM_port;
    friend class SIM_port_vector;
    friend class SIM_packed_wires;

    // Adds port to the member list, kept in port-list order.
    void add_member(SIM_port* port);
    // Takes port off the member list.
    void remove_member(SIM_port* port);
    // Queues this net for the boundary (once): for resolution if it has
    // ports, else (if packed) only so that the boundary marks the packing stale.
    void mark_dirty() {
        if (!dirty && (!members.empty() || packed_state))
            queue_->add_net(this);
    }
    // The cur_phase of the last drive, the boundary's drives by the ports
    // included; a drive in another phase is the first of its cycle.
    int last_drive_phase(int cur) const;

    // What the boundary did to a net.
    enum class resolution {
        untouched,      // no port attached: the net keeps what drives and forces left
        resolved,       // next level = the ports' levels resolved from Z
        resolve_again,  // resolved on top of own drives: resolve at the next boundary too
    };
    // Boundary work: the next level from the members' committed levels.
    resolution resolve_members(int cur);
    // The common case of resolve_members, inline: the cycle's first drive of
    // a net with at most one member not at Z. Returns false (nothing done)
    // for any other case.
    inline bool resolve_single(int cur, uint64_t boundary);

    // Puts level v into this net's bit of the packing, if any; the net's
    // next buffer is its own again.
    void update_packing(logic_value v) {
        if (!packed_state)
            return;
        packed_state->levels.set(packed_bit, v);
        packed_state->kept &= ~packed_mask;
    }
    // The next level the packing keeps.
    logic_value packed_next() const;
    // Notes that member's committed level goes from old_level to new_level.
    void note_member_level(const SIM_port* member, logic_value old_level, logic_value new_level) {
        if ((old_level == VZ) != (new_level == VZ)) {
            active_count += old_level == VZ ? 1 : -1;
            active_xor ^= reinterpret_cast<uintptr_t>(member);
        }
    }

    SIM_commit_queue* queue_;                  // the simulation's boundary work list
    std::vector<SIM_port*> members;            // attached ports, port-list order
    uintptr_t active_xor = 0;                  // XOR of the addresses of the members not at Z
    int32_t active_count = 0;                  // members whose committed level is not Z
    bool active_valid = false;                 // active_count and active_xor are up to date
    SIM_packed_wires* packed_owner = nullptr;  // the packing of this net, if any
    SIM_packed_state* packed_state = nullptr;  // what the packing keeps of its nets
    int packed_bit = 0;                        // this net's bit in packed_state
    uint32_t packed_mask = 0;                  // 1 << packed_bit
    SIM_net* chain_next = nullptr;             // next member of the merged chain
    uint64_t drive_boundary = UINT64_MAX;      // boundary count at the last own drive
    uint64_t members_since = UINT64_MAX;       // boundary count when ports were first attached
    uint64_t single_boundary = UINT64_MAX;     // boundary count when resolved as a member changed
    int drive_phase = -1;                      // cur_phase at the last drive counted here
    bool restart_force = true;                 // the next force starts from Z
    bool dirty = false;                        // queued for resolution
    SIM_net* root_ = this;                     // representative of the merged chain
};

class SIM_port final : public SIM_signal {
  public:
    // Registers the port at the tail of its owner's port list.
    SIM_port(const char* name, SIM_instance* owner);
    // A port of no module, registered in context.
    SIM_port(const char* name, SIM_context& context);

    void drive(logic_value v) override {
        level[next_phase()] = v;
        if (queued) {
            driven = true;
            // A vector's ports stay queued: their vector keeps their state.
            if (vector_) [[unlikely]]
                drive_in_vector(v);
        } else if (v != level[cur_phase()]) {
            driven = true;
            queue_->add_port(this);
        }
        // Otherwise the level stays: the boundary's re-drive of the current
        // level writes the same, so the port needs no commit.
    }
    // A force cancels a drive of the same cycle and reaches the wire at once.
    void force(logic_value v) override {
        driven = false;
        level[0] = level[1] = v;
        if (vector_) [[unlikely]]
            note_force_in_vector();
        if (net) {
            net->active_valid = false;
            net->force(v);
        }
    }
    // The wire's level if attached, else the port's own.
    logic_value read() const override { return wire_levels[cur_phase()]; }
    logic_value read_next() const override {
        return vector_ ? next_in_vector() : level[next_phase()];
    }
    bool is_high() const { return level_is_high(read()); }
    bool is_low() const { return level_is_low(read()); }
    char to_char() const { return ::to_char(read()); }

    // An agent writes a drive as an assignment of a level.
    SIM_port& operator=(logic_value v) {
        drive(v);
        return *this;
    }

    // End of cycle for this port alone: an undriven port re-drives its
    // current level, then the level goes into the net as a drive of the net.
    // The simulation's boundary does this for every port at once.
    void commit() {
        if (vector_) [[unlikely]] {
            commit_in_vector();
            return;
        }
        logic_value v;
        if (!driven) {
            v = level[cur_phase()];
            level[next_phase()] = v;
        } else {
            v = level[next_phase()];
        }
        driven = false;
        if (net) {
            net->active_valid = false;
            net->drive(v);
        }
    }
    // Re-points the port at its net's root, making merged nets one wire.
    void attach_to_root();

    SIM_net* attached_net() const { return net; }
    // The word-driven group this port is a bit of, if any.
    const SIM_port_vector* vector() const { return vector_; }

    SIM_name name;

  private:
    friend class SIM_net;
    friend class SIM_commit_queue;
    friend class SIM_port_vector;
    friend class SIM_packed_wires;
    // The constructors' common part: name under parent, registered in context.
    SIM_port(const char* name, const SIM_name* parent, SIM_context& context);
    // A drive, force, commit and next level of a port of a vector, whose
    // state the vector keeps (kernel/port_vector.h).
    void drive_in_vector(logic_value v);
    void note_force_in_vector();
    void commit_in_vector();
    logic_value next_in_vector() const;

    SIM_commit_queue* queue_;  // the simulation's boundary work list
    SIM_net* net = nullptr;    // wire this port drives and reads, not owned
    const logic_value* wire_levels =
        level;                           // the net's level buffers if attached, else this port's
    SIM_port_vector* vector_ = nullptr;  // group this port is bit vector_bit of, not owned
    int32_t vector_bit = 0;              // this port's bit in vector_
    int32_t index;                       // position in the port list
    bool driven = false;                 // drive() was called in this cycle
    bool queued = false;  // in the boundary work list of this cycle (always, in a vector)
};

inline bool SIM_net::resolve_single(int cur, uint64_t boundary) {
    // Ports attached before this boundary and no drive of the net itself in
    // this cycle: the first drive (see last_drive_phase).
    if (!active_valid || active_count > 1 || drive_boundary == boundary ||
        members_since >= boundary)
        return false;
    const int next = cur ^ 1;
    // Z is neutral in the fold: the one member not at Z, if any, decides. With
    // one member active, the XOR of the active members' addresses is its own.
    level[next] = active_count == 0
                      ? VZ
                      // NOLINTNEXTLINE(performance-no-int-to-ptr): the address, as just said
                      : reinterpret_cast<const SIM_port*>(active_xor)->level[next];
    drive_phase = cur;
    restart_force = true;
    return true;
}

// Defined here, where the port and net are complete, so that a drive inlines them.
inline void SIM_commit_queue::add_port(SIM_port* port) {
    port->queued = true;
    ports_.push(port);
}

inline void SIM_commit_queue::add_net(SIM_net* net) {
    net->dirty = true;
    if (net->packed_state)
        net->packed_state->queued |= net->packed_mask;
    nets_.push(net);
}

// Prints full_name, "=" and the level character, nothing else.
std::ostream& operator<<(std::ostream& os, const SIM_port& port);
