#include "pci/configured_master.h"

#include "kernel/sim_time.h"

namespace {
// Bits of one number of the random source.
constexpr int source_bits = 15;
}  // namespace

PCI_configured_master::PCI_configured_master(const char* name_text, SIM_instance* parent,
                                             const PCI_master_spec& params,
                                             std::vector<PCI_master_window> windows)
    : PCI_random_master(name_text, parent),
      read_length_(params.read_length),
      write_length_(params.write_length),
      windows_(std::move(windows)),
      mode_(params.address),
      read_command_(params.read_command),
      write_command_(params.write_command),
      gap_(params.gap),
      think_time_((params.gap.ranged ? params.gap.hi : params.gap.lo) > 0),
      initial_wait_(params.initial_wait),
      burst_wait_(params.burst_wait) {
    read_percent = params.reads;
    trans_count = params.transactions;
    set_latency_timer(params.latency_timer);
    set_retry_overhead(params.retry_overhead);
    if (params.fast_back_to_back)
        t.config[command_register] |= fast_back_to_back_enable;
    expire_after_phase = params.latency_timer_expiry == PCI_timer_expiry::after_data_phase;
    for (const PCI_master_window& window : windows_) total_weight_ += window.weight;
    if (!windows_.empty())
        base_address = windows_.front().base;
}

void PCI_configured_master::reset() {
    for (PCI_master_window& window : windows_) window.cursor = 0;
    window_ = 0;
    next_gap_ = 0;
    gap_end_ = 0;
    PCI_random_master::reset();
}

uint32_t PCI_configured_master::random_offset(uint32_t size) {
    uint64_t bits = static_cast<uint32_t>(rng.next());
    for (int reach = source_bits; (uint64_t{1} << reach) < size; reach += source_bits)
        bits = (bits << source_bits) | static_cast<uint32_t>(rng.next());
    return static_cast<uint32_t>(bits) & (size - 4);
}

uint32_t PCI_configured_master::next_address() {
    ++issued;
    window_ = 0;
    if (windows_.size() > 1) {
        int64_t pick = rng.next() % total_weight_;
        while (pick >= windows_[window_].weight) {
            pick -= windows_[window_].weight;
            ++window_;
        }
    }
    const PCI_master_window& window = windows_[window_];
    if (mode_ == PCI_address_mode::sequential)
        return window.base + window.cursor;
    return window.base + random_offset(window.size);
}

uint32_t PCI_configured_master::next_command() {
    return rng.next() % 100 < read_percent ? read_command_ : write_command_;
}

int32_t PCI_configured_master::burst_length() {
    const int32_t length = draw(is_read() ? read_length_ : write_length_);
    if (mode_ == PCI_address_mode::sequential) {
        // The next transaction starts right after this one, or at the
        // window's start when that is past its end.
        PCI_master_window& window = windows_[window_];
        const uint64_t next = uint64_t{window.cursor} + 4 * static_cast<uint64_t>(length);
        window.cursor = next >= window.size ? 0 : static_cast<uint32_t>(next);
    }
    next_gap_ = draw(gap_);
    return length;
}

bool PCI_configured_master::holds_request() {
    if (next_gap_ <= 0 || !last_phase())
        return true;
    // Asked in every clock of the end: the last ask is the clock in which the
    // last data phase completes.
    gap_end_ = sim_cycle() + 1 + next_gap_;
    return false;
}
