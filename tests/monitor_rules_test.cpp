// The monitor's protocol rule checks: unknown levels, sustained tri-state
// release, FRAME# deassertion, and where their reports fall in a cycle.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "monitor_bench.h"
#include "support/capture.h"

namespace {

// A level the pull-up agent drives on one of its lines in a cycle.
struct Pull {
    int32_t cycle;
    SIM_port PullupAgent::*line;
    logic_value level;
};

struct Case {
    std::vector<const char*> rows;  // handshake lines from cycle 3 on
    std::vector<Pull> pulls;        // changes to the pull-ups
    std::string reports;            // everything printed
};

using P = PullupAgent;

// Plays a case's handshake rows from cycle 3 and its pull-up changes for 12
// cycles on a fresh bench.
void play(MonitorBench& b, const std::vector<const char*>& rows, const std::vector<Pull>& pulls) {
    b.reset_all();
    b.rows(3, rows);
    for (const Pull& p : pulls)
        b.master.at(p.cycle, [&b, p](ScriptedAgent&) { (b.pa.*p.line).drive(p.level); });
    b.run_through(12);
}

TEST(MonitorRules, Reports) {
    const std::string tristate = " s/t/s violation on tb:pmon\n";
    const std::string unknown = " unknown on tb:pmon\n";
    const std::string frame_rule = "ERROR: FRAME cannot be deasseted when IRDY is deasserted\n";
    const std::string every_line[] = {"ERROR: TRDY", "ERROR: IRDY", "ERROR: STOP", "ERROR: FRAME",
                                      "ERROR: DEVSEL"};
    std::string all_tristate, all_unknown;
    for (const std::string& line : every_line) {
        all_tristate += line + tristate;
        all_unknown += line + unknown;
    }
    const Case cases[] = {
        // Released while asserted: once, not again while it floats.
        {{"---0-", "---z-"}, {}, "ERROR: TRDY" + tristate},
        {{"---0-", "---1-", "---z-"}, {}, ""},  // driven high before release
        // Weak low to the pull-up, and strong low to a line without one.
        {{"----0", "----z"}, {{3, &P::trdy, VL}, {4, &P::trdy, VH}, {3, &P::stop, VZ}}, ""},
        {{"0----", "1----", "z----"}, {}, frame_rule},  // IRDY# at the pull-up
        {{"00---", "1----", "z1---", "-z---"}, {}, ""},
        {{"0----", "1----", "z----"}, {{3, &P::irdy, VL}, {6, &P::irdy, VH}}, ""},
        // Released to the pull-up: only the tri-state report.
        {{"0----", "z----"}, {}, "ERROR: FRAME" + tristate},
        // STOP# by a conflict of two drivers, DEVSEL# driven X.
        {{"--x-1", "--z-z"},
         {{3, &P::stop, V0}, {4, &P::stop, VZ}},
         "ERROR: STOP" + unknown + "ERROR: DEVSEL" + unknown},
        {{"xxxxx", "zzzzz"}, {}, all_unknown},
        // Z on every line, with the pull-ups gone, is not unknown.
        {{},
         {{3, &P::frame, VZ},
          {3, &P::irdy, VZ},
          {3, &P::devsel, VZ},
          {3, &P::trdy, VZ},
          {3, &P::stop, VZ}},
         ""},
        {{"00000", "HHHHH"}, {}, all_tristate},
        // Unknown, then s/t/s, then the FRAME# rule.
        {{"00---", "1z-x-", "z--z-"},
         {},
         "ERROR: TRDY" + unknown + "ERROR: IRDY" + tristate + frame_rule},
        // The same unknown levels in three cycles: reported in each.
        {{"--x--", "-----", "-----", "--z--"},
         {},
         "ERROR: DEVSEL" + unknown + "ERROR: DEVSEL" + unknown + "ERROR: DEVSEL" + unknown},
        // Held low for three cycles, then released: once, at the release.
        {{"---0-", "-----", "-----", "---z-"}, {}, "ERROR: TRDY" + tristate},
        // Low, unknown, low again, released: each in its cycle.
        {{"---0-", "---x-", "---0-", "---z-"},
         {},
         "ERROR: TRDY" + unknown + "ERROR: TRDY" + tristate},
    };
    for (const Case& c : cases) {
        MonitorBench b;
        OutputCapture out(b.context());
        play(b, c.rows, c.pulls);
        EXPECT_EQ(out.text(), c.reports) << "case " << &c - cases;
    }
}

// The counts behind the reports: every check applies the five unknown-level
// rules, a strong 0 going away applies its line's s/t/s rule, and FRAME#
// going from 0 to 1 the FRAME# rule; each break is counted once.
TEST(MonitorRules, CountsApplicationsAndBreaks) {
    using R = PCI_rule_checker;
    struct Count_case {
        std::vector<const char*> rows;  // handshake lines from cycle 3 on
        std::vector<Pull> pulls;        // changes to the pull-ups
        // {checked, violated} of every rule, in rule order.
        std::array<std::array<int64_t, 2>, R::rule_count> counts;
    };
    constexpr std::array<int64_t, 2> every{12, 0};   // a check in each of the 12 cycles
    constexpr std::array<int64_t, 2> broken{12, 1};  // and broken in one of them
    constexpr std::array<int64_t, 2> none{0, 0};
    const Count_case cases[] = {
        // Nothing happens: only the unknown-level rules apply.
        {{}, {}, {every, every, every, every, every, none, none, none, none, none, none}},
        // Every line released to its pull-up while asserted.
        {{"00000", "HHHHH"},
         {},
         {every, every, every, every, every, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, none}},
        // Every line unknown for one cycle.
        {{"xxxxx", "zzzzz"},
         {},
         {broken, broken, broken, broken, broken, none, none, none, none, none, none}},
        // TRDY# unknown; IRDY# released while asserted as FRAME# ends.
        {{"00---", "1z-x-", "z--z-"},
         {},
         {broken, every, every, every, every, none, {1, 1}, none, {1, 0}, none, {1, 1}}},
        // Driven high before release, twice; FRAME# ends with IRDY# low.
        {{"00-0-", "101-1", "z1z1z", "-z-z-"},
         {},
         {every, every, every, every, every, {1, 0}, {1, 0}, none, {1, 0}, none, {1, 0}}},
        // DEVSEL# unknown for three cycles in a row: three breaks.
        {{"--x--", "-----", "-----", "--z--"},
         {},
         {every, every, every, every, {12, 3}, none, none, none, none, none, none}},
        // TRDY# held low, then released: its s/t/s rule applies once.
        {{"---0-", "-----", "-----", "---z-"},
         {},
         {every, every, every, every, every, {1, 1}, none, none, none, none, none}},
        // A weak low to the pull-up applies no s/t/s rule.
        {{"----0", "----z"},
         {{3, &P::trdy, VL}, {4, &P::trdy, VH}, {3, &P::stop, VZ}},
         {every, every, every, every, every, none, none, {1, 0}, none, none, none}},
    };
    for (const Count_case& c : cases) {
        MonitorBench b;
        OutputCapture out(b.context());
        play(b, c.rows, c.pulls);
        const R& rules = b.pmon.rule_checker();
        for (int r = 0; r < R::rule_count; ++r) {
            const R::counts n = rules.count_of(static_cast<R::rule>(r));
            EXPECT_EQ(n.checked, c.counts[r][0])
                << "case " << &c - cases << " rule " << R::rule_name(static_cast<R::rule>(r));
            EXPECT_EQ(n.violated, c.counts[r][1])
                << "case " << &c - cases << " rule " << R::rule_name(static_cast<R::rule>(r));
        }
    }
    // Clearing the counts starts every rule from zero.
    MonitorBench b;
    b.reset_all();
    b.rows(3, {"xxxxx", "zzzzz"});
    b.run_through(5);
    b.pmon.reset();
    for (int r = 0; r < R::rule_count; ++r) {
        const R::counts n = b.pmon.rule_checker().count_of(static_cast<R::rule>(r));
        EXPECT_EQ(n.checked, 0) << R::rule_name(static_cast<R::rule>(r));
        EXPECT_EQ(n.violated, 0) << R::rule_name(static_cast<R::rule>(r));
    }
}

TEST(MonitorRules, ReportsComeInTheirCycleBeforeTheTrace) {
    MonitorBench b;
    OutputCapture out(b.context());
    b.pmon.set_debug(1);
    b.reset_all();
    b.address(2, 0x00100000, CMD_MEMORY_WRITE);
    b.rows(2, {"0-x--", "1000-", "z111-", "-zzz-"});
    b.run_through(3);
    EXPECT_EQ(out.take(),
              "ERROR: DEVSEL unknown on tb:pmon\n"
              "Memory Write          Add: 00100000\n");
}

}  // namespace
