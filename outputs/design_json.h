#pragma once
// The design value as JSON, with the keys and shapes of the design file: a
// fixed number as a number, a range as [lo, hi], choices by name, every
// value present (defaults included); a seed or multiplier the design leaves
// to derivation is null.

#include <nlohmann/json.hpp>

#include "pci/design.h"

// The design as one JSON object: run, arbiter, masters, targets, monitor.
nlohmann::ordered_json design_json(const PCI_design& design);
