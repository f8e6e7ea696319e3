// The monitor's protocol rule checks: unknown levels, sustained tri-state
// release, FRAME# deassertion, and where their reports fall in a cycle.
#include <gtest/gtest.h>

#include "monitor_bench.h"
#include "support/capture.h"

namespace {

class MonitorRules : public ::testing::Test {
  protected:
    void SetUp() override { reset_all(); }
    // Drives a level on one of the pull-up agent's lines in the given cycle.
    void pull(int32_t cycle, SIM_port PullupAgent::*line, logic_value level) {
        b.master.at(cycle, [this, line, level](ScriptedAgent&) { (b.pa.*line).drive(level); });
    }

    OutputCapture out;
    MonitorBench b;
};

TEST_F(MonitorRules, TrdyReleasedWhileAssertedIsReportedOnce) {
    b.rows(3, {"---0-", "---z-"});
    b.run_through(4);  // the monitor saw 0 in cycle 4
    EXPECT_EQ(out.take(), "");
    b.run_through(5);  // H in cycle 5
    EXPECT_EQ(out.take(), "ERROR: TRDY s/t/s violation on tb:pmon\n");
    b.run_through(8);
    EXPECT_EQ(out.take(), "");
}

TEST_F(MonitorRules, DrivenHighBeforeReleaseIsClean) {
    b.rows(3, {"---0-", "---1-", "---z-"});
    b.run_through(8);
    EXPECT_EQ(out.text(), "");
}

TEST_F(MonitorRules, WeakLowToHighAndStrongLowToZAreClean) {
    pull(3, &PullupAgent::trdy, VL);  // L, then back to H
    pull(4, &PullupAgent::trdy, VH);
    pull(3, &PullupAgent::stop, VZ);  // no pull-up: 0, then Z
    b.rows(3, {"----0", "----z"});
    b.run_through(5);
    EXPECT_EQ(b.pmon.stop.read(), VZ);
    EXPECT_EQ(b.pmon.trdy.read(), VH);
    b.run_through(8);
    EXPECT_EQ(out.text(), "");
}

TEST_F(MonitorRules, FrameDeassertedWithoutIrdy) {
    b.rows(3, {"0----", "1----", "z----"});  // IRDY# stays at the pull-up H
    b.run_through(4);
    EXPECT_EQ(out.take(), "");
    b.run_through(5);
    EXPECT_EQ(out.take(), "ERROR: FRAME cannot be deasseted when IRDY is deasserted\n");
    b.run_through(8);
    EXPECT_EQ(out.take(), "");
}

TEST_F(MonitorRules, FrameDeassertedWithIrdyLowOrWeakLowIsClean) {
    b.rows(3, {"00---", "1----", "z1---", "-z---"});
    pull(10, &PullupAgent::irdy, VL);
    b.rows(10, {"0----", "1----", "z----"});
    pull(13, &PullupAgent::irdy, VH);
    b.run_through(15);
    EXPECT_EQ(out.text(), "");
}

TEST_F(MonitorRules, FrameReleasedToPullupGivesOnlyTheTristateReport) {
    b.rows(3, {"0----", "z----"});
    b.run_through(8);
    EXPECT_EQ(out.text(), "ERROR: FRAME s/t/s violation on tb:pmon\n");
}

TEST_F(MonitorRules, UnknownLevelsInLineOrder) {
    // STOP# by a conflict of two drivers, DEVSEL# driven X; both for one cycle.
    b.master.at(3, [](ScriptedAgent& m) { m.stop.drive(V0); });
    b.master.at(4, [](ScriptedAgent& m) { m.stop.drive(VZ); });
    b.rows(3, {"--x-1", "--z-z"});
    b.run_through(4);
    EXPECT_EQ(out.take(), "ERROR: STOP unknown on tb:pmon\nERROR: DEVSEL unknown on tb:pmon\n");
    b.rows(6, {"xxxxx", "zzzzz"});
    b.run_through(7);
    EXPECT_EQ(out.take(),
              "ERROR: TRDY unknown on tb:pmon\n"
              "ERROR: IRDY unknown on tb:pmon\n"
              "ERROR: STOP unknown on tb:pmon\n"
              "ERROR: FRAME unknown on tb:pmon\n"
              "ERROR: DEVSEL unknown on tb:pmon\n");
    // Z on every line, with the pull-ups gone, is not unknown.
    for (auto line : {&PullupAgent::frame, &PullupAgent::irdy, &PullupAgent::devsel,
                      &PullupAgent::trdy, &PullupAgent::stop}) {
        pull(9, line, VZ);
    }
    b.run_through(12);
    EXPECT_EQ(b.pmon.frame.read(), VZ);
    EXPECT_EQ(b.pmon.stop.read(), VZ);
    EXPECT_EQ(out.take(), "");
}

TEST_F(MonitorRules, ReportsOfOneCycleInRuleOrder) {
    b.rows(3, {"00000", "HHHHH"});  // every line 0, then straight to H
    b.run_through(5);
    EXPECT_EQ(out.take(),
              "ERROR: TRDY s/t/s violation on tb:pmon\n"
              "ERROR: IRDY s/t/s violation on tb:pmon\n"
              "ERROR: STOP s/t/s violation on tb:pmon\n"
              "ERROR: FRAME s/t/s violation on tb:pmon\n"
              "ERROR: DEVSEL s/t/s violation on tb:pmon\n");
    // Unknown, then s/t/s, then the FRAME# rule.
    b.rows(6, {"00---", "1z-x-"});
    b.run_through(8);
    EXPECT_EQ(out.take(),
              "ERROR: TRDY unknown on tb:pmon\n"
              "ERROR: IRDY s/t/s violation on tb:pmon\n"
              "ERROR: FRAME cannot be deasseted when IRDY is deasserted\n");
}

TEST_F(MonitorRules, ReportsComeBeforeTheTraceOfTheSameCycle) {
    b.pmon.set_debug(1);
    b.address(2, 0x00100000, CMD_MEMORY_WRITE);
    b.rows(2, {"0-x--", "1000-", "z111-", "-zzz-"});
    b.run_through(3);
    EXPECT_EQ(out.take(),
              "ERROR: DEVSEL unknown on tb:pmon\n"
              "Memory Write          Add: 00100000\n");
}

}  // namespace
