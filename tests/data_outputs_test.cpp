// The data outputs (--stats-json, --transactions) read back and checked
// against the text report and the closing line of the same run; --seed and
// --max-cycles; the error paths of the long options that create files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bench/simulation.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace {
using nlohmann::json;

Outcome run(std::vector<std::string> args) {
    return run_program(std::move(args));
}

// A fresh directory per test.
class DataOutputs : public PCI_scratch_folder_test {};

// Short traffic that still has retries, disconnects and long bursts.
const std::vector<std::string> traffic = {"-m1c40", "-m2c30", "-m3c30"};

std::vector<std::string> with(std::vector<std::string> args) {
    args.insert(args.end(), traffic.begin(), traffic.end());
    return args;
}

// The CSV rows (CRLF-ended) split into fields; the header checked and dropped.
std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::vector<std::string> fields;
        std::stringstream line(text.substr(start, end - start));
        for (std::string f; std::getline(line, f, ',');) fields.push_back(f);
        if (text[end - 1] == ',')
            fields.emplace_back();
        rows.push_back(fields);
    }
    EXPECT_EQ(start, text.size()) << "text after the last CRLF";
    EXPECT_EQ(rows.at(0).size(), 10u);
    rows.erase(rows.begin());
    return rows;
}
}  // namespace

TEST_F(DataOutputs, FiguresMatchTheReportTheClosingLineAndTheTransactions) {
    const Outcome r =
        run(with({"-s", "-n", "--stats-json", file("s.json"), "--transactions=" + file("t.csv")}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The data options leave standard output alone.
    EXPECT_EQ(r.out, run(with({"-s", "-n"})).out);
    const json doc = json::parse(slurp(dir / "s.json"));

    // The closing line: targets' transfers and masters' latency totals.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        r.out, m,
        std::regex(
            R"(Cyc: (\d+) t1: (\d+) t2: (\d+) t3: (\d+) Lat: m1: (\d+) m2: (\d+) m3: (\d+) Tot: (\d+)\n$)")));
    EXPECT_EQ(std::stoll(m[1]), doc["run"]["closing_index"]);
    EXPECT_EQ(doc["run"]["cycles"], doc["run"]["closing_index"].get<int64_t>() + 1);
    EXPECT_EQ(doc["run"]["stopped_by"], "masters_done");
    int64_t total = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::stoll(m[2 + i]), doc["targets"][i]["transfers"]);
        EXPECT_EQ(std::stoll(m[5 + i]), doc["masters"][i]["latency"]["total"]);
        EXPECT_EQ(doc["masters"][i]["data_words"], doc["targets"][i]["transfers"]);
        const json& lat = doc["masters"][i]["latency"];
        int64_t binned = 0;
        for (const json& n : lat["histogram"]) binned += n.get<int64_t>();
        EXPECT_EQ(binned, lat["count"]);
        EXPECT_LE(lat["min"].get<int>(), lat["max"].get<int>());
        total += lat["total"].get<int64_t>();
    }
    EXPECT_EQ(std::stoll(m[8]), total);

    // The report, card by card.
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"(Total transfers: (\d+))")));
    EXPECT_EQ(std::stoll(m[1]), doc["total_transfers"]);
    const std::regex card_block(
        R"(Card (\d+) Base: +([0-9a-f]+) Mask: ([0-9a-f]+) Transfers: (\d+)\n\tDecode:\n\tFAST: +(\d+) MED: +(\d+) SLOW: +(\d+) SUB: +(\d+)\n\tAvarage burst length: ([^\n]+)\n((?:\tInitial latency:[^\n]*\n)*)[^\n]*\n((?:\tBurst Latency:[^\n]*\n)*))");
    int cards = 0;
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), card_block);
         it != std::sregex_iterator(); ++it, ++cards) {
        const std::smatch& c = *it;
        const json& card = doc["cards"].at(cards);
        EXPECT_EQ(std::stoi(c[1]), card["card"]);
        EXPECT_EQ(std::stoul(c[2], nullptr, 16),
                  std::stoul(card["base"].get<std::string>(), nullptr, 16));
        EXPECT_EQ(std::stoul(c[3], nullptr, 16),
                  std::stoul(card["mask"].get<std::string>(), nullptr, 16));
        EXPECT_EQ(std::stoll(c[4]), card["claimed"]);
        const char* speeds[] = {"FAST", "MED", "SLOW", "SUB"};
        for (int s = 0; s < 4; ++s) EXPECT_EQ(std::stoll(c[5 + s]), card["decode"][speeds[s]]);
        EXPECT_NEAR(std::stod(c[9]), card["average_burst_length"].get<double>(), 0.006);
        // Every non-zero bin is a line of the report, and only those.
        for (const auto& [group, key] :
             {std::pair{10, "initial_latency"}, std::pair{11, "burst_latency"}}) {
            std::map<int, int64_t> listed;
            const std::string lines = c[group];
            const std::regex bin(R"(atency:(\d+) count:(\d+))");
            for (auto b = std::sregex_iterator(lines.begin(), lines.end(), bin);
                 b != std::sregex_iterator(); ++b)
                listed[std::stoi((*b)[1])] = std::stoll((*b)[2]);
            std::map<int, int64_t> binned;
            for (size_t i = 0; i < card[key].size(); ++i)
                if (card[key][i] != 0)
                    binned[static_cast<int>(i)] = card[key][i];
            EXPECT_EQ(listed, binned) << key << " of card " << cards;
        }
    }
    EXPECT_EQ(cards, 3);
    ASSERT_EQ(doc["cards"].size(), 3u);

    // The transaction rows add up to the per-card figures.
    std::map<std::string, std::map<std::string, int64_t>> sums;  // per card: figure -> sum
    for (const std::vector<std::string>& row : csv_rows(slurp(dir / "t.csv"))) {
        ASSERT_EQ(row.size(), 10u);
        std::map<std::string, int64_t>& s = sums[row[3]];
        s["data_phases"] += std::stoi(row[6]);
        ++s[row[8]];
        if (row[8] != "master_abort")
            ++s["claimed"];
        EXPECT_EQ(row[8] == "retry" || row[8] == "master_abort", row[7].empty());
        EXPECT_LE(std::stoll(row[0]), std::stoll(row[1]));
        EXPECT_EQ(row[2],
                  "pm" + std::to_string(std::stoi(row[3]) + 1));  // master n uses card n - 1
    }
    for (const json& card : doc["cards"]) {
        std::map<std::string, int64_t>& s = sums[std::to_string(card["card"].get<int>())];
        EXPECT_EQ(s["data_phases"], card["data_phases"]);
        EXPECT_EQ(s["claimed"], card["claimed"]);
        for (const auto& [kind, n] : card["terminations"].items()) EXPECT_EQ(s[kind], n) << kind;
    }
    const json& bus = doc["bus"];
    EXPECT_EQ(bus["cycles"], doc["run"]["cycles"]);
    EXPECT_EQ(
        bus["busy"].get<int64_t>() + bus["idle"].get<int64_t>() + bus["turnaround"].get<int64_t>(),
        bus["cycles"]);
    EXPECT_EQ(doc["rules"].size(), 11u);
}

TEST_F(DataOutputs, SeedsDeriveTrafficAndDefaultsStay) {
    const auto json_of = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"-n", "--stats-json", file("s.json")});
        const Outcome r = run(with(args));
        EXPECT_EQ(r.status, 0) << r.err;
        json doc = json::parse(slurp(dir / "s.json"));
        doc["config"].erase("arguments");
        return std::pair{r.out, doc.dump()};
    };
    const auto seed3 = json_of({"--seed=3"});
    EXPECT_TRUE(json_of({"--seed", "3"}) == seed3);
    EXPECT_NE(json_of({"--seed=4"}).first, seed3.first);
    const json doc = json::parse(seed3.second);
    EXPECT_EQ(doc["config"]["seed"], 3);
    EXPECT_NE(doc["config"]["masters"][0]["seed"], 17);
    // Without --seed: the built-in seeds, and stdout as without any long option.
    const auto plain = json_of({});
    EXPECT_EQ(plain.first, run(with({"-n"})).out);
    EXPECT_TRUE(json::parse(plain.second)["config"]["seed"].is_null());
    EXPECT_EQ(json::parse(plain.second)["config"]["masters"][0]["seed"], 17);
    EXPECT_EQ(run({"--seed=4294967295", "-m1c1", "-m2c1", "-m3c1"}).status, 0);
}

TEST_F(DataOutputs, MaxCyclesEndsTheLoop) {
    const Outcome r = run(
        {"--max-cycles", "500", "--stats-json", file("s.json"), "--transactions", file("t.csv")});
    EXPECT_EQ(r.out, "500\n");
    const json doc = json::parse(slurp(dir / "s.json"));
    EXPECT_EQ(doc["run"]["cycles"], 500);
    EXPECT_EQ(doc["run"]["closing_index"], 500);
    EXPECT_EQ(doc["run"]["stopped_by"], "iteration_limit");
    EXPECT_EQ(doc["run"]["finished"], false);
    EXPECT_EQ(doc["config"]["max_cycles"], 500);
    // The window still stops first.
    EXPECT_EQ(run({"-cr3", "-c0", "--max-cycles=100"}).out, run({"-cr3", "-c0"}).out);
}

TEST_F(DataOutputs, ErrorPaths) {
    const std::string missing = file("no/such/dir.json");
    Outcome r = run({"-n", "--stats-json", missing});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pcisim: cannot create " + missing + ": No such file or directory\n");
    r = run({"--transactions=" + missing, "-c"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    r = run({"-m1c1", "-m2c1", "-m3c1", "--stats-json", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "pcisim: cannot write /dev/full: No space left on device\n");
    for (const char* bad : {"--seed=", "--seed=-1", "--seed=4294967296", "--seed=0x10", "--seed=1 ",
                            "--max-cycles=0", "--max-cycles=2000000001", "--stats-json="}) {
        r = run({bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << bad;
    }
    r = run({"--seed"});
    EXPECT_EQ(r.err, "pcisim: option --seed needs a value\n");
    // Only whole words are long options.
    EXPECT_EQ(run({"--seeds=1"}).status, 10);
}
