#include "pci/pattern.h"

uint32_t PCI_pattern::next_data(uint32_t& addr) {
    addr += 4;
    uint32_t k = count;
    uint32_t product = static_cast<uint16_t>(k * multiplier);
    ++count;
    return k | ((product << 16) ^ 0x27450000u);
}

uint32_t PCI_pattern::byte_enables(uint32_t&) {
    return 0;
}

void PCI_pattern::accept_data(uint32_t&, uint32_t& addr, uint32_t&) {
    addr += 4;
}

void PCI_pattern::step_back(uint32_t& addr) {
    --count;
    addr -= 4;
}
