#pragma once
// The program: builds the design, reads the command line, resets the design
// once, clocks it until the masters are done, a dump window has passed or the
// cycle limit is reached, and prints the closing summary.

#include <cstdint>
#include <optional>

#include "bench/options.h"

class PCI_testbench;

// Most iterations of the main loop, less one.
constexpr int32_t last_run_index = 100000;

// Reads arguments 1 to argc - 1 in order, applying each to settings and to the
// design. Returns the exit status when an argument ends the program (help: 0,
// rejected option: 10, after printing its lines), nothing when the run goes on.
std::optional<int> read_command_line(int argc, char** argv, PCI_testbench& bench,
                                     run_settings& settings);

// The main loop; returns run_index at its end (the iteration that left the
// loop, or last_run_index + 1 after the limit).
int32_t run_main_loop(PCI_testbench& bench, const run_settings& settings);

// The optional report and the closing line.
void print_closing(PCI_testbench& bench, const run_settings& settings, int32_t run_index);

// The whole program, printing through sim_out(); returns the exit status.
// The kernel must be empty (nothing registered) when it is called.
int pcisim_main(int argc, char** argv);
