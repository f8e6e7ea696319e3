#pragma once
// The 4-bit PCI bus commands (C/BE#[3:0] in the address phase) and their
// classes. Codes 0, 1, 4, 5, 8, 9 and 13 belong to no class.

#include <cstdint>

enum PCI_command : uint32_t {
    CMD_INTERRUPT_ACK = 0,
    CMD_SPECIAL_CYCLE = 1,
    CMD_IO_READ = 2,
    CMD_IO_WRITE = 3,
    CMD_MEMORY_READ = 6,
    CMD_MEMORY_WRITE = 7,
    CMD_CONFIG_READ = 10,
    CMD_CONFIG_WRITE = 11,
    CMD_MEMORY_READ_MULTIPLE = 12,
    CMD_DUAL_ADDRESS_CYCLE = 13,
    CMD_MEMORY_READ_LINE = 14,
    CMD_MEMORY_WRITE_INVALIDATE = 15,
};

// Each class as a 16-bit set indexed by command code.
inline bool command_in(uint32_t command, uint32_t set) {
    return command < 16 && ((set >> command) & 1u);
}
inline bool is_io_command(uint32_t c) {
    return command_in(c, 0x000C);
}  // 2, 3
inline bool is_config_command(uint32_t c) {
    return command_in(c, 0x0C00);
}  // 10, 11
inline bool is_memory_command(uint32_t c) {
    return command_in(c, 0xD0C0);
}  // 6, 7, 12, 14, 15
inline bool is_read_command(uint32_t c) {
    return command_in(c, 0x5444);
}  // 2, 6, 10, 12, 14
inline bool is_write_command(uint32_t c) {
    return command_in(c, 0x8888);
}  // 3, 7, 11, 15

// How soon a target claims a transaction on DEVSEL#: the clock after the
// address phase in which DEVSEL# is first asserted, less one. Targets decode
// with it, masters wait for it and the monitor counts it.
enum class PCI_decode_speed : int32_t {
    fast = 0,  // first clock after the address phase
    med = 1,   // second clock
    slow = 2,  // third clock
    sub = 3,   // fourth clock (subtractive decode)
};
// Number of decode speeds.
constexpr int pci_decode_speeds = 4;
// The speed as an index 0 to 3.
constexpr int speed_index(PCI_decode_speed speed) {
    return static_cast<int>(speed);
}

// The names of one command code in the outputs.
struct PCI_command_names {
    const char* name;   // full name, e.g. "Memory Read"; "Reserved" for reserved codes
    const char* trace;  // label of the -dm trace, padded to 22 characters; null if no
                        // agent decodes the command
};
// Indexed by command code.
inline constexpr PCI_command_names pci_command_names[16] = {
    {"Interrupt Acknowledge", nullptr},
    {"Special Cycle", nullptr},
    {"I/O Read", "I/O Read              "},
    {"I/O Write", "I/O Write             "},
    {"Reserved", nullptr},
    {"Reserved", nullptr},
    {"Memory Read", "Memory Read           "},
    {"Memory Write", "Memory Write          "},
    {"Reserved", nullptr},
    {"Reserved", nullptr},
    {"Configuration Read", "Config Read           "},
    {"Configuration Write", "Config Write          "},
    {"Memory Read Multiple", "Memory Read Mult      "},
    {"Dual Address Cycle", nullptr},
    {"Memory Read Line", "Memory Read Long      "},
    {"Memory Write and Invalidate", "Memory Write & Inv    "},
};
// The name of a command (its low four bits).
inline const char* pci_command_name(uint32_t command) {
    return pci_command_names[command & 0xFu].name;
}

// Name of each decode speed in the report, the trace and the statistics
// document, indexed by speed_index.
inline constexpr const char* pci_decode_speed_names[pci_decode_speeds] = {"FAST", "MED", "SLOW",
                                                                          "SUB"};
inline const char* pci_decode_speed_name(PCI_decode_speed speed) {
    return pci_decode_speed_names[speed_index(speed)];
}
