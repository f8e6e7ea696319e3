#include "pci/design.h"

namespace {
PCI_master_spec builtin_master(const char* name, int32_t transactions, int32_t reads,
                               PCI_draw read_length, PCI_draw write_length, const char* target,
                               int32_t seed, uint32_t multiplier) {
    PCI_master_spec m;
    m.name = name;
    m.transactions = transactions;
    m.reads = reads;
    m.read_length = read_length;
    m.write_length = write_length;
    m.windows.push_back(PCI_window_spec{target, 0, 0x8000, 1});
    m.seed = seed;
    m.multiplier = multiplier;
    return m;
}

// A fast page memory: FAST decode, reads wait 8 to 12 clocks and writes 3 to
// 4, one more clock at every 32-byte line, a Disconnect with data at the end
// of every 4 KB page.
PCI_target_spec page_target(const char* name, uint32_t base, int32_t seed, uint32_t multiplier) {
    PCI_target_spec t;
    t.name = name;
    t.bar_base = base;
    t.bar_size = 0x10000;
    t.initial_wait_read = PCI_draw::range(8, 12);
    t.initial_wait_write = PCI_draw::range(3, 4);
    t.initial_wait_split = true;
    t.burst_wait_every = 32;
    t.burst_wait = PCI_draw::fixed(1);
    t.disconnect = PCI_disconnect_kind::at_boundary;
    t.disconnect_boundary = 4096;
    t.seed = seed;
    t.multiplier = multiplier;
    return t;
}
}  // namespace

PCI_design builtin_design() {
    PCI_design d;
    d.masters.push_back(builtin_master("pm1", 100, 80, PCI_draw::fixed(1), PCI_draw::range(1, 7),
                                       "pt1", 17, 0x5A37));
    d.masters.push_back(builtin_master("pm2", 200, 20, PCI_draw::range(8, 383),
                                       PCI_draw::range(8, 383), "pt2", 42, 0x3779));
    d.masters.push_back(builtin_master("pm3", 200, 20, PCI_draw::fixed(128), PCI_draw::fixed(128),
                                       "pt3", 144, 0xABDE));

    // The slow memory: MED decode for every command, 0 to 39 clocks before a
    // first data phase, a Disconnect with data after 1 to 10 data phases.
    PCI_target_spec slow;
    slow.name = "pt1";
    slow.bar_base = 0x00000000;
    slow.bar_size = 0x100000;
    slow.decode_speed.fill(PCI_decode_speed::med);
    slow.initial_wait_read = PCI_draw::range(0, 39);
    slow.initial_wait_write = PCI_draw::range(0, 39);
    slow.disconnect = PCI_disconnect_kind::after;
    slow.disconnect_after = PCI_draw::range(1, 10);
    slow.seed = 13;
    slow.multiplier = 0x1FF4;
    d.targets.push_back(slow);
    d.targets.push_back(page_target("pt2", 0x00100000, 7, 0xE515));
    d.targets.push_back(page_target("pt3", 0x00180000, 8, 0xF00F));
    return d;
}

std::vector<PCI_card_spec> all_cards(const PCI_design& design) {
    std::vector<PCI_card_spec> cards;
    if (design.cards_from_targets)
        for (const PCI_target_spec& target : design.targets)
            cards.push_back({target.name, target.bar_base, ~(target.bar_size - 1)});
    cards.insert(cards.end(), design.cards.begin(), design.cards.end());
    return cards;
}
