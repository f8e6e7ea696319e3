#pragma once
// Counts the run's cycles as the main loop hands them over: how the run
// ended, and how the bus spent its cycles. A cycle is busy when FRAME# or
// IRDY# is asserted; turnaround is the first cycle with both deasserted
// after a busy one (the bus's turnaround cycle after a transaction's last
// IRDY#); every other cycle is idle. The levels are the ones the bus dump
// shows for the cycle.

#include <cstdint>

#include "outputs/observer.h"

class PCI_bus;

class PCI_bus_activity {
  public:
    explicit PCI_bus_activity(const PCI_bus& bus) : bus_(bus) {}

    // Counts one cycle.
    void count(const SIM_cycle_info& info);

    int64_t cycles() const { return busy_ + idle_ + turnaround_; }
    int64_t busy() const { return busy_; }
    int64_t idle() const { return idle_; }
    int64_t turnaround() const { return turnaround_; }
    // The closing line's iteration number: the last iteration's index, or
    // one past it when the loop ran out of iterations.
    int64_t closing_index() const;
    // How the run stopped: "masters_done", "dump_window" or "iteration_limit".
    const char* stopped_by() const;

  private:
    const PCI_bus& bus_;                                  // the wires watched
    int64_t busy_ = 0;                                    // cycles with FRAME# or IRDY# asserted
    int64_t idle_ = 0;                                    // other cycles, turnaround aside
    int64_t turnaround_ = 0;                              // first non-busy cycle after a busy one
    bool was_busy_ = false;                               // the previous cycle was busy
    SIM_cycle_info last_{0, -1, SIM_cycle_end::running};  // the latest cycle
};
