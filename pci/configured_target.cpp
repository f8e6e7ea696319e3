#include "pci/configured_target.h"

namespace {
// Configuration dwords of the header the target sets.
constexpr int command_status = 1;
constexpr int identity = 0;
constexpr int class_revision = 2;
constexpr int bar0 = 4;
// Identification registers no operation of the simulator reads: vendor,
// class code (memory controller, RAM) and revision.
constexpr uint32_t vendor_id = 0x5043u;
constexpr uint32_t class_code_revision = 0x05000001u;
// BAR bit 3: the window is prefetchable memory.
constexpr uint32_t bar_prefetchable = 0x8u;
// Command register: memory space enabled.
constexpr uint32_t memory_space = 0x0002u;
}  // namespace

PCI_configured_target::PCI_configured_target(const char* name_text, SIM_instance* parent,
                                             const PCI_target_spec& params)
    : PCI_hint_target(name_text, parent),
      wait_read_(params.initial_wait_read),
      wait_write_(params.initial_wait_write),
      burst_wait_(params.burst_wait),
      burst_every_mask_(params.burst_wait_every >= 4 ? params.burst_wait_every - 4 : 0),
      disconnect_(params.disconnect),
      disconnect_after_(params.disconnect_after),
      boundary_mask_(params.disconnect_boundary - 4),
      retry_hint_(params.retry_hint) {
    config[bar0] = params.bar_base | (params.prefetchable ? bar_prefetchable : 0u);
    config_mask[bar0] = ~(params.bar_size - 1);
    // Device 1 claims memory FAST, device 2 slower; the Status register's
    // DEVSEL timing bits say the same.
    const PCI_decode_speed memory = params.decode_speed[SPEED_MEMORY_READ];
    const uint32_t timing =
        static_cast<uint32_t>(speed_index(memory) < 2 ? speed_index(memory) : 2);
    config[identity] = ((memory == PCI_decode_speed::fast ? 1u : 2u) << 16) | vendor_id;
    config[command_status] = (timing << 25) | memory_space;
    config[class_revision] = class_code_revision;
    for (int e = 0; e < SPEED_ENTRIES; ++e) decode_speed[e] = params.decode_speed[e];
    set_init_retry_threshold(params.init_retry_threshold);
    set_burst_retry_threshold(params.burst_retry_threshold);
}

bool PCI_configured_target::stop_with_data() {
    if (disconnect_ == PCI_disconnect_kind::at_boundary)
        return (address & boundary_mask_) == boundary_mask_;
    return PCI_target::stop_with_data();
}

uint32_t PCI_configured_target::retry_data() {
    return retry_hint_ ? PCI_hint_target::retry_data() : 0;
}

int32_t PCI_configured_target::burst_limit() {
    if (disconnect_ != PCI_disconnect_kind::after)
        return PCI_target::burst_limit();
    return draw(disconnect_after_) - 1;
}
