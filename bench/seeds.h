#pragma once
// Seeds of the whole design derived from one number (option --seed, or the
// design's seed for agents without their own). Unit u (the masters are 0 to
// count - 1, the targets follow: 0..5 for the built-in design) takes the
// (u + 1)-th output of splitmix64 started at the number: z = mix(N + (u + 1)
// * 0x9E3779B97F4A7C15). Its low 31 bits are the random source's seed, bits
// 32..47 the data pattern's multiplier.

#include <cstdint>

#include "bench/testbench.h"

// The splitmix64 output for state value (already advanced by the gamma).
uint64_t splitmix64_mix(uint64_t value);
// The seeds of unit for number.
PCI_source_seeds derived_seeds(uint32_t number, int unit);
// Sets bench.master_seeds and bench.target_seeds from number; takes effect at
// the next reset.
void derive_seeds(uint32_t number, PCI_testbench& bench);
