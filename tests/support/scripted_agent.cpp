#include "support/scripted_agent.h"

void ScriptedAgent::clock() {
    auto it = script_.find(sim_cycle);
    if (it == script_.end())
        return;
    for (Step& step : it->second) step(*this);
}

void PullupAgent::reset() {
    PCI_agent::reset();
    for (SIM_port* p : {&frame, &trdy, &irdy, &devsel, &stop, &serr, &perr}) p->drive(VH);
}
