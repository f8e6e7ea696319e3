#pragma once
// Seeds of the whole design derived from one number (option --seed). Unit u
// (masters pm1..pm3 are 0..2, targets pt1..pt3 are 3..5) takes the
// (u + 1)-th output of splitmix64 started at the number: z = mix(N + (u + 1)
// * 0x9E3779B97F4A7C15). Its low 31 bits are the random source's seed, bits
// 32..47 the data pattern's multiplier.

#include <cstdint>

#include "bench/testbench.h"

// The splitmix64 output for state value (already advanced by the gamma).
uint64_t splitmix64_mix(uint64_t value);
// The seeds of unit (0 to 5) for number.
PCI_source_seeds derived_seeds(uint32_t number, int unit);
// Sets bench.master_seeds and bench.target_seeds from number; takes effect at
// the next reset.
void derive_seeds(uint32_t number, PCI_testbench& bench);
