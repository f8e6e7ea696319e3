#pragma once
// The command line of the simulator: the run settings that the main loop
// keeps, the reading of one argument, and the help text.
//
// Reading an argument touches only the driver's own settings; whatever it asks
// of the design (arbiter MTT, debug flags, master and target settings) comes
// back as an option_effect that the driver applies to the test bench, so the
// parser works without a design.

#include <cstdint>
#include <ostream>

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

// What one argument asks for beyond the run settings.
struct option_effect {
    enum class kind {
        none,             // nothing (settings only, skipped argument, ignored unit)
        help,             // print the help text and end the program with status 0
        reject,           // print message and shown, end the program with status 10
        arbiter_mtt,      // arbiter set_mtt(value)
        debug_monitor,    // monitor set_debug(1)
        debug_arbiter,    // arbiter set_debug(1)
        debug_master,     // master `unit` set_debug(1)
        master_count,     // master `unit` set_trans_count(value)
        master_latency,   // master `unit` set_latency_timer(value)
        master_overhead,  // master `unit` set_retry_overhead(value)
        target_init,      // target `unit` set_init_retry_threshold(value)
        target_burst,     // target `unit` set_burst_retry_threshold(value)
    };
    kind what = kind::none;         // the request
    int unit = 0;                   // master or target number 1 to 3, where one is named
    int32_t value = 0;              // the option's number, where it has one
    const char* message = nullptr;  // reject: the literal printed first
    char shown = 0;                 // reject: the argument's character printed after it
};

// Reads a decimal number like the C library's atoi on a 64-bit machine, without
// its undefined behaviour: leading white space, an optional sign, digits up to
// the first non-digit; the value saturates at the 64-bit limits (as strtol
// does) and is then wrapped to 32 bits in two's complement. No digits give 0.
int32_t parse_number(const char* text);

// Reads one argument: updates settings or returns what the design must do.
// Reads no character past the argument's terminating zero; a null argument is
// skipped like one without a prefix.
option_effect parse_option(const char* arg, run_settings& settings);

// Prints the usage line with the program's path, then the option lines.
void print_help(std::ostream& os, const char* program);
