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
struct source_seeds {
    int32_t seed;         // SIM_random seed
    uint32_t multiplier;  // 16-bit pattern multiplier
};
constexpr source_seeds pm1_seeds{17, 0x5A37};
constexpr source_seeds pm2_seeds{42, 0x3779};
constexpr source_seeds pm3_seeds{144, 0xABDE};
constexpr source_seeds pt1_seeds{13, 0x1FF4};
constexpr source_seeds pt2_seeds{7, 0xE515};
constexpr source_seeds pt3_seeds{8, 0xF00F};

template <class Agent>
void seed(Agent& agent, const source_seeds& seeds) {
    agent.rng.set_seed(seeds.seed);
    agent.set_multiplier(seeds.multiplier);
}

// Lets the master follow one write with the next without an idle clock.
void enable_fast_back_to_back(PCI_master& master) {
    master.t.config[PCI_master::command_register] |= PCI_master::fast_back_to_back_enable;
}
}  // namespace

PCI_testbench::PCI_testbench(const char* name, SIM_instance* parent)
    : SIM_instance(name, parent),
      pa("pa", this),
      pm1("pm1", this),
      pm2("pm2", this),
      pm3("pm3", this),
      pt1("pt1", this),
      pt2("pt2", this),
      pt3("pt3", this),
      pb("pb", &this->name),
      pmon("pmon", this) {
    pb.connect_agent(pa);
    pb.connect_agent(pt1);
    pb.connect_agent(pt2);
    pb.connect_agent(pt3);
    pb.connect_agent(pmon);
    pb.connect_agent(pm1);
    pb.connect_agent(pm2);
    pb.connect_agent(pm3);

    // Request/grant pairs 0, 1, 2, their nets named under the bench.
    pa.attach_master(*this, pm1);
    pa.attach_master(*this, pm2);
    pa.attach_master(*this, pm3);

    pm1.set_trans_count(pm1_transactions);
    pm2.set_trans_count(pm2_transactions);
    pm3.set_trans_count(pm3_transactions);

    pm1.base_address = pm1_base;
    pm2.base_address = pm2_base;
    pm3.base_address = pm3_base;

    // pt1 keeps its class's BAR0 (0x00000008); the masks stay as the class set them.
    pt2.config[bar0] = pt2_bar0;
    pt3.config[bar0] = pt3_bar0;

    enable_fast_back_to_back(pm1);
    enable_fast_back_to_back(pm2);
    enable_fast_back_to_back(pm3);

    // Report cards 0, 1, 2: the three target windows.
    pmon.add_range(0x00000000, 0xFFF00000);
    pmon.add_range(0x00100000, 0xFFFF0000);
    pmon.add_range(0x00180000, 0xFFFF0000);
}

void PCI_testbench::reset() {
    seed(pm1, pm1_seeds);
    seed(pm2, pm2_seeds);
    seed(pm3, pm3_seeds);
    seed(pt1, pt1_seeds);
    seed(pt2, pt2_seeds);
    seed(pt3, pt3_seeds);
}
