// Reading of command-line arguments without a design: numbers, run settings
// and requests to the design. The rejection and help bytes are checked by the
// whole-program golden cases, the help text without a program name with the
// bench.
#include "bench/options.h"

#include <gtest/gtest.h>

#include <string>

namespace {
using kind = option_effect::kind;

run_settings parsed(std::initializer_list<const char*> args) {
    run_settings settings;
    for (const char* arg : args) parse_option(arg, settings);
    return settings;
}

option_effect effect_of(const char* arg) {
    run_settings settings;
    return parse_option(arg, settings);
}
}  // namespace

// Like atoi: the low 32 bits of what strtol gives, which saturates beyond
// 64 bits (LONG_MAX reads -1, LONG_MIN reads 0).
TEST(Number, ReadsLikeAtoi) {
    const std::pair<std::string, int32_t> cases[] = {
        {"42", 42},
        {"  \t\n\v\f\r-17xyz", -17},
        {"+8", 8},
        {"", 0},
        {"abc", 0},
        {"- 5", 0},
        {"--5", 0},
        {"12 34", 12},
        {"0x10", 0},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MIN},
        {"4294967296", 0},
        {"4294967300", 4},
        {"-2147483649", INT32_MAX},
        {"9223372036854775807", -1},
        {"99999999999999999999999999", -1},
        {"-9223372036854775808", 0},
        {"-99999999999999999999999999", 0},
        {std::string(5000, '9'), -1},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(parse_number(text.c_str()), value) << text;
}

TEST(Options, DumpSettingsAndOrder) {
    run_settings d = parsed({});
    EXPECT_EQ(d.dump_mode, dump_mode_t::none);
    EXPECT_EQ(d.counter_width, 3);
    EXPECT_EQ(d.counter_modulus, 1000);
    EXPECT_EQ(d.loc, 0);
    EXPECT_EQ(d.rad, 5);
    EXPECT_FALSE(d.stop_after_window);

    run_settings s = parsed({"-cl100"});
    EXPECT_EQ(s.dump_mode, dump_mode_t::window);
    EXPECT_EQ(s.loc, 100);
    EXPECT_TRUE(s.stop_after_window);
    EXPECT_TRUE(parsed({"-cs", "-cl100"}).stop_after_window);
    EXPECT_FALSE(parsed({"-cl100", "-cS"}).stop_after_window);
    EXPECT_EQ(parsed({"-cl1", "-c"}).dump_mode, dump_mode_t::every);
    EXPECT_EQ(parsed({"-c", "/CR7"}).dump_mode, dump_mode_t::window);
    EXPECT_EQ(parsed({"-c", "/CR7"}).rad, 7);
    // Upper-case L is not -cl: nothing changes.
    run_settings upper = parsed({"-cL5"});
    EXPECT_EQ(upper.dump_mode, dump_mode_t::none);
    EXPECT_EQ(upper.loc, 0);
    EXPECT_EQ(parsed({"-cl"}).loc, 0);  // truncated: no digits read 0

    const int32_t widths[6][2] = {{0, 1}, {1, 1}, {2, 10}, {3, 100}, {4, 1000}, {5, 10000}};
    for (int i = 0; i < 6; ++i) {
        const std::string arg = "-c" + std::to_string(i);
        run_settings c = parsed({arg.c_str()});
        EXPECT_EQ(c.counter_width, widths[i][0]) << arg;
        EXPECT_EQ(c.counter_modulus, widths[i][1]) << arg;
        EXPECT_EQ(c.dump_mode, dump_mode_t::none) << arg;
    }
    run_settings other = parsed({"-c9", "-cn", "-cx"});
    EXPECT_EQ(other.counter_width, 3);
    EXPECT_EQ(other.dump_mode, dump_mode_t::none);
}

TEST(Options, FlagsAndSkippedArguments) {
    run_settings s = parsed({"-g", "/R", "-Sx", "-n", "plain", "", nullptr});
    EXPECT_TRUE(s.dump_gnt);
    EXPECT_TRUE(s.dump_req);
    EXPECT_TRUE(s.dump_stats);
    EXPECT_TRUE(s.dump_counters);
    for (const char* arg : {"plain", "", static_cast<const char*>(nullptr), "-d", "-d4", "-dz"})
        EXPECT_EQ(effect_of(arg).what, kind::none) << (arg ? arg : "null");
    EXPECT_EQ(effect_of("-h").what, kind::help);
    EXPECT_EQ(effect_of("/Hx").what, kind::help);
}

TEST(Options, DesignRequests) {
    struct Case {
        const char* arg;
        kind what;
        int unit;
        int32_t value;
    };
    const Case cases[] = {
        {"-a 12", kind::arbiter_mtt, 0, 12},   {"-A", kind::arbiter_mtt, 0, 0},
        {"-dm", kind::debug_monitor, 0, 0},    {"-DA", kind::debug_arbiter, 0, 0},
        {"-d12", kind::debug_master, 1, 0},    {"-m2L300", kind::master_latency, 2, 300},
        {"-m1c10", kind::master_count, 1, 10}, {"-m3o-1", kind::master_overhead, 3, -1},
        {"-m1c", kind::master_count, 1, 0},    {"-t2b3", kind::target_burst, 2, 3},
        {"/T3I20", kind::target_init, 3, 20},
    };
    for (const Case& c : cases) {
        option_effect e = effect_of(c.arg);
        EXPECT_EQ(e.what, c.what) << c.arg;
        EXPECT_EQ(e.unit, c.unit) << c.arg;
        EXPECT_EQ(e.value, c.value) << c.arg;
    }
}
