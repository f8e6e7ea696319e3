// The kernel's cycle boundary against the literal one (REF_boundary): random
// designs of nets with one to many ports, ports on no net, ports driven as
// words, nets read as words, merged chains, and random drives, forces and
// commits of ports and nets at all six levels, connections and merges
// between cycles. After every step every port's and net's read(),
// read_next() and own_level(), and every packing's word and digits, must be
// the literal boundary's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/context.h"
#include "kernel/logic.h"
#include "kernel/packed_wires.h"
#include "kernel/port_vector.h"
#include "kernel/signal.h"
#include "support/reference_boundary.h"

namespace {

const logic_value any_level[] = {V0, V1, VZ, VX, VL, VH};

// The shape of one random design, built the same way on both sides.
struct Plan {
    int nets = 0;                             // nets, numbered from 0
    std::vector<int> port_net;                // per port in port-list order: its first net or -1
    std::vector<int> connect_order;           // the ports in the order they are connected
    std::vector<std::vector<int>> vectors;    // ports driven as words, bit 0 first
    std::vector<std::vector<int>> packings;   // nets read as words, bit 0 first
    std::vector<bool> tracked;                // per packing: track() was called
    std::vector<std::pair<int, int>> merges;  // (net, other) merged before the reset
};

class Random {
  public:
    explicit Random(unsigned seed) : rng_(seed) {}
    // 0 .. n-1.
    int pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
    bool chance(int percent) { return pick(100) < percent; }
    uint32_t word() { return rng_(); }
    // Mostly 0, 1 and Z; X, L and H now and then.
    logic_value level() { return chance(25) ? any_level[pick(6)] : any_level[pick(3)]; }
    std::mt19937& engine() { return rng_; }

  private:
    std::mt19937 rng_;  // the seed's whole sequence
};

Plan make_plan(Random& random) {
    Plan plan;
    // Roles of the ports before they get their port-list order: a net (-1
    // for none) and, for a bit of a vector, the vector and bit.
    struct role {
        int net;     // net to connect to, -1 for none
        int vector;  // vector this port is a bit of, -1 for none
        int bit;     // bit in that vector
    };
    std::vector<role> roles;
    std::vector<std::vector<int>> vector_roles;  // per vector: role numbers, bit order
    // Buses: nets read as one word, driven by vectors bit by bit in order
    // (now and then in another order), with an extra port on some net.
    const int buses = random.pick(3);
    for (int b = 0; b < buses; ++b) {
        const int width = 1 + random.pick(8);
        std::vector<int> bus;
        for (int i = 0; i < width; ++i) bus.push_back(plan.nets++);
        plan.packings.push_back(bus);
        plan.tracked.push_back(!random.chance(20));
        const int drivers = 1 + random.pick(3);
        for (int d = 0; d < drivers; ++d) {
            std::vector<int> order(bus);
            if (random.chance(15))
                std::shuffle(order.begin(), order.end(), random.engine());
            std::vector<int> bits;
            for (int i = 0; i < width; ++i) {
                bits.push_back(static_cast<int>(roles.size()));
                roles.push_back({order[i], static_cast<int>(vector_roles.size()), i});
            }
            vector_roles.push_back(bits);
        }
        if (random.chance(40))
            roles.push_back({bus[random.pick(width)], -1, 0});
    }
    // Plain nets with zero to five ports each.
    const int plain_first = plan.nets;
    const int plain = 1 + random.pick(6);
    plan.nets += plain;
    for (int n = plain_first; n < plan.nets; ++n)
        for (int k = random.pick(6); k > 0; --k) roles.push_back({n, -1, 0});
    // A small vector on plain nets (or none), ports on no net.
    if (random.chance(30)) {
        const int width = 1 + random.pick(4);
        std::vector<int> bits;
        for (int i = 0; i < width; ++i) {
            bits.push_back(static_cast<int>(roles.size()));
            const int net = random.chance(80) ? plain_first + random.pick(plain) : -1;
            roles.push_back({net, static_cast<int>(vector_roles.size()), i});
        }
        vector_roles.push_back(bits);
    }
    for (int k = random.pick(3); k > 0; --k) roles.push_back({-1, -1, 0});
    // A packing of some plain nets too.
    if (random.chance(30)) {
        std::vector<int> some;
        for (int n = plain_first; n < plan.nets; ++n)
            if (random.chance(60))
                some.push_back(n);
        if (!some.empty()) {
            plan.packings.push_back(some);
            plan.tracked.push_back(random.chance(50));
        }
    }
    // Port-list order: the roles shuffled.
    std::vector<int> order(roles.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::shuffle(order.begin(), order.end(), random.engine());
    std::vector<int> position(roles.size());
    for (std::size_t p = 0; p < order.size(); ++p) {
        position[order[p]] = static_cast<int>(p);
        plan.port_net.push_back(roles[order[p]].net);
    }
    // Connections in another order: a net keeps its ports in port-list order.
    plan.connect_order = order;
    std::shuffle(plan.connect_order.begin(), plan.connect_order.end(), random.engine());
    for (const auto& bits : vector_roles) {
        std::vector<int> ports;
        for (int r : bits) ports.push_back(position[r]);
        plan.vectors.push_back(ports);
    }
    for (int k = random.pick(3); k > 0 && plain > 1; --k)
        plan.merges.emplace_back(plain_first + random.pick(plain),
                                 plain_first + random.pick(plain));
    return plan;
}

// The design in a few lines, for a failure message.
std::string describe(const Plan& plan) {
    std::ostringstream out;
    out << "design: " << plan.nets << " nets; port nets";
    for (const int n : plan.port_net) out << ' ' << n;
    for (const auto& bits : plan.vectors) {
        out << "; vector";
        for (const int p : bits) out << ' ' << p;
    }
    for (std::size_t k = 0; k < plan.packings.size(); ++k) {
        out << (plan.tracked[k] ? "; tracked packing" : "; packing");
        for (const int n : plan.packings[k]) out << ' ' << n;
    }
    for (const auto& [net, other] : plan.merges) out << "; merge " << net << ' ' << other;
    return out.str() + '\n';
}

// The kernel's side of one design.
struct Kernel_design {
    explicit Kernel_design(const Plan& plan) {
        for (int n = 0; n < plan.nets; ++n)
            nets.push_back(std::make_unique<SIM_net>("n", nullptr, context));
        for (std::size_t p = 0; p < plan.port_net.size(); ++p)
            ports.push_back(std::make_unique<SIM_port>("p", context));
        for (const auto& bits : plan.vectors) {
            std::vector<SIM_port*> members;
            for (int p : bits) members.push_back(ports[p].get());
            vectors.push_back(std::make_unique<SIM_port_vector>(
                members.data(), static_cast<int>(members.size()), context));
        }
        for (std::size_t k = 0; k < plan.packings.size(); ++k) {
            packing_nets.emplace_back();
            for (int n : plan.packings[k]) packing_nets.back().push_back(nets[n].get());
        }
        for (std::size_t k = 0; k < plan.packings.size(); ++k) {
            packings.push_back(std::make_unique<SIM_packed_wires>(
                packing_nets[k].data(), static_cast<int>(packing_nets[k].size()), context));
            if (plan.tracked[k])
                packings.back()->track();
        }
        for (const int p : plan.connect_order)
            if (plan.port_net[p] >= 0)
                nets[plan.port_net[p]]->connect(*ports[p]);
        for (const auto& [net, other] : plan.merges) nets[net]->merge(*nets[other]);
        context.reset_all();
    }

    SIM_context context;                                      // the simulation
    std::vector<std::unique_ptr<SIM_net>> nets;               // the nets, plan order
    std::vector<std::unique_ptr<SIM_port>> ports;             // the ports, port-list order
    std::vector<std::vector<SIM_net*>> packing_nets;          // each packing's nets
    std::vector<std::unique_ptr<SIM_port_vector>> vectors;    // plan order
    std::vector<std::unique_ptr<SIM_packed_wires>> packings;  // plan order
};

// Every difference between the two sides, one line each ("" for none).
std::string differences(const Kernel_design& kernel, const REF_boundary& reference,
                        const Plan& plan) {
    std::ostringstream out;
    auto compare = [&out](const char* what, int i, logic_value got, logic_value want) {
        if (got != want)
            out << what << ' ' << i << ": kernel " << to_char(got) << ", literal " << to_char(want)
                << '\n';
    };
    for (int p = 0; p < reference.port_count(); ++p) {
        const SIM_port& port = *kernel.ports[p];
        compare("port read", p, port.read(), reference.port_read(p));
        compare("port read_next", p, port.read_next(), reference.port_read_next(p));
        compare("port own_level", p, port.own_level(), reference.port_own(p));
    }
    for (int n = 0; n < reference.net_count(); ++n) {
        const SIM_net& net = *kernel.nets[n];
        compare("net read", n, net.read(), reference.net_read(n));
        compare("net read_next", n, net.read_next(), reference.net_read_next(n));
        compare("net own_level", n, net.own_level(), reference.net_read(n));
    }
    for (std::size_t k = 0; k < plan.packings.size(); ++k) {
        uint32_t got = 0, want = 0;
        const bool got_complete = kernel.packings[k]->read(got);
        const bool want_complete = reference.nets_to_int(plan.packings[k], want);
        if (got_complete != want_complete || got != want) {
            out << "packing " << k << " word: kernel " << got_complete << ' ' << got << ", literal "
                << want_complete << ' ' << want << " (levels";
            for (const int n : plan.packings[k]) out << ' ' << to_char(reference.net_read(n));
            out << ")\n";
        }
        char digits[16] = {};
        if (kernel.packings[k]->write_hex(digits)) {
            const std::string want_digits = reference.nets_to_hex(plan.packings[k]);
            if (digits != want_digits)
                out << "packing " << k << " digits: kernel " << digits << ", literal "
                    << want_digits << '\n';
        }
    }
    return out.str();
}

// One seed: a design, then cycles of random steps on both sides, compared
// after every step. Returns a description of the first difference, "" if none.
std::string run_seed(unsigned seed, int cycles) {
    Random random(seed);
    const Plan plan = make_plan(random);
    Kernel_design kernel(plan);
    REF_boundary reference;
    for (int n = 0; n < plan.nets; ++n) reference.add_net();
    for (std::size_t p = 0; p < plan.port_net.size(); ++p) reference.add_port();
    for (const int p : plan.connect_order)
        if (plan.port_net[p] >= 0)
            reference.connect(plan.port_net[p], p);
    for (const auto& [net, other] : plan.merges) reference.merge(net, other);
    reference.attach_to_roots();
    const int port_count = reference.port_count();
    const int net_count = reference.net_count();

    auto check = [&](const char* when, int cycle, int step) {
        const std::string diff = differences(kernel, reference, plan);
        if (diff.empty())
            return std::string();
        std::ostringstream out;
        out << "seed " << seed << ", cycle " << cycle << ", step " << step << " (" << when << "):\n"
            << diff << describe(plan);
        return out.str();
    };
    // The reset: forces of some ports (the agents force theirs to Z).
    for (int p = 0; p < port_count; ++p) {
        if (random.chance(70)) {
            const logic_value v = random.chance(80) ? VZ : random.level();
            kernel.ports[p]->force(v);
            reference.force_port(p, v);
        }
    }
    std::string failure = check("reset", 0, 0);
    for (int cycle = 1; cycle <= cycles && failure.empty(); ++cycle) {
        const int steps = random.pick(7);
        for (int step = 0; step < steps && failure.empty(); ++step) {
            const int what = random.pick(100);
            const char* name = "";
            if (what < 30 && port_count > 0) {
                name = "port drive";
                const int p = random.pick(port_count);
                const logic_value v = random.level();
                kernel.ports[p]->drive(v);
                reference.drive_port(p, v);
            } else if (what < 55 && !plan.vectors.empty()) {
                const int k = random.pick(static_cast<int>(plan.vectors.size()));
                const auto& bits = plan.vectors[k];
                const int kind = random.pick(3);
                uint32_t word = random.word();
                if (kind == 1) {
                    // The levels the vector holds now, where they are 0 or 1.
                    word = 0;
                    for (std::size_t i = 0; i < bits.size(); ++i)
                        word |= (reference.port_own(bits[i]) == V1 ? 1u : 0u) << i;
                }
                if (kind == 2) {
                    name = "vector release";
                    kernel.vectors[k]->release();
                } else {
                    name = "vector drive";
                    kernel.vectors[k]->drive(word);
                }
                for (std::size_t i = 0; i < bits.size(); ++i)
                    reference.drive_port(bits[i], kind == 2 ? VZ : (word >> i) & 1u ? V1 : V0);
            } else if (what < 68 && port_count > 0) {
                name = "port force";
                const int p = random.pick(port_count);
                const logic_value v = random.level();
                kernel.ports[p]->force(v);
                reference.force_port(p, v);
            } else if (what < 80 && port_count > 0) {
                name = "port commit";
                const int p = random.pick(port_count);
                kernel.ports[p]->commit();
                reference.commit_port(p);
            } else if (what < 90) {
                name = "net drive";
                const int n = random.pick(net_count);
                const logic_value v = random.level();
                kernel.nets[n]->drive(v);
                reference.drive_net(n, v);
            } else {
                name = "net force";
                const int n = random.pick(net_count);
                const logic_value v = random.level();
                kernel.nets[n]->force(v);
                reference.force_net(n, v);
            }
            failure = check(name, cycle, step);
        }
        if (!failure.empty())
            break;
        kernel.context.clock_all();
        reference.boundary();
        failure = check("boundary", cycle, steps);
        // Between cycles, now and then: a port on no net joins one, or two
        // nets merge and the ports are pointed at the roots.
        if (failure.empty() && random.chance(4)) {
            const int p = port_count > 0 ? random.pick(port_count) : -1;
            const int n = random.pick(net_count);
            if (p >= 0 && reference.port_net(p) < 0) {
                kernel.nets[n]->connect(*kernel.ports[p]);
                reference.connect(n, p);
                failure = check("connect", cycle, steps);
            } else {
                const int other = random.pick(net_count);
                kernel.nets[n]->merge(*kernel.nets[other]);
                reference.merge(n, other);
                kernel.context.reset_all();
                reference.attach_to_roots();
                failure = check("merge", cycle, steps);
            }
        }
    }
    return failure;
}

// The literal boundary itself, on the cases a reader checks by hand.
TEST(ReferenceBoundary, FollowsTheWireRules) {
    REF_boundary ref;
    const int net = ref.add_net();
    const int a = ref.add_port(), b = ref.add_port(), pull = ref.add_port();
    for (int p : {a, b, pull}) ref.connect(net, p);
    ref.attach_to_roots();
    ref.force_port(a, VZ);
    ref.force_port(b, VZ);
    ref.force_port(pull, VH);
    EXPECT_EQ(ref.net_read(net), VH);  // forces reach the wire at once
    ref.drive_port(a, V0);
    EXPECT_EQ(ref.port_read(a), VH);  // a drive shows one cycle later
    ref.boundary();
    EXPECT_EQ(ref.port_read(b), V0);
    ref.drive_port(b, V1);
    ref.boundary();
    EXPECT_EQ(ref.port_read(pull), VX);
    EXPECT_EQ(ref.port_own(b), V1);
    ref.drive_port(a, VZ);
    ref.drive_port(b, VZ);
    ref.boundary();
    EXPECT_EQ(ref.net_read(net), VH);
    // H then L then a strong 0: X stays (the order of the fold matters).
    ref.drive_port(a, VL);
    ref.boundary();
    EXPECT_EQ(ref.net_read(net), VX);
}

TEST(KernelBoundary, SameLevelsAsTheLiteralBoundary) {
    constexpr unsigned seeds = 4000;
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        const std::string failure = run_seed(seed, 40);
        ASSERT_EQ(failure, "");
    }
}

}  // namespace
