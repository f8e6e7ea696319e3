// Fuzz target: the option parser over a whole argument vector. Every argument
// is read with parse_option into one run_settings, as the program does; the
// parser must never crash or read past an argument's terminating zero, and
// its answers must stay within what the driver relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ostream>

#include "bench/options.h"
#include "fuzz_support.h"

namespace {

// The driver indexes masters and targets 1 to 3 and prints the message of a
// rejection: anything else is a finding.
void check(const option_effect& effect) {
    using kind = option_effect::kind;
    switch (effect.what) {
        case kind::debug_master:
        case kind::master_count:
        case kind::master_latency:
        case kind::master_overhead:
        case kind::target_init:
        case kind::target_burst:
            if (effect.unit < 1 || effect.unit > 3)
                std::abort();
            break;
        case kind::reject:
            if (effect.message == nullptr)
                std::abort();
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_args args(data, size);
    char** argv = args.argv();
    run_settings settings;
    for (int i = 1; i < args.argc(); ++i) {
        const option_effect effect = parse_option(argv[i], settings);
        check(effect);
        if (effect.what == option_effect::kind::help) {
            null_buffer buffer;
            std::ostream out(&buffer);
            print_help(out, argv[0]);
        }
    }
    // A null argument is skipped.
    check(parse_option(nullptr, settings));
    // The prefix digits select one of six widths and moduli.
    if (settings.counter_width < 0 || settings.counter_width > 5 || settings.counter_modulus < 1)
        std::abort();
    return 0;
}
