#pragma once
// The defaults of the settings that the device classes also need on their
// own (unit tests build them without a design): set here once, used by the
// design's types (pci/design.h) and by the classes.
#include <cstdint>

namespace pci_defaults {
constexpr int32_t transactions = 100;          // transactions a master runs
constexpr int32_t latency_timer = 48;          // a master's Latency Timer
constexpr int32_t retry_overhead = 0;          // clocks taken off a retry hint
constexpr int32_t init_retry_threshold = 16;   // most clocks a first data phase may wait
constexpr int32_t burst_retry_threshold = 8;   // most clocks a later data phase may wait
constexpr int32_t mtt = 48;                    // the rotating arbiter's tenure
constexpr int32_t idle_limit = 16;             // the rotating arbiter's idle limit
}  // namespace pci_defaults
