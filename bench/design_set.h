#pragma once
// --set PATH=VALUE on the TOML tree of a design, before the design is read
// from it: the value (TOML syntax) replaces or adds the key at PATH, so it
// meets every check a value of the file meets, and its problems are placed
// at the option ("--set PATH").
//
// PATH is dotted: run.max_cycles, arbiter.mtt, master.NAME.KEY,
// target.NAME.bar.size, master.NAME.window.N.weight. An element of an array
// of tables ([[master]], [[target]], [[master.window]], [[monitor.card]]) is
// named by its name, or by its position from 1.

#include <string>

#include "bench/design_diagnostics.h"
#include "bench/toml.h"

// Applies one "PATH=VALUE" to root; reports a problem instead.
void apply_design_set(toml::table& root, const std::string& option,
                      PCI_design_diagnostics& diagnostics);
