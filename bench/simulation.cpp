#include "bench/simulation.h"

#include <memory>
#include <ostream>

#include "bench/testbench.h"
#include "kernel/output.h"
#include "kernel/scheduler.h"
#include "kernel/sim_time.h"

namespace {
using kind = option_effect::kind;

constexpr int exit_help = 0;       // status after the help text
constexpr int exit_rejected = 10;  // status after a rejected option
constexpr int exit_run = 0;        // status after a run
// The progress counter shows every this many iterations.
constexpr int32_t progress_interval = 10000;

// Master or target number 1 to 3 (the parser guarantees the range).
PCI_random_master& master(PCI_testbench& bench, int unit) {
    return unit == 1   ? static_cast<PCI_random_master&>(bench.pm1)
           : unit == 2 ? static_cast<PCI_random_master&>(bench.pm2)
                       : bench.pm3;
}
PCI_target& target(PCI_testbench& bench, int unit) {
    return unit == 1   ? static_cast<PCI_target&>(bench.pt1)
           : unit == 2 ? static_cast<PCI_target&>(bench.pt2)
                       : bench.pt3;
}

void apply(const option_effect& effect, PCI_testbench& bench) {
    switch (effect.what) {
        case kind::arbiter_mtt:
            bench.pa.set_mtt(effect.value);
            break;
        case kind::debug_monitor:
            bench.pmon.set_debug(1);
            break;
        case kind::debug_arbiter:
            bench.pa.set_debug(1);
            break;
        case kind::debug_master:
            master(bench, effect.unit).set_debug(1);
            break;
        case kind::master_count:
            master(bench, effect.unit).set_trans_count(effect.value);
            break;
        case kind::master_latency:
            master(bench, effect.unit).set_latency_timer(effect.value);
            break;
        case kind::master_overhead:
            master(bench, effect.unit).set_retry_overhead(effect.value);
            break;
        case kind::target_init:
            target(bench, effect.unit).set_init_retry_threshold(effect.value);
            break;
        case kind::target_burst:
            target(bench, effect.unit).set_burst_retry_threshold(effect.value);
            break;
        case kind::none:
        case kind::help:
        case kind::reject:
            break;
    }
}

bool all_done(const PCI_testbench& bench) {
    return bench.pm1.is_done() && bench.pm2.is_done() && bench.pm3.is_done();
}

// One bus dump line: the cycle prefix (zero-filled; the fill stays set for
// the rest of the run), then the bus's own fields.
void dump_cycle(PCI_testbench& bench, const run_settings& settings, std::ostream& out) {
    if (settings.counter_width != 0) {
        out.fill('0');
        out.width(settings.counter_width);
        out << std::dec << sim_cycle % settings.counter_modulus;
    }
    bench.pb.dump();
}
}  // namespace

std::optional<int> read_command_line(int argc, char** argv, PCI_testbench& bench,
                                     run_settings& settings) {
    if (argv == nullptr)
        return std::nullopt;
    std::ostream& out = sim_out();
    for (int i = 1; i < argc; ++i) {
        const option_effect effect = parse_option(argv[i], settings);
        if (effect.what == kind::help) {
            print_help(out, argv[0]);
            return exit_help;
        }
        if (effect.what == kind::reject) {
            // Exactly one character of the argument, its zero byte included.
            out << effect.message << effect.shown << std::endl;
            return exit_rejected;
        }
        apply(effect, bench);
    }
    return std::nullopt;
}

int32_t run_main_loop(PCI_testbench& bench, const run_settings& settings) {
    std::ostream& out = sim_out();
    int32_t run_index = 0;
    for (; run_index <= last_run_index; ++run_index) {
        if (settings.dump_counters && run_index % progress_interval == 0)
            out << std::dec << run_index << '\r' << std::flush;
        clock_all();
        if (all_done(bench))
            break;
        // Window arithmetic in 64 bits: loc and rad may be any 32-bit value.
        const int64_t offset = int64_t{sim_cycle} - settings.loc;
        const int64_t distance = offset < 0 ? -offset : offset;
        if (settings.dump_mode == dump_mode_t::every ||
            (settings.dump_mode == dump_mode_t::window && distance <= settings.rad))
            dump_cycle(bench, settings, out);
        if (settings.stop_after_window && offset > settings.rad)
            break;
        if (settings.dump_req)
            out << bench.pm1.req << "  " << bench.pm2.req << "  " << bench.pm3.req << std::endl;
        if (settings.dump_gnt)
            out << bench.pm1.gnt << "  " << bench.pm2.gnt << "  " << bench.pm3.gnt << std::endl;
    }
    return run_index;
}

void print_closing(PCI_testbench& bench, const run_settings& settings, int32_t run_index) {
    if (settings.dump_stats)
        bench.pmon.report();
    std::ostream& out = sim_out();
    if (!settings.dump_counters) {
        out << std::dec << run_index << std::endl;
        return;
    }
    const int32_t m1 = bench.pm1.total_latency();
    const int32_t m2 = bench.pm2.total_latency();
    const int32_t m3 = bench.pm3.total_latency();
    // Summed in 64 bits so that no latency total can overflow.
    const int64_t total = int64_t{m1} + m2 + m3;
    out << std::dec << "Cyc: " << run_index << " t1: " << bench.pt1.trans_done()
        << " t2: " << bench.pt2.trans_done() << " t3: " << bench.pt3.trans_done()
        << " Lat: m1: " << m1 << " m2: " << m2 << " m3: " << m3 << " Tot: " << total << std::endl;
}

int pcisim_main(int argc, char** argv) {
    // The design exists before any option is read: options change its settings.
    // It is too large for the stack (the monitor's statistics tables).
    const auto bench = std::make_unique<PCI_testbench>("tb", nullptr);
    run_settings settings;
    if (const std::optional<int> status = read_command_line(argc, argv, *bench, settings))
        return *status;
    reset_all();
    const int32_t run_index = run_main_loop(*bench, settings);
    print_closing(*bench, settings, run_index);
    return exit_run;
}
