// pcisim --batch: each line runs as the single command line would (the same
// files, bytes, statuses and error lines), the status records, the line
// syntax and its errors, and the errors of the batch itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/batch_line.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace {
using json = nlohmann::json;

class BatchTest : public PCI_scratch_folder_test {
  protected:
    // Writes text as the batch file and runs the batch with a status file.
    Outcome batch(const std::string& text) {
        std::ofstream(file("batch"), std::ios::binary) << text;
        return run_program({"--batch=" + file("batch"), "--batch-status", file("status")});
    }
    // The status file's records.
    std::vector<json> records() {
        std::vector<json> out;
        std::istringstream in(slurp(file("status")));
        for (std::string line; std::getline(in, line);) out.push_back(json::parse(line));
        return out;
    }
};

// One line of the batch, the files it writes, and its --stdout file if any.
struct line_case {
    std::vector<std::string> words;  // its words, without --stdout
    std::vector<std::string> files;  // names of the files it writes
    std::string stdout_file = {};    // --stdout=FILE in the batch line; empty none
};

TEST_F(BatchTest, EveryLineWritesTheBytesAndStatusOfItsSingleRun) {
    const std::string design = file("design.toml");
    ASSERT_EQ(run_program({"--write-design", design, "-m1c4"}).status, 0);
    const std::vector<line_case> lines = {
        {{"-m1c5", "-m2c5", "-m3c5", "--seed", "7", "--stats-json", file("s1.json"),
          "--transactions", file("t1.csv"), "--vcd", file("v1.vcd")},
         {"s1.json", "t1.csv", "v1.vcd"}},
        {{"--design", design, "--set", "master.pm2.latency_timer=16", "-m2c3", "--stats-json",
          file("s2.json"), "--compliance", file("c2.csv")},
         {"s2.json", "c2.csv"}},
        // The same design without --set: nothing of the line before stays.
        {{"--design", design, "-m2c3", "--stats-json", file("s3.json")}, {"s3.json"}},
        {{"-x"}, {}},
        {{"--seed=abc"}, {}},
        {{"-c", "-m1c3", "-m2c3", "-m3c3", "-a7", "--stats-json", file("s6.json")},
         {"o6.txt", "s6.json"},
         "o6.txt"},
        {{"--stats-json", file("no/such/folder.json")}, {}},
        {{"--write-design", file("w8.toml"), "-a5", "-m1c2"}, {"w8.toml"}},
    };
    std::vector<Outcome> single;
    std::map<std::string, std::string> bytes;
    std::string text = "# the runs\n";
    for (const line_case& line : lines) {
        single.push_back(run_program(line.words));
        for (const std::string& name : line.files) {
            bytes[name] = name == line.stdout_file ? single.back().out : slurp(file(name.c_str()));
            std::filesystem::remove(file(name.c_str()));
        }
        for (const std::string& word : line.words) text += word + ' ';
        if (!line.stdout_file.empty())
            text += "--stdout=" + file(line.stdout_file.c_str());
        text += "\n\n";
    }
    const Outcome done = batch(text);
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.out, "");
    EXPECT_EQ(done.err, "");
    for (const auto& [name, content] : bytes) {
        EXPECT_FALSE(content.empty()) << name;
        EXPECT_EQ(slurp(file(name.c_str())), content) << name;
    }
    EXPECT_EQ(json::parse(bytes["s2.json"])["config"]["masters"][1]["latency_timer"], 16);
    EXPECT_NE(json::parse(bytes["s3.json"])["config"]["masters"][1]["latency_timer"], 16);
    const std::vector<json> got = records();
    ASSERT_EQ(got.size(), lines.size());
    const std::vector<int> statuses = {0, 0, 0, 10, 1, 0, 1, 0};
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i]["line"], 2 * i + 2);
        EXPECT_EQ(got[i]["status"], single[i].status);
        EXPECT_EQ(got[i]["status"], statuses[i]);
        EXPECT_EQ(got[i]["stderr"], single[i].err);
        EXPECT_GE(got[i]["seconds"].get<double>(), 0.0);
        if (single[i].status != 0)
            EXPECT_EQ(got[i]["stdout_tail"], single[i].out);
        else
            EXPECT_FALSE(got[i].contains("stdout_tail"));
    }
    EXPECT_EQ(got[3]["stdout_tail"], "Unknown option x\n");
    EXPECT_EQ(got[4]["stderr"],
              "pcisim: option --seed: 'abc' is not a decimal number from 0 to 4294967295\n");
}

TEST_F(BatchTest, ALineIsSplitIntoWordsWithQuotesAndBackslashes) {
    std::vector<std::string> words;
    EXPECT_FALSE(split_batch_line(R"(  a 'b c'd "e \"f\" \\ \x" g\ h '' #i	j )", words));
    EXPECT_EQ(words,
              (std::vector<std::string>{"a", "b cd", R"(e "f" \ \x)", "g h", "", "#i", "j"}));
    EXPECT_TRUE(batch_line_is_empty(" \t\r"));
    EXPECT_TRUE(batch_line_is_empty("  # -a5"));
    EXPECT_FALSE(batch_line_is_empty(" -a5 # x"));
}

TEST_F(BatchTest, ABadLineIsAnErrorAtItsLineAndColumnAndNothingRuns) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"-a5\n-a6 --set 'x=1\n", ":3:11: single quote not closed on its line"},
        {"  \"-a5\n", ":2:3: double quote not closed on its line"},
        {"-a5 \"x\\\"\n", ":2:5: double quote not closed on its line"},
        {"-a5\r\n-a6 \\\r\n", ":3:5: backslash at the end of the line"},
        {std::string("-a5 x\0y\n", 8), ":2:6: NUL byte in the line"},
    };
    for (const auto& [text, error] : cases) {
        SCOPED_TRACE(error);
        std::filesystem::remove(file("status"));
        const Outcome done = batch("--stats-json " + file("first.json") + '\n' + text);
        EXPECT_EQ(done.status, 1);
        EXPECT_EQ(done.err, "pcisim: " + file("batch") + error + '\n');
        EXPECT_FALSE(std::filesystem::exists(file("first.json")));
        EXPECT_FALSE(std::filesystem::exists(file("status")));
    }
}

TEST_F(BatchTest, AnEmptyBatchRunsNothingAndSucceeds) {
    const Outcome done = batch("\n# nothing\n   \n");
    EXPECT_EQ((std::vector<std::string>{std::to_string(done.status), done.out, done.err}),
              (std::vector<std::string>{"0", "", ""}));
    EXPECT_TRUE(std::filesystem::exists(file("status")));
    EXPECT_EQ(slurp(file("status")), "");
}

TEST_F(BatchTest, ErrorsOfTheBatchItselfAndBatchOptionsInALine) {
    std::ofstream(file("batch")) << "-m1c2 --batch-status=x\n-m1c2\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--batch=" + file("none")},
         "pcisim: option --batch: cannot read " + file("none") + ": No such file or directory\n"},
        {{"--batch=" + file("batch"), "-a5"},
         "pcisim: option --batch: '-a5' belongs in a line of the batch file (the batch takes "
         "only --batch and --batch-status)\n"},
        {{"-a5", "--stdout=" + file("out")},
         "pcisim: option --stdout: only in a line of a batch file (--batch FILE)\n"},
        {{"--batch-status=" + file("status")},
         "pcisim: option --batch-status: goes with --batch FILE\n"},
        {{"--batch=" + file("batch"), "--batch-status=" + file("no/status")},
         "pcisim: option --batch-status: cannot write " + file("no/status") +
             ": No such file or directory\n"},
    };
    for (const auto& [args, error] : cases) {
        const Outcome done = run_program(args);
        EXPECT_EQ(done.status, 1) << error;
        EXPECT_EQ(done.err, error);
        EXPECT_EQ(done.out, "");
    }
    // Without a status file a run's standard error goes to the batch's.
    const Outcome done = run_program({"--batch", file("batch")});
    EXPECT_EQ(done.status, 0);
    EXPECT_EQ(done.err, "pcisim: option --batch: not in a line of a batch file\n");
    EXPECT_EQ(done.out, "");
}
}  // namespace
