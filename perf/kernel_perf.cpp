// Cost of the cycle boundary: clock_all() over a bus of idle agents, which
// is one virtual clock() per instance and one commit per port.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "kernel/scheduler.h"
#include "pci/bus.h"
#include "pci/agent.h"

namespace {
class IdleAgent : public PCI_agent {
  public:
    using PCI_agent::PCI_agent;
    void clock() override {}
};

class Top : public SIM_instance {
  public:
    Top() : SIM_instance("tb", nullptr) {}
    void reset() override {}
    void clock() override {}
};

void BM_ClockAllIdleBus(benchmark::State& state) {
    sim_kernel_clear();
    Top top;
    PCI_bus bus("pb", &top.name);
    std::vector<std::unique_ptr<IdleAgent>> agents;
    for (int i = 0; i < state.range(0); ++i) {
        agents.push_back(std::make_unique<IdleAgent>("a", &top));
        bus.connect_agent(*agents.back());
    }
    reset_all();
    for (auto _ : state) clock_all();
    state.counters["ports"] = static_cast<double>(port_list().size());
    state.SetItemsProcessed(state.iterations());
    sim_kernel_clear();
}
BENCHMARK(BM_ClockAllIdleBus)->Arg(4)->Arg(12);
}  // namespace
