#include "bench/simulation.h"

#include <ostream>

#include "bench/batch.h"
#include "bench/design_file.h"
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

// Applies an option to the bench and to the design value alike.
void apply(const option_effect& effect, PCI_testbench& bench, PCI_design& design) {
    // The parser keeps units within the design's counts.
    const size_t unit = effect.unit >= 1 ? static_cast<size_t>(effect.unit - 1) : 0;
    switch (effect.what) {
        case kind::arbiter_mtt:
            // The fixed-priority arbiter has no tenure: the option changes nothing.
            if (bench.rotating != nullptr) {
                bench.rotating->set_mtt(effect.value);
                design.arbiter.mtt = effect.value;
            }
            break;
        case kind::debug_monitor:
            bench.pmon.set_debug(1);
            break;
        case kind::debug_arbiter:
            bench.pa->set_debug(1);
            break;
        case kind::debug_master:
            bench.masters[unit]->set_debug(1);
            break;
        case kind::master_count:
            bench.masters[unit]->set_trans_count(effect.value);
            design.masters[unit].transactions = effect.value;
            break;
        case kind::master_latency:
            bench.masters[unit]->set_latency_timer(effect.value);
            design.masters[unit].latency_timer = bench.masters[unit]->latency_timer();
            break;
        case kind::master_overhead:
            bench.masters[unit]->set_retry_overhead(effect.value);
            design.masters[unit].retry_overhead = effect.value;
            break;
        case kind::target_init:
            bench.targets[unit]->set_init_retry_threshold(effect.value);
            design.targets[unit].init_retry_threshold = effect.value;
            break;
        case kind::target_burst:
            bench.targets[unit]->set_burst_retry_threshold(effect.value);
            design.targets[unit].burst_retry_threshold = effect.value;
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
        watch_design(*writer, simulation.bench().view(simulation.design()), settings.vcd_split);
        if (std::string error = writer->open(); !error.empty())
            return error;
        simulation.add_observer(std::move(writer));
    }
    return {};
}
}  // namespace

PCI_simulation::PCI_simulation(std::ostream& out) : PCI_simulation(builtin_design(), out) {}

PCI_simulation::PCI_simulation(const PCI_design& design, std::ostream& out)
    : design_(design),
      context_(out),
      bench_(std::make_unique<PCI_testbench>("tb", context_, design_)) {
    extensions_.max_cycles = design_.max_cycles;
}

void PCI_simulation::apply_seed(uint32_t number) {
    derive_seeds(number, *bench_);
    design_.seed = number;
    for (PCI_master_spec& master : design_.masters) {
        master.seed.reset();
        master.multiplier.reset();
    }
    for (PCI_target_spec& target : design_.targets) {
        target.seed.reset();
        target.multiplier.reset();
    }
}

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
        const option_effect effect =
            parse_option(argv[i], settings_, static_cast<int>(design_.masters.size()),
                         static_cast<int>(design_.targets.size()));
        if (effect.what == kind::help) {
            print_help(out, argv[0]);
            return exit_help;
        }
        if (effect.what == kind::reject) {
            // Exactly one character of the argument, its zero byte included.
            out << effect.message << effect.shown << std::endl;
            return exit_rejected;
        }
        apply(effect, *bench_, design_);
    }
    design_.max_cycles = extensions_.max_cycles;
    return std::nullopt;
}

void PCI_simulation::add_observer(std::unique_ptr<SIM_observer> observer) {
    extra_.push_back(std::move(observer));
}

void PCI_simulation::add_text_outputs() {
    std::ostream& out = context_.sim_out();
    PCI_testbench& b = *bench_;
    // Without a dump mode the bus dump prints nothing: it is not run.
    if (settings_.dump_mode != dump_mode_t::none)
        observers_.push_back(std::make_unique<PCI_bus_dump>(b.pb, settings_, out));
    if (settings_.dump_req) {
        std::vector<const SIM_port*> pins;
        for (const auto& master : b.masters) pins.push_back(&master->req);
        observers_.push_back(std::make_unique<PCI_request_lines>(std::move(pins), out));
    }
    if (settings_.dump_gnt) {
        std::vector<const SIM_port*> pins;
        for (const auto& master : b.masters) pins.push_back(&master->gnt);
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
    for (size_t i = 0; i < b.targets.size(); ++i)
        out << " t" << i + 1 << ": " << b.targets[i]->trans_done();
    out << " Lat:";
    // Summed in 64 bits so that no latency total can overflow.
    int64_t total = 0;
    for (size_t i = 0; i < b.masters.size(); ++i) {
        const int32_t latency = b.masters[i]->total_latency();
        out << " m" << i + 1 << ": " << latency;
        total += latency;
    }
    out << " Tot: " << total << std::endl;
}

std::string prepare_extensions(PCI_simulation& simulation, int argc, char** argv) {
    const extension_settings& extensions = simulation.extensions();
    if (extensions.seed)
        simulation.apply_seed(*extensions.seed);
    const PCI_compliance_checker* rules = nullptr;
    if (std::string error = add_file_outputs(simulation, rules); !error.empty())
        return error;
    if (extensions.stats_json.empty() && extensions.transactions.empty())
        return {};
    PCI_data_request request;
    request.stats_json = extensions.stats_json;
    request.transactions = extensions.transactions;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) request.arguments.emplace_back(argv[i]);
    request.seed = extensions.seed;
    request.max_cycles = extensions.max_cycles;
    request.design_file = extensions.design_file_id;
    PCI_testbench& bench = simulation.bench();
    auto exporter = std::make_unique<PCI_data_exporter>(bench.view(simulation.design()), bench.pmon,
                                                        std::move(request), rules);
    if (std::string error = exporter->open(); !error.empty())
        return error;
    simulation.add_observer(std::move(exporter));
    return {};
}

int pcisim_main(int argc, char** argv, std::ostream& out, std::ostream& err) {
    // The design first: it decides which masters and targets the short
    // options may name. Without --design and --set nothing is read.
    const extension_settings design_options = find_design_options(argc, argv);
    if (!design_options.batch_file.empty() || !design_options.batch_status.empty() ||
        !design_options.stdout_file.empty())
        return run_batch_command(argc, argv, err);
    return run_simulation(design_options, argc, argv, out, err);
}

int run_simulation(const extension_settings& design_options, int argc, char** argv,
                   std::ostream& out, std::ostream& err) {
    if (design_options.design_file.empty() && design_options.design_sets.empty())
        return run_design(builtin_design(), argc, argv, out, err);
    const std::optional<PCI_loaded_design> loaded =
        load_design(design_options.design_file, design_options.design_sets, err);
    if (!loaded)
        return exit_failed;
    std::optional<PCI_design_file_id> file;
    if (!loaded->path.empty())
        file = PCI_design_file_id{loaded->path, loaded->sha256};
    return run_design(loaded->design, argc, argv, out, err, file);
}

int run_design(const PCI_design& design, int argc, char** argv, std::ostream& out,
               std::ostream& err, const std::optional<PCI_design_file_id>& file) {
    try {
        PCI_simulation simulation(design, out);
        simulation.extensions().design_file_id = file;
        if (const std::optional<int> status = simulation.read_command_line(argc, argv, err))
            return *status;
        if (const std::string error = prepare_extensions(simulation, argc, argv); !error.empty()) {
            err << "pcisim: " << error << std::endl;
            return exit_failed;
        }
        // The design as it runs: after --set, the short options, --seed and
        // --max-cycles.
        if (const std::string& written = simulation.extensions().write_design; !written.empty()) {
            PCI_design resolved = simulation.design();
            resolved.max_cycles = simulation.extensions().max_cycles;
            if (const std::string error = save_design(written, resolved); !error.empty()) {
                err << "pcisim: " << error << std::endl;
                return exit_failed;
            }
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
