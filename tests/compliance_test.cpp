// The rulebook on a small bus: for every rule a script that breaks it
// exactly once (the only row of the run, with its cycle and agents) and a
// clean counterpart that breaks nothing. Rows are pm1's FRAME# IRDY# and
// pt1's DEVSEL# TRDY# STOP# from cycle 3 on, pm1 granted from cycle 2 (the
// first cycle after the reset).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "compliance_bench.h"
#include "pci/commands.h"

namespace {
using rule = PCI_compliance_checker;

// One script and the one violation it must give (rule null: none at all).
struct rule_case {
    const char* name;                              // the case, for failure messages
    std::vector<const char*> rows;                 // from cycle 3
    std::function<void(ComplianceBench&)> script;  // AD, C/BE#, grants, other agents
    const char* rule;                              // the expected rule, or null
    int32_t cycle;                                 // its cycle
    const char* agents;                            // its agents
};

// pm1 granted from cycle 2; an address phase in cycle 3 with command, then
// data words from cycle 4 on, one per entry (the last held through cycle
// last), released in the cycle after last.
void write_words(ComplianceBench& b, uint32_t command, std::vector<uint32_t> words, int last) {
    b.pa.grant_at(2, 0, V0);
    b.pm1.ad_at(3, 0x00000010);
    b.pm1.cbe_at(3, command);
    b.pm1.cbe_at(4, 0x0);
    int cycle = 4;
    for (const uint32_t word : words) b.pm1.ad_at(cycle++, word);
    b.pm1.ad_off(last + 1);
    b.pm1.cbe_off(last + 1);
}
// The data words of the writes.
constexpr uint32_t word1 = 0x11110001;
constexpr uint32_t word2 = 0x22220002;
// A write: word1 in cycle 4, word2 from cycle 5 on, held through cycle last.
std::function<void(ComplianceBench&)> write(int last, uint32_t command = CMD_MEMORY_WRITE) {
    return [=](ComplianceBench& b) { write_words(b, command, {word1, word2}, last); };
}
// A write of one word, held from cycle 4 through cycle last.
std::function<void(ComplianceBench&)> write_one(int last) {
    return [=](ComplianceBench& b) { write_words(b, CMD_MEMORY_WRITE, {word1}, last); };
}

// A read: pm1's address in cycle 3, pt1's data from cycle data_from through
// cycle last.
std::function<void(ComplianceBench&)> read_from(int data_from, int last = 5) {
    return [=](ComplianceBench& b) {
        b.pa.grant_at(2, 0, V0);
        b.pm1.ad_at(3, 0x00000010);
        b.pm1.cbe_at(3, CMD_MEMORY_READ);
        b.pm1.ad_off(4);
        b.pm1.cbe_at(4, 0x0);
        b.pm1.cbe_off(last + 1);
        b.pt1.ad_at(data_from, 0x5A5A0001);
        b.pt1.ad_off(last + 1);
    };
}

// Both scripts, one after the other.
std::function<void(ComplianceBench&)> also(std::function<void(ComplianceBench&)> first,
                                           std::function<void(ComplianceBench&)> second) {
    return [=](ComplianceBench& b) {
        first(b);
        second(b);
    };
}

// The clean two-phase write every family starts from.
const std::vector<const char*> clean_write = {"01---", "00001", "10001", "z1111", "-zzzz"};

void run_case(const rule_case& c) {
    SCOPED_TRACE(c.name);
    ComplianceBench b;
    b.rows(3, c.rows);
    c.script(b);
    b.run_through(30);
    if (c.rule == nullptr) {
        for (const PCI_compliance_violation& v : b.found)
            ADD_FAILURE() << "unexpected " << v.rule << " in cycle " << v.cycle << ": " << v.detail;
        return;
    }
    ASSERT_EQ(b.found.size(), 1u);
    EXPECT_STREQ(b.found[0].rule, c.rule);
    EXPECT_EQ(b.found[0].cycle, c.cycle) << b.found[0].detail;
    EXPECT_EQ(b.found[0].agents, c.agents);
    // The count agrees with the row, and the rule was checked.
    for (int i = 0; i < rule::rule_count; ++i) {
        const auto which = static_cast<rule::rule>(i);
        const bool expected = std::string(rule::rule_name(which)) == c.rule;
        EXPECT_EQ(b.counts[i].violated, expected ? 1 : 0) << rule::rule_name(which);
        if (expected) {
            EXPECT_GE(b.counts[i].checked, 1);
        }
    }
}

void run_cases(const std::vector<rule_case>& cases) {
    for (const rule_case& c : cases) run_case(c);
}

// Rows holding the lines for count cycles.
std::vector<const char*> hold(std::vector<const char*> rows, int count,
                              std::vector<const char*> tail) {
    rows.insert(rows.end(), count, "-----");
    rows.insert(rows.end(), tail.begin(), tail.end());
    return rows;
}
}  // namespace

TEST(ComplianceRules, Latencies) {
    run_cases({
        // TRDY# first in cycle 20, 17 clocks after the address phase of cycle 3.
        {"target initial late", hold({"01---", "10011"}, 15, {"--00-", "z1111", "-zzzz"}),
         write_one(20), "target_initial_latency", 20, "pt1"},
        {"target initial in time", hold({"01---", "10011"}, 14, {"--00-", "z1111", "-zzzz"}),
         write_one(19), nullptr, 0, ""},
        // STOP# counts as the target's answer too.
        {"target initial stop in time", hold({"01---", "10011"}, 14, {"---10", "z1111", "-zzzz"}),
         write_one(19), nullptr, 0, ""},
        // The second phase completes in cycle 13, 9 clocks after the first.
        {"target subsequent late",
         hold({"01---", "00001", "00011"}, 7, {"--00-", "10001", "z1111", "-zzzz"}), write(14),
         "target_subsequent_latency", 13, "pt1"},
        {"target subsequent in time",
         hold({"01---", "00001", "00011"}, 6, {"--00-", "10001", "z1111", "-zzzz"}), write(13),
         nullptr, 0, ""},
        {"master initial late", hold({"01---", "01001"}, 7, {"10---", "z1111", "-zzzz"}),
         write_one(12), "master_initial_latency", 12, "pm1"},
        {"master initial in time", hold({"01---", "01001"}, 6, {"10---", "z1111", "-zzzz"}),
         write_one(11), nullptr, 0, ""},
        {"master subsequent late",
         hold({"01---", "00001", "01001"}, 7, {"10---", "z1111", "-zzzz"}), write(13),
         "master_subsequent_latency", 13, "pm1"},
        {"master subsequent in time",
         hold({"01---", "00001", "01001"}, 6, {"10---", "z1111", "-zzzz"}), write(12), nullptr, 0,
         ""},
    });
}

TEST(ComplianceRules, DataPhaseStability) {
    const std::vector<const char*> wait_then_last = {"01---", "10011", "-----",
                                                     "--00-", "z1111", "-zzzz"};
    run_cases({
        {"frame deasserted in a wait",
         {"01---", "00011", "10011", "--00-", "z1111", "-zzzz"},
         write_one(6),
         "frame_stable_in_data_phase",
         5,
         "pm1"},
        {"frame deasserted with irdy", wait_then_last, write_one(6), nullptr, 0, ""},
        {"irdy withdrawn in a wait",
         {"01---", "10011", "-1---", "zz111", "--zzz"},
         write_one(5),
         "irdy_stable_in_data_phase",
         5,
         "pm1"},
        // The write's data word changes in cycle 5, before TRDY# in cycle 6.
        {"write data changed in a wait", wait_then_last,
         [](ComplianceBench& b) {
             write_words(b, CMD_MEMORY_WRITE, {word1, word2}, 6);
         },
         "write_data_stable", 5, "pm1"},
        {"write data held in a wait", wait_then_last, write_one(6), nullptr, 0, ""},
        // A read's AD belongs to the target: a new word in a wait is no fault.
        {"read data changed in a wait",
         {"01---", "10011", "-----", "--00-", "z1111", "-zzzz"},
         also(read_from(5, 6), [](ComplianceBench& b) { b.pt1.ad_at(6, 0x5A5A0002); }),
         nullptr,
         0,
         ""},
        {"byte enables changed in a wait", wait_then_last,
         also(write_one(6), [](ComplianceBench& b) { b.pm1.cbe_at(5, 0xC); }),
         "byte_enables_stable", 5, "pm1"},
    });
}

TEST(ComplianceRules, Arbitration) {
    run_cases({
        // pm2 holds the grant: pm1's FRAME# in cycle 3 had none in cycle 2.
        {"frame without grant", clean_write,
         [](ComplianceBench& b) {
             write(5)(b);
             b.pa.grant_at(2, 0, V1);
             b.pa.grant_at(2, 1, V0);
         },
         "frame_needs_grant", 3, "pm1"},
        {"frame with grant", clean_write, write(5), nullptr, 0, ""},
        // Both GNT# lines low in cycles 2 and 3: one violation, in cycle 2.
        {"two grants", clean_write,
         also(write(5),
              [](ComplianceBench& b) {
                  b.pa.grant_at(2, 1, V0);
                  b.pa.grant_at(4, 1, V1);
              }),
         "one_grant", 2, "pm1 pm2"},
        {"grants one after the other", clean_write,
         also(write(5),
              [](ComplianceBench& b) {
                  b.pa.grant_at(4, 0, V1);
                  b.pa.grant_at(5, 1, V0);
              }),
         nullptr, 0, ""},
    });
}

TEST(ComplianceRules, TargetSignalling) {
    run_cases({
        {"trdy without devsel",
         {"01---", "00101", "10001", "z1111", "-zzzz"},
         write(5),
         "trdy_stop_need_devsel",
         4,
         "pt1"},
        // STOP# before any DEVSEL#, over two cycles: one violation.
        {"stop without devsel",
         {"01---", "00110", "10---", "z1111", "-zzzz"},
         write(5),
         "trdy_stop_need_devsel",
         4,
         "pt1"},
        // A Target-Abort: DEVSEL# deasserted with STOP# after a claim.
        {"target abort",
         {"01---", "00001", "00110", "10---", "z1111", "-zzzz"},
         write(6),
         nullptr,
         0,
         ""},
        {"devsel released early",
         {"01---", "00001", "00111", "--110", "10---", "z1111", "-zzzz"},
         write(7),
         "devsel_held",
         5,
         "pt1"},
        {"stop released before frame",
         {"01---", "00010", "10011", "--010", "z1111", "-zzzz"},
         write(6),
         "stop_held",
         5,
         "pt1"},
        {"stop held to the end",
         {"01---", "00010", "10---", "z1111", "-zzzz"},
         write(5),
         nullptr,
         0,
         ""},
    });
}

TEST(ComplianceRules, BusWires) {
    run_cases({
        // pm1 drives the wrong PAR for the data phase of cycle 4.
        {"parity", clean_write,
         also(write(5),
              [](ComplianceBench& b) {
                  const logic_value wrong = parity32(word1 ^ 0x0u) ? V0 : V1;
                  b.pm1.at(4, [wrong](ScriptedAgent& s) { s.par.drive(wrong); });
              }),
         "parity", 5, "pm1"},
        {"reserved command", clean_write, write(5, 0x4), "reserved_command", 3, "pm1"},
        {"reserved command 9", clean_write, write(5, 0x9), "reserved_command", 3, "pm1"},
        {"dual address command", clean_write, write(5, CMD_DUAL_ADDRESS_CYCLE), nullptr, 0, ""},
        {"two targets on DEVSEL#", clean_write,
         also(write(5),
              [](ComplianceBench& b) {
                  b.pt2.seen(4, {&PCI_agent::devsel}, "0");
                  b.pt2.seen(6, {&PCI_agent::devsel}, "z");
              }),
         "contention", 4, "pt1 pt2"},
        // pm2 takes IRDY# in the clock pm1 lets go of it.
        {"irdy without turnaround", clean_write,
         also(write(5),
              [](ComplianceBench& b) {
                  b.pm2.seen(7, {&PCI_agent::irdy}, "1");
                  b.pm2.seen(8, {&PCI_agent::irdy}, "z");
              }),
         "turnaround", 7, "pm1 pm2"},
        {"irdy after an idle clock", clean_write,
         also(write(5),
              [](ComplianceBench& b) {
                  b.pm2.seen(8, {&PCI_agent::irdy}, "1");
                  b.pm2.seen(9, {&PCI_agent::irdy}, "z");
              }),
         nullptr, 0, ""},
        // A read whose target drives AD in the clock after the address.
        {"read data without turnaround",
         {"01---", "10011", "--00-", "z1111", "-zzzz"},
         read_from(4),
         "turnaround",
         4,
         "pm1 pt1"},
        {"read data after turnaround",
         {"01---", "10011", "--00-", "z1111", "-zzzz"},
         read_from(5),
         nullptr,
         0,
         ""},
    });
}

TEST(ComplianceRules, AgentsFoundFromTheWires) {
    ComplianceBench b;
    const PCI_bus_agents found = find_bus_agents(b.pb, b.tb.context());
    EXPECT_EQ(found.names, (std::vector<std::string>{"pa", "pm1", "pm2", "pt1", "pt2"}));
    ASSERT_EQ(found.grants.size(), 2u);
    EXPECT_EQ(found.grants[0].agent, 1);
    EXPECT_EQ(found.grants[1].agent, 2);
    EXPECT_EQ(found.grants[0].grant, &b.pa.grant_port(0));
}

TEST(ComplianceRules, EveryRuleHasItsName) {
    const std::vector<std::string> names = {"target_initial_latency",
                                            "target_subsequent_latency",
                                            "master_initial_latency",
                                            "master_subsequent_latency",
                                            "frame_stable_in_data_phase",
                                            "irdy_stable_in_data_phase",
                                            "frame_needs_grant",
                                            "one_grant",
                                            "trdy_stop_need_devsel",
                                            "devsel_held",
                                            "stop_held",
                                            "write_data_stable",
                                            "byte_enables_stable",
                                            "parity",
                                            "reserved_command",
                                            "contention",
                                            "turnaround"};
    ASSERT_EQ(names.size(), static_cast<size_t>(rule::rule_count));
    for (int i = 0; i < rule::rule_count; ++i)
        EXPECT_EQ(rule::rule_name(static_cast<rule::rule>(i)), names[i]);
}

// The checker reads each agent's AD and C/BE# drive as words: they must be
// the bits whose ports' own level is 0 or 1, however the ports were driven.
TEST(ComplianceRules, DrivenBitsAsWordsMatchThePorts) {
    ComplianceBench b;
    b.pm1.ad_at(3, 0x12345678);
    b.pm1.at(3, [](ScriptedAgent& s) { s.ad[5]->drive(VH); });
    b.pm1.at(4, [](ScriptedAgent& s) { s.ad[7]->drive(VZ); });
    b.pm1.at(5, [](ScriptedAgent& s) { s.ad[9]->force(VX); });
    b.pm1.at(6, [](ScriptedAgent& s) { s.ad[9]->drive(V0); });
    b.pm1.ad_off(8);
    b.pt1.cbe_at(4, 0xA);
    b.pt1.at(5, [](ScriptedAgent& s) { s.cbe[2]->drive(VL); });
    b.pt1.cbe_off(8);
    b.tb.reset_all();
    int mixed = 0;
    while (b.tb.sim_cycle() < 10) {
        b.tb.clock_all();
        for (const PCI_agent* agent :
             {static_cast<PCI_agent*>(&b.pm1), static_cast<PCI_agent*>(&b.pt1)}) {
            uint32_t ad = 0, cbe = 0;
            for (int i = 0; i < PCI_agent::ad_width; ++i) {
                const logic_value v = agent->ad[i]->own_level();
                ad |= (v == V0 || v == V1 ? 1u : 0u) << i;
            }
            for (int i = 0; i < PCI_agent::cbe_width; ++i) {
                const logic_value v = agent->cbe[i]->own_level();
                cbe |= (v == V0 || v == V1 ? 1u : 0u) << i;
            }
            EXPECT_EQ(agent->ad_vector().strong_bits(), ad) << "cycle " << b.tb.sim_cycle();
            EXPECT_EQ(agent->cbe_vector().strong_bits(), cbe) << "cycle " << b.tb.sim_cycle();
            if (ad != 0 && ad != ~0u)
                ++mixed;
        }
    }
    EXPECT_GT(mixed, 3);
}
