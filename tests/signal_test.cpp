#include "kernel/signal.h"

#include <gtest/gtest.h>

#include <sstream>

#include "kernel/instance.h"
#include "kernel/scheduler.h"
#include "support/capture.h"

namespace {
// A module with two pins that does nothing on its own; tests drive its pins.
class Pins : public SIM_instance {
  public:
    Pins(const char* name, SIM_instance* parent) : SIM_instance(name, parent) {}
    void reset() override {
        a.force(VZ);
        b.force(VZ);
    }
    void clock() override {}
    SIM_port a{"a", this};
    SIM_port b{"b", this};
};
}  // namespace

TEST(Signal, DriveShowsNextCycleAndStays) {
    Pins m("m", nullptr);
    SIM_net wire("w", nullptr);
    wire.connect(m.a);
    wire.connect(m.b);
    reset_all();
    m.a.drive(V0);
    EXPECT_EQ(m.b.read(), VZ);  // not before the commit
    clock_all();
    EXPECT_EQ(m.b.read(), V0);
    clock_all();
    clock_all();
    EXPECT_EQ(m.b.read(), V0);  // held without re-driving
}

TEST(Signal, LastDriveInCycleWins) {
    Pins m("m", nullptr);
    SIM_net wire("w", nullptr);
    wire.connect(m.a);
    reset_all();
    m.a = V1;
    m.a = V0;
    clock_all();
    EXPECT_EQ(wire.read(), V0);
}

TEST(Signal, ConflictReadsXButOwnLevelStays) {
    Pins m("m", nullptr);
    SIM_net wire("w", nullptr);
    wire.connect(m.a);
    wire.connect(m.b);
    reset_all();
    m.a = V1;
    m.b = V0;
    clock_all();
    EXPECT_EQ(m.a.read(), VX);
    EXPECT_EQ(m.b.read(), VX);
    EXPECT_EQ(m.a.own_level(), V1);
    EXPECT_EQ(m.b.own_level(), V0);
}

TEST(Signal, PullUpReadsHighWhenOthersFloat) {
    Pins m("m", nullptr);
    SIM_net wire("w", nullptr);
    wire.connect(m.a);
    wire.connect(m.b);
    reset_all();
    m.a = VH;
    clock_all();
    EXPECT_EQ(m.b.read(), VH);
    EXPECT_TRUE(m.b.is_high());
    m.b = V0;
    clock_all();
    EXPECT_EQ(m.a.read(), V0);
    m.b = VZ;
    clock_all();
    EXPECT_EQ(m.a.read(), VH);
}

TEST(Signal, ResolvesInPortListOrder) {
    // Ports committed L, H, 0 give X; ports committed 0, L, H give 0.
    Pins first("first", nullptr);
    Pins second("second", nullptr);
    SIM_port third("third", nullptr);
    SIM_net lh0("lh0", nullptr);
    lh0.connect(first.a);
    lh0.connect(second.a);
    lh0.connect(third);
    reset_all();
    third.force(VZ);
    first.a = VL;
    second.a = VH;
    third = V0;
    clock_all();
    EXPECT_EQ(lh0.read(), VX);
    first.a = V0;
    second.a = VL;
    third = VH;
    clock_all();
    EXPECT_EQ(lh0.read(), V0);
}

TEST(Signal, ForcesVisibleAtOnce) {
    Pins m("m", nullptr);
    SIM_net wire("w", nullptr);
    wire.connect(m.a);
    wire.connect(m.b);
    reset_all();
    EXPECT_EQ(wire.read(), VZ);
    m.a.force(V1);
    EXPECT_EQ(m.a.own_level(), V1);
    EXPECT_EQ(m.b.read(), V1);  // the wire at once, no commit
    // A force after a drive in the same cycle commits the forced level.
    m.b.drive(V0);
    m.b.force(VZ);
    clock_all();
    EXPECT_EQ(wire.read(), V1);
}

TEST(Signal, UnattachedPortReadsOwnLevel) {
    SIM_port lone("lone", nullptr);
    lone.force(VH);
    EXPECT_EQ(lone.read(), lone.own_level());
    lone = V0;
    clock_all();
    EXPECT_EQ(lone.read(), V0);
}

TEST(Signal, MergedNetsBecomeOneWireAfterReset) {
    Pins m("m", nullptr);
    SIM_net wire_a("a", nullptr);
    SIM_net wire_b("b", nullptr);
    wire_a.connect(m.a);
    wire_b.connect(m.b);
    wire_b.connect(m.a);  // m.a is on wire_a: the chains merge under wire_b
    wire_b.connect(m.a);  // again: nothing changes
    EXPECT_EQ(wire_a.root(), &wire_b);
    EXPECT_EQ(wire_b.root(), &wire_b);
    reset_all();
    EXPECT_EQ(m.a.attached_net(), &wire_b);
    m.a = V0;
    clock_all();
    EXPECT_EQ(m.b.read(), V0);
}

TEST(Signal, StreamsNameAndLevel) {
    SIM_instance top("tb", nullptr);
    SIM_instance pm1("pm1", &top);
    SIM_port req("req", &pm1);
    req.force(V1);
    std::ostringstream os;
    os << req;
    EXPECT_EQ(os.str(), "tb:pm1:req=1");
}

TEST(Names, FullNames) {
    SIM_name top("top", nullptr);
    SIM_name mid("mid", &top);
    SIM_name ip("ip", &mid);
    EXPECT_EQ(top.full_name(), "top");
    EXPECT_EQ(ip.full_name(), "top:mid:ip");
    std::string long_text(300, 'n');
    SIM_name longer(long_text.c_str(), &top);
    std::string full = longer.full_name();
    EXPECT_EQ(full.size(), 255u);
    EXPECT_EQ(full.substr(0, 5), "top:n");
}

TEST(Names, CopiesTheGivenString) {
    char buffer[] = "req0";
    SIM_name first(buffer, nullptr);
    buffer[3] = '1';
    SIM_name second(buffer, nullptr);
    EXPECT_EQ(first.full_name(), "req0");
    EXPECT_EQ(second.full_name(), "req1");
}
