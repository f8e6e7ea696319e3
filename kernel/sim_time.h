#pragma once
// The kernel's clock: the cycle counter and the two phase indices that choose
// the current and the next level buffer of every signal. Plain globals: the
// simulator runs on one thread and only the scheduler changes them.

#include <cstdint>

// Cycle number; 1 once the design is built, +1 per clock_all().
extern int32_t sim_cycle;
// Index (0 or 1) of every signal's current level buffer.
extern int cur_phase;
// Index of every signal's next level buffer; always 1 - cur_phase.
extern int next_phase;

// Signed 32-bit sum and difference with two's-complement wrap-around, as the
// machine word gives them. Cycle numbers, thresholds and option values are
// 32-bit; an extreme option value must wrap, not overflow into undefined
// behaviour.
inline int32_t wrap_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrap_sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
