#pragma once
// The program's long options (--name, --name=value, --name value). They are
// recognised only as whole words; every other argument goes to the short
// option parser exactly as before, so "--foo" is still an unknown option "-".
// Errors of long options are one line on standard error and status 1.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "outputs/data_exporter.h"

// Iterations of the main loop unless --max-cycles says otherwise.
constexpr int32_t default_max_cycles = 100001;
// Most iterations --max-cycles allows (the cycle counter is 32-bit).
constexpr int32_t max_cycles_limit = 2000000000;

// What the long options ask for; the run uses them after the command line.
struct extension_settings {
    bool help = false;             // --help: print the help texts and end with status 0
    bool version = false;          // --version: print the version and end with status 0
    std::string stats_json;        // --stats-json: file of the statistics document; empty none
    std::string transactions;      // --transactions: file of the transaction CSV; empty none
    std::optional<uint32_t> seed;  // --seed: the number every random seed derives from
    int32_t max_cycles = default_max_cycles;  // --max-cycles: most main-loop iterations
    std::string vcd_file;                     // --vcd: the value change dump's file; empty for none
    bool vcd_split = false;       // --vcd-split: AD and C/BE# one wire per bit in the dump
    bool vcd_six_levels = false;  // --vcd-levels=6: weak levels kept apart in the dump
    std::string design_file;      // --design: the design file to run; empty: the built-in design
    std::string write_design;     // --write-design: file of the resolved design; empty none
    std::vector<std::string> design_sets;  // --set: "PATH=VALUE" overrides, in order
    std::string compliance;    // --compliance: file of the rule violations; empty for none
    std::string batch_file;    // --batch: file of argument lists, one run a line; empty none
    std::string batch_status;  // --batch-status: file of one JSON record per finished line
    std::string stdout_file;   // --stdout: (a batch line's) file of the run's standard output
    // The design file read (--design): its path and SHA-256, recorded in the
    // statistics document; none for the built-in design.
    std::optional<PCI_design_file_id> design_file_id;
};

// How one argument was taken.
struct long_option_result {
    enum class kind {
        not_long,  // not a long option: give it to the short parser
        taken,     // a long option, applied to the settings
        error,     // a long option with a bad or missing value
    };
    kind what = kind::not_long;  // the outcome
    int consumed = 1;            // arguments used (2 when the value was the next one)
    std::string error;           // kind::error: what failed and why, one line
};

// Reads argv[index] (and argv[index + 1] for a separate value) if it is one
// of the long options.
long_option_result parse_long_option(int argc, char** argv, int index,
                                     extension_settings& settings);

// The design options (--design, --set) of a command line, read before
// anything else since the design decides which masters and targets the
// short options may name. Stops at --help, --version and at the first
// long option error (the command line is read again in order afterwards).
extension_settings find_design_options(int argc, char** argv);

// The section of the help text on the long options.
void print_long_help(std::ostream& os);
// The version line.
void print_version(std::ostream& os);
