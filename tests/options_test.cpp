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

// Dump mode, window location and radius, whether the window ends the run,
// and the cycle prefix's width and modulus, after the given arguments.
std::string dump_settings(std::initializer_list<const char*> args) {
    const run_settings s = parsed(args);
    const char* modes[] = {"none", "every", "window"};
    return std::string(modes[static_cast<int>(s.dump_mode)]) + " " + std::to_string(s.loc) + " " +
           std::to_string(s.rad) + (s.stop_after_window ? " stop " : " go ") +
           std::to_string(s.counter_width) + "/" + std::to_string(s.counter_modulus);
}

TEST(Options, DumpSettingsAndOrder) {
    EXPECT_EQ(dump_settings({}), "none 0 5 go 3/1000");
    EXPECT_EQ(dump_settings({"-cl100"}), "window 100 5 stop 3/1000");
    EXPECT_EQ(dump_settings({"-cs", "-cl100"}), "window 100 5 stop 3/1000");
    EXPECT_EQ(dump_settings({"-cl100", "-cS"}), "window 100 5 go 3/1000");
    EXPECT_EQ(dump_settings({"-cl1", "-c"}), "every 1 5 stop 3/1000");
    EXPECT_EQ(dump_settings({"-c", "/CR7"}), "window 0 7 stop 3/1000");
    EXPECT_EQ(dump_settings({"-cL5"}), "none 0 5 go 3/1000");     // upper-case L is not -cl
    EXPECT_EQ(dump_settings({"-cl"}), "window 0 5 stop 3/1000");  // no digits read 0
    EXPECT_EQ(dump_settings({"-c9", "-cn", "-cx"}), "none 0 5 go 3/1000");
    const char* prefixes[6] = {"0/1", "1/1", "2/10", "3/100", "4/1000", "5/10000"};
    for (int i = 0; i < 6; ++i) {
        const std::string arg = "-c" + std::to_string(i);
        EXPECT_EQ(dump_settings({arg.c_str()}), std::string("none 0 5 go ") + prefixes[i]);
    }
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
