#pragma once
// The per-cycle REQ# or GNT# line (options -r and -g): each master's level
// of one of its arbitration pins, on the simulation's stream.

#include <ostream>
#include <vector>

#include "outputs/observer.h"

class SIM_port;

class PCI_request_lines : public SIM_observer {
  public:
    // Prints the given pins, two blanks apart, every cycle the run goes on.
    PCI_request_lines(std::vector<const SIM_port*> pins, std::ostream& out)
        : pins_(std::move(pins)), out_(out) {}

    void on_cycle(const SIM_cycle_info& info) override;

  private:
    std::vector<const SIM_port*> pins_;  // one pin per master, in master order
    std::ostream& out_;                  // where the lines go
};
