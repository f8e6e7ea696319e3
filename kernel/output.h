#pragma once
// The one output stream of the simulator. Everything the system prints goes
// here, so its state (fill, precision, notation, number base) persists across
// all printers exactly as on a single stream, and tests can capture it.

#include <ostream>

// The stream in use; standard output unless redirected.
std::ostream& sim_out();
// Redirects all output to os (which must outlive its use).
void sim_set_out(std::ostream& os);
