#include "pci/master_variants.h"

#include "kernel/sim_time.h"

PCI_retry_master::PCI_retry_master(const char* name_text, SIM_instance* parent)
    : PCI_master(name_text, parent) {}

bool PCI_retry_master::hint_served() const {
    if ((stop_ad & 0xFFFFFF00u) != 0x12345600u)
        return true;
    // Held back until more than (hint - overhead) clocks have passed since
    // the retry; exact in 64 bits, so an extreme overhead never wraps.
    const int64_t needed = int64_t{stop_ad & 0xFFu} - retry_overhead;
    const int64_t passed = int64_t{sim_cycle()} - stop_cycle;
    return needed < passed;
}

PCI_random_master::PCI_random_master(const char* name_text, SIM_instance* parent)
    : PCI_retry_master(name_text, parent) {
    set_latency_timer(pci_defaults::latency_timer);
    trans_count = 0;
}

void PCI_random_master::reset() {
    issued = 0;
    PCI_master::reset();
}

uint32_t PCI_random_master::next_address() {
    ++issued;
    return (static_cast<uint32_t>(rng.next()) & 0x7FFCu) + base_address;
}

uint32_t PCI_random_master::next_command() {
    return rng.next() % 100 < read_percent ? CMD_MEMORY_READ : CMD_MEMORY_WRITE;
}

PCI_short_master::PCI_short_master(const char* name_text, SIM_instance* parent)
    : PCI_random_master(name_text, parent) {
    read_percent = 80;
}

int32_t PCI_short_master::burst_length() {
    if (is_read() || is_config())
        return 1;
    return rng.next() % 7 + 1;
}

PCI_long_master::PCI_long_master(const char* name_text, SIM_instance* parent)
    : PCI_random_master(name_text, parent) {
    read_percent = 20;
}

PCI_fixed_master::PCI_fixed_master(const char* name_text, SIM_instance* parent)
    : PCI_random_master(name_text, parent) {
    read_percent = 20;
}
