// The design file: reading with every problem at its place, the rules over a
// whole design, --set, the writer's round trip, and the file digest.
#include "bench/design_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "bench/design_rules.h"
#include "bench/design_writer.h"
#include "bench/sha256.h"

namespace {
const std::string head = "format = \"pcisim-design\"\nversion = 1\n";
// One master "cpu" on one target "mem" (64 KiB at 0): the smallest design.
const std::string master_cpu =
    "[[master]]\nname = \"cpu\"\nreads = 50\nlength = 4\nwindow = { target = \"mem\" }\n";
const std::string target_mem = "[[target]]\nname = \"mem\"\nbar = { base = 0, size = \"64KiB\" }\n";

// The problems of text (read as "d.toml") as printed lines without the
// "pcisim: " prefix, errors then warnings.
std::vector<std::string> problems(const std::string& text,
                                  const std::vector<std::string>& sets = {}) {
    PCI_design design;
    PCI_design_diagnostics diagnostics;
    read_design_text(text, "d.toml", sets, design, diagnostics);
    std::vector<std::string> lines;
    for (const auto& p : diagnostics.errors())
        lines.push_back(p.place.text() + ": error: " + p.text);
    for (const auto& p : diagnostics.warnings())
        lines.push_back(p.place.text() + ": warning: " + p.text);
    return lines;
}

PCI_design read_ok(const std::string& text, const std::vector<std::string>& sets = {}) {
    PCI_design design;
    PCI_design_diagnostics diagnostics;
    EXPECT_TRUE(read_design_text(text, "d.toml", sets, design, diagnostics));
    EXPECT_TRUE(diagnostics.errors().empty()) << diagnostics.errors()[0].text;
    return design;
}

struct reader_case {
    const char* name;                   // what the case shows
    std::string text;                   // the file
    std::vector<std::string> expected;  // its problems, in order
};

TEST(DesignReader, ReportsEachProblemAtItsPlace) {
    const std::vector<reader_case> cases = {
        {"range of a master key",
         head +
             "[[master]]\nname = \"cpu\"\nreads = 50\nlength = 4\nlatency_timer = 256\n"
             "window = { target = \"mem\" }\n" +
             target_mem,
         {"d.toml:7:17: error: master 'cpu': latency_timer 256 is out of range 0..255"}},
        {"both ends of a range are checked",
         head +
             "[[master]]\nname = \"cpu\"\nreads = 50\nlength = [0, 65537]\n"
             "window = { target = \"mem\" }\n" +
             target_mem,
         {"d.toml:6:10: error: master 'cpu': length [0, 65537]: 0 is out of range 1..65536"}},
        {"a range of three",
         head + master_cpu + target_mem + "initial_wait = [1, 2, 3]\n",
         {"d.toml:11:16: error: target 'mem': initial_wait must be an integer or [lo, hi], not "
          "an array of 3 elements"}},
        {"reads above 100 and a float",
         head +
             "[[master]]\nname = \"cpu\"\nreads = 101\nlength = 1.5\n"
             "window = { target = \"mem\" }\n" +
             target_mem,
         {"d.toml:5:9: error: master 'cpu': reads 101 is out of range 0..100",
          "d.toml:6:10: error: master 'cpu': length must be an integer or [lo, hi], not a float"}},
        {"unknown key far from every known one: no guess",
         head + "[run]\nzzzzzz = 1\n" + master_cpu + target_mem,
         {"d.toml:4:1: error: unknown key 'zzzzzz' in [run] (known: max_cycles, seed)"}},
        {"unknown key in a nested table",
         head + master_cpu + "[[target]]\nname = \"mem\"\nbar = { base = 0, sise = 64 }\n",
         {"d.toml:10:19: error: unknown key 'sise' in the bar of target 'mem' (did you mean "
          "'size'? known: base, size, prefetchable)",
          "d.toml:10:7: error: target 'mem': bar has no size"}},
        {"window offset and weight",
         head +
             "[[master]]\nname = \"cpu\"\nreads = 50\nlength = 4\n"
             "window = { target = \"mem\", offset = 2, weight = 0 }\n" +
             target_mem,
         {"d.toml:7:49: error: master 'cpu': window weight 0 is out of range 1..1000"}},
        {"sizes: units and their range",
         head + master_cpu + target_mem +
             "burst_wait = { every = \"24B\", clocks = 1 }\n"
             "disconnect = { at_boundary = \"2B\" }\n",
         {"d.toml:11:24: error: target 'mem': burst_wait every 24B is not a power of two",
          "d.toml:12:30: error: target 'mem': disconnect at_boundary 2B is out of range "
          "4B..2GiB"}},
        {"seeds and multipliers",
         head + master_cpu + "seed = -1\nmultiplier = 0x10000\n" + target_mem,
         {"d.toml:8:8: error: master 'cpu': seed -1 is out of range 0..2147483647",
          "d.toml:9:14: error: master 'cpu': multiplier 65536 is out of range 0..65535"}},
        {"master must be an array of tables",
         head + "[master]\nname = \"cpu\"\n" + target_mem,
         {"d.toml:3:1: error: master must be an array of tables ([[master]]), not a table",
          "d.toml:1:1: error: no [[master]]: a design needs at least one"}},
        {"no format",
         "version = 1\n",
         {"d.toml:1:1: error: not a pcisim design (no format = \"pcisim-design\")"}},
        {"version 0",
         "format = \"pcisim-design\"\nversion = 0\n",
         {"d.toml:2:11: error: version 0 is not a version of the design file (this pcisim "
          "reads 1)"}},
        {"warnings: an unused target, a wait beyond the hint",
         head + master_cpu + target_mem +
             "[[target]]\nname = \"rom\"\n"
             "bar = { base = 0x10000, size = 256 }\ninitial_wait = { read = [0, 300], "
             "write = 1 }\n",
         {"d.toml:11:1: warning: target 'rom' is in no master's window",
          "d.toml:11:1: warning: target 'rom': initial_wait up to 300 clocks; the retry hint "
          "holds 8 bits"}},
        {"no hint: no warning about its width",
         head + master_cpu + target_mem + "initial_wait = 300\nretry_hint = false\n",
         {}},
    };
    for (const reader_case& c : cases) EXPECT_EQ(problems(c.text), c.expected) << c.name;
}

TEST(DesignReader, ReadsEveryKeyIntoTheDesign) {
    const PCI_design d = read_ok(
        head +
        "[run]\nmax_cycles = 5000\nseed = 4294967295\n"
        "[arbiter]\npolicy = \"fixed\"\n"
        "[[master]]\nname = \"dma\"\ntransactions = 7\nlatency_timer = 64\n"
        "latency_timer_expiry = \"after_data_phase\"\nretry_overhead = -1\n"
        "fast_back_to_back = false\nreads = 30\nread_command = \"memory_read_multiple\"\n"
        "write_command = \"memory_write_and_invalidate\"\nread_length = [2, 9]\n"
        "write_length = 3\naddress = \"sequential\"\ngap = [20, 200]\ninitial_wait = 1\n"
        "burst_wait = [0, 2]\nseed = 99\nmultiplier = 0x1234\n"
        "  [[master.window]]\n  target = \"mem\"\n  offset = 0x100\n  size = \"256B\"\n"
        "  weight = 3\n"
        "  [[master.window]]\n  target = \"mem\"\n  size = 4096\n"
        "[[target]]\nname = \"mem\"\nbar = { base = 0x8000_0000, size = \"2GiB\", "
        "prefetchable = false }\ndecode_speed = { memory_read = \"SLOW\", io_write = \"SUB\" }\n"
        "initial_wait = { read = [6, 10], write = 2 }\nburst_wait = { every = \"64B\", "
        "clocks = [1, 2] }\ndisconnect = { after = 5 }\ninit_retry_threshold = 0\n"
        "burst_retry_threshold = 1023\nretry_hint = false\n"
        "[monitor]\ncards = \"none\"\n[[monitor.card]]\nname = \"all\"\nbase = 0\n"
        "size = \"4GiB\"\n");
    EXPECT_EQ(d.max_cycles, 5000);
    EXPECT_EQ(d.seed, 4294967295u);
    EXPECT_EQ(d.arbiter.policy, PCI_arbiter_policy::fixed);
    ASSERT_EQ(d.masters.size(), 1u);
    const PCI_master_spec& m = d.masters[0];
    EXPECT_EQ(m.transactions, 7);
    EXPECT_EQ(m.latency_timer, 64);
    EXPECT_EQ(m.latency_timer_expiry, PCI_timer_expiry::after_data_phase);
    EXPECT_EQ(m.retry_overhead, -1);
    EXPECT_FALSE(m.fast_back_to_back);
    EXPECT_EQ(m.read_command, uint32_t{CMD_MEMORY_READ_MULTIPLE});
    EXPECT_EQ(m.write_command, uint32_t{CMD_MEMORY_WRITE_INVALIDATE});
    EXPECT_EQ(m.read_length, PCI_draw::range(2, 9));
    EXPECT_EQ(m.write_length, PCI_draw::fixed(3));
    EXPECT_EQ(m.address, PCI_address_mode::sequential);
    EXPECT_EQ(m.gap, PCI_draw::range(20, 200));
    EXPECT_EQ(m.initial_wait, PCI_draw::fixed(1));
    EXPECT_EQ(m.burst_wait, PCI_draw::range(0, 2));
    EXPECT_EQ(m.seed, 99);
    EXPECT_EQ(m.multiplier, 0x1234u);
    ASSERT_EQ(m.windows.size(), 2u);
    EXPECT_EQ(m.windows[0], (PCI_window_spec{"mem", 0x100, 256, 3}));
    EXPECT_EQ(m.windows[1], (PCI_window_spec{"mem", 0, 4096, 1}));
    const PCI_target_spec& t = d.targets[0];
    EXPECT_EQ(t.bar_base, 0x80000000u);
    EXPECT_EQ(t.bar_size, 0x80000000u);
    EXPECT_FALSE(t.prefetchable);
    EXPECT_EQ(t.decode_speed[2], PCI_decode_speed::slow);  // memory read
    EXPECT_EQ(t.decode_speed[5], PCI_decode_speed::sub);   // I/O write
    EXPECT_EQ(t.decode_speed[3], PCI_decode_speed::fast);  // not given
    EXPECT_TRUE(t.initial_wait_split);
    EXPECT_EQ(t.initial_wait_read, PCI_draw::range(6, 10));
    EXPECT_EQ(t.initial_wait_write, PCI_draw::fixed(2));
    EXPECT_EQ(t.burst_wait_every, 64u);
    EXPECT_EQ(t.burst_wait, PCI_draw::range(1, 2));
    EXPECT_EQ(t.disconnect, PCI_disconnect_kind::after);
    EXPECT_EQ(t.disconnect_after, PCI_draw::fixed(5));
    EXPECT_EQ(t.init_retry_threshold, 0);
    EXPECT_EQ(t.burst_retry_threshold, 1023);
    EXPECT_FALSE(t.retry_hint);
    EXPECT_FALSE(d.cards_from_targets);
    ASSERT_EQ(d.cards.size(), 1u);
    EXPECT_EQ(d.cards[0], (PCI_card_spec{"all", 0, 0}));
}

TEST(DesignReader, DefaultsOfOmittedKeys) {
    const PCI_design d = read_ok(head + master_cpu + target_mem);
    const PCI_master_spec& m = d.masters[0];
    EXPECT_EQ(d.max_cycles, 100001);
    EXPECT_FALSE(d.seed);
    EXPECT_EQ(d.arbiter, PCI_arbiter_spec{});
    EXPECT_EQ(m.transactions, 100);
    EXPECT_EQ(m.latency_timer, 48);
    EXPECT_EQ(m.windows[0], (PCI_window_spec{"mem", 0, 0x8000, 1}));
    EXPECT_EQ(m.read_length, PCI_draw::fixed(4));
    EXPECT_FALSE(m.seed);
    const PCI_target_spec& t = d.targets[0];
    EXPECT_EQ(t.init_retry_threshold, 16);
    EXPECT_EQ(t.burst_retry_threshold, 8);
    EXPECT_EQ(t.disconnect, PCI_disconnect_kind::none);
    EXPECT_TRUE(d.cards_from_targets);
}

TEST(DesignReader, StopsAtTwentyErrorsInPrint) {
    std::string text = head + target_mem;
    for (int i = 0; i < 23; ++i)
        text += "[[master]]\nname = \"m" + std::to_string(i) +
                "\"\nreads = 500\nlength = 1\nwindow = { target = \"mem\" }\n";
    PCI_design design;
    PCI_design_diagnostics diagnostics;
    EXPECT_FALSE(read_design_text(text, "d.toml", {}, design, diagnostics));
    std::ostringstream err;
    diagnostics.print(err);
    const std::string printed = err.str();
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 21);
    // 23 reads out of range and the count of masters.
    EXPECT_NE(printed.find("pcisim: ... and 4 more errors\n"), std::string::npos);
    EXPECT_EQ(printed.find("d.toml:8:9: error: master 'm0': reads 500"), 8u);
}

struct set_case {
    std::vector<std::string> sets;      // the options
    std::vector<std::string> expected;  // problems
};

TEST(DesignSet, PathsReachEveryPart) {
    const std::string text = head +
                             "[[master]]\nname = \"cpu\"\nreads = 50\nlength = 4\n"
                             "[[master.window]]\ntarget = \"mem\"\n"
                             "[[master.window]]\ntarget = \"mem\"\n" +
                             target_mem;
    const PCI_design d =
        read_ok(text, {"master.cpu.latency_timer=16", "master.1.window.2.weight=7",
                       "target.mem.bar.size=\"1MiB\"", "arbiter.mtt=32", "run.max_cycles=77",
                       "master.cpu.name=\"dma\"", "master.dma.gap=[1, 3]",
                       "target.mem.initial_wait={ read = 5, write = [1, 2] }"});
    EXPECT_EQ(d.masters[0].latency_timer, 16);
    EXPECT_EQ(d.masters[0].windows[1].weight, 7);
    EXPECT_EQ(d.masters[0].windows[0].weight, 1);
    EXPECT_EQ(d.targets[0].bar_size, 0x100000u);
    EXPECT_EQ(d.arbiter.mtt, 32);
    EXPECT_EQ(d.max_cycles, 77);
    EXPECT_EQ(d.masters[0].name, "dma");
    EXPECT_EQ(d.masters[0].gap, PCI_draw::range(1, 3));
    EXPECT_EQ(d.targets[0].initial_wait_write, PCI_draw::range(1, 2));

    const std::vector<set_case> cases = {
        {{"master.pm7.latency_timer=1"},
         {"--set master.pm7.latency_timer: error: no master 'pm7' (masters: cpu)"}},
        {{"master.cpu.window.3.weight=1"},
         {"--set master.cpu.window.3.weight: error: no window '3' (windows: 1..2)"}},
        {{"master.cpu.window.weight=1"},
         {"--set master.cpu.window.weight: error: 'window' is a list: name one of its "
          "elements before the key"}},
        {{"master.cpu=1"},
         {"--set master.cpu: error: 'master' is a list: name one of its elements before the "
          "key"}},
        {{"master.cpu.reads.x=1"},
         {"--set master.cpu.reads.x: error: 'reads' holds a value, not a table"}},
        {{"arbiter..mtt=1"}, {"--set arbiter..mtt: error: path 'arbiter..mtt' has an empty part"}},
        {{"arbiter.mtt=1 2"},
         {"--set arbiter.mtt: error: value '1 2' is not a TOML value: Error while parsing "
          "key-value pair: expected a comment or whitespace, saw '2'"}},
        {{"arbiter.mtt=-1", "arbiter.policy=\"fixed\""},
         {"--set arbiter.mtt: error: arbiter: mtt applies only to policy 'rotating'"}},
        {{"target.mem.bar.base=0x100"},
         {"--set target.mem.bar.base: error: target 'mem': bar base 0x00000100 is not aligned "
          "to its size 64KiB"}},
        {{"monitor.cards=\"some\""},
         {"--set monitor.cards: error: monitor: cards 'some' is not one of targets, none"}},
    };
    for (const set_case& c : cases) EXPECT_EQ(problems(text, c.sets), c.expected) << c.sets[0];
}

// A design that uses every form the writer has: several windows, a decode
// speed per class, split and plain waits, each disconnect, cards, the fixed
// policy, derived seeds.
PCI_design every_form() {
    PCI_design d = builtin_design();
    d.max_cycles = 1234;
    d.seed = 5;
    d.arbiter.policy = PCI_arbiter_policy::fixed;
    d.masters[0].windows.push_back(PCI_window_spec{"pt2", 0x8000, 0x100, 9});
    d.masters[1].address = PCI_address_mode::sequential;
    d.masters[1].read_command = CMD_MEMORY_READ_LINE;
    d.masters[1].gap = PCI_draw::range(0, 0);
    d.masters[2].seed.reset();
    d.masters[2].multiplier.reset();
    d.targets[1].decode_speed[0] = PCI_decode_speed::sub;
    d.targets[2].disconnect = PCI_disconnect_kind::none;
    d.cards.push_back(PCI_card_spec{"high", 0x80000000, 0xF0000000});
    return d;
}

TEST(DesignWriter, WrittenDesignsReadBackEqualAndWriteTheSameBytes) {
    for (const PCI_design& design : {builtin_design(), every_form()}) {
        const std::string text = design_to_toml(design);
        const PCI_design back = read_ok(text);
        EXPECT_EQ(back, design);
        EXPECT_EQ(design_to_toml(back), text);
    }
}

TEST(DesignWriter, ShapesAndFormsAsWritten) {
    const std::string text = design_to_toml(every_form());
    for (const char* line :
         {"policy = \"fixed\"\n", "seed       = 5\n", "gap                  = [0, 0]\n",
          "read_command         = \"memory_read_line\"\n",
          "# seed or multiplier not given: derived from the run's seed\n",
          "  [[master.window]]\n  target = \"pt2\"\n  offset = 0x0000_8000\n  size   = \"256B\"\n"
          "  weight = 9\n",
          "decode_speed          = { memory_read = \"FAST\", memory_write = \"FAST\", io_read = "
          "\"FAST\", io_write = \"FAST\", config_read = \"SUB\", config_write = \"FAST\" }\n",
          "disconnect            = \"none\"\n",
          "[[monitor.card]]\nname = \"high\"\nbase = 0x8000_0000\nsize = \"256MiB\"\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("mtt"), std::string::npos);
}

// Rules over design values built in code (no places: problems are placed
// nowhere).
std::vector<std::string> rule_problems(const PCI_design& design) {
    PCI_design_diagnostics diagnostics;
    check_design_rules(design, PCI_design_places{}, diagnostics);
    std::vector<std::string> lines;
    for (const auto& p : diagnostics.errors()) lines.push_back(p.text);
    for (const auto& p : diagnostics.warnings()) lines.push_back("warning: " + p.text);
    return lines;
}

TEST(DesignRules, BarsWindowsCardsAndCounts) {
    EXPECT_EQ(rule_problems(builtin_design()), std::vector<std::string>{});

    PCI_design d = builtin_design();
    d.targets[2].bar_base = 0x00108000;  // inside pt2, and not aligned to 64 KiB
    d.targets[1].bar_size = 0x4000;      // pt2 now ends at 0x103fff
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"target 'pt3': bar base 0x00108000 is not aligned to its "
                                        "size 64KiB",
                                        "master 'pm2': window 0x00100000-0x00107fff leaves "
                                        "target 'pt2' (0x00100000-0x00103fff)"}));
    d = builtin_design();
    d.targets[2].bar_base = 0x00000000;  // inside pt1
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"target 'pt3' window 0x00000000-0x0000ffff overlaps "
                                        "target 'pt1' window 0x00000000-0x000fffff"}));
    d = builtin_design();
    d.targets[1].bar_size = 0x18000;
    d.masters[0].windows[0] = PCI_window_spec{"pt1", 0xF8000, 0x8000, 1};  // ends at the edge
    d.masters[2].windows[0] = PCI_window_spec{"pt3", 6, 0x10, 1};
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"target 'pt2': bar size 96KiB is not a power of two of "
                                        "16B or more",
                                        "master 'pm3': window offset 0x00000006 is not a "
                                        "multiple of 4"}));
    d = builtin_design();
    d.masters[0].windows[0].size = 0x3000;
    d.masters[1].windows[0].target = "PT2";
    // pt2 is in no window now, but warnings wait until there is no error.
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"master 'pm1': window size 12KiB is not a power of two "
                                        "of 4B or more",
                                        "master 'pm2': window target 'PT2' is not a target "
                                        "(targets: pt1, pt2, pt3)"}));
    d.masters[0].windows[0].size = 0x4000;
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"master 'pm2': window target 'PT2' is not a target "
                                        "(targets: pt1, pt2, pt3)"}));
    d.masters[1].windows[0].target = "pt3";
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"warning: target 'pt2' is in no master's window"}));
    // pm3's bursts of 128 words fit behind a 32 KiB window in 64 KiB, not in 32 KiB.
    d.masters[1].windows[0].target = "pt2";
    d.masters[2].windows[0].offset = 0x8000 - 508;  // the last burst ends at the last byte
    EXPECT_EQ(rule_problems(d), (std::vector<std::string>{}));
    d.masters[2].windows[0].offset = 0x8000 - 504;
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"warning: master 'pm3': a burst of 128 data phases from "
                                        "the end of its window can run past target 'pt3' "
                                        "(0x00180000-0x0018ffff)"}));

    d = builtin_design();
    d.cards.push_back(PCI_card_spec{"page", 0x00100000, 0xFFFFF000});  // inside pt2
    d.cards.push_back(PCI_card_spec{"wide", 0x00000000, 0xFF000000});  // holds all: counts
    d.cards.push_back(PCI_card_spec{"pt1", 0x10000000, 0xFF000000});
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"name 'pt1' is already used",
                                        "card 'page' lies inside card 'pt2' and would never "
                                        "count"}));
    d.cards_from_targets = false;
    d.cards.resize(2);
    EXPECT_EQ(rule_problems(d), (std::vector<std::string>{}));

    d = builtin_design();
    for (int i = 4; i <= 9; ++i) {
        d.masters.push_back(d.masters[0]);
        d.masters.back().name = "m" + std::to_string(i);
    }
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"9 masters; the arbiter serves at most 8"}));
    d.masters.pop_back();
    EXPECT_EQ(rule_problems(d), (std::vector<std::string>{}));
    d.masters.clear();
    d.targets.clear();
    EXPECT_EQ(rule_problems(d),
              (std::vector<std::string>{"no [[master]]: a design needs at least one",
                                        "no [[target]]: a design needs at least one"}));
}

TEST(DesignRules, NamesAndFormats) {
    for (const char* good : {"a", "pm1", "dma_0", "abcdefghijklmnop"})
        EXPECT_TRUE(design_name_valid(good)) << good;
    for (const char* bad :
         {"", "1a", "_a", "Pm1", "pm-1", "abcdefghijklmnopq", "tb", "pa", "pb", "pmon", "t"})
        EXPECT_FALSE(design_name_valid(bad)) << bad;
    EXPECT_EQ(format_size(0x8000), "32KiB");
    EXPECT_EQ(format_size(48), "48B");
    EXPECT_EQ(format_size(uint64_t{1} << 32), "4GiB");
    EXPECT_EQ(format_size(0x1800), "6KiB");
    EXPECT_EQ(format_address(0x180000), "0x00180000");
    EXPECT_TRUE(is_power_of_two(1));
    EXPECT_FALSE(is_power_of_two(0));
    EXPECT_FALSE(is_power_of_two(0x18000));
}

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Two blocks of padding (56 bytes), and a whole block plus a tail.
    EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256_hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}
}  // namespace

// Non-ASCII text is fine in strings and comments; anywhere else it is
// reported before the parser sees it (whose white-space test is undefined
// for such characters), with its line and column in characters.
TEST(DesignReader, NonAsciiOnlyInStringsAndComments) {
    const std::string names = "# caf\xc3\xa9\n" + head + "[run] # \xe3\x80\x81\n" + master_cpu +
                              target_mem +
                              "[[monitor.card]]\nname = \"low\"\nbase = 0\nsize = 16\n";
    EXPECT_TRUE(problems(names).size() <= 1);  // at most the card's own rule
    const std::string literal = head + "# '''caf\xc3\xa9\n" + master_cpu + target_mem;
    read_ok(literal);
    EXPECT_EQ(problems(head + "x = 1 caf\xc3\xa9\n"),
              std::vector<std::string>{"d.toml:3:10: error: unexpected character U+00E9 (outside "
                                       "strings and comments a design holds only ASCII)"});
    EXPECT_EQ(problems(head + "s = \"a\\\"\" \xff\n"),
              std::vector<std::string>{"d.toml:3:11: error: unexpected byte 0xFF (not UTF-8)"});
    EXPECT_EQ(problems(head + master_cpu + target_mem, {"arbiter.mtt=1\xe3\x80\x81"}),
              std::vector<std::string>{
                  "--set arbiter.mtt: error: value '1\xe3\x80\x81' is not a TOML value: "
                  "unexpected character U+3001 (outside strings and comments a design holds "
                  "only ASCII)"});
    // A value that opens a table of its own is more than one value.
    EXPECT_EQ(problems(head + master_cpu + target_mem, {"arbiter.new.mtt=1\n[x]"}),
              std::vector<std::string>{"--set arbiter.new.mtt: error: value '1\n[x]' is not a "
                                       "TOML value: more than one value"});
}
