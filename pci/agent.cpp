#include "pci/agent.h"

#include "pci/bus.h"

PCI_agent::PCI_agent(const char* name_text, SIM_instance* parent)
    : SIM_instance(name_text, parent),
      frame("frame", this),
      devsel("devsel", this),
      stop("stop", this),
      trdy("trdy", this),
      irdy("irdy", this),
      perr("perr", this),
      serr("serr", this),
      par("par", this),
      lock("lock", this),
      sbo("sbo", this),
      sdone("sdone", this),
      ad_lines(context()),
      cbe_lines(context()) {
    for (int i = 0; i < ad_width; ++i) {
        ad_ports[i] = std::make_unique<SIM_port>("ad", this);
        ad[i] = ad_ports[i].get();
    }
    for (int i = 0; i < cbe_width; ++i) {
        cbe_ports[i] = std::make_unique<SIM_port>("cbe", this);
        cbe[i] = cbe_ports[i].get();
    }
    ad_lines.assign(ad, ad_width);
    cbe_lines.assign(cbe, cbe_width);
}

void PCI_agent::reset() {
    for (SIM_port* p : ad) p->force(VZ);
    for (SIM_port* p : cbe) p->force(VZ);
    for (SIM_port* p :
         {&frame, &devsel, &stop, &trdy, &irdy, &perr, &serr, &par, &lock, &sbo, &sdone})
        p->force(VZ);
    // The reset of the context has pointed every pin at its wire by now.
    on_bus_wires = bus_ != nullptr;
    for (int i = 0; i < ad_width && on_bus_wires; ++i)
        on_bus_wires = ad[i]->attached_net() == bus_->ad[i];
    for (int i = 0; i < cbe_width && on_bus_wires; ++i)
        on_bus_wires = cbe[i]->attached_net() == bus_->cbe[i];
}

bool PCI_agent::detached() const {
    for (const SIM_port* p : ad)
        if (p->attached_net() != nullptr)
            return false;
    for (const SIM_port* p : cbe)
        if (p->attached_net() != nullptr)
            return false;
    for (const SIM_port* p :
         {&frame, &devsel, &stop, &trdy, &irdy, &perr, &serr, &par, &lock, &sbo, &sdone})
        if (p->attached_net() != nullptr)
            return false;
    return true;
}

void PCI_agent::drive_parity() {
    if (ad[0]->own_level() == VZ) {
        par.drive(VZ);
        return;
    }
    bool complete = false;
    const uint32_t parity = sample_parity(complete);
    par.drive(!complete ? VX : parity ? V1 : V0);
}

bool PCI_agent::check_parity() {
    bool complete = false;
    const uint32_t parity = sample_parity(complete);
    check_sampled_parity(parity, complete);
    return true;
}
