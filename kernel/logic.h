#pragma once
// Six-valued logic of one bus wire: levels, their resolution when several
// drivers meet, their printed characters, and the conversions between vectors
// of one-bit signals and integers or hexadecimal text.

#include <cstdint>

// Level codes. Only these six are ever stored in a signal.
enum logic_value : int32_t {
    V0 = 0,  // strong low
    V1 = 1,  // strong high
    VZ = 2,  // nobody drives (floating)
    VX = 3,  // conflict or unknown
    VL = 4,  // weak low (pull-down)
    VH = 5,  // weak high (pull-up)
};

// Combined level of a wire, index = existing level * 6 + new level. The table
// is symmetric but not associative: L then H gives X even if a strong level
// follows, so the order in which a wire's drivers are combined matters.
extern const logic_value resolution_table[36];

inline logic_value resolve_levels(logic_value existing, logic_value added) {
    return resolution_table[existing * 6 + added];
}

inline bool level_is_high(logic_value v) {
    return v == V1 || v == VH;
}
inline bool level_is_low(logic_value v) {
    return v == V0 || v == VL;
}

// 1 for V1 and VH, else 0; 1 for VZ and VX, else 0 (no branch).
inline uint32_t level_high_bit(uint32_t v) {
    return (0x22u >> v) & 1u;
}
inline uint32_t level_neither_bit(uint32_t v) {
    return (0x0Cu >> v) & 1u;
}

// Printed character of a level: 0 1 z x L H, '?' for any other code.
inline char to_char(logic_value v) {
    return static_cast<uint32_t>(v) < 6 ? "01zxLH"[v] : '?';
}

// 1 if the word holds an odd number of one bits, else 0.
inline uint32_t parity32(uint32_t word) {
    return static_cast<uint32_t>(__builtin_parity(word));
}

// One hexadecimal character for four levels, most significant first. X wins
// over Z: "x" all X, "X" some X, "z" all Z, "Z" some Z, else the digit.
char hex_digit(logic_value b3, logic_value b2, logic_value b1, logic_value b0);

// ---- Vector helpers over arrays of signal pointers, element 0 = bit 0. ----
// They are templates so that calls over ports or nets bind statically to the
// concrete read()/drive() of those final classes.

// Packs the levels into result, element 0 as bit 0. Returns false for more
// than 32 elements (result untouched) or on a Z or X level; in that case the
// result keeps the bits gathered from the top element down to the failing one.
template <typename Signal>
bool signals_to_int(Signal* const* signals, int count, uint32_t& result) {
    if (count > 32)
        return false;
    // The only branch is the rare (or at once taken) stop on Z or X.
    result = 0;
    for (int i = count - 1; i >= 0; --i) {
        const uint32_t v = static_cast<uint32_t>(signals[i]->read());
        if (level_neither_bit(v))
            return false;
        result = (result << 1) | level_high_bit(v);
    }
    return true;
}

// Drives element i with 1 if bit i of value is set, else 0.
template <typename Signal>
void int_to_signals(Signal* const* signals, int count, uint32_t value) {
    if (count > 32)
        return;
    for (int i = 0; i < count; ++i) signals[i]->drive((value >> i) & 1u ? V1 : V0);
}

// Drives every element with the same level.
template <typename Signal>
void fill_signals(Signal* const* signals, int count, logic_value level) {
    if (count > 32)
        return;
    for (int i = 0; i < count; ++i) signals[i]->drive(level);
}

// Writes (nbits + 3) / 4 hex characters, most significant first, and a
// terminator. Returns nullptr, leaving the buffer alone, if it does not fit.
// Elements past nbits in the top group count as Z (they are never read).
template <typename Signal>
char* signals_to_hex(Signal* const* signals, int nbits, char* buffer, int buffer_size) {
    int digits = (nbits + 3) / 4;
    if (digits + 1 > buffer_size)
        return nullptr;
    buffer[digits] = '\0';
    for (int g = digits - 1; g >= 0; --g) {
        logic_value b[4];
        for (int k = 0; k < 4; ++k) {
            int bit = 4 * g + k;
            b[k] = bit < nbits ? signals[bit]->read() : VZ;
        }
        buffer[digits - 1 - g] = hex_digit(b[3], b[2], b[1], b[0]);
    }
    return buffer;
}
