#include "bench/testbench.h"

namespace {
// Transactions each master runs unless an option says otherwise.
constexpr int32_t pm1_transactions = 100;
constexpr int32_t pm2_transactions = 200;
constexpr int32_t pm3_transactions = 200;

// Window bases: master n draws addresses from a 32 KB window at its base,
// which lies inside target n's window (prefetchable memory: BAR bit 3).
constexpr uint32_t pm1_base = 0x00000000;
constexpr uint32_t pm2_base = 0x00100000;
constexpr uint32_t pm3_base = 0x00180000;
constexpr uint32_t pt2_bar0 = 0x00100008;
constexpr uint32_t pt3_bar0 = 0x00180008;
constexpr int bar0 = 4;  // configuration dword of BAR0

// Seeds of the random sources and multipliers of the data patterns.
constexpr PCI_source_seeds pm1_seeds{17, 0x5A37};
constexpr PCI_source_seeds pm2_seeds{42, 0x3779};
constexpr PCI_source_seeds pm3_seeds{144, 0xABDE};
constexpr PCI_source_seeds pt1_seeds{13, 0x1FF4};
constexpr PCI_source_seeds pt2_seeds{7, 0xE515};
constexpr PCI_source_seeds pt3_seeds{8, 0xF00F};

// Lets the master follow one write with the next without an idle clock.
void enable_fast_back_to_back(PCI_master& master) {
    master.t.config[PCI_master::command_register] |= PCI_master::fast_back_to_back_enable;
}
}  // namespace

PCI_testbench::PCI_testbench(const char* name_text, SIM_context& context)
    : SIM_instance(name_text, context),
      pa("pa", this),
      pm1("pm1", this),
      pm2("pm2", this),
      pm3("pm3", this),
      pt1("pt1", this),
      pt2("pt2", this),
      pt3("pt3", this),
      pb("pb", *this),
      pmon("pmon", this),
      masters{&pm1, &pm2, &pm3},
      targets{&pt1, &pt2, &pt3},
      master_seeds{pm1_seeds, pm2_seeds, pm3_seeds},
      target_seeds{pt1_seeds, pt2_seeds, pt3_seeds},
      target_rngs{&pt1.rng, &pt2.rng, &pt3.rng} {
    pb.connect_agent(pa);
    pb.connect_agent(pt1);
    pb.connect_agent(pt2);
    pb.connect_agent(pt3);
    pb.connect_agent(pmon);
    pb.connect_agent(pm1);
    pb.connect_agent(pm2);
    pb.connect_agent(pm3);

    // Request/grant pairs 0, 1, 2, their nets named under the bench.
    for (PCI_random_master* master : masters) pa.attach_master(*this, *master);

    constexpr int32_t transactions[units] = {pm1_transactions, pm2_transactions, pm3_transactions};
    constexpr uint32_t bases[units] = {pm1_base, pm2_base, pm3_base};
    for (int i = 0; i < units; ++i) {
        masters[i]->set_trans_count(transactions[i]);
        masters[i]->base_address = bases[i];
    }

    // pt1 keeps its class's BAR0 (0x00000008); the masks stay as the class set them.
    pt2.config[bar0] = pt2_bar0;
    pt3.config[bar0] = pt3_bar0;

    for (PCI_random_master* master : masters) enable_fast_back_to_back(*master);

    // Report cards 0, 1, 2: the three target windows.
    pmon.add_range(0x00000000, 0xFFF00000);
    pmon.add_range(0x00100000, 0xFFFF0000);
    pmon.add_range(0x00180000, 0xFFFF0000);
}

void PCI_testbench::reset() {
    // Masters first, then targets, each source before its pattern.
    for (int i = 0; i < units; ++i) {
        masters[i]->rng.set_seed(master_seeds[i].seed);
        masters[i]->set_multiplier(master_seeds[i].multiplier);
    }
    for (int i = 0; i < units; ++i) {
        target_rngs[i]->set_seed(target_seeds[i].seed);
        targets[i]->set_multiplier(target_seeds[i].multiplier);
    }
}

bool PCI_testbench::all_done() const {
    for (const PCI_random_master* master : masters)
        if (!master->is_done())
            return false;
    return true;
}
