#include "monitor/bus.h"

#include <gtest/gtest.h>

#include "kernel/scheduler.h"
#include "support/capture.h"
#include "support/scripted_agent.h"

namespace {
struct DumpBench {
    TestTop top;
    ScriptedAgent a{"a", &top};
    ScriptedAgent b{"b", &top};
    PCI_bus bus{"pb", &top.name};
    DumpBench() {
        bus.connect_agent(a);
        bus.connect_agent(b);
    }
};
}  // namespace

TEST(Bus, NetNames) {
    TestTop top;
    PCI_bus bus("pb", &top.name);
    EXPECT_EQ(bus.ad[5]->name.full_name(), "tb:pb:ad");
    EXPECT_EQ(bus.cbe[0]->name.full_name(), "tb:pb:cbe");
    EXPECT_EQ(bus.frame.name.full_name(), "tb:pb:frame");
}

TEST(Bus, DumpOfAFloatingBus) {
    DumpBench d;
    reset_all();
    OutputCapture out;
    d.bus.dump();
    EXPECT_EQ(out.text(),
              " AD:zzzzzzzz CBE:z FRAME:z DEVSEL:z STOP:z IRDY:z TRDY:z PAR:z PERR:z SERR:z\n");
}

TEST(Bus, DumpFieldsAndMixedGroups) {
    DumpBench d;
    d.a.at(1, [](ScriptedAgent& s) {
        s.drive_ad(0x0010003c);
        s.ad[28]->drive(VZ);  // top group: some Z
        s.drive_cbe(6);
        s.frame = V0;
        s.devsel = VH;
        s.stop = V1;
        s.irdy = VL;
        s.serr = V1;
    });
    d.b.at(1, [](ScriptedAgent& s) {
        s.ad[4]->drive(V1);  // agrees with a's 1
        s.ad[8]->drive(V1);  // a drives 0 here: X
        s.ad[9]->drive(VZ);
        s.trdy = VH;
        s.stop = V0;  // against a's 1: x
    });
    reset_all();
    clock_all();
    OutputCapture out;
    d.bus.dump();
    EXPECT_EQ(out.text(),
              " AD:Z0100X3c CBE:6 FRAME:0 DEVSEL:H STOP:x IRDY:L TRDY:H PAR:z PERR:z SERR:1\n");
}

TEST(Bus, ConnectingAgentsAlreadyOnOtherNetsMergesThem) {
    TestTop top;
    ScriptedAgent a("a", &top);
    ScriptedAgent b("b", &top);
    SIM_net side_a("side_a", nullptr), side_b("side_b", nullptr);
    side_a.connect(a.frame);
    side_b.connect(b.frame);
    PCI_bus bus("pb", &top.name);
    bus.connect_agent(a);
    bus.connect_agent(b);
    a.at(1, [](ScriptedAgent& s) { s.frame = V0; });
    reset_all();
    clock_all();
    EXPECT_EQ(b.frame.read(), V0);
    EXPECT_EQ(bus.frame.read(), V0);
}
