#pragma once
// Seeded number sources. SIM_random is a 32-bit linear congruential generator
// returning bits 30..16 of its state: values 0 to 32767.

#include <cstdint>

// The seeds of one agent's random source and data pattern.
struct PCI_source_seeds {
    int32_t seed;         // SIM_random seed
    uint32_t multiplier;  // 16-bit pattern multiplier
};

class SIM_number_source {
  public:
    virtual ~SIM_number_source() = default;
    virtual void set_seed(int32_t value) { seed = static_cast<uint32_t>(value); }
    virtual int32_t next() = 0;

  protected:
    uint32_t seed = 1;  // generator state
};

class SIM_random : public SIM_number_source {
  public:
    int32_t next() override {
        seed = seed * 22695477u + 1u;
        return static_cast<int32_t>((seed >> 16) & 0x7FFFu);
    }
};
