// The statistics report: exact text, field widths, the stream's fill
// character and floating-point notation as they persist across the run.
#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "monitor/report.h"
#include "monitor_bench.h"
#include "support/capture.h"

namespace {

// The expected text with every "<nan>" replaced by the text the stream prints
// for a NaN computed at run time (-nan on x86).
std::string with_nan(std::string text) {
    volatile double zero = 0.0;
    std::ostringstream nan;
    nan << zero / zero;
    const std::string nan_text = nan.str();
    for (size_t at; (at = text.find("<nan>")) != std::string::npos;) text.replace(at, 5, nan_text);
    return text;
}

TEST(MonitorReport, EmptyMapPrintsOnlyTheTotal) {
    TestTop tb;
    OutputCapture out(tb.context());
    PCI_monitor pmon("pmon", &tb);
    tb.reset_all();
    pmon.report();
    EXPECT_EQ(out.take(), "Total transfers: 0\n\n");
    tb.sim_out() << 3.14159;  // precision untouched without a card line
    EXPECT_EQ(out.take(), "3.14159");
}

TEST(MonitorReport, BlankFillGeneralThenFixedNotation) {
    SIM_context context;
    OutputCapture out(context);
    PCI_address_map map;
    map.add_range(0x00000000, 0xFFF00000);
    map.add_range(0x00180000, 0xFFFF0000);
    map.add_range(0x00200000, 0xFFE00000);
    PCI_target_statistics s;
    s.total_transfers = 9;
    s.decode_count[fast_row][0] = 3;  // card 0: initial latencies only
    s.decode_count[med_row][0] = 1;
    s.data_count[0] = 10;
    s.initial_latency[0][0] = 3;
    s.initial_latency[2][0] = 1;
    s.decode_count[fast_row][1] = 1;  // card 1: the first burst data
    s.data_count[1] = 6;
    s.initial_latency[32][1] = 1;
    s.burst_latency[1][1] = 4;
    s.burst_latency[16][1] = 1;
    s.decode_count[sub_row][2] = 2;  // card 2: after fixed notation
    s.data_count[2] = 3;
    s.initial_latency[1][2] = 2;

    print_target_report(context.sim_out(), map, s);
    EXPECT_EQ(out.take(), with_nan("Total transfers: 9\n\n"
                                   "Card 0 Base:        0 Mask: fff00000 Transfers: 4\n"
                                   "\tDecode:\n"
                                   "\tFAST:      3 MED:      1 SLOW:      0 SUB:      0\n"
                                   "\tAvarage burst length: 2.5\n"
                                   "\tInitial latency:0 count:3 => 75%\n"
                                   "\tInitial latency:2 count:1 => 25%\n"
                                   "\tInitial Latency avarage: 0.5\n"
                                   "\tBurst Latency avarage: <nan>\n"
                                   "Card 1 Base:   180000 Mask: ffff0000 Transfers: 1\n"
                                   "\tDecode:\n"
                                   "\tFAST:      1 MED:      0 SLOW:      0 SUB:      0\n"
                                   "\tAvarage burst length: 6\n"
                                   "\tInitial latency:32 count:1 => 1e+02%\n"
                                   "\tInitial Latency avarage: 32\n"
                                   "\tBurst Latency:1 count:4 => 80.00%\n"
                                   "\tBurst Latency:16 count:1 => 20.00%\n"
                                   "\tBurst Latency avarage: 4.00\n"
                                   "Card 2 Base:   200000 Mask: ffe00000 Transfers: 2\n"
                                   "\tDecode:\n"
                                   "\tFAST:      0 MED:      0 SLOW:      0 SUB:      2\n"
                                   "\tAvarage burst length: 1.50\n"
                                   "\tInitial latency:1 count:2 => 100.00%\n"
                                   "\tInitial Latency avarage: 1.00\n"
                                   "\tBurst Latency avarage: <nan>\n"));
    // The settings stay for later printers; the fill was never touched.
    context.sim_out() << 3.14159 << std::setw(3) << 7;
    EXPECT_EQ(out.take(), "3.14  7");
}

TEST(MonitorReport, AddressTraceLeavesZeroFillForTheReport) {
    MonitorBench b;
    OutputCapture out(b.context());
    b.pmon.set_debug(1);
    b.reset_all();
    b.one_word(2, 0x00100000, CMD_MEMORY_WRITE);
    b.run_through(8);
    out.take();
    b.pmon.report();
    const std::string empty_card = with_nan(
        "\tDecode:\n"
        "\tFAST: 000000 MED: 000000 SLOW: 000000 SUB: 000000\n"
        "\tAvarage burst length: <nan>\n"
        "\tInitial Latency avarage: <nan>\n"
        "\tBurst Latency avarage: <nan>\n");
    EXPECT_EQ(out.take(),
              "Total transfers: 1\n\n"
              "Card 0 Base: 00000000 Mask: fff00000 Transfers: 0\n" +
                  empty_card +
                  "Card 1 Base: 00100000 Mask: ffff0000 Transfers: 1\n"
                  "\tDecode:\n"
                  "\tFAST: 000001 MED: 000000 SLOW: 000000 SUB: 000000\n"
                  "\tAvarage burst length: 1\n"
                  "\tInitial latency:0 count:1 => 1e+02%\n"
                  "\tInitial Latency avarage: 0\n" +
                  with_nan("\tBurst Latency avarage: <nan>\n") +
                  "Card 2 Base: 00180000 Mask: ffff0000 Transfers: 0\n" + empty_card);
}

// A full map prints card 255 (no entry matches beyond it) and ignores the 257th range.
TEST(MonitorReport, FullMapPrintsCard255AndNoMore) {
    TestTop tb;
    OutputCapture out(tb.context());
    PCI_monitor pmon("pmon", &tb);
    for (uint32_t i = 0; i < 257; ++i) pmon.add_range(i << 20, 0xFFF00000);
    EXPECT_EQ(pmon.address_map().count(), 256);
    EXPECT_EQ(pmon.find_range(254u << 20), 254);
    EXPECT_EQ(pmon.find_range(256u << 20), 255);  // no entry
    tb.reset_all();
    pmon.report();
    const std::string text = out.take();
    EXPECT_NE(text.find("Card 255 Base:  ff00000 Mask: fff00000 Transfers: 0\n"),
              std::string::npos);
    EXPECT_EQ(text.find("Card 256"), std::string::npos);
}

}  // namespace
