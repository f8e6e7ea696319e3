#pragma once
// A small bus for the rulebook's tests: an arbiter whose GNT# lines follow a
// script, two scripted masters with their REQ#/GNT# pins, two scripted
// targets, and the checker reading them after every cycle. Scripts name
// the cycle in which a level is seen (the agent drives it one clock
// earlier). Master and targets drive PAR one clock after their own AD, as
// the design's agents do.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "monitor/bus_agents.h"
#include "monitor/compliance.h"
#include "pci/arbiter.h"
#include "pci/bus.h"
#include "support/scripted_agent.h"

// An arbiter with the pull-ups whose grants come from a script.
class ScriptedArbiter : public PCI_arbiter_base {
  public:
    using PCI_arbiter_base::PCI_arbiter_base;
    // GNT# of master i at level, seen in cycle.
    void grant_at(int32_t cycle, int i, logic_value level) {
        script_[cycle - 1].emplace_back(i, level);
    }
    void clock() override {
        auto it = script_.find(sim_cycle());
        if (it != script_.end())
            for (auto [i, level] : it->second) gnt_ports[i]->drive(level);
    }

  private:
    std::map<int32_t, std::vector<std::pair<int, logic_value>>> script_;  // cycle -> drives
};

// A scripted agent that drives PAR one clock after its own AD.
class ParityAgent : public ScriptedAgent {
  public:
    ParityAgent(const char* name_text, SIM_instance* parent)
        : ScriptedAgent(name_text, parent), req("req", this), gnt("gnt", this) {}
    void clock() override {
        drive_parity();
        ScriptedAgent::clock();
    }
    // Drives the lines the characters name in cycle (seen there).
    void seen(int32_t cycle, std::vector<SIM_port PCI_agent::*> lines, std::string levels) {
        drive_at(cycle - 1, std::move(lines), std::move(levels));
    }
    // AD (and C/BE#) driven with a word in cycle, or released (see ad_off).
    void ad_at(int32_t cycle, uint32_t word) {
        at(cycle - 1, [word](ScriptedAgent& s) { s.drive_ad(word); });
    }
    void cbe_at(int32_t cycle, uint32_t word) {
        at(cycle - 1, [word](ScriptedAgent& s) { s.drive_cbe(word); });
    }
    void ad_off(int32_t cycle) {
        at(cycle - 1, [](ScriptedAgent& s) { s.release_ad(); });
    }
    void cbe_off(int32_t cycle) {
        at(cycle - 1, [](ScriptedAgent& s) { s.release_cbe(); });
    }

    SIM_port req;  // REQ#, never driven here
    SIM_port gnt;  // GNT#, read by nobody: the checker reads the wire
};

struct ComplianceBench {
    ComplianceBench() {
        for (PCI_agent* agent : std::initializer_list<PCI_agent*>{&pa, &pm1, &pm2, &pt1, &pt2})
            pb.connect_agent(*agent);
        pa.attach_ports(tb, pm1.req, pm1.gnt);
        pa.attach_ports(tb, pm2.req, pm2.gnt);
    }

    // pm1's FRAME# IRDY# and pt1's DEVSEL# TRDY# STOP#, one row of five
    // characters per cycle from first on ('-' leaves a line as it is).
    void rows(int32_t first, const std::vector<const char*>& levels) {
        for (const char* r : levels) {
            pm1.seen(first, {&PCI_agent::frame, &PCI_agent::irdy}, std::string(r, 2));
            pt1.seen(first, {&PCI_agent::devsel, &PCI_agent::trdy, &PCI_agent::stop}, r + 2);
            ++first;
        }
    }
    // Resets and runs through cycle last, the checker after every clock.
    void run_through(int32_t last) {
        tb.reset_all();
        PCI_compliance_checker checker(
            pb, find_bus_agents(pb, tb.context()),
            [this](const PCI_compliance_violation& v) { found.push_back(v); });
        while (tb.sim_cycle() < last) {
            tb.clock_all();
            checker.check(tb.sim_cycle());
        }
        for (int i = 0; i < PCI_compliance_checker::rule_count; ++i)
            counts[i] = checker.count_of(static_cast<PCI_compliance_checker::rule>(i));
    }

    TestTop tb;                                   // names read tb:...
    ScriptedArbiter pa{"pa", &tb};                // pull-ups and GNT#s
    ParityAgent pm1{"pm1", &tb};                  // master 1
    ParityAgent pm2{"pm2", &tb};                  // master 2
    ParityAgent pt1{"pt1", &tb};                  // target 1
    ParityAgent pt2{"pt2", &tb};                  // target 2
    PCI_bus pb{"pb", tb};                         // the wires
    std::vector<PCI_compliance_violation> found;  // in report order
    PCI_compliance_checker::counts counts[PCI_compliance_checker::rule_count];  // after the run
};
