#pragma once
// Protocol rule checks the bus monitor runs every cycle on the five
// handshake lines: no unknown levels, sustained tri-state lines driven high
// before release, and FRAME# deasserted only while IRDY# is asserted.

#include "kernel/logic.h"

class PCI_agent;

class PCI_rule_checker {
  public:
    // Checks the current levels seen by the agent's ports, prints an
    // "ERROR: " line per broken rule (naming the agent), and remembers the
    // levels for the next cycle.
    void check(const PCI_agent& observer);

  private:
    // Levels at the previous check. Z before the first one: then a line
    // cannot look as if it had just been released.
    logic_value prev_trdy = VZ;    // TRDY#
    logic_value prev_irdy = VZ;    // IRDY#
    logic_value prev_stop = VZ;    // STOP#
    logic_value prev_frame = VZ;   // FRAME#
    logic_value prev_devsel = VZ;  // DEVSEL#
};
