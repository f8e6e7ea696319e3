#pragma once
// The cycle boundary's work list. A port driven to a level other than its
// current one joins the queue; a net whose level may change (a member's
// committed level changed, a force, a drive of the net itself, a change of
// its member list) is marked dirty. At the boundary only those ports are
// committed and only dirty nets are resolved again, from Z over their
// members' committed levels in port-list order (on top of the net's own
// drives of the cycle, if any, and then once more at the next boundary). The
// result equals committing every port and resolving every net each cycle: a
// port or net that was written at the previous boundary gets its next buffer
// refreshed now, where committing it anew would have written the same level.
// Ports grouped in a vector (kernel/port_vector.h) are queued and committed
// by their vector, bit masks at a time; a packing of nets
// (kernel/packed_wires.h) whose every member is a bit of such vectors
// resolves those nets as words (see SIM_packed_wires::resolve_members).

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class SIM_port;
class SIM_net;
class SIM_port_vector;
class SIM_packed_wires;
struct SIM_clock;

// A list of pointers whose append stays small enough to inline: the growth
// is a separate call.
template <typename T>
class SIM_pointer_list {
  public:
    void push(T* item) {
        if (end_ == limit_) [[unlikely]]
            grow();
        *end_++ = item;
    }
    T* const* begin() const { return items_.data(); }
    T* const* end() const { return end_; }
    void clear() { end_ = items_.data(); }
    void swap(SIM_pointer_list& other) {
        // The buffers change owners; the pointers into them go along.
        items_.swap(other.items_);
        std::swap(end_, other.end_);
        std::swap(limit_, other.limit_);
    }

  private:
    [[gnu::noinline]] void grow() {
        const std::size_t size = static_cast<std::size_t>(end_ - items_.data());
        items_.resize(items_.empty() ? 64 : 2 * items_.size());
        end_ = items_.data() + size;
        limit_ = items_.data() + items_.size();
    }

    std::vector<T*> items_;  // storage; the entries before end_ are the list
    T** end_ = nullptr;      // one past the last entry in use
    T** limit_ = nullptr;    // end of the storage
};

class SIM_commit_queue {
  public:
    // Adds a port whose next level was written in this cycle (once per cycle).
    inline void add_port(SIM_port* port);
    // Marks a net to resolve at the boundary (once per cycle).
    inline void add_net(SIM_net* net);
    // Adds a vector with ports to commit (once per cycle).
    void add_vector(SIM_port_vector* vector) { vectors_.push(vector); }

    // The vectors and packings of this simulation, so that the boundary can
    // tell which packings see only vectors' ports.
    void register_vector(SIM_port_vector* vector);
    void unregister_vector(SIM_port_vector* vector);
    void register_wires(SIM_packed_wires* wires);
    void unregister_wires(SIM_packed_wires* wires);
    // A net's member list changed: the boundary works out again which
    // vectors drive which packings; until then vectors read their wires
    // one by one.
    void note_topology_change();

    // Commits the queued ports and resolves the dirty nets for the phases of
    // clock, which has not flipped yet. Counts one boundary.
    void commit(const SIM_clock& clock);

    // Number of boundaries so far; a net uses it to tell its first drive or
    // force of a cycle.
    uint64_t boundary() const { return boundary_; }
    // Counts a change of some net's current level outside the boundary.
    void count_level_change() { ++level_version_; }
    // Changes whenever a net's current level may have changed.
    uint64_t level_version() const { return level_version_; }

  private:
    // Which packing each vector's ports drive, and the nets of each packing
    // that only vectors drive, after a change of the wiring.
    void update_layout();

    SIM_pointer_list<SIM_port> ports_;                // ports driven in this cycle
    SIM_pointer_list<SIM_port> last_ports_;           // ports committed at the previous boundary
    SIM_pointer_list<SIM_net> nets_;                  // nets to resolve at this boundary
    SIM_pointer_list<SIM_net> last_nets_;             // nets resolved at the previous boundary
    SIM_pointer_list<SIM_net> carried_;               // nets to resolve at the next boundary too
    SIM_pointer_list<SIM_port_vector> vectors_;       // vectors with ports queued
    SIM_pointer_list<SIM_port_vector> last_vectors_;  // vectors to come back at the next boundary
    std::vector<SIM_port_vector*> all_vectors_;       // every vector, construction order
    std::vector<SIM_packed_wires*> all_wires_;        // every tracked packing
    uint64_t topology_ = 0;                  // changes of any net's members (and registrations)
    uint64_t layout_topology_ = UINT64_MAX;  // topology_ when the layout was worked out
    uint64_t boundary_ = 0;                  // boundaries passed
    uint64_t level_version_ = 0;             // boundaries and forces so far
};
