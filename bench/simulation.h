#pragma once
// The program: one simulation object that builds the design in its own
// kernel context, reads the command line, resets the design once, clocks it
// until the masters are done, a dump window has passed or the cycle limit is
// reached, hands every cycle to its observers, and prints the closing
// summary. Several simulations may run at once on separate threads.

#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/long_options.h"
#include "bench/options.h"
#include "bench/testbench.h"
#include "kernel/context.h"
#include "outputs/observer.h"
#include "pci/design.h"

class PCI_simulation {
  public:
    // Builds the built-in design; everything it prints goes to out.
    explicit PCI_simulation(std::ostream& out = std::cout);
    // Builds the given design (which the bench may assume valid: 1 to 8
    // masters, 1 to 32 targets, at most 256 cards, every window naming a
    // target); everything it prints goes to out.
    explicit PCI_simulation(const PCI_design& design, std::ostream& out = std::cout);
    PCI_simulation(const PCI_simulation&) = delete;
    PCI_simulation& operator=(const PCI_simulation&) = delete;

    // Reads arguments 1 to argc - 1 in order, applying each to the settings
    // and to the design (the bench and the design value alike; -m#, -d# and
    // -t# name masters 1 to the design's count and targets 1 to 9 at most).
    // Returns the exit status when an argument ends the
    // program (help: 0, rejected option: 10, after printing its lines; a
    // long option's error: 1, after one line on err), nothing when the run
    // goes on.
    std::optional<int> read_command_line(int argc, char** argv, std::ostream& err = std::cerr);

    // Adds an observer after those already there (the text outputs of the
    // settings come first, added by run()).
    void add_observer(std::unique_ptr<SIM_observer> observer);

    // Resets the design and runs the main loop; returns run_index at its end
    // (the iteration that left the loop, or the limit, extensions().max_cycles,
    // after the last iteration).
    int32_t run();
    // Gives the design the seed every agent's seeds derive from, in the
    // bench and in the design value; takes effect at the next reset.
    void apply_seed(uint32_t number);

    // The optional report and the closing line.
    void print_closing(int32_t run_index);
    // The observers' end of run; returns the first error text, if any.
    std::string finish_observers();

    // The design as it runs: the given one with the short options and
    // --seed applied (--seed gives the design its seed and takes every
    // agent's own, so that all derive from it).
    const PCI_design& design() const { return design_; }

    SIM_context& context() { return context_; }
    PCI_testbench& bench() { return *bench_; }
    run_settings& settings() { return settings_; }
    extension_settings& extensions() { return extensions_; }

  private:
    // Adds the bus dump and the REQ#/GNT# lines the settings ask for.
    void add_text_outputs();

    PCI_design design_;                                     // the design, as resolved
    SIM_context context_;                                   // the kernel of this simulation
    std::unique_ptr<PCI_testbench> bench_;                  // the design (large: on the heap)
    run_settings settings_;                                 // short options' settings
    extension_settings extensions_;                         // long options' settings
    std::vector<std::unique_ptr<SIM_observer>> extra_;      // observers added from outside
    std::vector<std::unique_ptr<SIM_observer>> observers_;  // every observer, in call order
};

// Applies what the long options ask of the design before the run: the
// derived seeds (in the bench and in the design value), and the data outputs (their files created
// at once). Returns an error text or an empty string.
std::string prepare_extensions(PCI_simulation& simulation, int argc, char** argv);

// The whole program, printing to out (errors of long options to err);
// returns the exit status. With --batch it runs the batch file's lines
// instead (see bench/batch.h) and prints nothing to out.
int pcisim_main(int argc, char** argv, std::ostream& out = std::cout,
                std::ostream& err = std::cerr);
// One simulation of a command line whose design options (--design, --set)
// find_design_options has read: what pcisim_main does without --batch, and
// what a batch does for each of its lines.
int run_simulation(const extension_settings& design_options, int argc, char** argv,
                   std::ostream& out, std::ostream& err);
// The program on a given design (pcisim_main runs the built-in one, or the
// one --design and --set give): reads the command line, runs, prints;
// returns the exit status. file names the design file read, for the
// statistics document.
int run_design(const PCI_design& design, int argc, char** argv, std::ostream& out = std::cout,
               std::ostream& err = std::cerr,
               const std::optional<PCI_design_file_id>& file = std::nullopt);
