#pragma once
// One-bit signals with double-buffered levels. A port is a module's pin that
// holds its level until its owner drives another; a net is the shared wire,
// whose level is its ports' committed levels resolved from Z in port-list
// order. Both are handles: their levels and bookkeeping belong to the
// simulation's boundary (kernel/boundary.h), which carries out what they do.

#include <cstdint>
#include <ostream>

#include "kernel/boundary.h"
#include "kernel/context.h"
#include "kernel/logic.h"
#include "kernel/name.h"

class SIM_instance;

// What ports and nets have in common, for code that takes either.
class SIM_signal {
  public:
    virtual ~SIM_signal() = default;
    // Signals are wired by address: never copied.
    SIM_signal(const SIM_signal&) = delete;
    SIM_signal& operator=(const SIM_signal&) = delete;

    // Schedules a level for the next cycle.
    virtual void drive(logic_value v) = 0;
    // Sets a level at once, in both buffers.
    virtual void force(logic_value v) = 0;
    // The current level.
    virtual logic_value read() const = 0;
    // The level collected so far for the next cycle.
    virtual logic_value read_next() const = 0;
    // This signal's own current level (a port's, whatever its wire shows).
    virtual logic_value own_level() const = 0;

    bool is_high() const { return level_is_high(read()); }
    bool is_low() const { return level_is_low(read()); }
    char to_char() const { return ::to_char(read()); }
    // The simulation's boundary, which holds the levels.
    const SIM_boundary& boundary() const { return *boundary_; }

  protected:
    explicit SIM_signal(SIM_boundary& boundary) : boundary_(&boundary) {}

    SIM_boundary* boundary_;  // the simulation's boundary, which holds the levels
};

class SIM_port;

class SIM_net final : public SIM_signal {
  public:
    // A wire of the simulation that context runs; parent may be null.
    SIM_net(const char* name, const SIM_name* parent, const SIM_context& context);

    // The first drive in a cycle restarts the wire from Z; the ports'
    // committed levels are resolved after the drives of the cycle.
    void drive(logic_value v) override { boundary_->drive(&record_, v); }
    // Forces accumulate until the next drive; the first one starts from Z.
    void force(logic_value v) override { boundary_->force(&record_, v); }
    logic_value read() const override { return boundary_->read(&record_); }
    logic_value read_next() const override { return boundary_->read_next(&record_); }
    logic_value own_level() const override { return boundary_->read(&record_); }
    bool is_high() const { return level_is_high(read()); }
    bool is_low() const { return level_is_low(read()); }
    char to_char() const { return ::to_char(read()); }

    // Attaches a port; a port already on a net merges that net's chain here.
    void connect(SIM_port& port);
    // Joins other's chain to this one; this net's root becomes the root of all.
    void merge(SIM_net& other) { boundary_->merge(&record_, &other.record_); }
    // The net that stands for the whole merged chain.
    SIM_net* root() const { return boundary_->root(&record_); }
    // The net's record, for the boundary's handles of several nets.
    SIM_boundary::net_ref ref() { return &record_; }
    const SIM_boundary::net_record* ref() const { return &record_; }

    SIM_name name;

  private:
    SIM_boundary::net_record record_;  // the levels and bookkeeping, the boundary's to keep
};

class SIM_port final : public SIM_signal {
  public:
    // Registers the port at the tail of its owner's port list.
    SIM_port(const char* name, SIM_instance* owner);
    // A port of no module, registered in context.
    SIM_port(const char* name, SIM_context& context);

    void drive(logic_value v) override { boundary_->drive(&record_, v); }
    // A force cancels a drive of the same cycle and reaches the wire at once.
    void force(logic_value v) override { boundary_->force(&record_, v); }
    // The wire's level if attached, else the port's own.
    logic_value read() const override { return boundary_->read(&record_); }
    logic_value read_next() const override { return boundary_->read_next(&record_); }
    logic_value own_level() const override { return boundary_->own_level(&record_); }
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
    void commit() { boundary_->commit(&record_); }

    SIM_net* attached_net() const { return boundary_->attached_net(&record_); }
    // The port's record, for the boundary's vectors of ports.
    SIM_boundary::port_ref ref() { return &record_; }
    const SIM_boundary::port_record* ref() const { return &record_; }

    SIM_name name;

  private:
    // The constructors' common part: name under parent, registered in context.
    SIM_port(const char* name, const SIM_name* parent, SIM_context& context);

    SIM_boundary::port_record record_;  // the levels and bookkeeping, the boundary's to keep
};

inline void SIM_net::connect(SIM_port& port) {
    boundary_->connect(&record_, port.ref());
}

// Prints full_name, "=" and the level character, nothing else.
std::ostream& operator<<(std::ostream& os, const SIM_port& port);
