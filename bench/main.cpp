// The simulator's entry: run the program with a block-buffered standard
// output, write what is left, and end the process with its status (1 if
// standard output could not be written).
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "bench/simulation.h"
#include "bench/stdout_buffer.h"

int main(int argc, char** argv) {
    PCI_stdout_buffer buffer;
    std::ostream out(&buffer);
    int status = pcisim_main(argc, argv, out, std::cerr);
    if (!buffer.finish()) {
        std::cerr << "pcisim: cannot write standard output: " << std::strerror(buffer.error())
                  << std::endl;
        status = 1;
    }
    std::exit(status);
}
