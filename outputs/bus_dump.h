#pragma once
// The per-cycle bus dump (options -c, -cl, -cr and -c0 to -c5): the cycle
// prefix and the bus's levels, one line per dumped cycle, on the
// simulation's stream.

#include <cstdint>
#include <ostream>

#include "outputs/dump_settings.h"
#include "outputs/observer.h"

class PCI_bus;

class PCI_bus_dump : public SIM_observer {
  public:
    // Dumps bus as settings say, to out.
    PCI_bus_dump(const PCI_bus& bus, const run_settings& settings, std::ostream& out)
        : bus_(bus), settings_(settings), out_(out) {}

    void on_cycle(const SIM_cycle_info& info) override;

    // Whether the cycle lies in the dump window of settings.
    static bool in_window(int32_t cycle, const run_settings& settings);
    // Whether the dump window of settings is over at cycle.
    static bool window_passed(int32_t cycle, const run_settings& settings);

  private:
    // The line of a cycle in a dumping mode, if the cycle is dumped.
    [[gnu::noinline]] void dump_cycle(const SIM_cycle_info& info);
    // Writes length bytes of line and flushes, as out_.write() and
    // out_.flush() do.
    void write_line(const char* line, std::streamsize length);
    // Widest prefix formatted without the stream (wider ones use it).
    static constexpr int max_prefix_width = 16;

    const PCI_bus& bus_;            // the wires dumped
    const run_settings& settings_;  // mode, window and prefix
    std::ostream& out_;             // where the lines go
};
