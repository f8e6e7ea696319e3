// The whole program run in-process: exact output bytes and exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "bench/simulation.h"
#include "kernel/scheduler.h"
#include "support/capture.h"

namespace {
struct Outcome {
    int status;       // exit status
    std::string out;  // everything printed
};

// Runs the program as "pcisim <args>" on an empty kernel.
Outcome run(std::vector<std::string> args) {
    sim_kernel_clear();
    args.insert(args.begin(), "pcisim");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    OutputCapture capture;
    const int status = pcisim_main(static_cast<int>(args.size()), argv.data());
    return {status, capture.text()};
}

// The short traffic used where the masters' end matters but not the length.
const std::vector<std::string> few = {"-m1c3", "-m2c2", "-m3c2"};
std::vector<std::string> with_few(std::vector<std::string> args) {
    args.insert(args.end(), few.begin(), few.end());
    return args;
}

// Bus lines of an idle bus: pull-ups on the control lines, nothing else driven.
std::string idle(const char* prefix) {
    return std::string(prefix) +
           " AD:zzzzzzzz CBE:z FRAME:H DEVSEL:H STOP:H IRDY:H TRDY:H PAR:z PERR:H SERR:H\n";
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string cycle_prefix(int width, int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    return buffer;
}
}  // namespace

TEST(Program, FullRunsAgreeAndRepeat) {
    const Outcome plain = run({});
    EXPECT_EQ(plain.status, 0);
    const int cycles = std::atoi(plain.out.c_str());
    ASSERT_EQ(plain.out, std::to_string(cycles) + "\n");
    EXPECT_GT(cycles, 10000);
    EXPECT_LE(cycles, 100001);

    const Outcome counted = run({"-n"});
    EXPECT_EQ(counted.status, 0);
    std::string progress;
    for (int i = 0; i <= cycles; i += 10000) progress += std::to_string(i) + "\r";
    ASSERT_EQ(counted.out.substr(0, progress.size()), progress);
    // The closing line, rebuilt from its numbers, must match byte for byte.
    const std::string closing = counted.out.substr(progress.size());
    int cyc = 0, t1 = 0, t2 = 0, t3 = 0;
    long m1 = 0, m2 = 0, m3 = 0, total = 0;
    ASSERT_EQ(std::sscanf(closing.c_str(),
                          "Cyc: %d t1: %d t2: %d t3: %d Lat: m1: %ld m2: %ld m3: %ld Tot: %ld",
                          &cyc, &t1, &t2, &t3, &m1, &m2, &m3, &total),
              8);
    EXPECT_EQ(closing, "Cyc: " + std::to_string(cycles) + " t1: " + std::to_string(t1) +
                           " t2: " + std::to_string(t2) + " t3: " + std::to_string(t3) +
                           " Lat: m1: " + std::to_string(m1) + " m2: " + std::to_string(m2) +
                           " m3: " + std::to_string(m3) + " Tot: " + std::to_string(m1 + m2 + m3) +
                           "\n");

    // A window with -cs after it does not end the run.
    const std::string window = run({"-cl100"}).out;
    ASSERT_EQ(window.substr(window.size() - 4), "104\n");
    EXPECT_EQ(run({"-cl100", "-cs"}).out, window.substr(0, window.size() - 4) + plain.out);
}

TEST(Program, WindowAroundLocation) {
    const Outcome r = run({"-cl100"});
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 12u);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(lines[i].substr(0, 7), cycle_prefix(3, 95 + i) + " AD:") << lines[i];
    // Stopped after the clock that made sim_cycle 106: iteration 104.
    EXPECT_EQ(lines[11], "104");
    // -cs before -cl is undone by it.
    EXPECT_EQ(run({"-cs", "-cl100"}).out, r.out);
    // Upper-case L is not the window option: nothing is dumped.
    EXPECT_EQ(run(with_few({"-cL100"})).out, run(few).out);
}

TEST(Program, WindowAroundZero) {
    const std::string expected = idle("002") + idle("003") + "2\n";
    EXPECT_EQ(run({"-cr3"}).out, expected);
    EXPECT_EQ(run({"plain", "", "-cr3"}).out, expected);  // no prefix: ignored
    EXPECT_EQ(run({"-c2", "-cr3"}).out, idle("02") + idle("03") + "2\n");
    EXPECT_EQ(run({"-c4", "-cr3"}).out, idle("0002") + idle("0003") + "2\n");
    EXPECT_EQ(run({"-c5", "-cR3"}).out, idle("00002") + idle("00003") + "2\n");
    EXPECT_EQ(run({"-c0", "-cr3"}).out, idle("") + idle("") + "2\n");
    // -c3 prints the cycle modulo 100, the default modulo 1000.
    EXPECT_EQ(run({"-cl150", "-cr0"}).out.substr(0, 7), "150 AD:");
    EXPECT_EQ(run({"-c3", "-cl150", "-cr0"}).out.substr(0, 7), "050 AD:");
}

TEST(Program, WindowArithmeticCannotOverflow) {
    // sim_cycle - loc exceeds 32 bits: the window lies far behind, stop at once.
    EXPECT_EQ(run({"-cl-2147483648"}).out, "0\n");
    EXPECT_EQ(run({"-cl-2147483648", "-cr2147483647"}).out, "0\n");
    // A window as wide as 32 bits allow covers the whole run and never stops it.
    const Outcome wide = run({"-c1", "-cr2147483647", "-m1c1", "-m2c0", "-m3c0"});
    const std::vector<std::string> lines = lines_of(wide.out);
    ASSERT_GT(lines.size(), 5u);
    for (size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].substr(0, 5), "0 AD:");
    EXPECT_EQ(lines.back(), std::to_string(lines.size() - 1));
    // A negative radius dumps nothing and stops after the first cycle.
    EXPECT_EQ(run({"-cr-1"}).out, "0\n");
    // Values wrap like atoi: 4294967396 is 100.
    EXPECT_EQ(run({"-cl4294967396"}).out, run({"-cl100"}).out);
}

TEST(Program, EveryCycleDump) {
    const Outcome r = run(with_few({"-c", "-c0"}));
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_GT(lines.size(), 100u);
    // Every iteration but the last one is dumped.
    EXPECT_EQ(lines.back(), std::to_string(lines.size() - 1));
    for (size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].substr(0, 4), " AD:") << i;
    EXPECT_EQ(lines[0] + "\n", idle(""));

    const std::vector<std::string> zeros = lines_of(run(with_few({"-c1", "-c"})).out);
    ASSERT_EQ(zeros.size(), lines.size());
    for (size_t i = 0; i + 1 < zeros.size(); ++i) EXPECT_EQ(zeros[i], "0" + lines[i]);
    // -c after -cl dumps every cycle, but the window still ends the run; the
    // cycle that ends it (sim_cycle 11) is dumped before the stop test.
    std::string first_ten;
    for (int i = 0; i < 10; ++i) first_ten += lines[i] + "\n";
    EXPECT_EQ(run(with_few({"-cl5", "-c", "-c0"})).out, first_ten + "9\n");
}

TEST(Program, RequestAndGrantLines) {
    const std::string req = "tb:pm1:req=0  tb:pm2:req=0  tb:pm3:req=0\n";
    const std::string gnt_none = "tb:pm1:gnt=1  tb:pm2:gnt=1  tb:pm3:gnt=1\n";
    const std::string gnt_pm1 = "tb:pm1:gnt=0  tb:pm2:gnt=1  tb:pm3:gnt=1\n";
    // Requests from cycle 2 on; pm1 sees its grant in cycle 4.
    EXPECT_EQ(run({"-r", "-g", "-cr4"}).out, idle("002") + req + gnt_none + idle("003") + req +
                                                 gnt_none + idle("004") + req + gnt_pm1 + "3\n");
    const std::vector<std::string> lines = lines_of(run(with_few({"-g"})).out);
    EXPECT_EQ(lines[2] + "\n", gnt_pm1);
    EXPECT_EQ(lines[1] + "\n", gnt_none);
}

TEST(Program, DebugTraces) {
    const Outcome mon = run({"-dm"});
    EXPECT_EQ(mon.out.substr(0, 49), "Memory Read           Add: 000016fc\n  MED decode\n");
    // The grant driven in cycle 3 is printed after the dump of cycle 3.
    EXPECT_EQ(run({"-da", "-cr3"}).out,
              idle("002") + idle("003") + "tb:pa Bus granted to master 0\n" + "2\n");
    // A debug unit other than 1, 2, 3, a, m is accepted and changes nothing.
    EXPECT_EQ(run(with_few({"-dz", "-d"})).out, run(few).out);
}

TEST(Program, Report) {
    const Outcome r = run(with_few({"-s"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 17), "Total transfers: ");
    EXPECT_NE(r.out.find("\n\nCard 0 Base:        0 Mask: fff00000 Transfers: "),
              std::string::npos);
    EXPECT_NE(r.out.find("\nCard 1 Base:   100000 Mask: ffff0000 Transfers: "), std::string::npos);
    EXPECT_NE(r.out.find("\nCard 2 Base:   180000 Mask: ffff0000 Transfers: "), std::string::npos);
    EXPECT_EQ(r.out.find("Card 3"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1), run(few).out);
    // After a dump line with a counter prefix the stream fills with zeros;
    // without a prefix it does not.
    EXPECT_NE(run(with_few({"-s", "-cr2", "-cs"})).out.find("Card 1 Base: 00100000 Mask: ffff0000"),
              std::string::npos);
    EXPECT_NE(run(with_few({"-s", "-c0", "-cr2", "-cs"})).out.find("Card 1 Base:   100000 Mask:"),
              std::string::npos);
}

TEST(Program, TransactionCounts) {
    // Masters with nothing to do are done in the first cycle.
    EXPECT_EQ(run({"-m1c0", "-m2c0", "-m3c0"}).out, "0\n");
    EXPECT_EQ(run({"-n", "-m1c0", "-m2c0", "-m3c0"}).out,
              "0\rCyc: 0 t1: 0 t2: 0 t3: 0 Lat: m1: 0 m2: 0 m3: 0 Tot: 0\n");
}

TEST(Program, RejectedOptions) {
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"-q"}, "Unknown option q\n"},
        {{"/Q"}, "Unknown option Q\n"},
        {{"-"}, std::string("Unknown option \0\n", 17)},
        {{"/"}, std::string("Unknown option \0\n", 17)},
        {{"-m4c10"}, "Unknown Master number 4\n"},
        {{"-m"}, std::string("Unknown Master number \0\n", 24)},
        {{"-m1x5"}, "Unknown Master option x\n"},
        {{"-m1"}, std::string("Unknown Master option \0\n", 24)},
        {{"-t0b3"}, "Unknown Target number 0\n"},
        {{"-t"}, std::string("Unknown Target number \0\n", 24)},
        {{"-t2z3"}, "Unknown threshold option z\n"},
        {{"-t2"}, std::string("Unknown threshold option \0\n", 27)},
        // Earlier options are applied but nothing runs; later ones are not read.
        {{"-cr3", "-n", "-x", "-h"}, "Unknown option x\n"},
        {{"-a" + std::string(10000, '7'), "-m2" + std::string(10000, 'y')},
         "Unknown Master option y\n"},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.args);
        EXPECT_EQ(r.status, 10) << c.args[0];
        EXPECT_EQ(r.out, c.out) << c.args[0];
    }
}

TEST(Program, Help) {
    // Options before -h are applied without effect on the output; later ones are not read.
    const Outcome r = run({"-cr3", "-m1c0", "-H", "-q"});
    EXPECT_EQ(r.status, 0);
    std::ostringstream expected;
    print_help(expected, "pcisim");
    EXPECT_EQ(r.out, expected.str());
    EXPECT_EQ(r.out.substr(0, 33), "Usage: pcisim <options>\nOptions:\n");
}

TEST(Program, Deterministic) {
    const std::vector<std::string> args =
        with_few({"-c", "-dm", "-da", "-d1", "-d2", "-d3", "-r", "-g", "-s", "-n"});
    const Outcome first = run(args);
    const Outcome second = run(args);
    EXPECT_EQ(first.status, 0);
    EXPECT_GT(first.out.size(), 10000u);
    EXPECT_EQ(first.out, second.out);
}
