#pragma once
// Bus agents for tests: one that drives whatever a per-cycle script says, and
// one that holds the weak pull-ups on the control lines as the arbiter does.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kernel/context.h"
#include "pci/agent.h"

class ScriptedAgent : public PCI_agent {
  public:
    using Step = std::function<void(ScriptedAgent&)>;

    ScriptedAgent(const char* name_text, SIM_instance* parent) : PCI_agent(name_text, parent) {}

    // Runs step in the clock() of the given cycle (several per cycle allowed).
    void at(int32_t cycle, Step step) { script_[cycle].push_back(std::move(step)); }
    // In the given cycle, drives each line the level its character names
    // ('0', '1', 'x', 'L', 'H', 'z'); '-' leaves a line as it is.
    void drive_at(int32_t cycle, std::vector<SIM_port PCI_agent::*> lines, std::string levels);

    void clock() override;

    // Helpers for scripts: drive AD / C/BE# with a value, or release them.
    void drive_ad(uint32_t value) { int_to_signals(ad, ad_width, value); }
    void drive_cbe(uint32_t value) { int_to_signals(cbe, cbe_width, value); }
    void release_ad() { fill_signals(ad, ad_width, VZ); }
    void release_cbe() { fill_signals(cbe, cbe_width, VZ); }

    bool parity = false;  // runs the parity services first, as masters and targets do

  private:
    std::map<int32_t, std::vector<Step>> script_;  // cycle -> steps
};

// The context of a test design, built before the top that registers in it.
struct TestContextHolder {
    SIM_context test_context;  // the test design's kernel
};

// A top-level module with nothing to do, to parent a test design; it owns
// the design's context.
class TestTop : private TestContextHolder, public SIM_instance {
  public:
    explicit TestTop(const char* name_text = "tb") : SIM_instance(name_text, test_context) {}
    void reset() override {}
    void clock() override {}

    // The kernel operations on this design.
    void reset_all() { test_context.reset_all(); }
    void clock_all() { test_context.clock_all(); }
    // Clocks until the cycle is n, so reads show the levels of cycle n.
    void run_to_cycle(int32_t n) {
        while (test_context.sim_cycle() < n) test_context.clock_all();
    }
};

// Clocks context until its cycle is n.
inline void run_to_cycle(SIM_context& context, int32_t n) {
    while (context.sim_cycle() < n) context.clock_all();
}

// Drives H on FRAME#, TRDY#, IRDY#, DEVSEL#, STOP#, SERR#, PERR# from reset on.
class PullupAgent : public PCI_agent {
  public:
    PullupAgent(const char* name_text, SIM_instance* parent) : PCI_agent(name_text, parent) {}
    void reset() override;
    void clock() override {}
};
