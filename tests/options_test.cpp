// Reading of command-line arguments without a design: numbers, run settings,
// requests to the design, rejections and the help text.
#include "bench/options.h"

#include <gtest/gtest.h>

#include <sstream>
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

TEST(Number, ReadsLikeAtoi) {
    EXPECT_EQ(parse_number("42"), 42);
    EXPECT_EQ(parse_number("  \t\n\v\f\r-17xyz"), -17);
    EXPECT_EQ(parse_number("+8"), 8);
    EXPECT_EQ(parse_number(""), 0);
    EXPECT_EQ(parse_number("abc"), 0);
    EXPECT_EQ(parse_number("- 5"), 0);
    EXPECT_EQ(parse_number("--5"), 0);
    EXPECT_EQ(parse_number("12 34"), 12);
    EXPECT_EQ(parse_number("0x10"), 0);
}

TEST(Number, WrapsAndSaturatesLikeStrtolCastToInt) {
    EXPECT_EQ(parse_number("2147483647"), 2147483647);
    EXPECT_EQ(parse_number("2147483648"), INT32_MIN);
    EXPECT_EQ(parse_number("4294967296"), 0);
    EXPECT_EQ(parse_number("4294967300"), 4);
    EXPECT_EQ(parse_number("-2147483649"), INT32_MAX);
    EXPECT_EQ(parse_number("9223372036854775807"), -1);
    // Beyond 64 bits strtol saturates: LONG_MAX -> -1, LONG_MIN -> 0.
    EXPECT_EQ(parse_number("99999999999999999999999999"), -1);
    EXPECT_EQ(parse_number("-9223372036854775808"), 0);
    EXPECT_EQ(parse_number("-99999999999999999999999999"), 0);
    EXPECT_EQ(parse_number(std::string(5000, '9').c_str()), -1);
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
    EXPECT_EQ(effect_of("plain").what, kind::none);
    EXPECT_EQ(effect_of("").what, kind::none);
    EXPECT_EQ(effect_of(nullptr).what, kind::none);
    EXPECT_EQ(effect_of("-h").what, kind::help);
    EXPECT_EQ(effect_of("/Hx").what, kind::help);
}

TEST(Options, DesignRequests) {
    option_effect a = effect_of("-a 12");
    EXPECT_EQ(a.what, kind::arbiter_mtt);
    EXPECT_EQ(a.value, 12);
    EXPECT_EQ(effect_of("-A").value, 0);
    EXPECT_EQ(effect_of("-dm").what, kind::debug_monitor);
    EXPECT_EQ(effect_of("-DA").what, kind::debug_arbiter);
    option_effect d = effect_of("-d12");
    EXPECT_EQ(d.what, kind::debug_master);
    EXPECT_EQ(d.unit, 1);
    EXPECT_EQ(effect_of("-d").what, kind::none);
    EXPECT_EQ(effect_of("-d4").what, kind::none);

    option_effect m = effect_of("-m2L300");
    EXPECT_EQ(m.what, kind::master_latency);
    EXPECT_EQ(m.unit, 2);
    EXPECT_EQ(m.value, 300);
    EXPECT_EQ(effect_of("-m1c10").what, kind::master_count);
    EXPECT_EQ(effect_of("-m3o-1").what, kind::master_overhead);
    EXPECT_EQ(effect_of("-m3o-1").value, -1);
    EXPECT_EQ(effect_of("-m1c").value, 0);
    option_effect t = effect_of("-t2b3");
    EXPECT_EQ(t.what, kind::target_burst);
    EXPECT_EQ(t.unit, 2);
    EXPECT_EQ(t.value, 3);
    EXPECT_EQ(effect_of("/T3I20").what, kind::target_init);
}

TEST(Options, HelpText) {
    std::ostringstream os;
    print_help(os, "./pcisim");
    EXPECT_EQ(os.str(),
              "Usage: ./pcisim <options>\n"
              "Options:\n"
              "-a<val>    set arbiter's MTT\n"
              "-c         cycle dump\n"
              "-cl<loc>   dump around <loc>\n"
              "-cr<rad>   dump in radius <rad>. if -cl given, <rad> defaults to 5.\n"
              "-cn        dump without cycle counter (good for diff's).\n"
              "-cs        do not stop after radius dump.\n"
              "-d<unit>   set debug mode for unit (m-mon, a-arbiter, 1,2,3 - masters)\n"
              "-g         dump grant bits\n"
              "-h         dump this help screen\n"
              "-m<#><val> set master options:\n"
              "           (c - trans. count, l - latency timer, o - retry overhead)\n"
              "-n         dump counters\n"
              "-r         dump req bits\n"
              "-s         dump targets statistics\n"
              "-t<#><val> set target options:\n"
              "           (i - init retry threshold, b - burst retry threshold)\n");
    std::ostringstream none;
    print_help(none, nullptr);
    EXPECT_EQ(none.str().substr(0, 27), "Usage:  <options>\nOptions:\n");
}
