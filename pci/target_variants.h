#pragma once
// The three targets the test bench is built from. Each gives the neutral
// target a character by overriding its latency and termination hooks:
//  - the hint target tells a retried master how long it still has to wait;
//  - the page target is a fast memory with a page-mode latency profile;
//  - the delay target is a slow memory with long random latencies.

#include <cstdint>

#include "pci/random.h"
#include "pci/target.h"

// Puts a retry hint on AD when a read is stopped without data: 0x123456 in
// the upper 24 bits and, in the low byte, the clocks still missing.
class PCI_hint_target : public PCI_target {
  public:
    PCI_hint_target(const char* name, SIM_instance* parent);

    uint32_t retry_data() override;
};

// Fast memory target: FAST decode, a 64 KB window, an initial latency of 8 to
// 12 clocks for reads and 3 to 4 for writes, one wait state at every 32-byte
// boundary of a burst, and a Disconnect with data at the end of each 4 KB page.
class PCI_page_target : public PCI_hint_target {
  public:
    PCI_page_target(const char* name, SIM_instance* parent);

    bool stop_with_data() override;
    int32_t initial_wait() override;
    int32_t burst_wait() override;

    SIM_random rng;  // latency draws; seeded by the test bench
};

// Slow memory target: MED decode, a 1 MB window at 0, an initial latency of 0
// to 39 clocks, no burst wait, and a Disconnect with data after a random
// 1 to 10 data phases.
class PCI_delay_target : public PCI_hint_target {
  public:
    PCI_delay_target(const char* name, SIM_instance* parent);

    int32_t initial_wait() override;
    int32_t burst_limit() override;

    SIM_random rng;  // latency and burst-length draws; seeded by the test bench
};
