// The compliance file (--compliance) of whole runs: its exact rows read
// back against the bus dump's cycle numbers, standard output unchanged by
// it, its counts in the statistics document, and its error paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "outputs/compliance_log.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace {
// A fresh directory per test.
class ComplianceOutput : public PCI_scratch_folder_test {};

// Three transactions per master: pm2's and pm3's Latency Timers expire in
// waits of their long bursts.
const std::vector<std::string> short_run = {"-m1c3", "-m2c3", "-m3c3"};

std::vector<std::string> with(std::vector<std::string> extra) {
    std::vector<std::string> args = short_run;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// The bus dump line of cycle (five-digit prefix), without its line end.
std::string dump_line(const std::string& dump, int cycle) {
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%05d ", cycle);
    const size_t at = dump.find(std::string("\n") + prefix);
    return at == std::string::npos ? std::string()
                                   : dump.substr(at + 1, dump.find('\n', at + 1) - at - 1);
}
}  // namespace

TEST_F(ComplianceOutput, RowsOfAShortRun) {
    const Outcome plain = run_program(short_run);
    const Outcome checked = run_program(with({"--compliance", file("rules.csv")}));
    EXPECT_EQ(checked.status, 0);
    EXPECT_EQ(checked.err, "");
    EXPECT_EQ(checked.out, plain.out);
    const std::string text = slurp(file("rules.csv"));
    const std::string wait =
        "FRAME# deasserted before TRDY# or STOP#; data phase waiting since cycle ";
    const std::string expected =
        "cycle,rule,agents,detail\r\n"
        "7,contention,pm2 pm3 pt1 pt2 pt3,PERR# driven by 5 agents at once\r\n"
        "654,frame_stable_in_data_phase,pm2," +
        wait +
        "653\r\n"
        "756,frame_stable_in_data_phase,pm2," +
        wait +
        "755\r\n"
        "820,frame_stable_in_data_phase,pm3," +
        wait +
        "819\r\n"
        "871,frame_stable_in_data_phase,pm2," +
        wait +
        "870\r\n"
        "922,frame_stable_in_data_phase,pm3," +
        wait +
        "921\r\n"
        "973,frame_stable_in_data_phase,pm2," +
        wait +
        "972\r\n"
        "1024,frame_stable_in_data_phase,pm3," +
        wait +
        "1023\r\n"
        "1075,frame_stable_in_data_phase,pm2," +
        wait + "1074\r\n";
    EXPECT_EQ(text, expected);

    // The cycles are the dump's: FRAME# asserted with IRDY# and no TRDY# in
    // the cycle before, deasserted in the cycle of the row.
    const Outcome dump = run_program(with({"-c", "-c5"}));
    EXPECT_NE(dump_line(dump.out, 653).find("FRAME:0 DEVSEL:0 STOP:1 IRDY:0 TRDY:1"),
              std::string::npos)
        << dump_line(dump.out, 653);
    EXPECT_NE(dump_line(dump.out, 654).find("FRAME:1 DEVSEL:0 STOP:1 IRDY:0 TRDY:0"),
              std::string::npos)
        << dump_line(dump.out, 654);
}

TEST_F(ComplianceOutput, StandardOutputUnchangedWithEveryOutput) {
    for (const std::vector<std::string>& extra :
         std::vector<std::vector<std::string>>{{"-c"}, {"-s", "-dm"}, {"-n", "-r", "-g"}}) {
        const Outcome plain = run_program(with(extra));
        std::vector<std::string> args = extra;
        args.insert(args.end(), {"--compliance", file("rules.csv")});
        const Outcome checked = run_program(with(args));
        EXPECT_EQ(checked.out, plain.out) << extra[0];
        EXPECT_EQ(checked.status, plain.status) << extra[0];
    }
}

TEST_F(ComplianceOutput, CountsFollowTheMonitorsInTheDocument) {
    ASSERT_EQ(run_program(with({"--compliance", file("rules.csv"), "--stats-json", file("s.json")}))
                  .status,
              0);
    const nlohmann::json rules = nlohmann::json::parse(slurp(file("s.json")))["rules"];
    constexpr int monitor_rules = 11;
    ASSERT_EQ(rules.size(), monitor_rules + PCI_compliance_checker::rule_count);
    EXPECT_EQ(rules[monitor_rules - 1]["rule"], "frame_end_with_irdy");
    for (int i = 0; i < PCI_compliance_checker::rule_count; ++i) {
        const nlohmann::json& entry = rules[monitor_rules + i];
        EXPECT_EQ(entry["rule"],
                  PCI_compliance_checker::rule_name(static_cast<PCI_compliance_checker::rule>(i)));
        const std::string name = entry["rule"];
        const int64_t expected = name == "frame_stable_in_data_phase" ? 8
                                 : name == "contention"               ? 1
                                                                      : 0;
        EXPECT_EQ(entry["violated"], expected) << name;
    }
    // One address phase per transaction attempt, and the monitor counts them
    // as FRAME# ends.
    EXPECT_EQ(rules[monitor_rules + PCI_compliance_checker::reserved_command]["checked"],
              rules[monitor_rules - 1]["checked"]);
    EXPECT_GT(rules[monitor_rules + PCI_compliance_checker::parity]["checked"], 0);

    // Without the rulebook the document lists the monitor's rules only.
    ASSERT_EQ(run_program(with({"--stats-json", file("s.json")})).status, 0);
    EXPECT_EQ(nlohmann::json::parse(slurp(file("s.json")))["rules"].size(), monitor_rules);
}

TEST_F(ComplianceOutput, Errors) {
    const std::string missing = file("no/such/dir.csv");
    const struct {
        std::vector<std::string> args;  // the options
        std::string err;                // the one line on standard error
    } cases[] = {
        {{"--compliance", missing},
         "pcisim: cannot create " + missing + ": No such file or directory\n"},
        {{"--compliance"}, "pcisim: option --compliance needs a value\n"},
        {{"--compliance="}, "pcisim: option --compliance: needs a file name\n"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run_program(with(c.args));
        EXPECT_EQ(outcome.status, 1) << c.err;
        EXPECT_EQ(outcome.out, "") << c.err;
        EXPECT_EQ(outcome.err, c.err);
    }
    // A failed write shows when the run is over, after its output.
    const Outcome full = run_program(with({"--compliance", "/dev/full"}));
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.out, run_program(short_run).out);
    EXPECT_EQ(full.err, "pcisim: cannot write /dev/full: No space left on device\n");
    // A whole word only: anything longer is the short parser's.
    EXPECT_EQ(run_program({"--compliances", file("x")}).out, "Unknown option -\n");
}

TEST(ComplianceCsv, FieldsQuotedAsRfc4180) {
    EXPECT_EQ(csv_field("pm1 pt2"), "pm1 pt2");
    EXPECT_EQ(csv_field(""), "");
    EXPECT_EQ(csv_field("a,b"), "\"a,b\"");
    EXPECT_EQ(csv_field("say \"x\""), "\"say \"\"x\"\"\"");
    EXPECT_EQ(csv_field("two\r\nlines"), "\"two\r\nlines\"");
}
