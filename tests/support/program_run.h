#pragma once
// The whole program run in-process, as "pcisim <args>", with streams of its
// own.
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/simulation.h"

struct Outcome {
    int status;       // exit status
    std::string out;  // everything printed on standard output
    std::string err;  // everything printed on the error stream
};

inline Outcome run_program(std::vector<std::string> args) {
    args.insert(args.begin(), "pcisim");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::ostringstream out;
    std::ostringstream err;
    const int status = pcisim_main(static_cast<int>(args.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}
