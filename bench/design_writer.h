#pragma once
// A design as the text of a design file: every key with its value, defaults
// included, in one fixed order and layout. A plain number stays plain and a
// range stays a range, so reading the text back gives the same design and
// writing that again gives the same bytes.

#include <string>

#include "pci/design.h"

// The design file text of design.
std::string design_to_toml(const PCI_design& design);

// The names of a master's read and write commands in a design file
// ("memory_read", "memory_read_line", ...); empty for a code of neither.
std::string read_command_name(uint32_t command);
std::string write_command_name(uint32_t command);
// "FAST", "MED", "SLOW" or "SUB".
const char* decode_speed_name(PCI_decode_speed speed);
