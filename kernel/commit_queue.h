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

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class SIM_port;
class SIM_net;
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
    SIM_pointer_list<SIM_port> ports_;       // ports driven in this cycle
    SIM_pointer_list<SIM_port> last_ports_;  // ports committed at the previous boundary
    SIM_pointer_list<SIM_net> nets_;         // nets to resolve at this boundary
    SIM_pointer_list<SIM_net> last_nets_;    // nets resolved at the previous boundary
    SIM_pointer_list<SIM_net> carried_;      // nets to resolve at the next boundary too
    uint64_t boundary_ = 0;                  // boundaries passed
    uint64_t level_version_ = 0;             // boundaries and forces so far
};
