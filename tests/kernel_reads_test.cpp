// The kernel operations modules and outputs read wires through: a vector's
// word on its wires (read_wires) and an observer's list of wire levels
// (SIM_wire_levels), against the levels the ports and nets show one by one.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "kernel/context.h"
#include "kernel/packed_wires.h"
#include "kernel/port_vector.h"
#include "kernel/signal.h"
#include "kernel/wire_levels.h"

namespace {
constexpr int width = 4;  // bits of the small bus

// Two drivers of a four-wire bus, each as a vector; the wires as a tracked
// packing, and one more port of its own on wire 1 when asked.
struct Bus {
    explicit Bus(bool extra_port) {
        for (int i = 0; i < width; ++i) {
            nets[i] = std::make_unique<SIM_net>("n", nullptr, context);
            net_pointers[i] = nets[i].get();
        }
        for (auto& group : ports)
            for (auto& port : group) port = std::make_unique<SIM_port>("p", context);
        for (int g = 0; g < 2; ++g) {
            std::array<SIM_port*, width> bits{};
            for (int i = 0; i < width; ++i) bits[i] = ports[g][i].get();
            vectors[g] = std::make_unique<SIM_port_vector>(bits.data(), width, context);
        }
        packing.track();
        for (int g = 0; g < 2; ++g)
            for (int i = 0; i < width; ++i) nets[i]->connect(*ports[g][i]);
        if (extra_port)
            nets[1]->connect(own);
        context.reset_all();
    }

    SIM_context context;                                                // the simulation
    std::array<std::unique_ptr<SIM_net>, width> nets;                   // the wires, bit i
    std::array<SIM_net*, width> net_pointers{};                         // the wires as an array
    std::array<std::array<std::unique_ptr<SIM_port>, width>, 2> ports;  // driver g's bit i
    std::array<std::unique_ptr<SIM_port_vector>, 2> vectors;            // driver g as a word
    SIM_port own{"own", context};                                   // the extra port, if attached
    SIM_packed_wires packing{net_pointers.data(), width, context};  // the wires as a word
};

struct word_case {
    uint32_t drive0;    // driver 0's word, or released when 16
    uint32_t drive1;    // driver 1's word, or released when 16
    bool complete;      // read_wires' return value a cycle later
    uint32_t expected;  // its result
};

// Words on the wires, and the partial word above the highest Z or X wire.
TEST(KernelReads, VectorReadsTheWordOnItsWires) {
    const word_case cases[] = {
        {0xA, 16, true, 0xA},    // one driver
        {0x5, 0x5, true, 0x5},   // two agree
        {0xC, 0x4, false, 0x0},  // wire 3 at X: no wire above it
        {16, 16, false, 0x0},    // all Z
        {0x3, 0x2, false, 0x1},  // wire 0 at X: wires 3..1 read 0, 0, 1
        {0xB, 16, true, 0xB},    // one driver, the other released
    };
    for (const bool extra : {false, true}) {
        for (const word_case& c : cases) {
            Bus bus(extra);
            for (int g = 0; g < 2; ++g) {
                const uint32_t word = g == 0 ? c.drive0 : c.drive1;
                if (word == 16)
                    bus.vectors[g]->release();
                else
                    bus.vectors[g]->drive(word);
            }
            bus.context.clock_all();
            uint32_t got = 0xFFFFFFFF, per_wire = 0xFFFFFFFF;
            const bool complete = bus.vectors[0]->read_wires(got);
            const bool per_wire_complete = signals_to_int(bus.net_pointers.data(), width, per_wire);
            EXPECT_EQ(complete, per_wire_complete) << c.drive0 << ' ' << c.drive1;
            EXPECT_EQ(got, per_wire) << c.drive0 << ' ' << c.drive1;
            EXPECT_EQ(complete, c.complete) << c.drive0 << ' ' << c.drive1;
            EXPECT_EQ(got, c.expected) << c.drive0 << ' ' << c.drive1;
            // The other driver reads the same wires.
            uint32_t other = 0;
            EXPECT_EQ(bus.vectors[1]->read_wires(other), complete);
            EXPECT_EQ(other, got);
        }
    }
}

// Before the first boundary works the wiring out, and after a new port
// joins a wire, the word is still the wires' one.
TEST(KernelReads, VectorReadsRightAcrossAWiringChange) {
    Bus bus(false);
    for (int i = 0; i < width; ++i) bus.ports[0][i]->force(i % 2 == 0 ? V1 : V0);
    uint32_t word = 0;
    EXPECT_TRUE(bus.vectors[0]->read_wires(word));  // no boundary yet
    EXPECT_EQ(word, 0x5u);
    bus.context.clock_all();
    EXPECT_TRUE(bus.vectors[1]->read_wires(word));
    EXPECT_EQ(word, 0x5u);
    // A pull-down joins wire 1: no longer only the vectors drive it.
    bus.nets[1]->connect(bus.own);
    bus.own.force(VL);
    EXPECT_TRUE(bus.vectors[0]->read_wires(word));
    EXPECT_EQ(word, 0x5u);
    bus.vectors[0]->release();
    bus.context.clock_all();
    // Wire 1 reads L (low), every other wire Z.
    EXPECT_FALSE(bus.vectors[0]->read_wires(word));
    EXPECT_EQ(bus.nets[1]->read(), VL);
    EXPECT_EQ(word, 0u);
}

// The list gives, for each entry, the level read() gives: a port's wire
// once attached, its own level if on no net, a net's level; across a
// boundary it follows the phase.
TEST(KernelReads, WireLevelsAreWhatReadGives) {
    SIM_context context;
    SIM_net net("n", nullptr, context);
    SIM_port on_net("a", context), alone("b", context), other("c", context);
    net.connect(on_net);
    net.connect(other);
    context.reset_all();
    on_net.force(VZ);
    other.force(VH);
    alone.force(V1);
    SIM_wire_levels wires;
    EXPECT_EQ(wires.size(), 0u);
    const std::size_t first = wires.add(on_net);
    EXPECT_EQ(wires.add(alone), first + 1);
    EXPECT_EQ(wires.add(net), first + 2);
    EXPECT_EQ(wires.size(), 3u);
    struct step {
        logic_value on_net, alone;      // drives of the cycle
        logic_value wire, alone_after;  // levels after the boundary
    };
    const step steps[] = {
        {V0, V0, V0, V0},
        {VZ, VX, VH, VX},
        {V1, VL, V1, VL},
        {V1, VL, V1, VL},
    };
    {
        const SIM_wire_levels::view now = wires.now();
        EXPECT_EQ(now[0], VH);  // the wire: Z and H resolve to H
        EXPECT_EQ(now[1], V1);
        EXPECT_EQ(now[2], VH);
    }
    for (const step& s : steps) {
        on_net.drive(s.on_net);
        alone.drive(s.alone);
        context.clock_all();
        const SIM_wire_levels::view now = wires.now();
        EXPECT_EQ(now[0], s.wire);
        EXPECT_EQ(now[0], on_net.read());
        EXPECT_EQ(now[1], s.alone_after);
        EXPECT_EQ(now[1], alone.read());
        EXPECT_EQ(now[2], net.read());
    }
    wires.clear();
    EXPECT_EQ(wires.size(), 0u);
}

// The bits of a vector on no net read their own levels, as any port on no
// net does: through read(), own_level() and the wire list alike, cycle by
// cycle, through a force, and their net's once one is connected.
TEST(KernelReads, VectorBitsOnNoNetReadTheirOwnLevels) {
    SIM_context context;
    SIM_port a("a", context), b("b", context);
    SIM_port* bits[] = {&a, &b};
    SIM_port_vector vector(bits, 2, context);
    SIM_net net("n", nullptr, context);
    SIM_port pull("pull", context);
    net.connect(pull);
    context.reset_all();
    SIM_wire_levels wires;
    wires.add(a);
    wires.add(b);
    auto levels = [&] {
        const SIM_wire_levels::view now = wires.now();
        return std::string{
            to_char(a.read()), to_char(a.own_level()), to_char(a.read_next()), to_char(now[0]), ' ',
            to_char(b.read()), to_char(b.own_level()), to_char(b.read_next()), to_char(now[1])};
    };
    EXPECT_EQ(levels(), "zzzz zzzz");
    vector.drive(0x2);
    EXPECT_EQ(levels(), "zz0z zz1z");
    context.clock_all();
    EXPECT_EQ(levels(), "00z0 11z1");
    context.clock_all();
    EXPECT_EQ(levels(), "0000 1111");
    b.force(VL);
    EXPECT_EQ(levels(), "0000 LLLL");
    vector.release();
    context.clock_all();
    EXPECT_EQ(levels(), "zz0z zzLz");
    // Connected between cycles, bit 0 reads its net (pulled high), its own
    // level unchanged; the wire list is made again after a reset.
    pull.force(VH);
    net.connect(a);
    context.reset_all();
    wires.clear();
    wires.add(a);
    wires.add(b);
    EXPECT_EQ(levels(), "Hz0H zzLz");
}
}  // namespace
