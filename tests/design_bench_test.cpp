// The bench built from a design value: a design that is not the built-in one
// runs, and every master, target and card shows in every output (-n, -r,
// -g, -s, the waveform, the statistics document, the transaction file); the
// short options reach masters and targets up to the design's counts; the
// draw rules and the seeds show in the outputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/seeds.h"
#include "bench/simulation.h"
#include "outputs/design_json.h"
#include "pci/design.h"
#include "pci/random.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace {
using nlohmann::json;

// The program on design with args (after the program name).
Outcome run_on(const PCI_design& design, std::vector<std::string> args) {
    args.insert(args.begin(), "pcisim");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::ostringstream out;
    std::ostringstream err;
    const int status = run_design(design, static_cast<int>(args.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

// The rows of a CSV file (CRLF line ends, no quoted fields), header included.
std::vector<std::vector<std::string>> csv(const std::string& text) {
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
    return rows;
}

PCI_master_spec master(const char* name, int32_t transactions, int32_t reads, PCI_draw length,
                       const char* target) {
    PCI_master_spec m;
    m.name = name;
    m.transactions = transactions;
    m.reads = reads;
    m.read_length = length;
    m.write_length = length;
    m.windows.push_back({target, 0, 0x8000, 1});
    return m;
}

PCI_target_spec target(const char* name, uint32_t base, uint32_t size) {
    PCI_target_spec t;
    t.name = name;
    t.bar_base = base;
    t.bar_size = size;
    return t;
}

// Five masters on four targets, one further card, seeds derived from 5.
PCI_design five_masters() {
    PCI_design d;
    d.seed = 5;
    d.max_cycles = 200000;
    d.masters.push_back(master("cpu", 30, 70, PCI_draw::range(1, 4), "dram"));
    d.masters[0].windows.push_back({"regs", 0, 0x1000, 1});
    d.masters.push_back(master("dma", 12, 50, PCI_draw::fixed(64), "dram"));
    d.masters[1].windows[0].offset = 0x10000;
    d.masters.push_back(master("nic", 20, 40, PCI_draw::range(4, 16), "sram"));
    d.masters.push_back(master("disk", 10, 50, PCI_draw::fixed(32), "flash"));
    d.masters.push_back(master("gpu", 15, 20, PCI_draw::range(8, 64), "dram"));
    d.masters[4].windows[0].offset = 0x20000;

    PCI_target_spec dram = target("dram", 0x00000000, 0x100000);
    dram.initial_wait_read = PCI_draw::range(6, 10);
    dram.initial_wait_write = PCI_draw::range(2, 3);
    dram.initial_wait_split = true;
    dram.burst_wait_every = 64;
    dram.burst_wait = PCI_draw::fixed(1);
    dram.disconnect = PCI_disconnect_kind::at_boundary;
    d.targets.push_back(dram);
    PCI_target_spec regs = target("regs", 0x00100000, 0x1000);
    regs.decode_speed.fill(PCI_decode_speed::med);
    regs.initial_wait_read = regs.initial_wait_write = PCI_draw::range(2, 4);
    regs.disconnect = PCI_disconnect_kind::after;
    regs.disconnect_after = PCI_draw::fixed(1);
    d.targets.push_back(regs);
    PCI_target_spec flash = target("flash", 0x00200000, 0x10000);
    flash.decode_speed.fill(PCI_decode_speed::slow);
    flash.initial_wait_read = flash.initial_wait_write = PCI_draw::range(10, 30);
    d.targets.push_back(flash);
    d.targets.push_back(target("sram", 0x00300000, 0x10000));
    d.cards.push_back({"hole", 0x00400000, 0xFFF00000});
    return d;
}

class DesignBench : public PCI_scratch_folder_test {};

const std::vector<std::string> master_names = {"cpu", "dma", "nic", "disk", "gpu"};
const std::vector<std::string> target_names = {"dram", "regs", "flash", "sram"};
}  // namespace

TEST_F(DesignBench, EveryAgentShowsInEveryOutput) {
    const Outcome r =
        run_on(five_masters(), {"-n", "-r", "-g", "-s", "--stats-json", file("s.json"),
                                "--transactions", file("t.csv"), "--vcd", file("w.vcd")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // -n: every target's transfers and every master's latency, summed.
    const std::regex closing(
        "Cyc: (\\d+) t1: (\\d+) t2: (\\d+) t3: (\\d+) t4: (\\d+) Lat: m1: (\\d+) m2: (\\d+) "
        "m3: (\\d+) m4: (\\d+) m5: (\\d+) Tot: (\\d+)\n$");
    std::smatch c;
    ASSERT_TRUE(std::regex_search(r.out, c, closing)) << r.out.substr(r.out.size() - 300);
    int64_t latency_sum = 0;
    for (int i = 6; i <= 10; ++i) latency_sum += std::stoll(c[i]);
    EXPECT_EQ(latency_sum, std::stoll(c[11]));

    // -r and -g: one line a cycle with every master's pin, in master order.
    const std::regex req(
        "tb:cpu:req=\\S+  tb:dma:req=\\S+  tb:nic:req=\\S+  tb:disk:req=\\S+  "
        "tb:gpu:req=\\S+\n");
    const std::regex gnt(
        "tb:cpu:gnt=\\S+  tb:dma:gnt=\\S+  tb:nic:gnt=\\S+  tb:disk:gnt=\\S+  "
        "tb:gpu:gnt=\\S+\n");
    const auto count = [&](const std::regex& line) {
        return std::distance(std::sregex_iterator(r.out.begin(), r.out.end(), line),
                             std::sregex_iterator());
    };
    const int64_t cycles = std::stoll(c[1]);
    EXPECT_EQ(count(req), cycles);
    EXPECT_EQ(count(gnt), cycles);

    // -s: the four target windows, then the further card.
    const std::regex card("Card (\\d) Base: +([0-9a-f]+) Mask: ([0-9a-f]+) Transfers: (\\d+)\n");
    std::vector<std::string> bases;
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), card);
         it != std::sregex_iterator(); ++it)
        bases.push_back((*it)[2].str() + "/" + (*it)[3].str());
    EXPECT_EQ(bases, (std::vector<std::string>{"0/fff00000", "100000/fffff000", "200000/ffff0000",
                                               "300000/ffff0000", "400000/fff00000"}));

    // The statistics document: arrays sized by the design, names from it.
    const json doc = json::parse(slurp(dir / "s.json"));
    EXPECT_EQ(doc["version"], 2);
    ASSERT_EQ(doc["masters"].size(), 5u);
    ASSERT_EQ(doc["targets"].size(), 4u);
    ASSERT_EQ(doc["cards"].size(), 5u);
    int64_t words = 0, transfers = 0;
    double shares = 0;
    for (size_t i = 0; i < 5; ++i) {
        const json& m = doc["masters"][i];
        EXPECT_EQ(m["name"], master_names[i]);
        EXPECT_EQ(doc["config"]["masters"][i]["name"], master_names[i]);
        EXPECT_EQ(doc["config"]["design"]["masters"][i]["name"], master_names[i]);
        EXPECT_TRUE(m["done"].get<bool>()) << i;
        EXPECT_EQ(m["latency"]["total"].get<int64_t>(), std::stoll(c[6 + i]));
        EXPECT_LE(m["latency"]["p95"].get<int>(), m["latency"]["max"].get<int>());
        EXPECT_GE(m["latency"]["p95"].get<int>(), m["latency"]["min"].get<int>());
        words += m["data_words"].get<int64_t>();
        shares += m["data_share"].get<double>();
        EXPECT_NEAR(m["throughput_mb_s"].get<double>(),
                    m["data_words"].get<double>() * 4 * 33 / doc["run"]["cycles"].get<double>(),
                    1e-9);
    }
    EXPECT_NEAR(shares, 1.0, 1e-12);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(doc["targets"][i]["name"], target_names[i]);
        EXPECT_EQ(doc["cards"][i]["name"], target_names[i]);
        EXPECT_EQ(doc["targets"][i]["transfers"].get<int64_t>(), std::stoll(c[2 + i]));
        transfers += doc["targets"][i]["transfers"].get<int64_t>();
    }
    EXPECT_EQ(doc["cards"][4]["name"], "hole");
    // Bandwidth figures add up: the words the masters moved are the targets'.
    EXPECT_EQ(words, transfers);
    EXPECT_TRUE(doc["config"]["design_file"].is_null());
    EXPECT_EQ(doc["config"]["design"]["run"]["seed"], 5);
    const double jain = doc["fairness"]["jain_throughput"].get<double>();
    EXPECT_GT(jain, 0.2);
    EXPECT_LE(jain, 1.0);
    for (size_t i = 0; i < 5; ++i) {
        const PCI_source_seeds s = derived_seeds(5, static_cast<int>(i));
        EXPECT_EQ(doc["config"]["masters"][i]["seed"], s.seed);
        EXPECT_EQ(doc["config"]["masters"][i]["multiplier"], s.multiplier);
    }
    EXPECT_EQ(doc["config"]["targets"][3]["seed"], derived_seeds(5, 8).seed);
    EXPECT_EQ(doc["config"]["targets"][2]["decode_speed"], "SLOW");

    // The transaction file: every master and every target card by name.
    std::set<std::string> masters_seen, cards_seen;
    const auto rows = csv(slurp(dir / "t.csv"));
    ASSERT_GT(rows.size(), 1u);
    ASSERT_EQ(rows[0].back(), "card_name");
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 10u);
        masters_seen.insert(rows[i][2]);
        cards_seen.insert(rows[i][9]);
        EXPECT_EQ(rows[i][9], target_names.at(std::stoul(rows[i][3])));
    }
    EXPECT_EQ(masters_seen, std::set<std::string>(master_names.begin(), master_names.end()));
    EXPECT_EQ(cards_seen, std::set<std::string>(target_names.begin(), target_names.end()));

    // The waveform: a scope per master with its REQ# and GNT#.
    const std::string vcd = slurp(dir / "w.vcd");
    for (const std::string& name : master_names) {
        const std::regex scope("\\$scope module " + name +
                               " \\$end\n\\$var wire 1 \\S+ req_n \\$end\n\\$var wire 1 \\S+ "
                               "gnt_n \\$end\n\\$upscope \\$end\n");
        EXPECT_TRUE(std::regex_search(vcd, scope)) << name;
    }
}

// -m#, -d# reach masters 1 to the design's count, -t# targets 1 to it (9
// at most); a number beyond is rejected as an unknown number.
TEST(DesignOptions, UnitNumbersFollowTheDesign) {
    struct Case {
        const char* arg;     // the option
        int status;          // -1: the run goes on
        const char* output;  // what a rejected option prints
    };
    const Case cases[] = {
        {"-m5c3", -1, ""},
        {"-m6c3", 10, "Unknown Master number 6\n"},
        {"-m0c3", 10, "Unknown Master number 0\n"},
        {"-t4i3", -1, ""},
        {"-t5i3", 10, "Unknown Target number 5\n"},
        {"-d5", -1, ""},
        {"-d6", -1, ""},
    };
    for (const Case& k : cases) {
        std::ostringstream out;
        PCI_simulation simulation(five_masters(), out);
        char program[] = "pcisim";
        std::string arg = k.arg;
        char* argv[] = {program, arg.data(), nullptr};
        const std::optional<int> status = simulation.read_command_line(2, argv);
        EXPECT_EQ(status.value_or(-1), k.status) << k.arg;
        EXPECT_EQ(out.str(), k.output) << k.arg;
    }
    // Applied to the bench and to the resolved design alike.
    PCI_simulation simulation(five_masters(), std::cout);
    char program[] = "pcisim";
    char m5[] = "-m5c3", l4[] = "-m4l300", t4[] = "-t4b2", d5[] = "-d5", mtt[] = "-a20";
    char* argv[] = {program, m5, l4, t4, d5, mtt, nullptr};
    EXPECT_FALSE(simulation.read_command_line(6, argv));
    EXPECT_EQ(simulation.bench().masters[4]->transaction_count(), 3);
    EXPECT_EQ(simulation.design().masters[4].transactions, 3);
    EXPECT_EQ(simulation.design().masters[3].latency_timer, 44);
    EXPECT_EQ(simulation.bench().targets[3]->burst_threshold(), 2);
    EXPECT_EQ(simulation.design().targets[3].burst_retry_threshold, 2);
    EXPECT_EQ(simulation.bench().masters[4]->debug_flag(), 1);
    EXPECT_EQ(simulation.bench().masters[3]->debug_flag(), 0);
    EXPECT_EQ(simulation.design().arbiter.mtt, 20);
    EXPECT_EQ(simulation.bench().rotating->mtt_value(), 20);

    // One master: -m2 is beyond the count.
    PCI_design one = five_masters();
    one.masters.resize(1);
    const Outcome r = run_on(one, {"-m2c1"});
    EXPECT_EQ(r.status, 10);
    EXPECT_EQ(r.out, "Unknown Master number 2\n");
}

// --seed gives the design its seed and every agent derives from it.
TEST(DesignOptions, SeedReplacesEveryAgentsOwn) {
    std::ostringstream out;
    PCI_simulation simulation(builtin_design(), out);
    simulation.apply_seed(9);
    EXPECT_EQ(simulation.design().seed, 9u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(simulation.design().masters[i].seed.has_value());
        EXPECT_EQ(simulation.bench().master_seeds[i].seed,
                  derived_seeds(9, static_cast<int>(i)).seed);
        EXPECT_EQ(simulation.bench().target_seeds[i].multiplier,
                  derived_seeds(9, 3 + static_cast<int>(i)).multiplier);
    }
}

// A fixed length draws nothing, a range [5, 5] draws once: the addresses of
// a lone master's transactions (one per row: a target without waits or
// disconnects never stops it) come from every second, or every third,
// number of its source.
TEST_F(DesignBench, ARangeDrawsOnceAFixedNumberNever) {
    for (const bool ranged : {false, true}) {
        PCI_design d;
        d.masters.push_back(
            master("solo", 40, 100, ranged ? PCI_draw::range(5, 5) : PCI_draw::fixed(5), "mem"));
        d.masters[0].seed = 77;
        d.masters[0].multiplier = 0x1234;
        d.targets.push_back(target("mem", 0x00400000, 0x10000));
        const Outcome r = run_on(d, {"--transactions", file("t.csv")});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto rows = csv(slurp(dir / "t.csv"));
        ASSERT_EQ(rows.size(), 41u) << ranged;
        SIM_random source;
        source.set_seed(77);
        for (size_t i = 1; i < rows.size(); ++i) {
            const uint32_t address = 0x00400000u + (static_cast<uint32_t>(source.next()) & 0x7FFCu);
            source.next();  // the command
            if (ranged)
                source.next();  // the length
            char text[11];
            std::snprintf(text, sizeof text, "0x%08x", address);
            EXPECT_EQ(rows[i][5], text) << "row " << i << (ranged ? " ranged" : " fixed");
            EXPECT_EQ(rows[i][4], "Memory Read");
            EXPECT_EQ(rows[i][6], "5");
            EXPECT_EQ(rows[i][8], "completed");
        }
    }
}

// The design in the statistics document has the design file's shapes: a
// range as [lo, hi], a fixed number as a number, tables where the file has
// them, seeds left to derivation as null.
TEST(DesignJson, BuiltinDesignInTheFilesShapes) {
    PCI_design d = builtin_design();
    d.masters[2].seed.reset();
    d.targets[2].decode_speed[3] = PCI_decode_speed::sub;
    const json j = json::parse(design_json(d).dump());
    EXPECT_EQ(j["run"], (json{{"max_cycles", 100001}, {"seed", nullptr}}));
    EXPECT_EQ(j["arbiter"], (json{{"policy", "rotating"}, {"mtt", 48}, {"idle_limit", 16}}));
    const json& pm1 = j["masters"][0];
    EXPECT_EQ(pm1["read_length"], 1);
    EXPECT_EQ(pm1["write_length"], json::array({1, 7}));
    EXPECT_EQ(pm1["window"],
              json::parse(R"([{"target":"pt1","offset":0,"size":32768,"weight":1}])"));
    EXPECT_EQ(pm1["address"], "random");
    EXPECT_EQ(pm1["read_command"], "memory_read");
    EXPECT_EQ(pm1["write_command"], "memory_write");
    EXPECT_EQ(pm1["gap"], 0);
    EXPECT_EQ(pm1["latency_timer_expiry"], "immediate");
    EXPECT_EQ(pm1["seed"], 17);
    EXPECT_EQ(pm1["multiplier"], 0x5A37);
    EXPECT_EQ(j["masters"][1]["read_length"], json::array({8, 383}));
    EXPECT_TRUE(j["masters"][2]["seed"].is_null());
    const json& pt1 = j["targets"][0];
    EXPECT_EQ(pt1["bar"], (json{{"base", 0}, {"size", 0x100000}, {"prefetchable", true}}));
    EXPECT_EQ(pt1["decode_speed"], "MED");
    EXPECT_EQ(pt1["initial_wait"], json::array({0, 39}));
    EXPECT_EQ(pt1["burst_wait"], 0);
    EXPECT_EQ(pt1["disconnect"], json::parse(R"({"after":[1,10]})"));
    const json& pt2 = j["targets"][1];
    EXPECT_EQ(pt2["initial_wait"], json::parse(R"({"read":[8,12],"write":[3,4]})"));
    EXPECT_EQ(pt2["burst_wait"], json::parse(R"({"every":32,"clocks":1})"));
    EXPECT_EQ(pt2["disconnect"], json::parse(R"({"at_boundary":4096})"));
    EXPECT_EQ(pt2["decode_speed"], "FAST");
    EXPECT_EQ(j["targets"][2]["decode_speed"]["memory_write"], "SUB");
    EXPECT_EQ(j["targets"][2]["decode_speed"]["memory_read"], "FAST");
    EXPECT_EQ(j["monitor"], (json{{"cards", "targets"}, {"card", json::array()}}));
}
