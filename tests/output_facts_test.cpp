// Every output of a run checked against facts found apart from the code that
// wrote it: the statistics document against the text report, the closing
// line and the bus dump of the same run, read as text; the seeds against
// their formula worked out here; the transaction file against the monitor's
// trace, the dump and the report; the file writers on their own; the long
// options' error paths. Names and counts of masters, targets and cards come
// from the text outputs, so the checks hold for any design.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "outputs/output_file.h"
#include "outputs/transaction_log.h"
#include "support/output_text.h"
#include "support/program_run.h"

namespace {
using nlohmann::json;

// Short traffic with retries, disconnects and long bursts.
const std::vector<std::string> traffic = {"-m1c40", "-m2c30", "-m3c30"};

std::vector<std::string> with_traffic(std::vector<std::string> args) {
    args.insert(args.end(), traffic.begin(), traffic.end());
    return args;
}

class OutputFacts : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("pcisim_facts_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string file(const std::string& name) const { return (dir / name).string(); }

    std::filesystem::path dir;  // the test's scratch folder
};

// a / b, or null for b == 0.
json quotient(double a, double b) {
    return b == 0 ? json(nullptr) : json(a / b);
}

void expect_number(const json& value, const json& expected, const std::string& what) {
    if (expected.is_null()) {
        EXPECT_TRUE(value.is_null()) << what << ": " << value;
        return;
    }
    ASSERT_TRUE(value.is_number()) << what << ": " << value;
    EXPECT_NEAR(value.get<double>(), expected.get<double>(), 1e-9) << what;
}

// The 16 command names, by code.
const std::vector<std::string> command_names = {"Interrupt Acknowledge",
                                                "Special Cycle",
                                                "I/O Read",
                                                "I/O Write",
                                                "Reserved",
                                                "Reserved",
                                                "Memory Read",
                                                "Memory Write",
                                                "Reserved",
                                                "Reserved",
                                                "Configuration Read",
                                                "Configuration Write",
                                                "Memory Read Multiple",
                                                "Dual Address Cycle",
                                                "Memory Read Line",
                                                "Memory Write and Invalidate"};

// Clocks from the address phase to DEVSEL# per decode speed of the trace.
const std::map<std::string, int> decode_clocks = {{"FAST", 1}, {"MED", 2}, {"SLOW", 3}, {"SUB", 4}};
}  // namespace

// The document's figures against the report, the closing line and the dump.
TEST_F(OutputFacts, DocumentAgreesWithReportClosingLineAndDump) {
    const Outcome r =
        run_program(with_traffic({"-s", "-n", "-c", "-c5", "--stats-json", file("s.json")}));
    ASSERT_EQ(r.status, 0) << r.err;
    const json doc = json::parse(read_text(file("s.json")));
    const closing_line closing = parse_closing_line(r.out);
    const report rep = parse_report(r.out);

    // Run and closing line.
    EXPECT_EQ(doc["run"]["closing_index"], closing.index);
    EXPECT_EQ(doc["run"]["stopped_by"], "masters_done");
    EXPECT_EQ(doc["run"]["finished"], true);
    ASSERT_EQ(doc["targets"].size(), closing.transfers.size());
    ASSERT_EQ(doc["masters"].size(), closing.latency.size());
    int64_t transfers = 0, words = 0, latency = 0;
    for (size_t i = 0; i < closing.transfers.size(); ++i) {
        EXPECT_EQ(doc["targets"][i]["transfers"], closing.transfers[i]) << i;
        transfers += closing.transfers[i];
    }
    for (size_t i = 0; i < closing.latency.size(); ++i) {
        const json& m = doc["masters"][i];
        EXPECT_EQ(m["latency"]["total"], closing.latency[i]) << i;
        latency += closing.latency[i];
        words += m["data_words"].get<int64_t>();
        // The latency figures from its own histogram.
        const json& h = m["latency"]["histogram"];
        ASSERT_EQ(h.size(), 128u);
        int64_t count = 0, first = -1, last = -1;
        for (size_t bin = 0; bin < h.size(); ++bin)
            if (h[bin].get<int64_t>() > 0) {
                count += h[bin].get<int64_t>();
                first = first < 0 ? static_cast<int64_t>(bin) : first;
                last = static_cast<int64_t>(bin);
            }
        EXPECT_EQ(m["latency"]["count"], count);
        expect_number(m["latency"]["mean"], quotient(closing.latency[i], count), "mean");
        EXPECT_EQ(m["latency"]["min"], first);
        if (last < 127) {
            EXPECT_EQ(m["latency"]["max"], last);
        }
    }
    EXPECT_EQ(closing.total, latency);
    EXPECT_EQ(words, transfers);

    // The report, card by card.
    EXPECT_EQ(doc["total_transfers"], rep.total_transfers);
    ASSERT_EQ(doc["cards"].size(), rep.cards.size());
    int64_t claimed_sum = 0, phases_sum = 0;
    for (size_t c = 0; c < rep.cards.size(); ++c) {
        const report_card& card = rep.cards[c];
        const json& d = doc["cards"][c];
        SCOPED_TRACE("card " + std::to_string(c));
        EXPECT_EQ(d["card"], card.number);
        EXPECT_EQ(std::stoul(d["base"].get<std::string>(), nullptr, 16), card.base);
        EXPECT_EQ(std::stoul(d["mask"].get<std::string>(), nullptr, 16), card.mask);
        EXPECT_EQ(d["claimed"], card.transfers);
        for (const auto& [speed, n] : card.decode) EXPECT_EQ(d["decode"][speed], n) << speed;
        const int64_t phases = card.initial.sum() + card.burst.sum();
        EXPECT_EQ(d["data_phases"], phases);
        expect_number(d["average_burst_length"], quotient(phases, card.transfers), "burst length");
        for (const auto& [key, bins, size] : {std::tuple{"initial_latency", &card.initial, 33u},
                                              std::tuple{"burst_latency", &card.burst, 17u}}) {
            ASSERT_EQ(d[key].size(), size) << key;
            for (size_t bin = 0; bin < size; ++bin)
                EXPECT_EQ(d[key][bin], bins->count(static_cast<int>(bin))) << key << bin;
            expect_number(d[std::string(key) + "_average"], quotient(bins->weighted(), bins->sum()),
                          key);
        }
        // The report's own rounded averages.
        for (const auto& [printed, key] :
             {std::pair{card.initial_average, "initial_latency_average"},
              std::pair{card.burst_average, "burst_latency_average"},
              std::pair{card.burst_length, "average_burst_length"}})
            if (!d[key].is_null()) {
                EXPECT_NEAR(printed, d[key].get<double>(), 0.051 * d[key].get<double>() + 1e-9)
                    << key;
            }
        claimed_sum += card.transfers;
        phases_sum += phases;
    }
    EXPECT_EQ(claimed_sum, rep.total_transfers);
    EXPECT_EQ(phases_sum, transfers);

    // The bus against the dump: every dumped cycle classified here; the one
    // cycle the dump does not show (the last) counts in one class.
    const std::vector<dump_line> dump = parse_dump(r.out);
    int64_t busy = 0, idle = 0, turnaround = 0;
    bool was_busy = false;
    for (const dump_line& line : dump) {
        const auto low = [&](const char* wire) {
            const std::string& v = line.fields.at(wire);
            return v == "0" || v == "L";
        };
        const bool now = low("FRAME") || low("IRDY");
        (now ? busy : was_busy ? turnaround : idle)++;
        was_busy = now;
    }
    const json& bus = doc["bus"];
    const int64_t cycles = bus["cycles"];
    EXPECT_EQ(cycles, doc["run"]["cycles"]);
    EXPECT_EQ(cycles, closing.index + 1);
    ASSERT_EQ(static_cast<int64_t>(dump.size()), cycles - 1);
    const int64_t extra_busy = bus["busy"].get<int64_t>() - busy;
    const int64_t extra_idle = bus["idle"].get<int64_t>() - idle;
    const int64_t extra_turn = bus["turnaround"].get<int64_t>() - turnaround;
    EXPECT_EQ(extra_busy + extra_idle + extra_turn, 1);
    EXPECT_TRUE(extra_busy == 1 || (was_busy ? extra_turn == 1 : extra_idle == 1));
    for (const char* key : {"busy", "idle", "turnaround"})
        expect_number(bus[std::string(key) + "_share"],
                      quotient(bus[key].get<double>(), static_cast<double>(cycles)), key);
    EXPECT_GT(busy, 0);
    EXPECT_GT(turnaround, 0);
    EXPECT_GT(idle, 0);
}

// splitmix64 as the README gives it, worked out here.
TEST_F(OutputFacts, SeedsFollowTheFormula) {
    const auto mix = [](uint64_t z) {
        z ^= z >> 30;
        z *= 0xBF58476D1CE4E5B9u;
        z ^= z >> 27;
        z *= 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    };
    std::set<std::string> closings;
    for (const uint64_t n : {0ull, 3ull, 4294967295ull}) {
        const Outcome r = run_program(
            with_traffic({"-n", "--seed=" + std::to_string(n), "--stats-json", file("s.json")}));
        ASSERT_EQ(r.status, 0) << r.err;
        closings.insert(r.out);
        const json config = json::parse(read_text(file("s.json")))["config"];
        EXPECT_EQ(config["seed"], n);
        std::vector<json> units;
        for (const json& m : config["masters"]) units.push_back(m);
        for (const json& t : config["targets"]) units.push_back(t);
        ASSERT_GE(units.size(), 2u);
        for (size_t u = 0; u < units.size(); ++u) {
            const uint64_t z = mix(n + (u + 1) * 0x9E3779B97F4A7C15u);
            EXPECT_EQ(units[u]["seed"], z & 0x7FFFFFFF) << "unit " << u << " seed " << n;
            EXPECT_EQ(units[u]["multiplier"], (z >> 32) & 0xFFFF) << "unit " << u << " seed " << n;
        }
    }
    EXPECT_EQ(closings.size(), 3u) << "another seed, other traffic";
    // Without --seed the run is the one without any long option.
    const Outcome plain = run_program(with_traffic({"-n", "--stats-json", file("s.json")}));
    EXPECT_EQ(plain.out, run_program(with_traffic({"-n"})).out);
    EXPECT_TRUE(json::parse(read_text(file("s.json")))["config"]["seed"].is_null());
}

// Each row of the transaction file against the trace, the dump, the GNT#
// lines and the report of the same run.
TEST_F(OutputFacts, TransactionsAgreeWithTraceDumpAndReport) {
    const Outcome r = run_program(
        with_traffic({"-s", "-dm", "-c", "-c5", "-g", "--transactions", file("t.csv")}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::vector<std::string>> rows = parse_csv(read_text(file("t.csv")));
    ASSERT_GT(rows.size(), 10u);
    const std::vector<std::string> columns = {"start_cycle", "end_cycle",    "master",
                                              "card",        "command",      "address",
                                              "data_phases", "initial_wait", "termination"};
    ASSERT_GE(rows[0].size(), columns.size());
    EXPECT_EQ(std::vector<std::string>(rows[0].begin(), rows[0].begin() + 9), columns);
    std::map<std::string, std::set<std::string>> card_names;  // card -> names in its rows
    const report rep = parse_report(r.out);
    const std::vector<dump_line> dump = parse_dump(r.out);
    std::map<int64_t, const dump_line*> at;
    for (const dump_line& line : dump) at[line.cycle] = &line;
    const std::vector<traced_transaction> trace = parse_trace(r.out);
    ASSERT_EQ(trace.size(), rows.size() - 1);

    std::vector<histogram> initial(rep.cards.size()), burst(rep.cards.size());
    std::vector<int64_t> claimed(rep.cards.size()), phases(rep.cards.size());
    const std::regex address_form("0x[0-9a-f]{8}");
    int64_t last_end = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        const std::vector<std::string>& row = rows[i];
        const traced_transaction& t = trace[i - 1];
        SCOPED_TRACE("row " + std::to_string(i));
        ASSERT_EQ(row.size(), rows[0].size());
        if (row.size() > 9)
            card_names[row[3]].insert(row[9]);
        const int64_t start = std::stoll(row[0]);
        const int64_t end = std::stoll(row[1]);
        EXPECT_GE(end, last_end) << "rows in the order they ended";
        EXPECT_GT(end, start);
        last_end = end;
        // Columns by meaning.
        const auto code = std::find(command_names.begin(), command_names.end(), row[4]);
        ASSERT_NE(code, command_names.end()) << row[4];
        ASSERT_TRUE(std::regex_match(row[5], address_form)) << row[5];
        const uint32_t address = static_cast<uint32_t>(std::stoul(row[5], nullptr, 16));
        // The address phase as the dump shows it.
        ASSERT_TRUE(at.count(start)) << start;
        const dump_line& phase = *at[start];
        EXPECT_EQ(phase.fields.at("FRAME"), "0");
        EXPECT_EQ(std::stoul(phase.fields.at("AD"), nullptr, 16), address);
        EXPECT_EQ(std::stol(phase.fields.at("CBE"), nullptr, 16), code - command_names.begin());
        // The master is the one granted in the cycle before.
        ASSERT_TRUE(at.count(start - 1));
        const std::map<std::string, std::string>& gnt = at[start - 1]->grants;
        ASSERT_FALSE(gnt.empty());
        EXPECT_EQ(gnt.at(row[2]), "0") << row[2];
        // The trace of the same transaction.
        EXPECT_EQ(t.command, row[4]);
        EXPECT_EQ(t.address, address);
        EXPECT_EQ(std::stoll(row[6]), static_cast<int64_t>(t.transfers.size()));
        if (t.transfers.empty()) {
            EXPECT_EQ(row[7], "");
        } else {
            ASSERT_NE(row[7], "");
            EXPECT_EQ(std::stoll(row[7]), t.transfers[0] - decode_clocks.at(t.decode));
        }
        if (t.stop == "w/data")
            EXPECT_EQ(row[8], "disconnect_with_data");
        else if (t.stop == "w/o data")
            EXPECT_EQ(row[8], t.transfers.empty() ? "retry" : "disconnect_without_data");
        else
            EXPECT_EQ(row[8], "completed");
        // The card the address belongs to.
        const size_t card = std::stoul(row[3]);
        ASSERT_LT(card, rep.cards.size());
        EXPECT_EQ(address & rep.cards[card].mask, rep.cards[card].base) << row[5];
        ++claimed[card];
        phases[card] += std::stoll(row[6]);
        if (!t.transfers.empty())
            initial[card].add(static_cast<int>(std::stoll(row[7])));
        for (size_t k = 1; k < t.transfers.size(); ++k)
            burst[card].add(static_cast<int>(t.transfers[k] - t.transfers[k - 1]));
    }
    for (const auto& [card, names] : card_names) EXPECT_EQ(names.size(), 1u) << "card " << card;
    for (size_t c = 0; c < rep.cards.size(); ++c) {
        SCOPED_TRACE("card " + std::to_string(c));
        EXPECT_EQ(claimed[c], rep.cards[c].transfers);
        EXPECT_EQ(phases[c], rep.cards[c].initial.sum() + rep.cards[c].burst.sum());
        EXPECT_EQ(initial[c].bins, rep.cards[c].initial.bins);
        EXPECT_EQ(burst[c].bins, rep.cards[c].burst.bins);
    }
}

// A stop in the middle of a transaction: an unfinished row, counted as such.
TEST_F(OutputFacts, StopInTheMiddleGivesAnUnfinishedRow) {
    ASSERT_EQ(run_program(with_traffic({"--transactions", file("full.csv")})).status, 0);
    const std::vector<std::vector<std::string>> full = parse_csv(read_text(file("full.csv")));
    auto longest = std::max_element(full.begin() + 1, full.end(), [](const auto& a, const auto& b) {
        return std::stoll(a[1]) - std::stoll(a[0]) < std::stoll(b[1]) - std::stoll(b[0]);
    });
    const int64_t start = std::stoll((*longest)[0]);
    ASSERT_GT(std::stoll((*longest)[1]) - start, 4);
    const Outcome r =
        run_program(with_traffic({"--max-cycles", std::to_string(start + 2), "--transactions",
                                  file("t.csv"), "--stats-json", file("s.json")}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::vector<std::string>> rows = parse_csv(read_text(file("t.csv")));
    std::vector<std::string> expected = {
        (*longest)[0], "", (*longest)[2], (*longest)[3], (*longest)[4], (*longest)[5],
        "0",           "", "unfinished"};
    expected.insert(expected.end(), longest->begin() + 9, longest->end());  // the card's name
    const std::vector<std::string>& last = rows.back();
    EXPECT_EQ(last, expected);
    for (size_t i = 1; i + 1 < rows.size(); ++i) EXPECT_EQ(rows[i], full[i]) << i;
    const json doc = json::parse(read_text(file("s.json")));
    EXPECT_EQ(doc["run"]["stopped_by"], "iteration_limit");
    int64_t unfinished = 0;
    for (const json& card : doc["cards"])
        unfinished += card["terminations"]["unfinished"].get<int64_t>();
    EXPECT_EQ(unfinished, 1);
    EXPECT_EQ(doc["cards"][std::stoi(last[3])]["terminations"]["unfinished"], 1);
}

// The writer quotes a field with a comma, a quote or a line break.
TEST_F(OutputFacts, TransactionFileQuotesByRfc4180) {
    PCI_transaction_log log(file("q.csv"), {"plain", "a,b", "say \"hi\"", "two\nlines"},
                            {"mem", "io, \"low\"", "c2", "c3"});
    ASSERT_EQ(log.open(), "");
    for (int master = 0; master < 4; ++master) {
        PCI_transaction_record record;
        record.start = 10 * master;
        record.end = 10 * master + 3;
        record.master = master;
        record.card = master;
        record.command = 7;
        record.address = 0x00100004u + static_cast<uint32_t>(master);
        record.data_phases = 2;
        record.initial_wait = 1;
        log.write(record);
    }
    ASSERT_EQ(log.close(), "");
    EXPECT_EQ(read_text(file("q.csv")),
              std::string(PCI_transaction_log::header) + "\r\n" +
                  "0,3,plain,0,Memory Write,0x00100004,2,1,completed,mem\r\n"
                  "10,13,\"a,b\",1,Memory Write,0x00100005,2,1,completed,\"io, \"\"low\"\"\"\r\n"
                  "20,23,\"say \"\"hi\"\"\",2,Memory Write,0x00100006,2,1,completed,c2\r\n"
                  "30,33,\"two\nlines\",3,Memory Write,0x00100007,2,1,completed,c3\r\n");
    EXPECT_EQ(parse_csv(read_text(file("q.csv"))).at(3).at(2), "say \"hi\"");
    EXPECT_EQ(parse_csv(read_text(file("q.csv"))).at(2).at(9), "io, \"low\"");
}

// The file writer names the reason of the call that failed.
TEST_F(OutputFacts, OutputFileReportsTheFailingCallsReason) {
    {
        PCI_output_file full("/dev/full");
        ASSERT_EQ(full.open(), "");
        full.stream() << std::string(200000, 'x');
        errno = EACCES;  // what later calls may leave behind
        EXPECT_EQ(full.close(), "cannot write /dev/full: No space left on device");
    }
    {
        PCI_output_file small("/dev/full");
        ASSERT_EQ(small.open(), "");
        small.stream() << "short";
        errno = 0;
        EXPECT_EQ(small.close(), "cannot write /dev/full: No space left on device");
    }
    std::ofstream(file("plain")) << "x";
    const std::map<std::string, std::string> create_errors = {
        {dir.string(), "Is a directory"},
        {file("plain") + "/x", "Not a directory"},
        {file("missing/x"), "No such file or directory"}};
    for (const auto& [path, reason] : create_errors) {
        PCI_output_file bad(path);
        EXPECT_EQ(bad.open(), "cannot create " + path + ": " + reason);
        EXPECT_EQ(bad.close(), "");
    }
    PCI_output_file good(file("good"));
    ASSERT_EQ(good.open(), "");
    good.stream() << std::string(100000, 'y') << "end";
    errno = EIO;
    EXPECT_EQ(good.close(), "");
    EXPECT_EQ(read_text(file("good")), std::string(100000, 'y') + "end");
}

// Every long option that names a file, on every way it can fail.
TEST_F(OutputFacts, FileOptionsErrorPaths) {
    std::ofstream(file("plain")) << "x";
    const std::vector<std::string> quick = {"-m1c2", "-m2c2", "-m3c2"};
    const std::string normal = run_program(quick).out;
    for (const std::string option : {"vcd", "transactions", "stats-json"}) {
        SCOPED_TRACE(option);
        const std::string name = "--" + option;
        struct failing {
            std::vector<std::string> args;  // after the short run's options
            std::string err;                // the one line expected on stderr
            bool output;                    // the run's usual stdout comes first
        };
        const std::vector<failing> cases = {
            {{name + "="}, "pcisim: option " + name + ": needs a file name\n", false},
            {{name, ""}, "pcisim: option " + name + ": needs a file name\n", false},
            {{name}, "pcisim: option " + name + " needs a value\n", false},
            {{name, dir.string()},
             "pcisim: cannot create " + dir.string() + ": Is a directory\n",
             false},
            {{name + "=" + file("plain") + "/f"},
             "pcisim: cannot create " + file("plain") + "/f: Not a directory\n",
             false},
            {{name, "/dev/full"},
             "pcisim: cannot write /dev/full: No space left on device\n",
             true},
        };
        for (const failing& c : cases) {
            std::vector<std::string> args = quick;
            args.insert(args.end(), c.args.begin(), c.args.end());
            const Outcome r = run_program(args);
            EXPECT_EQ(r.status, 1) << c.err;
            EXPECT_EQ(r.err, c.err);
            EXPECT_EQ(r.out, c.output ? normal : "") << c.err;
        }
    }
}

namespace {
// A VCD file as written: its variables and every value change in order.
struct vcd_variable {
    std::string name;     // dotted with the scopes, e.g. "tb.pb.ad"
    int width = 0;        // declared width
    std::string range;    // "[31:0]" or empty
    std::string last;     // the last value, extended to the width
    int64_t changes = 0;  // values written
};

struct vcd_file {
    std::map<std::string, vcd_variable> vars;  // identifier -> variable
    std::vector<int64_t> times;                // every "#time" in order
};

vcd_file read_vcd(const std::string& text) {
    vcd_file f;
    std::istringstream in(text);
    std::vector<std::string> scope;
    std::string word;
    bool header = true;
    const auto change = [&](const std::string& id, std::string value) {
        ASSERT_TRUE(f.vars.count(id)) << "undeclared " << id;
        vcd_variable& v = f.vars[id];
        ASSERT_LE(static_cast<int>(value.size()), v.width) << v.name << " " << value;
        if (static_cast<int>(value.size()) < v.width)
            value.insert(0, static_cast<size_t>(v.width) - value.size(),
                         value[0] == '1' ? '0' : value[0]);
        EXPECT_NE(value, v.last) << v.name << " repeats its value at #" << f.times.back();
        v.last = value;
        ++v.changes;
    };
    while (in >> word) {
        if (word == "$scope") {
            in >> word >> word;
            scope.push_back(word);
            in >> word;  // $end
        } else if (word == "$upscope") {
            scope.pop_back();
            in >> word;
        } else if (word == "$var") {
            vcd_variable v;
            std::string type, id, end;
            in >> type >> v.width >> id >> v.name >> end;
            if (end != "$end") {
                v.range = end;
                in >> end;
            }
            for (auto it = scope.rbegin(); it != scope.rend(); ++it) v.name = *it + "." + v.name;
            EXPECT_EQ(type, "wire") << v.name;
            EXPECT_FALSE(f.vars.count(id)) << "identifier " << id << " declared twice";
            f.vars[id] = v;
        } else if (word == "$enddefinitions") {
            header = false;
            in >> word;
        } else if (header || word == "$dumpvars" || word == "$end") {
            continue;
        } else if (word[0] == '#') {
            const int64_t time = std::stoll(word.substr(1));
            EXPECT_TRUE(f.times.empty() || time > f.times.back()) << word;
            f.times.push_back(time);
        } else if (word[0] == 'b') {
            std::string id;
            in >> id;
            EXPECT_GT(f.vars[id].width, 1) << "vector value of a scalar";
            change(id, word.substr(1));
        } else {
            EXPECT_EQ(f.vars[word.substr(1)].width, 1) << "scalar value of a vector";
            change(word.substr(1), word.substr(0, 1));
        }
    }
    return f;
}
}  // namespace

// The header against the wires the text outputs show, and only changes.
TEST_F(OutputFacts, WaveformDeclaresRealWidthsAndWritesOnlyChanges) {
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, {"--vcd-levels=6"}, {"--vcd-split"}}) {
        SCOPED_TRACE(extra.empty() ? "" : extra[0]);
        std::vector<std::string> args = {"-m1c3", "-m2c3", "-m3c3",      "-c",
                                         "-g",    "--vcd", file("w.vcd")};
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome r = run_program(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const vcd_file vcd = read_vcd(read_text(file("w.vcd")));
        const std::vector<dump_line> dump = parse_dump(r.out);
        ASSERT_FALSE(dump.empty());
        // Widths as the dump prints them: four bits a hex digit.
        std::map<std::string, int> expected;
        const bool split = !extra.empty() && extra[0] == "--vcd-split";
        for (const auto& [key, value] : dump[0].fields) {
            std::string name = key == "CBE" ? "cbe" : key;
            for (char& c : name) c = static_cast<char>(std::tolower(c));
            name = "tb.pb." + name + (key == "AD" || key == "PAR" ? "" : "_n");
            const int bits = key == "AD" || key == "CBE" ? 4 * static_cast<int>(value.size()) : 1;
            if (split && bits > 1)
                for (int b = 0; b < bits; ++b) expected[name + std::to_string(b)] = 1;
            else
                expected[name] = bits;
        }
        for (const auto& [master, level] : dump[0].grants) {
            expected[std::string("tb.").append(master).append(".gnt_n")] = 1;
            expected[std::string("tb.").append(master).append(".req_n")] = 1;
        }
        expected["tb.clk"] = 1;
        expected["tb.pb.lock_n"] = 1;
        std::map<std::string, int> declared;
        for (const auto& [id, v] : vcd.vars) {
            declared[v.name] = v.width;
            const std::string range =
                v.width > 1 ? std::string("[").append(std::to_string(v.width - 1)).append(":0]")
                            : std::string();
            EXPECT_EQ(v.range, range) << v.name;
            EXPECT_GE(v.changes, 1) << v.name << " has no value at time 0";
        }
        EXPECT_EQ(declared, expected);
        // One cycle is 30 ns, the clock falls half-way.
        EXPECT_EQ(vcd.times.front(), 0);
        EXPECT_EQ(vcd.times.back() % 30, 15);
        EXPECT_EQ(vcd.times.back() / 30, static_cast<int64_t>(dump.size()) + 1);
    }
}

// A short run's waveform, byte for byte (the version line aside).
TEST_F(OutputFacts, ShortRunWaveformIsTheGolden) {
    const std::string golden = std::string(PCISIM_SOURCE_DIR) + "/tests/data/short_run.vcd";
    const Outcome r = run_program({"-m1c1", "-m2c1", "-m3c1", "--vcd", file("w.vcd")});
    ASSERT_EQ(r.status, 0) << r.err;
    if (std::getenv("PCISIM_REGENERATE_GOLDEN") != nullptr)
        std::filesystem::copy_file(file("w.vcd"), golden,
                                   std::filesystem::copy_options::overwrite_existing);
    const std::string written = read_text(file("w.vcd")), expected = read_text(golden);
    ASSERT_FALSE(expected.empty()) << golden;
    const std::vector<std::string> a = text_lines(written), b = text_lines(expected);
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a[0].rfind("$version pcisim ", 0) == 0 && b[0].rfind("$version pcisim ", 0) == 0)
        << a[0];
    EXPECT_EQ(a.size(), b.size());
    for (size_t i = 1; i < std::min(a.size(), b.size()); ++i)
        ASSERT_EQ(a[i], b[i]) << "line " << i + 1;
    EXPECT_EQ(written.size() - a[0].size(), expected.size() - b[0].size());
}
