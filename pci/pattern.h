#pragma once
// Bookkeeping of the transaction an agent runs or serves, and the source and
// sink of its data words. The source is a word counter and a multiplier:
// word k = k | (((k * m) << 16) ^ 0x27450000). The sink accepts every word.

#include <cstdint>

#include "pci/commands.h"

class PCI_pattern {
  public:
    PCI_pattern() = default;
    virtual ~PCI_pattern() = default;

    // Next pattern word; count + 1, address + 4. Inline, as the three below:
    // a data phase of every master and target calls them.
    uint32_t next_data(uint32_t& addr) {
        addr += 4;
        const uint32_t k = count;
        const uint32_t product = static_cast<uint16_t>(k * multiplier);
        ++count;
        return k | ((product << 16) ^ 0x27450000u);
    }
    // C/BE# value of a data phase: 0, all byte lanes enabled.
    static uint32_t byte_enables(const uint32_t& /*address*/) { return 0; }
    // Takes a received word without looking at it; address + 4.
    static void accept_data(const uint32_t& /*byte_enables*/, uint32_t& addr,
                            const uint32_t& /*data*/) {
        addr += 4;
    }
    // Undoes one next_data(): count - 1, address - 4.
    void step_back(uint32_t& addr) {
        --count;
        addr -= 4;
    }

    bool is_io() const { return is_io_command(command); }
    bool is_config() const { return is_config_command(command); }
    bool is_memory() const { return is_memory_command(command); }
    bool is_read() const { return is_read_command(command); }
    bool is_write() const { return is_write_command(command); }

    // Keeps the low 16 bits.
    void set_multiplier(uint32_t value) { multiplier = static_cast<uint16_t>(value); }
    uint16_t pattern_count() const { return count; }

    uint32_t command = 0;       // bus command of the current transaction
    uint32_t address = 0;       // running address: where the next word goes
    bool first_phase = false;   // no data phase answered with TRDY# yet
    int32_t address_cycle = 0;  // sim_cycle of the address phase

  private:
    uint16_t count = 0;       // words generated so far, never reset
    uint16_t multiplier = 0;  // pattern multiplier
};
