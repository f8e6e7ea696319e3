// The whole program run in-process, for what the golden cases (the executable
// against recorded bytes) do not show: repeated and simultaneous runs in one
// process, edges of the dump window, the order of the loop's steps, and
// hostile arguments.
#include <gtest/gtest.h>

#include <iostream>
#include <latch>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/simulation.h"
#include "support/program_run.h"

namespace {
// The same with the masters' traffic cut short.
Outcome run(std::vector<std::string> args) {
    args.insert(args.end(), {"-m1c3", "-m2c2", "-m3c2"});
    return run_program(std::move(args));
}
}  // namespace

TEST(Program, RunsRepeatInOneProcess) {
    const std::vector<std::string> args = {"-c",  "-dm", "-da", "-d1", "-d2",
                                           "-d3", "-r",  "-g",  "-s",  "-n"};
    const Outcome first = run(args);
    EXPECT_EQ(first.status, 0);
    EXPECT_GT(first.out.size(), 10000u);
    EXPECT_EQ(first.out, run(args).out);
}

TEST(Program, DumpWindowEdges) {
    // A window as wide as 32 bits allow around 0 dumps every cycle and never
    // stops the run.
    EXPECT_EQ(run({"-c1", "-cr2147483647"}).out, run({"-c1", "-c"}).out);
    // A negative radius dumps nothing and stops after the first cycle.
    EXPECT_EQ(run({"-cr-1"}).out, "0\n");
    // -c after -cl dumps every cycle, but the window still ends the run; the
    // cycle that ends it (sim_cycle 11) is dumped before the stop test.
    const std::string every = run({"-c", "-c0"}).out;
    size_t end = 0;
    for (int i = 0; i < 10; ++i) end = every.find('\n', end) + 1;
    EXPECT_EQ(run({"-cl5", "-c", "-c0"}).out, every.substr(0, end) + "9\n");
}

TEST(Program, GrantDebugLineComesWithTheNextClock) {
    // The grant driven in cycle 3 is printed after the dump of cycle 3.
    const std::string idle =
        " AD:zzzzzzzz CBE:z FRAME:H DEVSEL:H STOP:H IRDY:H TRDY:H PAR:z PERR:H SERR:H\n";
    EXPECT_EQ(run({"-da", "-cr3"}).out,
              "002" + idle + "003" + idle + "tb:pa Bus granted to master 0\n2\n");
}

TEST(Program, ReportFillStaysBlankAfterDumpsWithoutPrefix) {
    EXPECT_NE(run({"-s", "-c0", "-cr2", "-cs"}).out.find("Card 1 Base:   100000 Mask:"),
              std::string::npos);
}

TEST(Program, VeryLongArguments) {
    const Outcome r = run({"-a" + std::string(10000, '7'), "-m2" + std::string(10000, 'y')});
    EXPECT_EQ(r.status, 10);
    EXPECT_EQ(r.out, "Unknown Master option y\n");
}

TEST(Program, SimultaneousRunsPrintWhatEachPrintsAlone) {
    // Shorter traffic first, so that an argument of the line itself wins.
    std::vector<std::vector<std::string>> lines = {
        {"-s"}, {"-c", "-c2"}, {"-dm", "-s", "-a16"}, {"-n", "-m1c50", "-t2i4", "-r", "-g"}};
    for (std::vector<std::string>& line : lines)
        line.insert(line.begin(), {"-m1c20", "-m2c20", "-m3c20"});
    std::vector<Outcome> alone;
    for (const std::vector<std::string>& line : lines) alone.push_back(run_program(line));

    // Nothing may go to the process's standard output either.
    std::ostringstream stray;
    std::streambuf* const standard_out = std::cout.rdbuf(stray.rdbuf());
    std::vector<Outcome> together(lines.size());
    std::latch start(static_cast<std::ptrdiff_t>(lines.size()));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < lines.size(); ++i)
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            together[i] = run_program(lines[i]);
        });
    for (std::thread& thread : threads) thread.join();
    std::cout.rdbuf(standard_out);

    EXPECT_EQ(stray.str(), "");
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(alone[i].status, 0) << i;
        EXPECT_EQ(alone[i].err, "") << i;
        EXPECT_EQ(together[i].status, alone[i].status) << i;
        EXPECT_EQ(together[i].err, alone[i].err) << i;
        // Compared as a whole: a difference would print megabytes.
        EXPECT_TRUE(together[i].out == alone[i].out)
            << i << ": " << together[i].out.size() << " bytes, alone " << alone[i].out.size();
        for (size_t j = 0; j < i; ++j) EXPECT_TRUE(alone[i].out != alone[j].out) << i << " " << j;
    }
}
