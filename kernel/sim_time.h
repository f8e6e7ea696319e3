#pragma once
// The clock of one simulation: its cycle counter and the two phase indices
// that choose the current and the next level buffer of every signal of that
// simulation. Its context owns it; signals keep a pointer to it.

#include <cstdint>

struct SIM_clock {
    // Cycle number; 1 once the design is built, +1 per clock_all().
    int32_t sim_cycle = 0;
    // Index (0 or 1) of every signal's current level buffer. Wider than a
    // level, so that the compiler knows a store of a level cannot change it
    // and keeps it in a register across a module's drives.
    int64_t cur_phase = 0;
    // Index of every signal's next level buffer; always 1 - cur_phase.
    int64_t next_phase = 1;
};

// Signed 32-bit sum and difference with two's-complement wrap-around, as the
// machine word gives them. Cycle numbers and option values are 32-bit; an
// extreme option value must wrap, not overflow into undefined behaviour.
inline int32_t wrap_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrap_sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
