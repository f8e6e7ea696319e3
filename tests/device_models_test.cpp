// The device behaviours a design can ask of its masters, read from the
// outputs: sequential addresses, think time, weighted windows, read and
// write commands, wide random windows, the master's own wait states, the
// fixed-priority arbiter, the Latency Timer rule on the wires, and the
// bandwidth and fairness figures.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/simulation.h"
#include "outputs/stats_json.h"
#include "pci/design.h"
#include "pci/random.h"
#include "support/scratch_folder.h"

namespace {
using nlohmann::json;

// The rows of a CSV file (CRLF line ends, no quoted fields), header dropped.
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
    if (!rows.empty())
        rows.erase(rows.begin());
    return rows;
}

// Columns of the transaction file.
enum column { start_cycle, end_cycle, master_name, card, command, address, phases, wait, end_kind };

PCI_master_spec master(const char* name, int32_t transactions, int32_t reads, PCI_draw length,
                       const char* target, uint32_t size = 0x8000) {
    PCI_master_spec m;
    m.name = name;
    m.transactions = transactions;
    m.reads = reads;
    m.read_length = length;
    m.write_length = length;
    m.windows.push_back({target, 0, size, 1});
    return m;
}

// A target that never waits and never disconnects (but at its window's end).
PCI_target_spec plain_target(const char* name, uint32_t base, uint32_t size = 0x10000) {
    PCI_target_spec t;
    t.name = name;
    t.bar_base = base;
    t.bar_size = size;
    return t;
}

std::string hex(uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

class DeviceModels : public PCI_scratch_folder_test {
  protected:
    // Runs design with the data outputs; returns the transaction rows and
    // reads the statistics document into doc.
    std::vector<std::vector<std::string>> run(const PCI_design& design) {
        const std::string t = (dir / "t.csv").string(), s = (dir / "s.json").string();
        std::vector<std::string> args = {"pcisim", "--transactions", t, "--stats-json", s};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::ostringstream out, err;
        EXPECT_EQ(run_design(design, static_cast<int>(args.size()), argv.data(), out, err), 0)
            << err.str();
        doc = json::parse(slurp(s));
        return csv(slurp(t));
    }

    json doc;  // the last run's statistics document
};
}  // namespace

// Each transaction starts where the one before ended (start + length x 4),
// and the window's end wraps to its start; no number is drawn for it.
TEST_F(DeviceModels, SequentialAddressesFollowEachOther) {
    PCI_design d;
    d.masters.push_back(master("dma", 150, 50, PCI_draw::fixed(16), "mem", 0x1000));
    d.masters[0].address = PCI_address_mode::sequential;
    d.masters[0].windows[0].offset = 0x2000;
    d.targets.push_back(plain_target("mem", 0x00400000));
    const auto rows = run(d);
    ASSERT_EQ(rows.size(), 150u);
    for (size_t i = 0; i < rows.size(); ++i) {
        const uint32_t expected = 0x00402000u + static_cast<uint32_t>((i * 64) % 0x1000);
        EXPECT_EQ(rows[i][address], hex(expected)) << i;
        EXPECT_EQ(rows[i][phases], "16");
    }
}

// A random window larger than 32 KiB takes two draws, the first giving the
// high bits; then the command.
TEST_F(DeviceModels, WideRandomWindowDrawsTwice) {
    PCI_design d;
    d.masters.push_back(master("cpu", 30, 100, PCI_draw::fixed(1), "mem", 0x40000));
    d.masters[0].seed = 3;
    d.targets.push_back(plain_target("mem", 0x00800000, 0x40000));
    const auto rows = run(d);
    ASSERT_EQ(rows.size(), 30u);
    SIM_random source;
    source.set_seed(3);
    bool above_32k = false;
    for (const auto& row : rows) {
        const uint32_t high = static_cast<uint32_t>(source.next());
        const uint32_t low = static_cast<uint32_t>(source.next());
        source.next();  // the command
        const uint32_t offset = ((high << 15) | low) & 0x3FFFCu;
        above_32k = above_32k || offset >= 0x8000;
        EXPECT_EQ(row[address], hex(0x00800000u + offset));
    }
    EXPECT_TRUE(above_32k);
}

// A think time shows as idle clocks between a master's transactions: a lone
// master's next address phase comes at least gap clocks after its last
// data phase, and never that late without one.
TEST_F(DeviceModels, GapShowsAsIdleCycles) {
    for (const int gap : {0, 40}) {
        PCI_design d;
        d.masters.push_back(master("nic", 30, 50, PCI_draw::fixed(4), "mem"));
        d.masters[0].gap = PCI_draw::fixed(gap);
        d.targets.push_back(plain_target("mem", 0x00400000));
        const auto rows = run(d);
        ASSERT_EQ(rows.size(), 30u);
        for (size_t i = 1; i < rows.size(); ++i) {
            const int64_t idle =
                std::stoll(rows[i][start_cycle]) - std::stoll(rows[i - 1][end_cycle]);
            if (gap > 0) {
                EXPECT_GE(idle, gap) << i;
            } else {
                EXPECT_LT(idle, 5) << i;
            }
        }
        if (gap > 0) {
            EXPECT_GE(doc["bus"]["idle"].get<int64_t>(), 29 * gap);
        }
    }
}

// One draw picks a window by weight: over 4000 transactions the shares of
// the cards stay within five standard deviations of the weights.
TEST_F(DeviceModels, WeightedWindowsFollowTheirWeights) {
    PCI_design d;
    d.masters.push_back(master("cpu", 4000, 50, PCI_draw::fixed(1), "dram"));
    d.masters[0].windows[0].weight = 6;
    d.masters[0].windows.push_back({"regs", 0, 0x1000, 3});
    d.masters[0].windows.push_back({"flash", 0x100, 0x100, 1});
    d.targets.push_back(plain_target("dram", 0x00000000, 0x100000));
    d.targets.push_back(plain_target("regs", 0x00100000, 0x1000));
    d.targets.push_back(plain_target("flash", 0x00200000, 0x10000));
    const auto rows = run(d);
    ASSERT_EQ(rows.size(), 4000u);
    std::map<std::string, int> per_card;
    for (const auto& row : rows) {
        ++per_card[row[card]];
        if (row[card] == "2") {
            const uint32_t a = static_cast<uint32_t>(std::stoul(row[address], nullptr, 16));
            EXPECT_GE(a, 0x00200100u);
            EXPECT_LT(a, 0x00200200u);
        }
    }
    const double n = 4000, weights[3] = {0.6, 0.3, 0.1};
    for (int c = 0; c < 3; ++c) {
        const double expected = n * weights[c];
        const double sigma = std::sqrt(n * weights[c] * (1 - weights[c]));
        EXPECT_NEAR(per_card[std::to_string(c)], expected, 5 * sigma) << c;
    }
}

// The configured commands are on the bus, named in the transaction file and
// claimed by the memory target.
TEST_F(DeviceModels, ReadAndWriteCommandsAsConfigured) {
    PCI_design d;
    d.masters.push_back(master("dma", 40, 50, PCI_draw::fixed(8), "mem"));
    d.masters[0].read_command = CMD_MEMORY_READ_MULTIPLE;
    d.masters[0].write_command = CMD_MEMORY_WRITE_INVALIDATE;
    d.masters.push_back(master("cpu", 40, 100, PCI_draw::fixed(8), "mem"));
    d.masters[1].read_command = CMD_MEMORY_READ_LINE;
    d.masters[1].windows[0].offset = 0x8000;
    d.targets.push_back(plain_target("mem", 0x00400000));
    const auto rows = run(d);
    std::map<std::string, std::map<std::string, int>> commands;  // master -> command -> count
    for (const auto& row : rows) {
        ++commands[row[master_name]][row[command]];
        EXPECT_NE(row[end_kind], "master_abort");
    }
    EXPECT_GT(commands["dma"]["Memory Read Multiple"], 0);
    EXPECT_GT(commands["dma"]["Memory Write and Invalidate"], 0);
    EXPECT_EQ(commands["dma"].size(), 2u);
    EXPECT_EQ(commands["cpu"]["Memory Read Line"], 40);
    EXPECT_EQ(commands["cpu"].size(), 1u);
    // The document counts them too.
    EXPECT_EQ(doc["masters"][1]["commands"], (json{{"Memory Read Line", 40}}));
    EXPECT_EQ(doc["masters"][0]["commands"]["Memory Read Multiple"].get<int>(),
              commands["dma"]["Memory Read Multiple"]);
}

// The master's own wait states stretch its bursts: each later data phase
// waits burst_wait clocks more.
TEST_F(DeviceModels, MasterWaitStatesStretchBursts) {
    int64_t durations[2] = {0, 0};
    for (const int waits : {0, 1}) {
        PCI_design d;
        d.masters.push_back(master("dma", 20, 0, PCI_draw::fixed(8), "mem"));
        d.masters[0].burst_wait = PCI_draw::fixed(2 * waits);
        d.masters[0].initial_wait = PCI_draw::fixed(2 * waits);
        d.targets.push_back(plain_target("mem", 0x00400000));
        const auto rows = run(d);
        ASSERT_EQ(rows.size(), 20u);
        for (const auto& row : rows) {
            EXPECT_EQ(row[phases], "8");
            durations[waits] += std::stoll(row[end_cycle]) - std::stoll(row[start_cycle]);
        }
    }
    // Seven later data phases of 20 transactions, two clocks each at least.
    EXPECT_GE(durations[1] - durations[0], 20 * 7 * 2);
}

// Under saturation the fixed-priority arbiter serves master 1 first: its
// mean latency is the lowest; the rotating arbiter favours none that much.
TEST_F(DeviceModels, FixedPriorityFavoursTheFirstMaster) {
    PCI_design d;
    d.max_cycles = 2000000;
    d.arbiter.policy = PCI_arbiter_policy::fixed;
    for (const char* name : {"m1", "m2", "m3"}) {
        d.masters.push_back(master(name, 150, 50, PCI_draw::fixed(16), "mem"));
        d.masters.back().latency_timer = 16;
    }
    d.masters[1].windows[0].offset = 0x8000;
    d.targets.push_back(plain_target("mem", 0x00400000));
    run(d);
    const auto mean = [&](int i) { return doc["masters"][i]["latency"]["mean"].get<double>(); };
    EXPECT_LT(mean(0), mean(1));
    EXPECT_LT(mean(0), mean(2));
    EXPECT_LT(mean(0) * 2, mean(2));
    EXPECT_EQ(doc["config"]["design"]["arbiter"]["policy"], "fixed");
}

namespace {
// Watches FRAME#, IRDY#, TRDY# and STOP# after every clock and counts the
// clocks where FRAME# went high although the data phase of the clock before
// (IRDY# low) had completed neither with TRDY# nor with STOP#.
class FrameWatch : public SIM_observer {
  public:
    explicit FrameWatch(const PCI_bus& bus) : bus_(bus) {}
    void on_cycle(const SIM_cycle_info&) override {
        const bool frame = bus_.frame.is_low(), irdy = bus_.irdy.is_low();
        const bool done = bus_.trdy.is_low() || bus_.stop.is_low();
        if (frame_ && irdy_ && !done_ && !frame)
            ++violations;
        if (frame_ && !frame)
            ++frame_ends;
        frame_ = frame;
        irdy_ = irdy;
        done_ = done;
    }
    std::string on_finish() override { return {}; }

    int64_t violations = 0;  // FRAME# released in an open data phase
    int64_t frame_ends = 0;  // FRAME# released at all

  private:
    const PCI_bus& bus_;  // the wires watched
    bool frame_ = false;  // FRAME# low in the clock before
    bool irdy_ = false;   // IRDY# low in the clock before
    bool done_ = false;   // TRDY# or STOP# low in the clock before
};
}  // namespace

// With "after_data_phase" no master lets FRAME# go while its data phase is
// held by the target's wait states; "immediate" does, which is why the
// check can fail.
TEST(LatencyTimerExpiry, AfterDataPhaseKeepsFrameUntilTheDataPhaseCompletes) {
    int64_t violations[2] = {0, 0};
    for (const bool after : {false, true}) {
        PCI_design d;
        d.max_cycles = 300000;
        d.arbiter.mtt = 4;
        for (const char* name : {"m1", "m2", "m3"}) {
            d.masters.push_back(master(name, 300, 50, PCI_draw::range(8, 64), "mem"));
            d.masters.back().latency_timer = 6;
            if (after)
                d.masters.back().latency_timer_expiry = PCI_timer_expiry::after_data_phase;
        }
        d.masters[1].windows[0].offset = 0x8000;
        d.masters[2].windows[0].offset = 0x10000;
        PCI_target_spec mem = plain_target("mem", 0x00400000, 0x20000);
        mem.initial_wait_read = mem.initial_wait_write = PCI_draw::range(0, 6);
        mem.burst_wait = PCI_draw::range(0, 3);
        d.targets.push_back(mem);
        std::ostringstream out;
        PCI_simulation simulation(d, out);
        auto watch = std::make_unique<FrameWatch>(simulation.bench().pb);
        FrameWatch& w = *watch;
        simulation.add_observer(std::move(watch));
        simulation.run();
        EXPECT_TRUE(simulation.bench().all_done()) << after;
        EXPECT_GT(w.frame_ends, 1000) << after;
        violations[after ? 1 : 0] = w.violations;
    }
    EXPECT_GT(violations[0], 0);
    EXPECT_EQ(violations[1], 0);
}

// Jain's index is 1 for equal shares and 1/n when one master has it all;
// throughput is 4 bytes a data phase at 33 MHz; the 95th percentile is the
// nearest rank.
TEST(BandwidthFigures, FairnessThroughputAndPercentile) {
    EXPECT_DOUBLE_EQ(jain_index({7, 7, 7}).value(), 1.0);
    EXPECT_DOUBLE_EQ(jain_index({5, 0, 0, 0}).value(), 0.25);
    EXPECT_DOUBLE_EQ(jain_index({1, 3}).value(), 16.0 / 20.0);
    EXPECT_FALSE(jain_index({0, 0}).has_value());
    EXPECT_FALSE(jain_index({}).has_value());
    EXPECT_DOUBLE_EQ(throughput_mb_s(1000, 1000).value(), 132.0);
    EXPECT_DOUBLE_EQ(throughput_mb_s(250, 1000).value(), 33.0);
    EXPECT_FALSE(throughput_mb_s(5, 0).has_value());
    std::vector<int32_t> values;
    for (int i = 100; i >= 1; --i) values.push_back(i);
    EXPECT_EQ(percentile(values, 95).value(), 95);
    EXPECT_EQ(percentile({4}, 95).value(), 4);
    EXPECT_EQ(
        percentile({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, 95)
            .value(),
        19);
    EXPECT_FALSE(percentile({}, 95).has_value());
}

// Identical masters on identical targets share the bus fairly; in the
// document the shares add up to 1 and the index is near 1.
TEST_F(DeviceModels, IdenticalMastersAreFair) {
    PCI_design d;
    d.max_cycles = 2000000;
    for (const char* name : {"a", "b", "c", "e"}) {
        d.masters.push_back(master(name, 200, 50, PCI_draw::fixed(16), "mem"));
        d.masters.back().windows[0].offset = 0x8000 * static_cast<uint32_t>(d.masters.size() - 1);
    }
    d.targets.push_back(plain_target("mem", 0x00400000, 0x20000));
    run(d);
    double shares = 0;
    for (const json& m : doc["masters"]) shares += m["data_share"].get<double>();
    EXPECT_NEAR(shares, 1.0, 1e-12);
    EXPECT_DOUBLE_EQ(doc["masters"][0]["data_share"].get<double>(), 0.25);
    EXPECT_DOUBLE_EQ(doc["fairness"]["jain_throughput"].get<double>(), 1.0);
}
