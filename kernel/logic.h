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

// Up to 32 levels as bit planes, bit i for level i: plane k holds bit k of
// each level's code (bit0: 1, X or H; bit1: Z or X; bit2: L or H). The one
// encoding of levels as words in the kernel: a vector of ports keeps its
// ports' levels so, a packing of nets its nets' levels.
struct SIM_level_planes {
    uint32_t bit0 = 0;  // bit 0 of each level's code
    uint32_t bit1 = 0;  // bit 1 of each level's code
    uint32_t bit2 = 0;  // bit 2 of each level's code

    // Levels 0 where word has a 0, 1 where it has a 1.
    static SIM_level_planes of_word(uint32_t word) { return {word, 0, 0}; }
    // Level Z at the bits of mask, 0 elsewhere.
    static SIM_level_planes of_z(uint32_t mask) { return {0, mask, 0}; }
    // Level i.
    logic_value at(int i) const {
        return static_cast<logic_value>(((bit0 >> i) & 1u) | (((bit1 >> i) & 1u) << 1) |
                                        (((bit2 >> i) & 1u) << 2));
    }
    // Sets level i to v.
    void set(int i, logic_value v) {
        const uint32_t bit = uint32_t{1} << i;
        const uint32_t code = static_cast<uint32_t>(v);
        bit0 = (bit0 & ~bit) | (bit & (0u - (code & 1u)));
        bit1 = (bit1 & ~bit) | (bit & (0u - ((code >> 1) & 1u)));
        bit2 = (bit2 & ~bit) | (bit & (0u - (code >> 2)));
    }
    // Bits of mask from a, the others from b.
    static SIM_level_planes select(uint32_t mask, const SIM_level_planes& a,
                                   const SIM_level_planes& b) {
        return {(mask & a.bit0) | (~mask & b.bit0), (mask & a.bit1) | (~mask & b.bit1),
                (mask & a.bit2) | (~mask & b.bit2)};
    }
    // The bits whose levels differ between a and b.
    static uint32_t differ(const SIM_level_planes& a, const SIM_level_planes& b) {
        return (a.bit0 ^ b.bit0) | (a.bit1 ^ b.bit1) | (a.bit2 ^ b.bit2);
    }
    // The bits at 1 or H (what signals_to_int takes for a one).
    uint32_t highs() const { return bit0 & ~bit1; }
    // The bits at Z or X.
    uint32_t neither() const { return bit1; }
    // The bits at 1; at 0 (within mask).
    uint32_t ones() const { return bit0 & ~bit1 & ~bit2; }
    uint32_t zeros(uint32_t mask) const { return mask & ~(bit0 | bit1 | bit2); }
    // The bits at X, L or H.
    uint32_t others() const { return bit2 | (bit0 & bit1); }
    bool operator==(const SIM_level_planes&) const = default;
};

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
