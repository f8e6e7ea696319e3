// Throughput of the whole fixed design: cycles of the default run per second,
// and one complete default run (all three masters to done) per iteration.
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>

#include "bench/testbench.h"
#include "kernel/output.h"
#include "kernel/scheduler.h"

namespace {
void BM_DesignCycles(benchmark::State& state) {
    sim_kernel_clear();
    auto bench = std::make_unique<PCI_testbench>("tb", nullptr);
    reset_all();
    for (auto _ : state) {
        clock_all();
        if (bench->pm1.is_done() && bench->pm2.is_done() && bench->pm3.is_done()) {
            // Start over on a fresh design so every measured cycle carries traffic.
            state.PauseTiming();
            bench.reset();
            sim_kernel_clear();
            bench = std::make_unique<PCI_testbench>("tb", nullptr);
            reset_all();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
    bench.reset();
    sim_kernel_clear();
}
BENCHMARK(BM_DesignCycles);

void BM_DefaultRun(benchmark::State& state) {
    std::ostringstream sink;
    sim_set_out(sink);
    int64_t cycles = 0;
    for (auto _ : state) {
        sim_kernel_clear();
        auto bench = std::make_unique<PCI_testbench>("tb", nullptr);
        reset_all();
        while (!(bench->pm1.is_done() && bench->pm2.is_done() && bench->pm3.is_done())) {
            clock_all();
            ++cycles;
        }
        bench.reset();
    }
    sim_kernel_clear();
    state.counters["cycles/s"] =
        benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DefaultRun)->Unit(benchmark::kMillisecond);
}  // namespace
