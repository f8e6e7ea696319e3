// Fuzz target: one whole short run of the program. The input gives the
// arguments (split at zero bytes, behind argv[0] = "pcisim"); -m1c2 -m2c2
// -m3c2 come last, so every master stops after two transactions whatever the
// input asked for. The output is formatted as usual and then dropped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <ostream>
#include <string_view>

#include "bench/options.h"
#include "bench/simulation.h"
#include "fuzz_support.h"
#include "kernel/output.h"
#include "kernel/scheduler.h"

namespace {

// The program on an empty kernel, printing into a fresh stream (so no format
// state carries over from the previous run); the kernel is emptied again
// afterwards, as the design it lists is gone.
int run_program(int argc, char** argv) {
    null_buffer buffer;
    std::ostream out(&buffer);
    sim_kernel_clear();
    sim_set_out(out);
    const int status = pcisim_main(argc, argv);
    sim_set_out(std::cout);
    sim_kernel_clear();
    return status;
}

// Inputs with more arguments than this are left out: they only repeat
// options, and each one makes the run slower.
constexpr int max_arguments = 64;

// A target's initial retry threshold far below zero, or so close to the top
// of the 32-bit range that the limit wraps negative, retries every
// transaction: the masters never finish and the run goes on to the iteration
// limit (about 4 s in this build, against some 40 ms for a short run). That
// is the model's intended behaviour, not a fault; here such inputs are left
// out so that each input takes milliseconds. The burst threshold gets the
// same bounds.
constexpr int32_t lowest_threshold = -100;
constexpr int32_t highest_threshold = std::numeric_limits<int32_t>::max() - 4 * last_run_index;

bool runs_to_the_limit(const fuzz_args& args) {
    run_settings scratch;
    for (int i = 1; i < args.argc(); ++i) {
        const std::string_view arg = args[i];
        const option_effect effect = parse_option(arg.data(), scratch);
        if ((effect.what == option_effect::kind::target_init ||
             effect.what == option_effect::kind::target_burst) &&
            (effect.value < lowest_threshold || effect.value > highest_threshold))
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_args args(data, size);
    if (args.argc() > max_arguments || runs_to_the_limit(args))
        return -1;  // not added to the corpus
    args.add("-m1c2");
    args.add("-m2c2");
    args.add("-m3c2");
    const int status = run_program(args.argc(), args.argv());
    // A run, the help text (0) or a rejected option (10): nothing else.
    if (status != 0 && status != 10)
        std::abort();
    return 0;
}
