// Ports driven as words (SIM_port_vector) and nets resolved as words by their
// packing: every level a port or net shows must be the one the same drives
// give one bit at a time.
#include "kernel/port_vector.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/context.h"
#include "kernel/logic.h"
#include "kernel/packed_wires.h"
#include "kernel/signal.h"

namespace {
constexpr int width = 8;   // bits per group and nets on the bus
constexpr int groups = 4;  // groups 0..2 on the bus in order, group 3 crosswise on another

// One simulation: groups of ports on a packed bus of nets, with one more
// port of its own on net 2, and a group on a second bus in reverse order
// (whose packing cannot take it). With vectors, groups drive as words.
struct Design {
    explicit Design(bool with_vectors) {
        for (int i = 0; i < width; ++i) {
            net_storage.push_back(std::make_unique<SIM_net>("n", nullptr, context));
            nets[i] = net_storage.back().get();
            net_storage.push_back(std::make_unique<SIM_net>("r", nullptr, context));
            reversed[i] = net_storage.back().get();
        }
        for (int g = 0; g < groups; ++g) {
            for (int i = 0; i < width; ++i) {
                port_storage.push_back(std::make_unique<SIM_port>("p", context));
                ports[g][i] = port_storage.back().get();
            }
            if (with_vectors)
                vectors.push_back(std::make_unique<SIM_port_vector>(ports[g], width, context));
        }
        packing.track();
        reversed_packing.track();
        for (int g = 0; g < 3; ++g)
            for (int i = 0; i < width; ++i) nets[i]->connect(*ports[g][i]);
        for (int i = 0; i < width; ++i) reversed[width - 1 - i]->connect(*ports[3][i]);
        nets[2]->connect(own);
        context.reset_all();
    }

    void drive_word(int g, uint32_t word) {
        if (!vectors.empty())
            vectors[g]->drive(word);
        else
            int_to_signals(ports[g], width, word);
    }
    void release(int g) {
        if (!vectors.empty())
            vectors[g]->release();
        else
            fill_signals(ports[g], width, VZ);
    }

    // Every level the ports, nets and packing show now.
    std::string levels() const {
        std::ostringstream out;
        for (const auto& group : ports)
            for (const SIM_port* p : group)
                out << to_char(p->read()) << to_char(p->read_next()) << to_char(p->own_level())
                    << ' ';
        out << to_char(own.read_next()) << to_char(own.own_level()) << " |";
        for (const auto* bus : {&nets, &reversed}) {
            for (const SIM_net* n : *bus)
                out << ' ' << to_char(n->read()) << to_char(n->read_next())
                    << to_char(n->own_level());
            out << " |";
        }
        // The packings' words and digits.
        for (const SIM_packed_wires* p : {&packing, &reversed_packing}) {
            uint32_t word = 0;
            const bool complete = p->read(word);
            char digits[3] = {}, per_wire[3] = {};
            if (!p->write_hex(digits))
                digits[0] = '?';
            signals_to_hex(p->nets(), width, per_wire, 3);
            EXPECT_STREQ(digits, per_wire);
            out << ' ' << complete << ' ' << word << ' ' << digits;
        }
        return out.str();
    }

    SIM_context context;                                          // the simulation
    std::vector<std::unique_ptr<SIM_net>> net_storage;            // owns the nets
    std::vector<std::unique_ptr<SIM_port>> port_storage;          // owns the group ports
    SIM_net* nets[width] = {};                                    // the bus, bit i
    SIM_net* reversed[width] = {};                                // the second bus, bit i
    SIM_port* ports[groups][width] = {};                          // group g's port for bit i
    SIM_port own{"own", context};                                 // one more driver of net 2
    SIM_packed_wires packing{nets, width, context};               // the bus as words
    SIM_packed_wires reversed_packing{reversed, width, context};  // the second bus
    std::vector<std::unique_ptr<SIM_port_vector>> vectors;        // the groups as words, if any
};

const logic_value any_level[] = {V0, V1, VZ, VX, VL, VH};

// The same random drives, forces and commits on both designs, levels compared
// after every step. Rare steps come often enough to meet each other.
void run_differential(unsigned seed, int cycles) {
    Design words(true), bits(false);
    std::mt19937 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const int steps = pick(6);
        for (int s = 0; s < steps; ++s) {
            const int what = pick(100);
            const int g = pick(groups);
            const int i = pick(width);
            const logic_value v = any_level[pick(6)];
            if (what < 30) {
                const uint32_t word = rng();
                words.drive_word(g, word);
                bits.drive_word(g, word);
            } else if (what < 40) {
                // The levels the group holds now, where they are 0 or 1.
                uint32_t word = 0;
                for (int b = 0; b < width; ++b)
                    word |= (bits.ports[g][b]->own_level() == V1 ? 1u : 0u) << b;
                words.drive_word(g, word);
                bits.drive_word(g, word);
            } else if (what < 55) {
                words.release(g);
                bits.release(g);
            } else if (what < 75) {
                // Mostly plain levels; sometimes X, L or H.
                const logic_value plain = pick(4) == 0 ? v : any_level[pick(3)];
                words.ports[g][i]->drive(plain);
                bits.ports[g][i]->drive(plain);
            } else if (what < 82) {
                words.own.drive(v);
                bits.own.drive(v);
            } else if (what < 87) {
                words.ports[g][i]->force(v);
                bits.ports[g][i]->force(v);
            } else if (what < 92) {
                words.ports[g][i]->commit();
                bits.ports[g][i]->commit();
            } else if (what < 95) {
                SIM_net*(&w)[width] = g == 3 ? words.reversed : words.nets;
                SIM_net*(&b)[width] = g == 3 ? bits.reversed : bits.nets;
                w[i]->drive(v);
                b[i]->drive(v);
            } else if (what < 97) {
                SIM_net*(&w)[width] = g == 3 ? words.reversed : words.nets;
                SIM_net*(&b)[width] = g == 3 ? bits.reversed : bits.nets;
                w[i]->force(v);
                b[i]->force(v);
            }
            ASSERT_EQ(words.levels(), bits.levels())
                << "seed " << seed << " cycle " << cycle << " step " << s << " (" << what << ")";
        }
        words.context.clock_all();
        bits.context.clock_all();
        ASSERT_EQ(words.levels(), bits.levels()) << "seed " << seed << " after cycle " << cycle;
    }
}

// The word rule the packing resolves by (X where a 1 and a 0 meet, else that
// level, Z where none) is the fold of the resolution table from Z, in any
// order, over every sequence of up to five drivers at 0, 1 or Z.
TEST(PortVector, WordRuleIsTheFoldOverPlainLevels) {
    const logic_value plain[] = {V0, V1, VZ};
    int sequences = 0;
    for (int length = 1; length <= 5; ++length) {
        int count = 1;
        for (int k = 0; k < length; ++k) count *= 3;
        for (int n = 0; n < count; ++n, ++sequences) {
            logic_value fold = VZ;
            bool one = false, zero = false;
            for (int k = 0, rest = n; k < length; ++k, rest /= 3) {
                const logic_value v = plain[rest % 3];
                fold = resolve_levels(fold, v);
                one = one || v == V1;
                zero = zero || v == V0;
            }
            EXPECT_EQ(fold, one && zero ? VX : one ? V1 : zero ? V0 : VZ) << length << " " << n;
        }
    }
    EXPECT_EQ(sequences, 363);
}

// Every next buffer holds the next level, with no exception: a bit of a
// vector and a net resolved as a word show a drive as the bit's next level at
// once, the level before the boundary as their next level for one cycle
// after it, and their current level again after the boundary that follows.
TEST(PortVector, NextLevelsCycleByCycle) {
    Design d(true);
    const SIM_port& bit = *d.ports[0][0];
    const SIM_net& wire = *d.nets[0];
    auto state = [&] {
        return std::string{to_char(bit.own_level()), to_char(bit.read_next()), ' ',
                           to_char(wire.read()), to_char(wire.read_next())};
    };
    EXPECT_EQ(state(), "zz zz");
    d.drive_word(0, 0x01);
    EXPECT_EQ(state(), "z1 zz");
    d.context.clock_all();
    EXPECT_EQ(state(), "1z 1z");
    d.context.clock_all();
    EXPECT_EQ(state(), "11 11");
    d.release(0);
    EXPECT_EQ(state(), "1z 11");
    d.context.clock_all();
    EXPECT_EQ(state(), "z1 z1");
    // A force reaches both buffers of the port and of its wire at once.
    d.ports[0][0]->force(V0);
    EXPECT_EQ(state(), "00 00");
}

TEST(PortVector, SameLevelsAsBitByBitDrives) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        run_differential(seed, 60);
        if (HasFatalFailure())
            return;
    }
}
}  // namespace
