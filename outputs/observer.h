#pragma once
// Outputs that watch a run from beside the model: after every clock the main
// loop hands the cycle to each observer in the order they were added. An
// observer reads the design's wires and prints or records what it wants; it
// never drives anything.

#include <cstdint>
#include <string>

// How the main loop's iteration that produced this cycle ends.
enum class SIM_cycle_end {
    running,        // the run goes on
    window_passed,  // the dump window is over: the run stops after the dump line
    masters_done,   // every master is done: the run stops at once
};

// One simulated cycle as the main loop sees it after the clock.
struct SIM_cycle_info {
    int32_t cycle;      // the simulation's cycle number (after the clock)
    int32_t run_index;  // the main loop's iteration index
    SIM_cycle_end end;  // whether and how the run stops here
};

class SIM_observer {
  public:
    virtual ~SIM_observer() = default;

    // Called once before the first clock, after the design's reset.
    virtual void on_start() {}
    // Called after every clock, the last one included.
    virtual void on_cycle(const SIM_cycle_info& info) = 0;
    // Called once after the last cycle. Returns an error text (what failed
    // and why) or an empty string.
    virtual std::string on_finish() { return {}; }
};
