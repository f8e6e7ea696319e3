#include "bench/options.h"

#include <limits>

namespace {

using kind = option_effect::kind;

// Lower-case of an ASCII letter; any other byte unchanged (no locale, and no
// undefined behaviour for negative chars as with std::tolower).
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

option_effect rejected(const char* message, char shown) {
    option_effect effect;
    effect.what = kind::reject;
    effect.message = message;
    effect.shown = shown;
    return effect;
}

option_effect with_value(kind what, int unit, const char* text) {
    option_effect effect;
    effect.what = what;
    effect.unit = unit;
    effect.value = parse_number(text);
    return effect;
}

// -c and its sub-options. Sub-letters are case-sensitive: l only in lower
// case, r and s in either. sub is the argument's third character, so text
// (the fourth) exists whenever sub is not the terminating zero.
void parse_dump(char sub, const char* text, run_settings& settings) {
    switch (sub) {
        case '\0':
            settings.dump_mode = dump_mode_t::every;
            break;
        case 'l':
            settings.loc = parse_number(text);
            settings.stop_after_window = true;
            settings.dump_mode = dump_mode_t::window;
            break;
        case 'r':
        case 'R':
            settings.rad = parse_number(text);
            settings.stop_after_window = true;
            settings.dump_mode = dump_mode_t::window;
            break;
        case 's':
        case 'S':
            settings.stop_after_window = false;
            break;
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5': {
            // Width and modulus of the cycle prefix per digit.
            static constexpr int32_t width[6] = {0, 1, 2, 3, 4, 5};
            static constexpr int32_t modulus[6] = {1, 1, 10, 100, 1000, 10000};
            settings.counter_width = width[sub - '0'];
            settings.counter_modulus = modulus[sub - '0'];
            break;
        }
        default:  // -cn and any other character: accepted, no change
            break;
    }
}

// Whether c is a unit digit from 1 to count.
bool unit_digit(char c, int count) {
    return c >= '1' && c <= '9' && c - '0' <= count;
}

option_effect parse_debug(char unit, int masters) {
    option_effect effect;
    if (unit_digit(unit, masters)) {
        effect.what = kind::debug_master;
        effect.unit = unit - '0';
        return effect;
    }
    switch (lower(unit)) {
        case 'a':
            effect.what = kind::debug_arbiter;
            break;
        case 'm':
            effect.what = kind::debug_monitor;
            break;
        default:  // no unit or an unknown one: accepted, no change
            break;
    }
    return effect;
}

// -m<#><c|l|o><val>. The number is tested before the option letter, and the
// option letter is read only after a valid number, so the reads stop at the
// argument's terminating zero.
option_effect parse_master(const char* arg, int masters) {
    if (!unit_digit(arg[2], masters))
        return rejected("Unknown Master number ", arg[2]);
    const int unit = arg[2] - '0';
    switch (lower(arg[3])) {
        case 'c':
            return with_value(kind::master_count, unit, arg + 4);
        case 'l':
            return with_value(kind::master_latency, unit, arg + 4);
        case 'o':
            return with_value(kind::master_overhead, unit, arg + 4);
        default:
            return rejected("Unknown Master option ", arg[3]);
    }
}

// -t<#><i|b><val>, read like -m.
option_effect parse_target(const char* arg, int targets) {
    if (!unit_digit(arg[2], targets))
        return rejected("Unknown Target number ", arg[2]);
    const int unit = arg[2] - '0';
    switch (lower(arg[3])) {
        case 'i':
            return with_value(kind::target_init, unit, arg + 4);
        case 'b':
            return with_value(kind::target_burst, unit, arg + 4);
        default:
            return rejected("Unknown threshold option ", arg[3]);
    }
}

}  // namespace

int32_t parse_number(const char* text) {
    while (is_space(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    // Magnitude, saturated just above what a 64-bit long can hold either way.
    constexpr uint64_t limit = uint64_t{1} << 63;
    uint64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const uint64_t digit = static_cast<uint64_t>(*text - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    int64_t value;
    if (negative)
        value = magnitude >= limit ? std::numeric_limits<int64_t>::min()
                                   : -static_cast<int64_t>(magnitude);
    else
        value = magnitude >= limit ? std::numeric_limits<int64_t>::max()
                                   : static_cast<int64_t>(magnitude);
    // The low 32 bits, as (int)strtol() gives them (modular since C++20).
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

option_effect parse_option(const char* arg, run_settings& settings, int masters, int targets) {
    if (arg == nullptr || (arg[0] != '-' && arg[0] != '/'))
        return {};
    // arg[1] exists (it is at worst the terminating zero); every later read
    // happens only after the character before it was found non-zero.
    option_effect effect;
    switch (lower(arg[1])) {
        case 'a':
            return with_value(kind::arbiter_mtt, 0, arg + 2);
        case 'c':
            parse_dump(arg[2], arg[2] != '\0' ? arg + 3 : arg + 2, settings);
            break;
        case 'd':
            return parse_debug(arg[2], masters);
        case 'g':
            settings.dump_gnt = true;
            break;
        case 'h':
            effect.what = kind::help;
            break;
        case 'm':
            return parse_master(arg, masters);
        case 'n':
            settings.dump_counters = true;
            break;
        case 'r':
            settings.dump_req = true;
            break;
        case 's':
            settings.dump_stats = true;
            break;
        case 't':
            return parse_target(arg, targets);
        default:  // also a lone prefix: the letter shown is the zero byte
            return rejected("Unknown option ", arg[1]);
    }
    return effect;
}

void print_help(std::ostream& os, const char* program) {
    static const char* const lines[] = {
        "Options:",
        "-a<val>    set arbiter's MTT",
        "-c         cycle dump",
        "-cl<loc>   dump around <loc>",
        "-cr<rad>   dump in radius <rad>. if -cl given, <rad> defaults to 5.",
        "-cn        dump without cycle counter (good for diff's).",
        "-cs        do not stop after radius dump.",
        "-d<unit>   set debug mode for unit (m-mon, a-arbiter, 1,2,3 - masters)",
        "-g         dump grant bits",
        "-h         dump this help screen",
        "-m<#><val> set master options:",
        "           (c - trans. count, l - latency timer, o - retry overhead)",
        "-n         dump counters",
        "-r         dump req bits",
        "-s         dump targets statistics",
        "-t<#><val> set target options:",
        "           (i - init retry threshold, b - burst retry threshold)",
    };
    os << "Usage: " << (program != nullptr ? program : "") << " <options>" << std::endl;
    for (const char* line : lines) os << line << std::endl;
}
