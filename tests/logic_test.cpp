#include "kernel/logic.h"

#include <gtest/gtest.h>

#include <vector>

#include "kernel/signal.h"

namespace {
// A stand-alone port per element: read() returns the forced level.
struct PortVector {
    explicit PortVector(std::vector<logic_value> levels) {
        for (logic_value v : levels) {
            ports.push_back(std::make_unique<SIM_port>("p", nullptr));
            ports.back()->force(v);
            pointers.push_back(ports.back().get());
        }
    }
    std::vector<std::unique_ptr<SIM_port>> ports;
    std::vector<SIM_port*> pointers;
    SIM_port* const* data() const { return pointers.data(); }
};
}  // namespace

TEST(Resolution, TableRules) {
    EXPECT_EQ(resolve_levels(VZ, V0), V0);
    EXPECT_EQ(resolve_levels(V0, V1), VX);
    EXPECT_EQ(resolve_levels(VL, VH), VX);
    EXPECT_EQ(resolve_levels(VH, VZ), VH);
    EXPECT_EQ(resolve_levels(V1, VL), V1);
    EXPECT_EQ(resolve_levels(VH, V0), V0);
    for (int v = 0; v < 6; ++v) {
        EXPECT_EQ(resolve_levels(VX, logic_value(v)), VX);
        EXPECT_EQ(resolve_levels(VZ, logic_value(v)), v);
        EXPECT_EQ(resolve_levels(logic_value(v), logic_value(v)), v);
        for (int w = 0; w < 6; ++w)
            EXPECT_EQ(resolve_levels(logic_value(v), logic_value(w)),
                      resolve_levels(logic_value(w), logic_value(v)));
    }
}

TEST(Resolution, NotAssociative) {
    // L then H meet first and give X, which a strong level cannot undo.
    EXPECT_EQ(resolve_levels(resolve_levels(resolve_levels(VZ, VL), VH), V0), VX);
    // A strong level first swallows both weak ones.
    EXPECT_EQ(resolve_levels(resolve_levels(resolve_levels(VZ, V0), VL), VH), V0);
}

TEST(Logic, Characters) {
    EXPECT_EQ(std::string() + to_char(V0) + to_char(V1) + to_char(VZ) + to_char(VX) + to_char(VL) +
                  to_char(VH) + to_char(logic_value(6)),
              "01zxLH?");
}

TEST(Logic, Parity) {
    EXPECT_EQ(parity32(0), 0u);
    EXPECT_EQ(parity32(1), 1u);
    EXPECT_EQ(parity32(0xFFFFFFFFu), 0u);
    EXPECT_EQ(parity32(0x80000001u), 0u);
    EXPECT_EQ(parity32(0x80000000u), 1u);
    EXPECT_EQ(parity32(0x7u), 1u);
}

TEST(Logic, HexDigit) {
    EXPECT_EQ(hex_digit(VX, VZ, V0, V1), 'X');
    EXPECT_EQ(hex_digit(VX, VX, VX, VX), 'x');
    EXPECT_EQ(hex_digit(VZ, VZ, VZ, VZ), 'z');
    EXPECT_EQ(hex_digit(VZ, V0, V0, V0), 'Z');
    EXPECT_EQ(hex_digit(VH, VL, VH, VL), 'a');
    EXPECT_EQ(hex_digit(V1, V1, V1, V1), 'f');
    EXPECT_EQ(hex_digit(V1, V0, V0, V1), '9');
}

TEST(Logic, SignalsToInt) {
    uint32_t result = 77;
    PortVector partial({V1, VZ, V1, V0});
    EXPECT_FALSE(signals_to_int(partial.data(), 4, result));
    EXPECT_EQ(result, 1u);  // bits gathered from elements 3 and 2

    PortVector ones(std::vector<logic_value>(32, V1));
    EXPECT_TRUE(signals_to_int(ones.data(), 32, result));
    EXPECT_EQ(result, 0xFFFFFFFFu);

    EXPECT_TRUE(signals_to_int(ones.data(), 0, result));
    EXPECT_EQ(result, 0u);

    PortVector weak({VH, VL, VL, VH});
    EXPECT_TRUE(signals_to_int(weak.data(), 4, result));
    EXPECT_EQ(result, 9u);

    PortVector too_many(std::vector<logic_value>(33, V1));
    result = 123;
    EXPECT_FALSE(signals_to_int(too_many.data(), 33, result));
    EXPECT_EQ(result, 123u);
}

TEST(Logic, IntToSignalsAndFill) {
    PortVector v(std::vector<logic_value>(33, VZ));
    int_to_signals(v.data(), 4, 0xA);
    EXPECT_EQ(v.ports[0]->read_next(), V0);
    EXPECT_EQ(v.ports[1]->read_next(), V1);
    EXPECT_EQ(v.ports[2]->read_next(), V0);
    EXPECT_EQ(v.ports[3]->read_next(), V1);
    EXPECT_EQ(v.ports[0]->read(), VZ);  // a drive is for the next cycle

    fill_signals(v.data(), 33, V1);  // refused: more than 32
    EXPECT_EQ(v.ports[0]->read_next(), V0);
    fill_signals(v.data(), 32, VH);
    EXPECT_EQ(v.ports[31]->read_next(), VH);
    EXPECT_EQ(v.ports[32]->read_next(), VZ);
}

TEST(Logic, SignalsToHex) {
    std::vector<logic_value> levels(32, V0);
    levels[0] = V1;                                // digit 0 = 1
    levels[4] = VZ;                                // digit 1 = Z (some Z)
    levels[8] = VX, levels[9] = VZ;                // digit 2 = X (X before Z)
    for (int i = 28; i < 32; ++i) levels[i] = VZ;  // digit 7 = z
    PortVector v(levels);
    char buffer[9];
    ASSERT_NE(signals_to_hex(v.data(), 32, buffer, 9), nullptr);
    EXPECT_STREQ(buffer, "z0000XZ1");
    char small[8] = "keep";
    EXPECT_EQ(signals_to_hex(v.data(), 32, small, 8), nullptr);
    EXPECT_STREQ(small, "keep");
}
