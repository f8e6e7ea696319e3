#include "kernel/logic.h"

const logic_value resolution_table[36] = {
    //        0   1   Z   X   L   H   <- new level
    /* 0 */ V0, VX, V0, VX, V0, V0,
    /* 1 */ VX, V1, V1, VX, V1, V1,
    /* Z */ V0, V1, VZ, VX, VL, VH,
    /* X */ VX, VX, VX, VX, VX, VX,
    /* L */ V0, V1, VL, VX, VL, VX,
    /* H */ V0, V1, VH, VX, VX, VH,
};

char hex_digit(logic_value b3, logic_value b2, logic_value b1, logic_value b0) {
    const logic_value bits[4] = {b3, b2, b1, b0};
    int x = 0, z = 0;
    for (logic_value b : bits) {
        x += b == VX;
        z += b == VZ;
    }
    if (x == 4)
        return 'x';
    if (x > 0)
        return 'X';
    if (z == 4)
        return 'z';
    if (z > 0)
        return 'Z';
    int v = (level_is_high(b3) ? 8 : 0) + (level_is_high(b2) ? 4 : 0) +
            (level_is_high(b1) ? 2 : 0) + (level_is_high(b0) ? 1 : 0);
    return "0123456789abcdef"[v];
}
