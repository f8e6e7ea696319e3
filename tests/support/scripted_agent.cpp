#include "support/scripted_agent.h"

void ScriptedAgent::clock() {
    if (parity) {
        drive_parity();
        check_parity();
    }
    auto it = script_.find(sim_cycle());
    if (it == script_.end())
        return;
    for (Step& step : it->second) step(*this);
}

void PullupAgent::reset() {
    PCI_agent::reset();
    for (SIM_port* p : {&frame, &trdy, &irdy, &devsel, &stop, &serr, &perr}) p->drive(VH);
}

void ScriptedAgent::drive_at(int32_t cycle, std::vector<SIM_port PCI_agent::*> lines,
                             std::string levels) {
    at(cycle, [lines, levels](ScriptedAgent& s) {
        for (size_t i = 0; i < lines.size() && i < levels.size(); ++i) {
            const char c = levels[i];
            if (c != '-')
                (s.*lines[i])
                    .drive(c == '0'   ? V0
                           : c == '1' ? V1
                           : c == 'x' ? VX
                           : c == 'L' ? VL
                           : c == 'H' ? VH
                                      : VZ);
        }
    });
}
