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

#include "outputs/dump_settings.h"

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
    int unit = 0;                   // master or target number (from 1), where one is named
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
// Masters are numbered 1 to masters (at most 9), targets 1 to targets (only
// 1 to 9 can be named); the built-in design has three of each. Reads no
// character past the argument's terminating zero; a null argument is skipped
// like one without a prefix.
option_effect parse_option(const char* arg, run_settings& settings, int masters = 3,
                           int targets = 3);

// Prints the usage line with the program's path, then the option lines.
void print_help(std::ostream& os, const char* program);
