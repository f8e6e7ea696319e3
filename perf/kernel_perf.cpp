// Cost of the cycle boundary over the bus's ports: clock_all() on a bus of
// agents that keep their pins (nothing to commit) and of agents whose first
// one drives a new AD word every cycle (32 ports to commit, AD nets to
// resolve).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "kernel/context.h"
#include "pci/agent.h"
#include "pci/bus.h"

namespace {
class IdleAgent : public PCI_agent {
  public:
    using PCI_agent::PCI_agent;
    void clock() override {}
};

// Drives a counting word on AD every cycle.
class CountingAgent : public PCI_agent {
  public:
    using PCI_agent::PCI_agent;
    void clock() override { int_to_signals(ad, ad_width, ++word); }

  private:
    uint32_t word = 0;  // last word driven
};

class Top : public SIM_instance {
  public:
    explicit Top(SIM_context& context) : SIM_instance("tb", context) {}
    void reset() override {}
    void clock() override {}
};

void run_boundary(benchmark::State& state, bool counting) {
    SIM_context context;
    Top top(context);
    PCI_bus bus("pb", top);
    std::vector<std::unique_ptr<PCI_agent>> agents;
    for (int i = 0; i < state.range(0); ++i) {
        if (counting && i == 0)
            agents.push_back(std::make_unique<CountingAgent>("a", &top));
        else
            agents.push_back(std::make_unique<IdleAgent>("a", &top));
        bus.connect_agent(*agents.back());
    }
    context.reset_all();
    for (auto _ : state) context.clock_all();
    state.counters["ports"] = static_cast<double>(context.port_list().size());
    state.SetItemsProcessed(state.iterations());
}

void BM_BoundaryIdleBus(benchmark::State& state) {
    run_boundary(state, false);
}
BENCHMARK(BM_BoundaryIdleBus)->Arg(4)->Arg(12);

void BM_BoundaryCountingAD(benchmark::State& state) {
    run_boundary(state, true);
}
BENCHMARK(BM_BoundaryCountingAD)->Arg(4)->Arg(12);
}  // namespace
