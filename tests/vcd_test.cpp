// The waveform export read back: by a small VCD reader here against the bus
// dump of the same run, through GTKWave's vcd2fst/fst2vcd and by sigrok-cli;
// standard output untouched by --vcd; the error paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/simulation.h"
#include "kernel/logic.h"
#include "support/program_run.h"

namespace {
// A short run: every master does three transactions.
const std::vector<std::string> short_run = {"-m1c3", "-m2c3", "-m3c3"};

Outcome run(std::vector<std::string> args) {
    return run_program(std::move(args));
}

// Removes the scratch files when the tests end.
class ScratchFiles : public ::testing::Environment {
  public:
    void TearDown() override {
        for (const std::string& path : paths) std::remove(path.c_str());
    }
    std::vector<std::string> paths;  // every scratch file name handed out
};
ScratchFiles* const scratch_files =
    static_cast<ScratchFiles*>(::testing::AddGlobalTestEnvironment(new ScratchFiles));

// A scratch file of this process and test (ctest runs tests side by side).
std::string scratch(const std::string& name) {
    const char* test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    scratch_files->paths.push_back(::testing::TempDir() + "vcd_test_" + std::to_string(::getpid()) +
                                   "_" + test + "_" + name);
    return scratch_files->paths.back();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a shell command; its standard error must stay empty.
void shell(const std::string& command) {
    const std::string err = scratch("stderr");
    ASSERT_EQ(std::system((command + " 2>" + err).c_str()), 0) << command;
    EXPECT_EQ(read_file(err), "") << command;
}

// A dump's value changes: full name ("tb.pb.ad") -> time -> value, vectors
// left-extended to their width.
using Changes = std::map<std::string, std::map<int64_t, std::string>>;

Changes parse_vcd(const std::string& text) {
    Changes changes;
    std::map<std::string, std::pair<std::string, size_t>> vars;  // id -> name, width
    std::vector<std::string> scope;
    std::istringstream in(text);
    std::string word;
    int64_t time = -1;
    auto record = [&](std::string value, const std::string& id) {
        EXPECT_TRUE(vars.count(id)) << id;
        const auto& [name, width] = vars[id];
        if (value.size() < width)  // 1 extends with 0, x and z with themselves
            value.insert(0, width - value.size(), value[0] == '1' ? '0' : value[0]);
        changes[name][time] = value;
    };
    while (in >> word) {
        if (word == "$scope") {
            in >> word >> word;
            scope.push_back(word);
        } else if (word == "$upscope") {
            scope.pop_back();
        } else if (word == "$var") {
            std::string type, id, name;
            size_t width;
            in >> type >> width >> id >> name;
            while (in >> word && word != "$end") {  // a bit range
            }
            for (auto it = scope.rbegin(); it != scope.rend(); ++it) name = *it + "." + name;
            vars[id] = {name, width};
        } else if (word[0] == '$') {
            if (word != "$dumpvars" && word != "$end")
                while (in >> word && word != "$end") {
                }
        } else if (word[0] == '#') {
            time = std::stoll(word.substr(1));
        } else if (word[0] == 'b') {
            std::string id;
            in >> id;
            record(word.substr(1), id);
        } else {
            record(word.substr(0, 1), word.substr(1));
        }
    }
    return changes;
}

// The value of name at time (its last change up to then).
std::string at(const Changes& changes, const std::string& name, int64_t time) {
    const auto& history = changes.at(name);
    auto it = history.upper_bound(time);
    return it == history.begin() ? "?" : std::prev(it)->second;
}

logic_value level_of(char c) {
    const std::string chars = "01zxlh";
    const size_t i = chars.find(c);
    return i == std::string::npos ? VX : static_cast<logic_value>(i);
}

// The hex text the bus dump prints for the VCD bits, most significant first.
std::string hex_of(const std::string& bits) {
    std::string hex;
    for (size_t i = 0; i < bits.size(); i += 4)
        hex += hex_digit(level_of(bits[i]), level_of(bits[i + 1]), level_of(bits[i + 2]),
                         level_of(bits[i + 3]));
    return hex;
}

// How the dump prints a level written as c in the VCD.
char dump_char(char c) {
    return c == 'l' ? 'L' : c == 'h' ? 'H' : c;
}

// Checks the VCD of a short run, cycle by cycle, against its -c, -r and -g lines.
void check_against_text(const std::vector<std::string>& levels_option) {
    const std::string path = scratch("text.vcd");
    std::vector<std::string> args = short_run;
    args.insert(args.end(), {"-c", "-r", "-g", "--vcd", path});
    args.insert(args.end(), levels_option.begin(), levels_option.end());
    const Outcome outcome = run(args);
    ASSERT_EQ(outcome.status, 0);
    const Changes vcd = parse_vcd(read_file(path));
    const bool six = !levels_option.empty();
    std::istringstream lines(outcome.out);
    std::string line;
    int64_t time = 0;
    int cycles = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string field;
        if (line.find(" AD:") != std::string::npos) {
            time += 30;
            ++cycles;
            ASSERT_EQ(at(vcd, "tb.clk", time), "1");
            ASSERT_EQ(at(vcd, "tb.clk", time + 15), "0");
            fields >> field;  // the cycle prefix
            while (fields >> field) {
                const std::string key = field.substr(0, field.find(':'));
                const std::string shown = field.substr(key.size() + 1);
                std::string expected;
                if (key == "AD" || key == "CBE") {
                    expected = hex_of(at(vcd, key == "AD" ? "tb.pb.ad" : "tb.pb.cbe_n", time));
                } else {
                    std::string name = "tb.pb." + key + (key == "PAR" ? "" : "_n");
                    for (char& c : name) c = static_cast<char>(std::tolower(c));
                    const char c = at(vcd, name, time)[0];
                    expected = std::string(1, six ? dump_char(c) : c);
                }
                std::string printed = shown;
                if (!six && shown.size() == 1)
                    printed = shown == "L" ? "0" : shown == "H" ? "1" : shown;
                ASSERT_EQ(printed, expected) << key << " at " << time << ": " << line;
            }
        } else if (line.rfind("tb:pm", 0) == 0) {
            while (fields >> field) {  // "tb:pm1:req=0"
                std::string name = field.substr(0, field.find('='));
                for (char& c : name) c = c == ':' ? '.' : c;
                ASSERT_EQ(field.back(), dump_char(at(vcd, name + "_n", time)[0])) << time;
            }
        }
    }
    // The cycle that ends the run (no dump line) is in the file too.
    EXPECT_GT(cycles, 100);
    EXPECT_EQ(vcd.at("tb.clk").rbegin()->first, time + 30 + 15);
}

TEST(Vcd, ValuesEqualTheTextLinesFourLevels) {
    check_against_text({});
}

TEST(Vcd, ValuesEqualTheTextLinesSixLevels) {
    check_against_text({"--vcd-levels=6"});
}

TEST(Vcd, SameBytesEveryRunAndStandardOutputUntouched) {
    const std::vector<std::vector<std::string>> option_sets = {
        {"-c", "-r", "-g", "-n"}, {"-s", "-dm", "-da", "-cl20", "-cr5"}};
    for (std::vector<std::string> args : option_sets) {
        args.insert(args.end(), short_run.begin(), short_run.end());
        const Outcome plain = run(args);
        args.insert(args.end(), {"--vcd=" + scratch("a.vcd"), "--vcd-levels", "6"});
        EXPECT_EQ(run(args).out, plain.out);
        const std::string first = read_file(scratch("a.vcd"));
        const Outcome again = run(args);
        EXPECT_EQ(again.out, plain.out);
        EXPECT_EQ(again.status, plain.status);
        EXPECT_EQ(read_file(scratch("a.vcd")), first);
    }
}

TEST(Vcd, SurvivesFstRoundTrip) {
    for (const char* levels : {"--vcd-levels=4", "--vcd-levels=6"}) {
        const std::string vcd = scratch("trip.vcd"), fst = scratch("trip.fst");
        std::vector<std::string> args = short_run;
        args.insert(args.end(), {"--vcd", vcd, levels});
        ASSERT_EQ(run(args).status, 0);
        shell("vcd2fst " + vcd + " " + fst + " >/dev/null");
        shell("fst2vcd " + fst + " >" + scratch("back.vcd"));
        const Changes original = parse_vcd(read_file(vcd));
        EXPECT_EQ(original.size(), 18u);
        EXPECT_EQ(parse_vcd(read_file(scratch("back.vcd"))), original) << levels;
    }
}

TEST(Vcd, SigrokReadsIt) {
    const std::string vcd = scratch("sigrok.vcd"), csv = scratch("sigrok.csv");
    std::vector<std::string> args = short_run;
    args.insert(args.end(), {"--vcd", vcd});
    ASSERT_EQ(run(args).status, 0);
    // Vectors: read without complaint (this sigrok skips them).
    shell("sigrok-cli -i " + vcd + " -I vcd -O csv >/dev/null");
    // One wire per bit: every wire's level at every cycle.
    args.push_back("--vcd-split");
    ASSERT_EQ(run(args).status, 0);
    shell("sigrok-cli -i " + vcd + " -I vcd -O csv:header=false >" + csv);
    const Changes changes = parse_vcd(read_file(vcd));
    std::istringstream rows(read_file(csv));
    std::string row;
    int64_t time = 0;
    int checked = 0;
    while (std::getline(rows, row)) {
        if (row.empty() || !std::isdigit(static_cast<unsigned char>(row[0])))
            continue;
        if (time % 15 == 0) {
            // Columns: clk, the nine controls, ad0..ad31, cbe_n0..cbe_n3, REQ#/GNT#.
            const std::string bus_names[] = {"frame_n", "irdy_n", "ad5", "cbe_n2"};
            const size_t columns[] = {1, 5, 15, 44};
            for (int i = 0; i < 4; ++i) {
                const char v = at(changes, "tb.pb." + std::string(bus_names[i]), time)[0];
                if (v == '0' || v == '1') {
                    ASSERT_EQ(row[2 * columns[i]], v) << bus_names[i] << " at " << time;
                    ++checked;
                }
            }
        }
        ++time;
    }
    EXPECT_GE(time, changes.at("tb.clk").rbegin()->first);
    EXPECT_GT(checked, 1000);
}

TEST(Vcd, ErrorPaths) {
    const Outcome missing = run({"--vcd", "/nonexistent-folder/w.vcd", "-c"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err,
              "pcisim: cannot create /nonexistent-folder/w.vcd: No such file or directory\n");
    std::vector<std::string> args = short_run;
    args.insert(args.end(), {"--vcd=/dev/full"});
    const Outcome full = run(args);
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.out, run(short_run).out);
    EXPECT_EQ(full.err, "pcisim: cannot write /dev/full: No space left on device\n");
    EXPECT_EQ(run({"--vcd-levels=5"}).status, 1);
    EXPECT_EQ(run({"--vcd-levels=5"}).err,
              "pcisim: option --vcd-levels: must be 4 or 6, not \"5\"\n");
    EXPECT_EQ(run({"-c", "--vcd"}).err, "pcisim: option --vcd needs a value\n");
    EXPECT_EQ(run({"-c", "--vcd"}).status, 1);
    EXPECT_EQ(run({"--vcdx"}).status, 10);
    EXPECT_EQ(run({"--vcdx"}).out, run({"--foo"}).out);
}
}  // namespace
