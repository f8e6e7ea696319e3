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
      sdone("sdone", this) {
    for (int i = 0; i < ad_width; ++i) {
        ad_ports[i] = std::make_unique<SIM_port>("ad", this);
        ad[i] = ad_ports[i].get();
    }
    for (int i = 0; i < cbe_width; ++i) {
        cbe_ports[i] = std::make_unique<SIM_port>("cbe", this);
        cbe[i] = cbe_ports[i].get();
    }
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

void PCI_agent::drive_parity() {
    if (ad[0]->own_level() == VZ) {
        par.drive(VZ);
        return;
    }
    uint32_t word, command;
    if (!read_ad(word) || !read_cbe(command)) {
        par.drive(VX);
        return;
    }
    par.drive(parity32(word ^ command) ? V1 : V0);
}

bool PCI_agent::check_parity() {
    const uint32_t old_parity = prev_parity;
    uint32_t word = 0, command = 0;
    const bool ad_ok = read_ad(word);
    const bool cbe_ok = read_cbe(command);
    prev_valid = ad_ok && cbe_ok;
    prev_parity = parity32(word ^ command);

    logic_value bus_par = par.read();
    if (par.own_level() == VZ && (bus_par == V0 || bus_par == V1)) {
        uint32_t p = bus_par == V0 ? 0 : 1;
        perr.drive(old_parity ^ p ? V0 : V1);
    } else if (par.own_level() == VZ && (perr.own_level() == V0 || perr.own_level() == V1)) {
        perr.drive(V1);
    } else {
        perr.drive(VZ);
    }
    return true;
}
