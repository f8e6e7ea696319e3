#pragma once
// Reading a design file (TOML, format "pcisim-design", version 1) into a
// design value, strictly: every problem is found and reported at once, each
// with its place, and a design with any error is not used. --set options
// override single values of the file (or of the built-in design) before the
// design is checked.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/design_diagnostics.h"
#include "bench/design_rules.h"
#include "pci/design.h"

// The source name under which the built-in design's text is read (for
// --set without --design); its lines are those --write-design writes.
inline constexpr const char* builtin_design_source = "built-in design";

// Reads the design text (named source in the problems), applies sets
// ("PATH=VALUE", in order) and checks the result. Fills design and places as
// far as they could be read; returns whether there was no error.
bool read_design_text(std::string_view text, const std::string& source,
                      const std::vector<std::string>& sets, PCI_design& design,
                      PCI_design_diagnostics& diagnostics, PCI_design_places* places = nullptr);

// What the program read: the design and, from a file, its path and digest.
struct PCI_loaded_design {
    PCI_design design;   // the checked design
    std::string path;    // the file as given; empty for the built-in design
    std::string sha256;  // hex SHA-256 of the file's bytes; empty without a file
};

// Reads path (or the built-in design when path is empty), applies sets and
// checks. Prints the problems on err (warnings too). Returns the design, or
// nothing after an error (unreadable file, or any problem of the design).
std::optional<PCI_loaded_design> load_design(const std::string& path,
                                             const std::vector<std::string>& sets,
                                             std::ostream& err);

// Writes the design file text of design to path; returns an error text or "".
std::string save_design(const std::string& path, const PCI_design& design);
