#include "bench/seeds.h"

namespace {
// The increment of splitmix64's state.
constexpr uint64_t golden_gamma = 0x9E3779B97F4A7C15u;
}  // namespace

uint64_t splitmix64_mix(uint64_t value) {
    uint64_t z = value;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

PCI_source_seeds derived_seeds(uint32_t number, int unit) {
    const uint64_t z = splitmix64_mix(number + static_cast<uint64_t>(unit + 1) * golden_gamma);
    return {static_cast<int32_t>(z & 0x7FFFFFFFu), static_cast<uint32_t>((z >> 32) & 0xFFFFu)};
}

void derive_seeds(uint32_t number, PCI_testbench& bench) {
    const int units = static_cast<int>(bench.master_seeds.size());
    for (int i = 0; i < units; ++i) bench.master_seeds[i] = derived_seeds(number, i);
    for (size_t i = 0; i < bench.target_seeds.size(); ++i)
        bench.target_seeds[i] = derived_seeds(number, units + static_cast<int>(i));
}
