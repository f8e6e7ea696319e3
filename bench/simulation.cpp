#include "bench/simulation.h"

#include <ostream>

#include "bench/seeds.h"
#include "kernel/error.h"
#include "outputs/bus_dump.h"
#include "outputs/compliance_log.h"
#include "outputs/data_exporter.h"
#include "outputs/request_lines.h"
#include "outputs/vcd_writer.h"

namespace {
using kind = option_effect::kind;

constexpr int exit_help = 0;       // status after the help text
constexpr int exit_rejected = 10;  // status after a rejected option
constexpr int exit_failed = 1;     // status after a failed extension
constexpr int exit_run = 0;        // status after a run
// The progress counter shows every this many iterations.
constexpr int32_t progress_interval = 10000;

void apply(const option_effect& effect, PCI_testbench& bench) {
    // Units are 1 to 3 (the parser guarantees the range).
    PCI_random_master* const master = effect.unit >= 1 ? bench.masters[effect.unit - 1] : nullptr;
    PCI_target* const target = effect.unit >= 1 ? bench.targets[effect.unit - 1] : nullptr;
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
            master->set_debug(1);
            break;
        case kind::master_count:
            master->set_trans_count(effect.value);
            break;
        case kind::master_latency:
            master->set_latency_timer(effect.value);
            break;
        case kind::master_overhead:
            master->set_retry_overhead(effect.value);
            break;
        case kind::target_init:
            target->set_init_retry_threshold(effect.value);
            break;
        case kind::target_burst:
            target->set_burst_retry_threshold(effect.value);
            break;
        case kind::none:
        case kind::help:
        case kind::reject:
            break;
    }
}

// Creates the files of the outputs the long options ask for and adds their
// observers; rules is set to the rulebook's checker when there is one.
// Returns an error text, empty on success.
std::string add_file_outputs(PCI_simulation& simulation, const PCI_compliance_checker*& rules) {
    const extension_settings& settings = simulation.extensions();
    if (!settings.compliance.empty()) {
        auto log = std::make_unique<PCI_compliance_log>(settings.compliance, simulation.bench().pb,
                                                        simulation.context());
        if (std::string error = log->open(); !error.empty())
            return error;
        rules = &log->checker();
        simulation.add_observer(std::move(log));
    }
    if (!settings.vcd_file.empty()) {
        auto writer = std::make_unique<PCI_vcd_writer>(
            settings.vcd_file,
            settings.vcd_six_levels ? PCI_vcd_levels::six : PCI_vcd_levels::four);
        watch_testbench(*writer, simulation.bench(), settings.vcd_split);
        if (std::string error = writer->open(); !error.empty())
            return error;
        simulation.add_observer(std::move(writer));
    }
    return {};
}
}  // namespace

PCI_simulation::PCI_simulation(std::ostream& out)
    : context_(out), bench_(std::make_unique<PCI_testbench>("tb", context_)) {}

std::optional<int> PCI_simulation::read_command_line(int argc, char** argv, std::ostream& err) {
    if (argv == nullptr)
        return std::nullopt;
    std::ostream& out = context_.sim_out();
    for (int i = 1; i < argc; ++i) {
        const long_option_result taken = parse_long_option(argc, argv, i, extensions_);
        if (taken.what == long_option_result::kind::error) {
            err << "pcisim: " << taken.error << std::endl;
            return exit_failed;
        }
        if (taken.what == long_option_result::kind::taken) {
            if (extensions_.help) {
                print_help(out, argv[0]);
                print_long_help(out);
                return exit_help;
            }
            if (extensions_.version) {
                print_version(out);
                return exit_help;
            }
            i += taken.consumed - 1;
            continue;
        }
        const option_effect effect = parse_option(argv[i], settings_);
        if (effect.what == kind::help) {
            print_help(out, argv[0]);
            return exit_help;
        }
        if (effect.what == kind::reject) {
            // Exactly one character of the argument, its zero byte included.
            out << effect.message << effect.shown << std::endl;
            return exit_rejected;
        }
        apply(effect, *bench_);
    }
    return std::nullopt;
}

void PCI_simulation::add_observer(std::unique_ptr<SIM_observer> observer) {
    extra_.push_back(std::move(observer));
}

void PCI_simulation::add_text_outputs() {
    std::ostream& out = context_.sim_out();
    PCI_testbench& b = *bench_;
    observers_.push_back(std::make_unique<PCI_bus_dump>(b.pb, settings_, out));
    if (settings_.dump_req) {
        std::vector<const SIM_port*> pins;
        for (const PCI_random_master* master : b.masters) pins.push_back(&master->req);
        observers_.push_back(std::make_unique<PCI_request_lines>(std::move(pins), out));
    }
    if (settings_.dump_gnt) {
        std::vector<const SIM_port*> pins;
        for (const PCI_random_master* master : b.masters) pins.push_back(&master->gnt);
        observers_.push_back(std::make_unique<PCI_request_lines>(std::move(pins), out));
    }
    for (std::unique_ptr<SIM_observer>& observer : extra_)
        observers_.push_back(std::move(observer));
    extra_.clear();
}

int32_t PCI_simulation::run() {
    add_text_outputs();
    context_.reset_all();
    for (const std::unique_ptr<SIM_observer>& observer : observers_) observer->on_start();
    std::ostream& out = context_.sim_out();
    int32_t run_index = 0;
    for (; run_index < extensions_.max_cycles; ++run_index) {
        if (settings_.dump_counters && run_index % progress_interval == 0)
            out << std::dec << run_index << '\r' << std::flush;
        context_.clock_all();
        const int32_t cycle = context_.sim_cycle();
        SIM_cycle_end end = SIM_cycle_end::running;
        if (bench_->all_done())
            end = SIM_cycle_end::masters_done;
        else if (settings_.stop_after_window && PCI_bus_dump::window_passed(cycle, settings_))
            end = SIM_cycle_end::window_passed;
        const SIM_cycle_info info{cycle, run_index, end};
        for (const std::unique_ptr<SIM_observer>& observer : observers_) observer->on_cycle(info);
        if (end != SIM_cycle_end::running)
            break;
    }
    return run_index;
}

std::string PCI_simulation::finish_observers() {
    std::string first_error;
    for (const std::unique_ptr<SIM_observer>& observer : observers_) {
        const std::string error = observer->on_finish();
        if (first_error.empty())
            first_error = error;
    }
    return first_error;
}

void PCI_simulation::print_closing(int32_t run_index) {
    PCI_testbench& b = *bench_;
    if (settings_.dump_stats)
        b.pmon.report();
    std::ostream& out = context_.sim_out();
    if (!settings_.dump_counters) {
        out << std::dec << run_index << std::endl;
        return;
    }
    out << std::dec << "Cyc: " << run_index;
    for (int i = 0; i < PCI_testbench::units; ++i)
        out << " t" << i + 1 << ": " << b.targets[i]->trans_done();
    out << " Lat:";
    // Summed in 64 bits so that no latency total can overflow.
    int64_t total = 0;
    for (int i = 0; i < PCI_testbench::units; ++i) {
        const int32_t latency = b.masters[i]->total_latency();
        out << " m" << i + 1 << ": " << latency;
        total += latency;
    }
    out << " Tot: " << total << std::endl;
}

std::string prepare_extensions(PCI_simulation& simulation, int argc, char** argv) {
    const extension_settings& extensions = simulation.extensions();
    if (extensions.seed)
        derive_seeds(*extensions.seed, simulation.bench());
    const PCI_compliance_checker* rules = nullptr;
    if (std::string error = add_file_outputs(simulation, rules); !error.empty())
        return error;
    if (!wants_data_outputs(extensions))
        return {};
    std::vector<std::string> arguments;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) arguments.emplace_back(argv[i]);
    auto exporter = std::make_unique<PCI_data_exporter>(simulation.bench(), std::move(arguments),
                                                        extensions, rules);
    if (std::string error = exporter->open(); !error.empty())
        return error;
    simulation.add_observer(std::move(exporter));
    return {};
}

int pcisim_main(int argc, char** argv, std::ostream& out, std::ostream& err) {
    try {
        PCI_simulation simulation(out);
        if (const std::optional<int> status = simulation.read_command_line(argc, argv, err))
            return *status;
        if (const std::string error = prepare_extensions(simulation, argc, argv); !error.empty()) {
            err << "pcisim: " << error << std::endl;
            return exit_failed;
        }
        const int32_t run_index = simulation.run();
        const std::string error = simulation.finish_observers();
        simulation.print_closing(run_index);
        if (!error.empty()) {
            err << "pcisim: " << error << std::endl;
            return exit_failed;
        }
        return exit_run;
    } catch (const SIM_error& error) {
        out << error.what() << std::flush;
        return error.status();
    }
}
