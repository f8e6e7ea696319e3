#include "bench/long_options.h"

#include <cstring>
#include <limits>
#include <string_view>

namespace {
using kind = long_option_result::kind;

// Reads a whole decimal number from 0 to limit (digits only); nothing if the
// text is anything else.
std::optional<uint64_t> decimal(const std::string& text, uint64_t limit) {
    if (text.empty() || text.size() > 20)
        return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// Stores a file name; an empty one is an error.
std::string file_name(std::string& target, const std::string& value) {
    if (value.empty())
        return "needs a file name";
    target = value;
    return {};
}

// One long option: its name (without "--"), the name of its value if it
// takes one, and what it does with it.
struct long_option {
    const char* name;        // the whole word after "--"
    const char* value_name;  // its value in the help text (after "=" or as the next
                             // argument); null when it takes none
    const char* help;        // the help line's text after the option
    // Applies the option; returns an error text or an empty string.
    std::string (*apply)(extension_settings& settings, const std::string& value);
    // Listed by --help. The options added after the help text's bytes were
    // fixed by its golden case are not (the README describes them).
    bool listed = true;
};

const long_option options[] = {
    {"help", nullptr, "print this help text",
     [](extension_settings& s, const std::string&) {
         s.help = true;
         return std::string();
     }},
    {"version", nullptr, "print the version",
     [](extension_settings& s, const std::string&) {
         s.version = true;
         return std::string();
     }},
    {"vcd", "FILE", "write a value change dump (waveform) of the run to FILE",
     [](extension_settings& s, const std::string& value) {
         if (value.empty())
             return std::string("needs a file name");
         s.vcd_file = value;
         return std::string();
     }},
    {"vcd-split", nullptr, "write AD and C/BE# bit by bit in the dump (for sigrok)",
     [](extension_settings& s, const std::string&) {
         s.vcd_split = true;
         return std::string();
     }},
    {"vcd-levels", "N", "levels in the dump: 4 (0 1 z x, the default) or 6 (also l h)",
     [](extension_settings& s, const std::string& value) {
         if (value != "4" && value != "6")
             return "must be 4 or 6, not \"" + value + "\"";
         s.vcd_six_levels = value == "6";
         return std::string();
     }},
    {"stats-json", "FILE", "write the run's statistics as JSON to FILE",
     [](extension_settings& s, const std::string& value) {
         return file_name(s.stats_json, value);
     }},
    {"transactions", "FILE", "write one CSV row per bus transaction to FILE",
     [](extension_settings& s, const std::string& value) {
         return file_name(s.transactions, value);
     }},
    {"seed", "N", "derive every random seed from N (0 to 4294967295)",
     [](extension_settings& s, const std::string& value) {
         const std::optional<uint64_t> n = decimal(value, std::numeric_limits<uint32_t>::max());
         if (!n)
             return "'" + value + "' is not a decimal number from 0 to 4294967295";
         s.seed = static_cast<uint32_t>(*n);
         return std::string();
     }},
    {"max-cycles", "N", "run at most N iterations of the main loop (default 100001)",
     [](extension_settings& s, const std::string& value) {
         // The cycle counter is 32-bit: a run stays well below its end.
         const std::optional<uint64_t> n = decimal(value, max_cycles_limit);
         if (!n || *n == 0)
             return "'" + value + "' is not a decimal number from 1 to 2000000000";
         s.max_cycles = static_cast<int32_t>(*n);
         return std::string();
     }},
    {"design", "FILE", "run the design of the TOML file FILE",
     [](extension_settings& s, const std::string& value) {
         return file_name(s.design_file, value);
     },
     false},
    {"write-design", "FILE", "write the resolved design as TOML to FILE",
     [](extension_settings& s, const std::string& value) {
         return file_name(s.write_design, value);
     },
     false},
    {"set", "PATH=VALUE", "override one value of the design (TOML syntax); repeatable",
     [](extension_settings& s, const std::string& value) {
         const size_t equals = value.find('=');
         if (equals == std::string::npos || equals == 0)
             return "'" + value + "' is not PATH=VALUE (e.g. master.pm2.latency_timer=128)";
         s.design_sets.push_back(value);
         return std::string();
     },
     false},
    {"compliance", "FILE", "write the protocol rule violations as CSV to FILE",
     [](extension_settings& s, const std::string& value) { return file_name(s.compliance, value); },
     false},
    {"batch", "FILE", "run one simulation per line of FILE (an argument list a line)",
     [](extension_settings& s, const std::string& value) { return file_name(s.batch_file, value); },
     false},
    {"batch-status", "FILE", "write one JSON record per finished batch line to FILE",
     [](extension_settings& s, const std::string& value) {
         return file_name(s.batch_status, value);
     },
     false},
    {"stdout", "FILE", "(in a batch line) write the run's standard output to FILE",
     [](extension_settings& s, const std::string& value) {
         return file_name(s.stdout_file, value);
     },
     false},
};
}  // namespace

long_option_result parse_long_option(int argc, char** argv, int index,
                                     extension_settings& settings) {
    long_option_result result;
    const char* arg = argv[index];
    if (arg == nullptr || std::strncmp(arg, "--", 2) != 0)
        return result;
    const std::string_view word(arg + 2);
    const size_t equals = word.find('=');
    const std::string_view name = word.substr(0, equals);
    for (const long_option& option : options) {
        if (name != option.name)
            continue;
        std::string value;
        if (equals != std::string_view::npos) {
            if (option.value_name == nullptr) {
                result.what = kind::error;
                result.error = "option --" + std::string(name) + " takes no value";
                return result;
            }
            value = std::string(word.substr(equals + 1));
        } else if (option.value_name != nullptr) {
            if (index + 1 >= argc || argv[index + 1] == nullptr) {
                result.what = kind::error;
                result.error = "option --" + std::string(name) + " needs a value";
                return result;
            }
            value = argv[index + 1];
            result.consumed = 2;
        }
        const std::string error = option.apply(settings, value);
        if (!error.empty()) {
            result.what = kind::error;
            result.error = "option --" + std::string(name) + ": " + error;
            return result;
        }
        result.what = kind::taken;
        return result;
    }
    return result;
}

extension_settings find_design_options(int argc, char** argv) {
    extension_settings found;
    for (int i = 1; i < argc && argv != nullptr; ++i) {
        const long_option_result taken = parse_long_option(argc, argv, i, found);
        if (taken.what == kind::error || found.help || found.version)
            break;
        i += taken.consumed - 1;
    }
    return found;
}

void print_long_help(std::ostream& os) {
    os << "\nLong options:\n";
    for (const long_option& option : options) {
        if (!option.listed)
            continue;
        std::string left =
            std::string("--") + option.name +
            (option.value_name != nullptr ? std::string(" ") + option.value_name : "");
        if (left.size() < 24)
            left.resize(24, ' ');
        else
            left += ' ';
        os << left << option.help << '\n';
    }
}

void print_version(std::ostream& os) {
    os << "pcisim " << PCISIM_VERSION << '\n';
}
