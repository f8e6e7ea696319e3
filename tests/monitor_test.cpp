// The monitor's transaction decoder: trace lines cycle by cycle, decode
// speeds, terminations, latency histograms, the address map and the events
// an added listener hears.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/instance.h"
#include "monitor/trace.h"
#include "monitor_bench.h"
#include "support/capture.h"

namespace {

class MonitorDecode : public ::testing::Test {
  protected:
    void SetUp() override {
        b.pmon.set_debug(1);
        b.reset_all();
    }
    const PCI_target_statistics& stats() const { return b.pmon.statistics(); }

    MonitorBench b;                  // the design under test
    OutputCapture out{b.context()};  // what it prints
};

TEST_F(MonitorDecode, OneWordWriteIsFastWithInitialLatencyZero) {
    b.one_word(2, 0x1000, CMD_MEMORY_WRITE);
    b.run_through(2);
    EXPECT_EQ(out.take(), "");
    b.run_through(3);  // address phase on the wire
    EXPECT_EQ(out.take(), "Memory Write          Add: 00001000\n");
    b.run_through(8);
    EXPECT_EQ(out.take(), "  FAST decode\nData transfer at 1\nBurst Length: 1\n");
    EXPECT_EQ(stats().total_transfers, 1);
    EXPECT_EQ(stats().decode_count[fast_row][0], 1);
    EXPECT_EQ(stats().initial_latency[0][0], 1);
    EXPECT_EQ(stats().data_count[0], 1);
    EXPECT_EQ(b.pmon.decoder_state(), PCI_monitor::MON_IDLE);
    // Only the address was printed in hex.
    b.context().sim_out() << 255;
    EXPECT_EQ(out.take(), "255");
}

TEST_F(MonitorDecode, SubDecodeThenMasterAbort) {
    b.address(2, 0x00100040, CMD_MEMORY_READ);
    b.rows(2, {"0----", "10---"});
    b.rows(6, {"--00-", "z111-", "-zzz-"});  // DEVSEL# seen in the fourth clock
    b.address(10, 0x00180000, CMD_IO_WRITE);
    b.rows(10, {"0----", "10---"});
    b.rows(15, {"z1---", "-z---"});  // nobody answers
    b.run_through(15);
    EXPECT_EQ(out.take(),
              "Memory Read           Add: 00100040\n"
              "  SUB decode\n"
              "Data transfer at 4\n"
              "Burst Length: 1\n"
              "I/O Write             Add: 00180000\n"
              "  Master abort\n");
    EXPECT_EQ(b.pmon.decoder_state(), PCI_monitor::MON_WAIT_END);
    b.run_through(16);
    EXPECT_EQ(b.pmon.decoder_state(), PCI_monitor::MON_IDLE);
    EXPECT_EQ(stats().total_transfers, 2);
    EXPECT_EQ(stats().decode_count[sub_row][1], 1);
    EXPECT_EQ(stats().initial_latency[0][1], 1);
    for (int speed = 0; speed < 4; ++speed) EXPECT_EQ(stats().decode_count[speed][2], 0);
    EXPECT_EQ(stats().data_count[2], 0);
}

TEST_F(MonitorDecode, FourPhaseBurstWithMedDecode) {
    b.address(2, 0x00100000, CMD_MEMORY_WRITE_INVALIDATE);
    b.rows(2, {"0----", "00---", "--00-"});
    b.rows(7, {"1----", "z111-", "-zzz-"});
    b.run_through(10);
    EXPECT_EQ(out.take(),
              "Memory Write & Inv    Add: 00100000\n"
              "  MED decode\n"
              "Data transfer at 2\n"
              "Data transfer at 3\n"
              "Data transfer at 4\n"
              "Data transfer at 5\n"
              "Burst Length: 4\n");
    EXPECT_EQ(stats().decode_count[med_row][1], 1);
    EXPECT_EQ(stats().initial_latency[0][1], 1);
    EXPECT_EQ(stats().burst_latency[1][1], 3);
    EXPECT_EQ(stats().data_count[1], 4);
}

// A Retry stops without data or latency; a Disconnect with data counts its
// phase.
TEST_F(MonitorDecode, StopsWithoutAndWithData) {
    b.address(2, 0x40, CMD_MEMORY_READ);
    b.rows(2, {"0----", "10010", "z1111", "-zzzz"});
    b.address(8, 0x00100080, CMD_MEMORY_WRITE);
    b.rows(8, {"0----", "00001", "----0", "1-111", "z1zzz", "-z---"});
    b.run_through(14);
    EXPECT_EQ(out.take(),
              "Memory Read           Add: 00000040\n"
              "  FAST decode\n"
              "Target abort w/o data after 1\n"
              "Burst Length: 0\n"
              "Memory Write          Add: 00100080\n"
              "  FAST decode\n"
              "Data transfer at 1\n"
              "Target abort w/data after 2\n"
              "Burst Length: 2\n");
    EXPECT_EQ(stats().decode_count[fast_row][0], 1);
    EXPECT_EQ(stats().data_count[0], 0);
    for (int l = 0; l <= 32; ++l) EXPECT_EQ(stats().initial_latency[l][0], 0);
    EXPECT_EQ(stats().initial_latency[0][1], 1);
    EXPECT_EQ(stats().burst_latency[1][1], 1);
    EXPECT_EQ(stats().data_count[1], 2);
    EXPECT_EQ(b.pmon.decoder_state(), PCI_monitor::MON_IDLE);
}

TEST_F(MonitorDecode, LongWaitsAreClampedIntoTheLastBins) {
    b.address(2, 0x100, CMD_MEMORY_WRITE);
    b.rows(2, {"0----", "0001-"});  // DEVSEL# seen in cycle 4, TRDY# not yet
    b.row(43, "---0-");             // first data 40 clocks after DEVSEL#
    b.row(44, "---1-");
    b.row(63, "1--0-");  // next data 20 clocks later, and the last
    b.rows(64, {"z111-", "-zzz-"});
    b.run_through(66);
    EXPECT_EQ(out.take(),
              "Memory Write          Add: 00000100\n"
              "  FAST decode\n"
              "Data transfer at 41\n"
              "Data transfer at 61\n"
              "Burst Length: 2\n");
    EXPECT_EQ(stats().initial_latency[32][0], 1);
    EXPECT_EQ(stats().burst_latency[16][0], 1);
}

TEST_F(MonitorDecode, HandshakeWaitsAndTheirComplaints) {
    // TRDY# first, withdrawn for a clock before IRDY# arrives.
    b.address(2, 0x200, CMD_MEMORY_READ);
    b.rows(2, {"0----", "01001", "---1-", "10-0-", "z111-", "-zzz-"});
    // IRDY# first, withdrawn for a clock before TRDY# arrives.
    b.address(10, 0x300, CMD_MEMORY_WRITE);
    b.rows(10, {"0----", "0001-", "-1---", "10-0-", "z111-", "-zzz-"});
    b.run_through(17);
    EXPECT_EQ(out.take(),
              "Memory Read           Add: 00000200\n"
              "  FAST decode\n"
              "TRDY deasserted before IRDY asserted\n"
              "Data transfer at 3\n"
              "Burst Length: 1\n"
              "Memory Write          Add: 00000300\n"
              "  FAST decode\n"
              "IRDY deasserted before TRDY asserted\n"
              "Data transfer at 3\n"
              "Burst Length: 1\n");
    EXPECT_EQ(stats().initial_latency[2][0], 2);
}

// Unhandled commands are skipped until FRAME# goes high, and not counted.
TEST_F(MonitorDecode, EveryCommandCode) {
    // Trace names of the codes an agent decodes.
    const std::map<uint32_t, const char*> names = {
        {2, "I/O Read"},          {3, "I/O Write"},         {6, "Memory Read"},
        {7, "Memory Write"},      {10, "Config Read"},      {11, "Config Write"},
        {12, "Memory Read Mult"}, {14, "Memory Read Long"}, {15, "Memory Write & Inv"}};
    std::string expected;
    for (uint32_t code = 0; code < 16; ++code) {
        const int32_t start = 2 + 8 * static_cast<int32_t>(code);
        b.address(start, 0xABCD0000 + 0x10 * code, code);
        b.rows(start, {"0----", "-0---", "-----", "10---", "z1---", "-z---"});
        char line[64] = "Unhandled cycle. Skipping,,,\n";
        if (names.count(code))
            std::snprintf(line, sizeof line, "%-22sAdd: %08x\n  Master abort\n", names.at(code),
                          0xABCD0000 + 0x10 * code);
        expected += line;
    }
    b.run_through(2 + 8 * 16);
    EXPECT_EQ(out.take(), expected);
    EXPECT_EQ(stats().total_transfers, 9);
    EXPECT_EQ(b.pmon.decoder_state(), PCI_monitor::MON_IDLE);
}

// Without debug nothing is traced but everything is counted, addresses outside
// the map under card 255; a reset clears the counters but keeps the map.
TEST_F(MonitorDecode, CountsWithoutTraceAndResetClearsThem) {
    b.pmon.set_debug(0);
    b.one_word(2, 0x00180010, CMD_MEMORY_WRITE);
    b.one_word(8, 0x80000000, CMD_MEMORY_WRITE);
    b.run_through(13);
    EXPECT_EQ(out.take(), "");
    for (int card : {2, 255}) {
        EXPECT_EQ(stats().decode_count[fast_row][card], 1);
        EXPECT_EQ(stats().data_count[card], 1);
        EXPECT_EQ(stats().initial_latency[0][card], 1);
    }
    b.reset_all();
    EXPECT_EQ(stats().total_transfers, 0);
    for (int card : {2, 255}) {
        EXPECT_EQ(stats().decode_count[fast_row][card], 0);
        EXPECT_EQ(stats().data_count[card], 0);
        EXPECT_EQ(stats().initial_latency[0][card], 0);
    }
    EXPECT_EQ(b.pmon.address_map().count(), 3);
}

TEST(MonitorAddressMap, FirstMatchingEntryElse255) {
    TestTop tb;
    PCI_monitor pmon("pmon", &tb);
    EXPECT_EQ(pmon.find_range(0), 255);
    pmon.add_range(0x00100000, 0xFFFF0000);
    pmon.add_range(0x00100000, 0xFFF00000);
    pmon.add_range(0x00000000, 0x00000000);  // matches everything
    EXPECT_EQ(pmon.find_range(0x0010FFFC), 0);
    EXPECT_EQ(pmon.find_range(0x00110000), 1);
    EXPECT_EQ(pmon.find_range(0xFFFFFFFF), 2);
}

// Writes down every event the monitor publishes, one line each.
class EventLog : public PCI_transaction_listener {
  public:
    void on_address(const PCI_address_event& e) override {
        add("%d address cmd=%u addr=%08x card=%d decoded=%d", e.cycle, e.command, e.address, e.card,
            e.decoded);
    }
    void on_claim(int32_t cycle, PCI_decode_speed speed) override {
        static const char* const names[] = {"fast", "med", "slow", "sub"};
        add("%d claim %s", cycle, names[speed_index(speed)]);
    }
    void on_master_abort(int32_t cycle) override { add("%d master abort", cycle); }
    void on_data_phase(const PCI_data_event& e) override {
        add("%d data wait=%d elapsed=%d first=%d stopped=%d", e.cycle, e.wait, e.elapsed, e.first,
            e.stopped);
    }
    void on_termination(const PCI_termination_event& e) override {
        add("%d stop %s elapsed=%d devsel=%d phases=%d", e.cycle,
            e.kind == PCI_termination::with_data ? "with data" : "without data", e.elapsed,
            e.devsel_asserted, e.data_phases);
    }
    void on_end(int32_t cycle, int32_t data_phases) override {
        add("%d end phases=%d", cycle, data_phases);
    }
    void on_notice(int32_t cycle, const char* text) override { add("%d notice %s", cycle, text); }

    std::vector<std::string> lines;  // the events in the order heard

  private:
    template <class... Args>
    void add(const char* format, Args... args) {
        char line[128];
        std::snprintf(line, sizeof line, format, args...);
        lines.push_back(line);
    }
};

// A write claimed MED with one wait, a Retry, a Disconnect with data, a
// master abort outside the map, an unhandled command and a Target-Abort
// (DEVSEL# deasserted with STOP#): the listener hears
// each step with its fields, and the trace is the same with it as without.
TEST(MonitorEvents, ListenerHearsEachStepAndTraceIsUnchanged) {
    const std::vector<std::string> events = {
        "3 address cmd=7 addr=00100010 card=1 decoded=1",
        "5 claim med",
        "6 data wait=1 elapsed=3 first=1 stopped=0",
        "6 end phases=1",
        "10 address cmd=6 addr=00000040 card=0 decoded=1",
        "11 claim fast",
        "11 stop without data elapsed=1 devsel=1 phases=0",
        "11 end phases=0",
        "15 address cmd=7 addr=00180080 card=2 decoded=1",
        "16 claim fast",
        "16 data wait=0 elapsed=1 first=1 stopped=0",
        "17 stop with data elapsed=2 devsel=1 phases=1",
        "17 data wait=1 elapsed=2 first=0 stopped=1",
        "17 end phases=2",
        "23 address cmd=2 addr=80000000 card=255 decoded=1",
        "27 master abort",
        "31 address cmd=1 addr=00001234 card=255 decoded=0",
        "37 address cmd=6 addr=00100000 card=1 decoded=1",
        "38 claim fast",
        "39 stop without data elapsed=2 devsel=0 phases=0",
        "39 end phases=0",
    };
    const std::string trace =
        "Memory Write          Add: 00100010\n"
        "  MED decode\n"
        "Data transfer at 3\n"
        "Burst Length: 1\n"
        "Memory Read           Add: 00000040\n"
        "  FAST decode\n"
        "Target abort w/o data after 1\n"
        "Burst Length: 0\n"
        "Memory Write          Add: 00180080\n"
        "  FAST decode\n"
        "Data transfer at 1\n"
        "Target abort w/data after 2\n"
        "Burst Length: 2\n"
        "I/O Read              Add: 80000000\n"
        "  Master abort\n"
        "Unhandled cycle. Skipping,,,\n"
        "Memory Read           Add: 00100000\n"
        "  FAST decode\n"
        "Target abort w/o data after 2\n"
        "Burst Length: 0\n";
    for (bool listening : {false, true}) {
        EventLog log;
        MonitorBench b;
        OutputCapture out(b.context());
        if (listening)
            b.pmon.add_listener(log);
        b.pmon.set_debug(1);
        b.reset_all();
        b.address(2, 0x00100010, CMD_MEMORY_WRITE);
        b.rows(2, {"0----", "10---", "--01-", "---0-", "z111-", "-zzz-"});
        b.address(9, 0x40, CMD_MEMORY_READ);
        b.rows(9, {"0----", "10010", "z1111", "-zzzz"});
        b.address(14, 0x00180080, CMD_MEMORY_WRITE);
        b.rows(14, {"0----", "00001", "----0", "1-111", "z1zzz", "-z---"});
        b.address(22, 0x80000000, CMD_IO_READ);
        b.rows(22, {"0----", "10---"});
        b.rows(27, {"z1---", "-z---"});
        b.address(30, 0x1234, CMD_SPECIAL_CYCLE);
        b.rows(30, {"0----", "10---", "z1---", "-z---"});
        b.address(36, 0x00100000, CMD_MEMORY_READ);
        b.rows(36, {"0----", "10011", "--1-0", "z1-11", "-zzzz"});
        b.run_through(42);
        EXPECT_EQ(out.text(), trace) << "listening " << listening;
        EXPECT_EQ(log.lines, listening ? events : std::vector<std::string>{});
        EXPECT_EQ(b.pmon.decoder_state(), PCI_monitor::MON_IDLE);
    }
}

}  // namespace

// The trace's "text and number" lines print what the stream inserts print,
// whatever the number and whatever state the shared stream is left in.
TEST(TraceLines, SameAsTheStreamInserts) {
    SIM_context context;
    SIM_instance owner("m", context);
    owner.set_debug(1);
    PCI_trace_printer trace(owner);
    for (int32_t count : {0, 7, -3, INT32_MAX, INT32_MIN}) {
        for (bool showpos : {false, true}) {
            std::ostringstream got, want;
            got << std::hex;
            want << std::hex;
            if (showpos) {
                got << std::showpos;
                want << std::showpos;
            }
            context.set_out(got);
            trace.on_end(1, count);
            want << "Burst Length: " << std::dec << count << std::endl;
            EXPECT_EQ(got.str(), want.str()) << count << ' ' << showpos;
            EXPECT_EQ(got.flags(), want.flags());
        }
    }
}
