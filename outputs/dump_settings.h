#pragma once
// The settings of the text outputs on standard output that the short options
// set (bench/options.h reads them): the bus dump, the REQ#/GNT# lines, the
// report and the closing line.

#include <cstdint>

// What the per-cycle bus dump covers.
enum class dump_mode_t { none, every, window };

// Settings of one run, all set by options before the design is reset.
struct run_settings {
    dump_mode_t dump_mode = dump_mode_t::none;  // which cycles are dumped
    int32_t counter_width = 3;                  // digits of the dump's cycle prefix, 0 = none
    int32_t counter_modulus = 1000;             // the prefix shows sim_cycle modulo this
    int32_t loc = 0;                            // centre of the dump window (-cl)
    int32_t rad = 5;                            // radius of the dump window (-cr)
    bool stop_after_window = false;             // end the run once the window has passed
    bool dump_req = false;                      // print the REQ# line every cycle (-r)
    bool dump_gnt = false;                      // print the GNT# line every cycle (-g)
    bool dump_stats = false;                    // print the monitor's report at the end (-s)
    bool dump_counters = false;                 // progress counter and long closing line (-n)
};
