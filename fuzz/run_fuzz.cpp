// Fuzz target: one whole short run of the program. The input gives the
// arguments (split at zero bytes, behind argv[0] = "pcisim"); -m1c2 -m2c2
// -m3c2 and --max-cycles=3000 come last, so every master stops after two
// transactions and no run goes beyond 3000 cycles whatever the input asked
// for. The output is formatted as usual and then dropped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string_view>

#include "bench/simulation.h"
#include "fuzz_support.h"

namespace {

// The program in a simulation of its own, printing into a fresh stream (so
// no format state carries over from the previous run).
int run_program(int argc, char** argv) {
    null_buffer buffer;
    std::ostream out(&buffer);
    return pcisim_main(argc, argv, out, out);
}

// Inputs with more arguments than this are left out: they only repeat
// options, and each one makes the run slower.
constexpr int max_arguments = 64;

// Options that write files: the fuzzer must not litter the disk.
bool writes_files(const fuzz_args& args) {
    for (int i = 1; i < args.argc(); ++i) {
        const std::string_view arg = args[i];
        for (std::string_view option : {"--vcd", "--stats-json", "--transactions", "--compliance"})
            if (arg.substr(0, option.size()) == option)
                return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_args args(data, size);
    if (args.argc() > max_arguments || writes_files(args))
        return -1;  // not added to the corpus
    args.add("-m1c2");
    args.add("-m2c2");
    args.add("-m3c2");
    args.add("--max-cycles=3000");
    const int status = run_program(args.argc(), args.argv());
    // A run, the help text (0), a long option's error (1) or a rejected
    // option (10): nothing else.
    if (status != 0 && status != 1 && status != 10)
        std::abort();
    return 0;
}
