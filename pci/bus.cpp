#include "pci/bus.h"

#include "pci/agent.h"

PCI_bus::PCI_bus(const char* name_text, SIM_instance& parent)
    : name(name_text, &parent.name),
      frame("frame", &name, parent.context()),
      devsel("devsel", &name, parent.context()),
      stop("stop", &name, parent.context()),
      trdy("trdy", &name, parent.context()),
      irdy("irdy", &name, parent.context()),
      perr("perr", &name, parent.context()),
      serr("serr", &name, parent.context()),
      par("par", &name, parent.context()),
      lock("lock", &name, parent.context()),
      sbo("sbo", &name, parent.context()),
      sdone("sdone", &name, parent.context()),
      ad_word(ad, 32, parent.context()),
      cbe_word(cbe, 4, parent.context()) {
    for (int i = 0; i < 32; ++i) {
        ad_nets[i] = std::make_unique<SIM_net>("ad", &name, parent.context());
        ad[i] = ad_nets[i].get();
    }
    for (int i = 0; i < 4; ++i) {
        cbe_nets[i] = std::make_unique<SIM_net>("cbe", &name, parent.context());
        cbe[i] = cbe_nets[i].get();
    }
}

void PCI_bus::connect_agent(PCI_agent& agent) {
    agent.bus_ = this;
    devsel.connect(agent.devsel);
    frame.connect(agent.frame);
    irdy.connect(agent.irdy);
    par.connect(agent.par);
    perr.connect(agent.perr);
    serr.connect(agent.serr);
    stop.connect(agent.stop);
    trdy.connect(agent.trdy);
    for (int i = 0; i < 32; ++i) ad[i]->connect(*agent.ad[i]);
    for (int i = 0; i < 4; ++i) cbe[i]->connect(*agent.cbe[i]);
}

void PCI_bus::dump(std::ostream& out) const {
    char ad_text[9];
    char cbe_text[2];
    signals_to_hex(ad, 32, ad_text, sizeof ad_text);
    signals_to_hex(cbe, 4, cbe_text, sizeof cbe_text);
    out << " AD:" << ad_text << " CBE:" << cbe_text << " FRAME:" << frame.to_char()
        << " DEVSEL:" << devsel.to_char() << " STOP:" << stop.to_char()
        << " IRDY:" << irdy.to_char() << " TRDY:" << trdy.to_char() << " PAR:" << par.to_char()
        << " PERR:" << perr.to_char() << " SERR:" << serr.to_char() << std::endl;
}
