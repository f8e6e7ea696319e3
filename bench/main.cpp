// The simulator's entry: run the program and end the process with its status.
#include <cstdlib>

#include "bench/simulation.h"

int main(int argc, char** argv) {
    std::exit(pcisim_main(argc, argv));
}
