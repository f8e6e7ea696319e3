#include "pci/bus.h"

#include <cstring>

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
      cbe_word(cbe, 4, parent.context()),
      queue_(&parent.context().boundary()) {
    for (int i = 0; i < 32; ++i) {
        ad_nets[i] = std::make_unique<SIM_net>("ad", &name, parent.context());
        ad[i] = ad_nets[i].get();
    }
    for (int i = 0; i < 4; ++i) {
        cbe_nets[i] = std::make_unique<SIM_net>("cbe", &name, parent.context());
        cbe[i] = cbe_nets[i].get();
    }
    ad_word.track();
    cbe_word.track();
}

void PCI_bus::connect_agent(PCI_agent& agent) {
    agent.join_bus(*this);
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

namespace {
// Copies text without its terminator to at; returns the position after it.
template <std::size_t size>
char* put(char* at, const char (&text)[size]) {
    std::memcpy(at, text, size - 1);
    return at + size - 1;
}
// Writes the digits hexadecimal digits of word (no Z or X among its bits),
// most significant first, as signals_to_hex does.
void put_hex(char* at, uint32_t word, int digits) {
    for (int i = digits - 1; i >= 0; --i, word >>= 4) at[i] = "0123456789abcdef"[word & 0xFu];
}
}  // namespace

int PCI_bus::format_dump(char* buffer) const {
    char* at = put(buffer, " AD:");
    uint32_t word = 0;
    if (ad_word.read(word))
        put_hex(at, word, 8);
    else if (!ad_word.write_hex(at))
        signals_to_hex(ad, 32, at, 9);
    at = put(at + 8, " CBE:");
    if (cbe_word.read(word))
        put_hex(at, word, 1);
    else if (!cbe_word.write_hex(at))
        signals_to_hex(cbe, 4, at, 2);
    at = put(at + 1, " FRAME:");
    *at++ = frame.to_char();
    at = put(at, " DEVSEL:");
    *at++ = devsel.to_char();
    at = put(at, " STOP:");
    *at++ = stop.to_char();
    at = put(at, " IRDY:");
    *at++ = irdy.to_char();
    at = put(at, " TRDY:");
    *at++ = trdy.to_char();
    at = put(at, " PAR:");
    *at++ = par.to_char();
    at = put(at, " PERR:");
    *at++ = perr.to_char();
    at = put(at, " SERR:");
    *at++ = serr.to_char();
    *at++ = '\n';
    return static_cast<int>(at - buffer);
}

void PCI_bus::dump(std::ostream& out) const {
    char line[dump_size];
    out.write(line, format_dump(line));
    out.flush();
}
