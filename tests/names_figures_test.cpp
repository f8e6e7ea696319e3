// The names of the bus commands and decode speeds, kept in one table for
// every output, and a card's figures, worked out once for the text report
// and the statistics document.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "monitor/statistics.h"
#include "pci/commands.h"

namespace {

struct command_case {
    uint32_t code;      // command code
    const char* name;   // full name
    const char* trace;  // trace label without its padding; null for none
};

TEST(Names, EveryCommandCode) {
    const command_case cases[] = {
        {0, "Interrupt Acknowledge", nullptr},
        {1, "Special Cycle", nullptr},
        {2, "I/O Read", "I/O Read"},
        {3, "I/O Write", "I/O Write"},
        {4, "Reserved", nullptr},
        {5, "Reserved", nullptr},
        {6, "Memory Read", "Memory Read"},
        {7, "Memory Write", "Memory Write"},
        {8, "Reserved", nullptr},
        {9, "Reserved", nullptr},
        {10, "Configuration Read", "Config Read"},
        {11, "Configuration Write", "Config Write"},
        {12, "Memory Read Multiple", "Memory Read Mult"},
        {13, "Dual Address Cycle", nullptr},
        {14, "Memory Read Line", "Memory Read Long"},
        {15, "Memory Write and Invalidate", "Memory Write & Inv"},
    };
    for (const command_case& c : cases) {
        EXPECT_STREQ(pci_command_name(c.code), c.name) << c.code;
        // Only the low four bits count.
        EXPECT_STREQ(pci_command_name(c.code | 0x30u), c.name) << c.code;
        const char* trace = pci_command_names[c.code].trace;
        if (c.trace == nullptr) {
            EXPECT_EQ(trace, nullptr) << c.code;
            continue;
        }
        ASSERT_NE(trace, nullptr) << c.code;
        // Padded with blanks to 22 characters.
        std::string padded = c.trace;
        padded.resize(22, ' ');
        EXPECT_EQ(std::string(trace), padded) << c.code;
        // The trace decodes the commands of the classes, and only those.
        const bool decoded =
            is_io_command(c.code) || is_config_command(c.code) || is_memory_command(c.code);
        EXPECT_TRUE(decoded) << c.code;
    }
}

TEST(Names, DecodeSpeeds) {
    EXPECT_STREQ(pci_decode_speed_name(PCI_decode_speed::fast), "FAST");
    EXPECT_STREQ(pci_decode_speed_name(PCI_decode_speed::med), "MED");
    EXPECT_STREQ(pci_decode_speed_name(PCI_decode_speed::slow), "SLOW");
    EXPECT_STREQ(pci_decode_speed_name(PCI_decode_speed::sub), "SUB");
    for (int speed = 0; speed < pci_decode_speeds; ++speed)
        EXPECT_STREQ(pci_decode_speed_names[speed],
                     pci_decode_speed_name(static_cast<PCI_decode_speed>(speed)));
}

// Sums of one card's counters, the other cards' counters left out, the
// last bins (long waits) included.
TEST(CardFigures, SumsOfOneCard) {
    auto s = std::make_unique<PCI_target_statistics>();
    constexpr int max_initial = PCI_target_statistics::max_initial_latency;
    constexpr int max_burst = PCI_target_statistics::max_burst_latency;
    s->decode_count[0][3] = 4;
    s->decode_count[1][3] = 2;
    s->decode_count[3][3] = 1;
    s->decode_count[2][4] = 100;  // another card
    s->initial_latency[0][3] = 2;
    s->initial_latency[5][3] = 3;
    s->initial_latency[max_initial][3] = 2;
    s->initial_latency[1][2] = 50;  // another card
    s->burst_latency[1][3] = 10;
    s->burst_latency[max_burst][3] = 1;
    s->burst_latency[2][4] = 9;  // another card
    const PCI_card_figures f = s->figures(3);
    EXPECT_EQ(f.claimed, 7);
    EXPECT_EQ(f.first_phases, 7);
    EXPECT_EQ(f.initial_weighted, 0 * 2 + 5 * 3 + max_initial * 2);
    EXPECT_EQ(f.later_phases, 11);
    EXPECT_EQ(f.burst_weighted, 1 * 10 + max_burst * 1);
    // A card that saw nothing.
    const PCI_card_figures none = s->figures(7);
    EXPECT_EQ(none.claimed, 0);
    EXPECT_EQ(none.first_phases, 0);
    EXPECT_EQ(none.initial_weighted, 0);
    EXPECT_EQ(none.later_phases, 0);
    EXPECT_EQ(none.burst_weighted, 0);
}
}  // namespace
