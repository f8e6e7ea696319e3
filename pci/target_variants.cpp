#include "pci/target_variants.h"

#include "kernel/sim_time.h"

namespace {
// Identification registers no operation of the simulator reads: vendor and
// device, class code (memory controller, RAM) and revision.
constexpr uint32_t vendor_id = 0x5043u;
constexpr uint32_t class_revision = 0x05000001u;

// Puts the Command register value in the low half of register 1, keeping the
// Status register in the upper half.
void set_command_register(PCI_target& t, uint32_t value) {
    t.config[1] = (t.config[1] & 0xFFFF0000u) | (value & 0xFFFFu);
}

void set_identity(PCI_target& t, uint32_t device, uint32_t status) {
    t.config[0] = (device << 16) | vendor_id;
    t.config[1] = (status << 16) | (t.config[1] & 0xFFFFu);
    t.config[2] = class_revision;
}
}  // namespace

// ---- Hint target ----

PCI_hint_target::PCI_hint_target(const char* name_text, SIM_instance* parent)
    : PCI_target(name_text, parent) {}

uint32_t PCI_hint_target::retry_data() {
    // A negative difference keeps its two's-complement bits and thus reads
    // as no hint.
    const int32_t missing = wrap_sub(ready_cycle, sim_cycle());
    if (missing >= 256)
        return 0;
    return 0x12345600u | static_cast<uint32_t>(missing);
}

// ---- Page target ----

PCI_page_target::PCI_page_target(const char* name_text, SIM_instance* parent)
    : PCI_hint_target(name_text, parent) {
    config[4] = 0x00100008u;                // memory, prefetchable, base 0x100000
    config_mask[4] = 0xFFFF0000u;           // 64 KB window
    set_command_register(*this, 0x0002u);   // memory space only
    set_identity(*this, 0x0001u, 0x0000u);  // DEVSEL timing fast
}

bool PCI_page_target::stop_with_data() {
    // The last word of every 4 KB page ends the burst.
    return (address & 0xFFCu) == 0xFFCu;
}

int32_t PCI_page_target::initial_wait() {
    // Opening a page costs more for a read than for a posted write.
    return is_read() ? rng.next() % 5 + 8 : rng.next() % 2 + 3;
}

int32_t PCI_page_target::burst_wait() {
    // One extra clock at every 32-byte line boundary.
    return (address & 0x1Cu) == 0 ? 1 : 0;
}

// ---- Delay target ----

PCI_delay_target::PCI_delay_target(const char* name_text, SIM_instance* parent)
    : PCI_hint_target(name_text, parent) {
    config[4] = 0x00000008u;                // memory, prefetchable, base 0
    config_mask[4] = 0xFFF00000u;           // 1 MB window
    set_command_register(*this, 0x0002u);   // memory space only
    set_identity(*this, 0x0002u, 0x0200u);  // DEVSEL timing medium
    set_decode_speeds(PCI_decode_speed::med);
}

int32_t PCI_delay_target::initial_wait() {
    return rng.next() % 40;
}

int32_t PCI_delay_target::burst_limit() {
    return rng.next() % 10;
}
