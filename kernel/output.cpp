#include "kernel/output.h"

#include <iostream>

namespace {
std::ostream* current_out = &std::cout;
}

std::ostream& sim_out() {
    return *current_out;
}

void sim_set_out(std::ostream& os) {
    current_out = &os;
}
