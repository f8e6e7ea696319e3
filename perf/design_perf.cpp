// Throughput of the whole fixed design: cycles per second without output,
// one complete default run (all three masters to done) per iteration, and
// the cost of one bus dump line.
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>

#include "bench/options.h"
#include "bench/testbench.h"
#include "kernel/context.h"
#include "outputs/bus_dump.h"

namespace {
// One design in its own simulation, reset and ready to clock.
struct Design {
    SIM_context context;
    PCI_testbench bench{"tb", context};
    explicit Design(std::ostream& out) : context(out) { context.reset_all(); }
};

void BM_DesignCycles(benchmark::State& state) {
    std::ostringstream sink;
    auto design = std::make_unique<Design>(sink);
    for (auto _ : state) {
        design->context.clock_all();
        if (design->bench.all_done()) {
            // Start over on a fresh design so every measured cycle carries traffic.
            state.PauseTiming();
            design = std::make_unique<Design>(sink);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DesignCycles);

void BM_DefaultRun(benchmark::State& state) {
    std::ostringstream sink;
    int64_t cycles = 0;
    for (auto _ : state) {
        Design design(sink);
        while (!design.bench.all_done()) {
            design.context.clock_all();
            ++cycles;
        }
    }
    state.counters["cycles/s"] =
        benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DefaultRun)->Unit(benchmark::kMillisecond);

// One -c line (prefix and bus levels) of a busy cycle, into a string stream
// that is emptied now and then.
void BM_DumpLine(benchmark::State& state) {
    std::ostringstream sink;
    Design design(sink);
    for (int i = 0; i < 200; ++i) design.context.clock_all();
    run_settings settings;
    settings.dump_mode = dump_mode_t::every;
    PCI_bus_dump dump(design.bench.pb, settings, sink);
    const SIM_cycle_info info{design.context.sim_cycle(), 200, SIM_cycle_end::running};
    int64_t lines = 0;
    for (auto _ : state) {
        dump.on_cycle(info);
        if (++lines % 4096 == 0)
            sink.str("");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DumpLine);
}  // namespace
