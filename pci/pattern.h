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

    // Next pattern word; count + 1, address + 4.
    virtual uint32_t next_data(uint32_t& address);
    // C/BE# value of a data phase: 0, all byte lanes enabled.
    virtual uint32_t byte_enables(uint32_t& address);
    // Takes a received word without looking at it; address + 4.
    virtual void accept_data(uint32_t& byte_enables, uint32_t& address, uint32_t& data);
    // Undoes one next_data(): count - 1, address - 4.
    virtual void step_back(uint32_t& address);

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
