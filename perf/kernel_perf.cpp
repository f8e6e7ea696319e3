// Cost of the cycle boundary over the bus's ports: clock_all() on a bus of
// agents that keep their pins (nothing to commit) and of agents whose first
// one drives a new AD word every cycle, bit by bit (32 port drives) or as a
// word (the agents' own way), with the AD nets to resolve.
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

// Drives a counting word on AD every cycle, as a word or bit by bit.
class CountingAgent : public PCI_agent {
  public:
    CountingAgent(const char* name_text, SIM_instance* parent, bool as_word)
        : PCI_agent(name_text, parent), as_word_(as_word) {}
    void clock() override {
        ++word;
        if (as_word_)
            ad_lines.drive(word);
        else
            int_to_signals(ad, ad_width, word);
    }

  private:
    bool as_word_;      // drive through the AD vector
    uint32_t word = 0;  // last word driven
};

enum class Drive { none, bits, word };

class Top : public SIM_instance {
  public:
    explicit Top(SIM_context& context) : SIM_instance("tb", context) {}
    void reset() override {}
    void clock() override {}
};

void run_boundary(benchmark::State& state, Drive drive) {
    SIM_context context;
    Top top(context);
    PCI_bus bus("pb", top);
    std::vector<std::unique_ptr<PCI_agent>> agents;
    for (int i = 0; i < state.range(0); ++i) {
        if (drive != Drive::none && i == 0)
            agents.push_back(std::make_unique<CountingAgent>("a", &top, drive == Drive::word));
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
    run_boundary(state, Drive::none);
}
BENCHMARK(BM_BoundaryIdleBus)->Arg(4)->Arg(12);

void BM_BoundaryCountingAD(benchmark::State& state) {
    run_boundary(state, Drive::bits);
}
BENCHMARK(BM_BoundaryCountingAD)->Arg(4)->Arg(12);

void BM_BoundaryCountingADWord(benchmark::State& state) {
    run_boundary(state, Drive::word);
}
BENCHMARK(BM_BoundaryCountingADWord)->Arg(4)->Arg(12);
}  // namespace
