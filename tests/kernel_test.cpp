// The simulation kernel: logic levels and their conversions, ports and nets
// with their double-buffered levels, names, and the kernel context.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

#include "kernel/instance.h"
#include "kernel/logic.h"
#include "kernel/signal.h"
#include "support/capture.h"

namespace {
// A stand-alone port per element: read() returns the forced level.
struct PortVector {
    explicit PortVector(std::vector<logic_value> levels) {
        for (logic_value v : levels) {
            ports.push_back(std::make_unique<SIM_port>("p", context));
            ports.back()->force(v);
            pointers.push_back(ports.back().get());
        }
    }
    SIM_context context;                           // the kernel the ports register in
    std::vector<std::unique_ptr<SIM_port>> ports;  // one port per level
    std::vector<SIM_port*> pointers;               // the ports as an array for the conversions
    SIM_port* const* data() const { return pointers.data(); }
};

// A module with two pins that does nothing on its own; tests drive its pins.
class Pins : public SIM_instance {
  public:
    Pins(const char* name_text, SIM_context& kernel) : SIM_instance(name_text, kernel) {}
    void reset() override {
        a.force(VZ);
        b.force(VZ);
    }
    void clock() override {}
    SIM_port a{"a", this};
    SIM_port b{"b", this};
};

// Both pins of a module on one wire, reset.
class Wire : public ::testing::Test {
  protected:
    void SetUp() override {
        wire.connect(m.a);
        wire.connect(m.b);
        context.reset_all();
    }
    void clock_all() { context.clock_all(); }
    SIM_context context;                  // the kernel of the test
    Pins m{"m", context};                 // the module whose pins are joined
    SIM_net wire{"w", nullptr, context};  // the wire joining them
};

// Records the cycle of every clock() and what it read of its partner's pin.
class Echo : public SIM_instance {
  public:
    Echo(const char* name_text, SIM_context& kernel) : SIM_instance(name_text, kernel) {}
    Echo(const char* name_text, SIM_instance* parent) : SIM_instance(name_text, parent) {}
    void reset() override { out.force(V0); }
    void clock() override {
        cycles.push_back(sim_cycle());
        seen.push_back(in.read());
        out = in.read() == V1 ? V0 : V1;  // toggle against the partner
    }
    SIM_port out{"out", this};
    SIM_port in{"in", this};
    std::vector<int32_t> cycles;
    std::vector<logic_value> seen;
};
}  // namespace

TEST(Logic, ResolutionTable) {
    EXPECT_EQ(resolve_levels(VZ, V0), V0);
    EXPECT_EQ(resolve_levels(V0, V1), VX);
    EXPECT_EQ(resolve_levels(VL, VH), VX);
    EXPECT_EQ(resolve_levels(VH, VZ), VH);
    EXPECT_EQ(resolve_levels(V1, VL), V1);
    EXPECT_EQ(resolve_levels(VH, V0), V0);
    for (int v = 0; v < 6; ++v) {
        EXPECT_EQ(resolve_levels(VX, logic_value(v)), VX);
        EXPECT_EQ(resolve_levels(VZ, logic_value(v)), v);
        EXPECT_EQ(resolve_levels(logic_value(v), logic_value(v)), v);
        for (int w = 0; w < 6; ++w)
            EXPECT_EQ(resolve_levels(logic_value(v), logic_value(w)),
                      resolve_levels(logic_value(w), logic_value(v)));
    }
    // Not associative: L then H meet first and give X, which a strong level
    // cannot undo; a strong level first swallows both weak ones.
    EXPECT_EQ(resolve_levels(resolve_levels(resolve_levels(VZ, VL), VH), V0), VX);
    EXPECT_EQ(resolve_levels(resolve_levels(resolve_levels(VZ, V0), VL), VH), V0);
}

TEST(Logic, CharactersParityAndHexDigits) {
    EXPECT_EQ(std::string() + to_char(V0) + to_char(V1) + to_char(VZ) + to_char(VX) + to_char(VL) +
                  to_char(VH) + to_char(logic_value(6)),
              "01zxLH?");
    const std::pair<uint32_t, uint32_t> parities[] = {
        {0, 0}, {1, 1}, {0xFFFFFFFFu, 0}, {0x80000001u, 0}, {0x80000000u, 1}, {0x7, 1}};
    for (auto [word, parity] : parities) EXPECT_EQ(parity32(word), parity) << word;
    EXPECT_EQ(hex_digit(VX, VZ, V0, V1), 'X');  // X before Z
    EXPECT_EQ(hex_digit(VX, VX, VX, VX), 'x');
    EXPECT_EQ(hex_digit(VZ, VZ, VZ, VZ), 'z');
    EXPECT_EQ(hex_digit(VZ, V0, V0, V0), 'Z');
    EXPECT_EQ(hex_digit(VH, VL, VH, VL), 'a');  // weak levels count as 1 and 0
    EXPECT_EQ(hex_digit(V1, V0, V0, V1), '9');
}

// Packing levels into a number, driving a number or a level, and hex digits.
// Levels as bit planes: every level at every bit position reads back as
// itself, and each word a plane set gives marks exactly the levels it names.
TEST(Logic, LevelPlanes) {
    const logic_value all[] = {V0, V1, VZ, VX, VL, VH};
    struct expected {
        logic_value level;
        bool high, neither, one, zero, other;  // highs() neither() ones() zeros() others()
    };
    const expected table[] = {
        {V0, false, false, false, true, false}, {V1, true, false, true, false, false},
        {VZ, false, true, false, false, false}, {VX, false, true, false, false, true},
        {VL, false, false, false, false, true}, {VH, true, false, false, false, true},
    };
    for (const expected& e : table) {
        for (const int i : {0, 1, 17, 31}) {
            SIM_level_planes p = SIM_level_planes::of_z(0xFFFFFFFFu);
            p.set(i, e.level);
            EXPECT_EQ(p.at(i), e.level) << i;
            const uint32_t bit = uint32_t{1} << i;
            EXPECT_EQ((p.highs() & bit) != 0, e.high) << to_char(e.level);
            EXPECT_EQ((p.neither() & bit) != 0, e.neither) << to_char(e.level);
            EXPECT_EQ((p.ones() & bit) != 0, e.one) << to_char(e.level);
            EXPECT_EQ((p.zeros(0xFFFFFFFFu) & bit) != 0, e.zero) << to_char(e.level);
            EXPECT_EQ((p.others() & bit) != 0, e.other) << to_char(e.level);
            // The other bits stay at Z.
            EXPECT_EQ(p.neither() | bit, 0xFFFFFFFFu);
            EXPECT_EQ(SIM_level_planes::differ(p, SIM_level_planes::of_z(0xFFFFFFFFu)),
                      e.level == VZ ? 0u : bit);
        }
        // The planes hold the level's code bit by bit.
        SIM_level_planes q;
        q.set(5, e.level);
        EXPECT_EQ(((q.bit0 >> 5) & 1u) | (((q.bit1 >> 5) & 1u) << 1) | (((q.bit2 >> 5) & 1u) << 2),
                  static_cast<uint32_t>(e.level));
    }
    // Words and Z, a choice of bits between two sets of planes.
    const SIM_level_planes word = SIM_level_planes::of_word(0xA5u);
    EXPECT_EQ(word.at(0), V1);
    EXPECT_EQ(word.at(1), V0);
    EXPECT_EQ(word.ones(), 0xA5u);
    EXPECT_EQ(word.zeros(0xFFu), 0x5Au);
    EXPECT_EQ(SIM_level_planes::of_z(0x0Fu).at(3), VZ);
    EXPECT_EQ(SIM_level_planes::of_z(0x0Fu).at(4), V0);
    SIM_level_planes mixed;
    for (int i = 0; i < 6; ++i) mixed.set(i, all[i]);
    const SIM_level_planes chosen = SIM_level_planes::select(0x2Au, mixed, word);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(chosen.at(i), (0x2Au >> i) & 1u ? all[i] : word.at(i));
    EXPECT_EQ(SIM_level_planes::differ(chosen, word),
              0x2Au & SIM_level_planes::differ(mixed, word));
    EXPECT_TRUE(chosen == SIM_level_planes::select(0x2Au, mixed, word));
}

TEST(Logic, Conversions) {
    uint32_t result = 77;
    PortVector partial({V1, VZ, V1, V0});
    EXPECT_FALSE(signals_to_int(partial.data(), 4, result));
    EXPECT_EQ(result, 1u);  // bits gathered from elements 3 and 2

    PortVector ones(std::vector<logic_value>(33, V1));
    EXPECT_TRUE(signals_to_int(ones.data(), 32, result));
    EXPECT_EQ(result, 0xFFFFFFFFu);
    EXPECT_TRUE(signals_to_int(ones.data(), 0, result));
    EXPECT_EQ(result, 0u);
    result = 123;
    EXPECT_FALSE(signals_to_int(ones.data(), 33, result));
    EXPECT_EQ(result, 123u);

    PortVector weak({VH, VL, VL, VH});
    EXPECT_TRUE(signals_to_int(weak.data(), 4, result));
    EXPECT_EQ(result, 9u);

    PortVector v(std::vector<logic_value>(33, VZ));
    int_to_signals(v.data(), 4, 0xA);
    EXPECT_EQ(v.ports[0]->read_next(), V0);
    EXPECT_EQ(v.ports[1]->read_next(), V1);
    EXPECT_EQ(v.ports[3]->read_next(), V1);
    EXPECT_EQ(v.ports[0]->read(), VZ);  // a drive is for the next cycle

    fill_signals(v.data(), 33, V1);  // refused: more than 32
    EXPECT_EQ(v.ports[0]->read_next(), V0);
    fill_signals(v.data(), 32, VH);
    EXPECT_EQ(v.ports[31]->read_next(), VH);
    EXPECT_EQ(v.ports[32]->read_next(), VZ);

    // Hex text of whole groups is checked with the bus dump; 32 bits need 9
    // characters.
    char small[8] = "keep";
    EXPECT_EQ(signals_to_hex(ones.data(), 32, small, 8), nullptr);
    EXPECT_STREQ(small, "keep");
}

TEST_F(Wire, DriveShowsNextCycleLastDriveWinsAndLevelStays) {
    m.a = V1;
    m.a.drive(V0);
    EXPECT_EQ(m.b.read(), VZ);  // not before the commit
    clock_all();
    EXPECT_EQ(m.b.read(), V0);
    clock_all();
    clock_all();
    EXPECT_EQ(m.b.read(), V0);  // held without re-driving
}

TEST_F(Wire, ConflictReadsXAndPullUpReadsHigh) {
    m.a = V1;
    m.b = V0;
    clock_all();
    EXPECT_EQ(m.a.read(), VX);
    EXPECT_EQ(m.b.read(), VX);
    EXPECT_EQ(m.a.own_level(), V1);
    EXPECT_EQ(m.b.own_level(), V0);
    m.a = VH;
    m.b = VZ;
    clock_all();
    EXPECT_EQ(m.b.read(), VH);
    EXPECT_TRUE(m.b.is_high());
    m.b = V0;
    clock_all();
    EXPECT_EQ(m.a.read(), V0);
}

TEST_F(Wire, ResolvesInPortListOrder) {
    // Ports committed L, H, 0 give X; ports committed 0, L, H give 0.
    SIM_port third("third", context);
    wire.connect(third);
    context.reset_all();
    third.force(VZ);
    m.a = VL;
    m.b = VH;
    third = V0;
    clock_all();
    EXPECT_EQ(wire.read(), VX);
    m.a = V0;
    m.b = VL;
    third = VH;
    clock_all();
    EXPECT_EQ(wire.read(), V0);
}

TEST_F(Wire, ForcesVisibleAtOnce) {
    EXPECT_EQ(wire.read(), VZ);
    m.a.force(V1);
    EXPECT_EQ(m.a.own_level(), V1);
    EXPECT_EQ(m.b.read(), V1);  // the wire at once, no commit
    // A force after a drive in the same cycle commits the forced level.
    m.b.drive(V0);
    m.b.force(VZ);
    clock_all();
    EXPECT_EQ(wire.read(), V1);
    // A port on no wire reads its own level.
    SIM_port lone("lone", context);
    lone.force(VH);
    EXPECT_EQ(lone.read(), VH);
    lone = V0;
    clock_all();
    EXPECT_EQ(lone.read(), V0);
}

TEST_F(Wire, HandOverInOneBoundaryAndPortCommittedOnItsOwn) {
    // One driver hands the wire to the other at one boundary, either way round.
    m.a = V1;
    clock_all();
    m.a = VZ;
    m.b = V0;
    clock_all();
    EXPECT_EQ(wire.read(), V0);
    m.b = VZ;
    m.a = VH;
    clock_all();
    EXPECT_EQ(wire.read(), VH);
    EXPECT_EQ(m.b.read_next(), V0);  // the level before the boundary
    m.a = VZ;
    clock_all();
    EXPECT_EQ(wire.read(), VZ);
    // A port committed on its own drives the wire for one cycle; the
    // boundary then re-drives the port's current level.
    m.a.drive(V1);
    m.a.commit();
    clock_all();
    EXPECT_EQ(wire.read(), V1);
    EXPECT_EQ(m.a.own_level(), VZ);
    clock_all();
    EXPECT_EQ(wire.read(), VZ);
}

TEST(Signal, MergedNetsBecomeOneWireAfterReset) {
    SIM_context context;
    Pins m("m", context);
    SIM_net wire_a("a", nullptr, context);
    SIM_net wire_b("b", nullptr, context);
    wire_a.connect(m.a);
    wire_b.connect(m.b);
    wire_b.connect(m.a);  // m.a is on wire_a: the chains merge under wire_b
    wire_b.connect(m.a);  // again: nothing changes
    EXPECT_EQ(wire_a.root(), &wire_b);
    EXPECT_EQ(wire_b.root(), &wire_b);
    context.reset_all();
    EXPECT_EQ(m.a.attached_net(), &wire_b);
    m.a = V0;
    context.clock_all();
    EXPECT_EQ(m.b.read(), V0);
}

TEST(Names, FullNamesCopiesAndPortStream) {
    SIM_context context;
    SIM_instance top("tb", context);
    SIM_instance pm1("pm1", &top);
    SIM_port req("req", &pm1);
    req.force(V1);
    std::ostringstream os;
    os << req;
    EXPECT_EQ(os.str(), "tb:pm1:req=1");

    std::string full = SIM_name(std::string(300, 'n').c_str(), &top.name).full_name();
    EXPECT_EQ(full.size(), 255u);
    EXPECT_EQ(full.substr(0, 4), "tb:n");

    char buffer[] = "req0";
    SIM_name first(buffer, nullptr);
    buffer[3] = '1';
    EXPECT_EQ(first.full_name(), "req0");
}

TEST(Context, ListsInConstructionOrderCycleCounterAndPhases) {
    SIM_context context;
    EXPECT_EQ(context.sim_cycle(), 0);
    Echo a("a", context);
    EXPECT_EQ(context.sim_cycle(), 1);
    Echo b("b", &a);
    ASSERT_EQ(context.instance_list().size(), 2u);
    EXPECT_EQ(context.instance_list()[1], &b);
    ASSERT_EQ(context.port_list().size(), 4u);
    EXPECT_EQ(context.port_list()[0], &a.out);
    EXPECT_EQ(context.port_list()[3], &b.in);
    context.reset_all();
    EXPECT_EQ(context.sim_cycle(), 1);
    EXPECT_EQ(context.clock().cur_phase, 0);
    context.clock_all();
    EXPECT_EQ(a.cycles.front(), 1);
    EXPECT_EQ(context.sim_cycle(), 2);
    EXPECT_EQ(context.clock().cur_phase, 1);
    EXPECT_EQ(context.clock().next_phase, 0);
}

TEST(Context, InstanceOrderDoesNotChangeWhatIsRead) {
    // Two pairs wired crosswise, built in opposite orders, see the same levels.
    auto run = [](bool swap) {
        SIM_context context;
        Echo x(swap ? "y" : "x", context);
        Echo y(swap ? "x" : "y", context);
        SIM_net xy("xy", nullptr, context), yx("yx", nullptr, context);
        xy.connect(x.out);
        xy.connect(y.in);
        yx.connect(y.out);
        yx.connect(x.in);
        context.reset_all();
        for (int i = 0; i < 4; ++i) context.clock_all();
        return swap ? std::make_pair(y.seen, x.seen) : std::make_pair(x.seen, y.seen);
    };
    EXPECT_EQ(run(false), run(true));
}

TEST(Context, MissingFunctionsWarnOncePerSimulationAndANewOneWarnsAgain) {
    SIM_context context;
    OutputCapture out(context);
    SIM_instance top("tb", context);
    SIM_instance first("first", &top);
    SIM_instance second("second", &top);
    context.reset_all();
    EXPECT_EQ(out.take(), "Warning - no reset function defined for instance tb\n");
    context.clock_all();
    context.clock_all();
    EXPECT_EQ(out.take(), "Warning - no clock function defined for instance tb\n");
    context.reset_all();
    EXPECT_EQ(out.take(), "");

    SIM_context fresh_context;
    EXPECT_TRUE(fresh_context.instance_list().empty());
    EXPECT_TRUE(fresh_context.port_list().empty());
    EXPECT_EQ(fresh_context.sim_cycle(), 0);
    OutputCapture fresh_out(fresh_context);
    SIM_instance fresh("fresh", fresh_context);
    fresh_context.reset_all();
    EXPECT_EQ(fresh_out.take(), "Warning - no reset function defined for instance fresh\n");
    // The first simulation's flags are its own: it still stays silent.
    context.reset_all();
    EXPECT_EQ(out.take(), "");
}
