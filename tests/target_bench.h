#pragma once
// A one-target bus for the target tests: pull-ups, a scripted master that
// reacts to TRDY#/STOP# like a simple bus master, the target under test, and
// a record of the bus lines in every cycle.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kernel/context.h"
#include "pci/bus.h"
#include "pci/target.h"
#include "support/scripted_agent.h"

// Bus lines of one cycle.
struct BusSample {
    std::string dts;  // DEVSEL#, TRDY#, STOP# as level characters
    char perr;        // PERR#
    std::string ad;   // AD in hex, z for released lines
};

template <class Target>
class TargetBench {
  public:
    TargetBench() {
        bus.connect_agent(pull);
        bus.connect_agent(m);
        bus.connect_agent(t);
    }

    // Resets the design; the first clock is cycle 1 and the pull-ups are on
    // the wires from cycle 2.
    void start() { top.reset_all(); }

    // Clocks until cycle last has run, recording each cycle's lines first.
    void run_to(int32_t last) {
        while (top.sim_cycle() <= last) {
            char hex[9];
            samples[top.sim_cycle()] = {
                {bus.devsel.to_char(), bus.trdy.to_char(), bus.stop.to_char()},
                bus.perr.to_char(),
                signals_to_hex(bus.ad, 32, hex, 9)};
            top.clock_all();
            done[top.sim_cycle() - 1] = t.trans_done();
        }
    }

    // A master transaction of up to `words` data phases with its address
    // phase on the bus in cycle a. It ends the burst after the last word or
    // when STOP# is seen, and records every transfer with its cycle and AD.
    void transaction(int32_t a, uint32_t command, uint32_t addr, int words) {
        auto st = std::make_shared<int>(0);  // words transferred so far
        const bool read = is_read_command(command);
        m.at(a - 1, [=](ScriptedAgent& s) {
            s.frame = V0;
            s.irdy = V1;
            s.drive_ad(addr);
            s.drive_cbe(command);
        });
        m.at(a, [=](ScriptedAgent& s) {
            s.frame = words == 1 ? V1 : V0;
            s.irdy = V0;
            s.drive_cbe(0);
            if (read) {
                s.release_ad();
            } else {
                s.drive_ad(0xD0000000u);
            }
        });
        for (int32_t c = a + 1; c < a + 80; ++c) {
            m.at(c, [=, this](ScriptedAgent& s) {
                if (*st < 0)
                    return;  // finished
                bool transfer = s.trdy.is_low() && s.irdy.is_low();
                if (transfer) {
                    ++*st;
                    transfers.push_back({c, bus_ad()});
                    if (!read)
                        s.drive_ad(0xD0000000u + *st);
                }
                if (s.frame.is_high() && (transfer || s.stop.is_low())) {
                    s.irdy = V1;  // last phase done: release next cycle
                    s.release_ad();
                    s.release_cbe();
                    *st = -1;
                    m.at(c + 1, [](ScriptedAgent& r) {
                        r.irdy = VZ;
                        r.frame = VZ;
                    });
                } else if (s.stop.is_low() || (transfer && *st == words - 1)) {
                    s.frame = V1;  // the next phase is the last
                }
            });
        }
    }

    uint32_t bus_ad() const {
        uint32_t v = 0;
        signals_to_int(bus.ad, 32, v);
        return v;
    }
    std::string dts(int32_t cycle) { return samples[cycle].dts; }
    // DEVSEL#/TRDY#/STOP# of the cycles first to last, blank-separated.
    std::string lines(int32_t first, int32_t last) {
        std::string text;
        for (int32_t c = first; c <= last; ++c) {
            if (c != first)
                text += ' ';
            text += dts(c);
        }
        return text;
    }
    std::vector<int32_t> transfer_cycles() const {
        std::vector<int32_t> cycles;
        for (const auto& transfer : transfers) cycles.push_back(transfer.first);
        return cycles;
    }

    TestTop top;                                          // owns the design's context
    PullupAgent pull{"pu", &top};                         // weak highs on the control lines
    ScriptedAgent m{"m", &top};                           // the scripted master
    Target t{"t", &top};                                  // the target under test
    PCI_bus bus{"pb", top};                               // the nets joining them
    std::map<int32_t, BusSample> samples;                 // bus lines per cycle
    std::map<int32_t, int32_t> done;                      // trans_done after each cycle's clock
    std::vector<std::pair<int32_t, uint32_t>> transfers;  // cycle and AD of each transfer
};
