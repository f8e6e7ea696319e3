#include "outputs/transaction_collector.h"

#include "kernel/signal.h"

namespace {
// Names of the kinds of end, indexed by PCI_transaction_end.
constexpr const char* end_names[pci_transaction_ends] = {
    "completed",    "retry",        "disconnect_with_data", "disconnect_without_data",
    "target_abort", "master_abort", "not_decoded",          "unfinished",
};
}  // namespace

const char* transaction_end_name(PCI_transaction_end end) {
    return end_names[static_cast<int>(end)];
}

PCI_transaction_collector::PCI_transaction_collector(std::vector<const SIM_signal*> master_frames,
                                                     sink on_record)
    : master_frames_(std::move(master_frames)), on_record_(std::move(on_record)) {}

void PCI_transaction_collector::on_address(const PCI_address_event& event) {
    current_ = PCI_transaction_record{};
    current_.start = event.cycle;
    current_.card = event.card;
    current_.command = event.command;
    current_.address = event.address;
    // The monitor sees the levels the agents drove in the previous clock,
    // which is what each pin's own current level holds.
    for (size_t i = 0; i < master_frames_.size(); ++i)
        if (master_frames_[i]->own_level() == V0)
            current_.master = static_cast<int>(i);
    open_ = true;
    if (!event.decoded) {
        current_.termination = PCI_transaction_end::not_decoded;
        close(event.cycle);
    }
}

void PCI_transaction_collector::on_master_abort(int32_t cycle) {
    current_.termination = PCI_transaction_end::master_abort;
    close(cycle);
}

void PCI_transaction_collector::on_data_phase(const PCI_data_event& event) {
    if (event.first)
        current_.initial_wait = event.wait;
    ++current_.data_phases;
}

void PCI_transaction_collector::on_termination(const PCI_termination_event& event) {
    if (event.kind == PCI_termination::with_data)
        current_.termination = PCI_transaction_end::disconnect_with_data;
    else if (!event.devsel_asserted)
        current_.termination = PCI_transaction_end::target_abort;
    else if (event.data_phases == 0)
        current_.termination = PCI_transaction_end::retry;
    else
        current_.termination = PCI_transaction_end::disconnect_without_data;
}

void PCI_transaction_collector::on_end(int32_t cycle, int32_t) {
    close(cycle);
}

void PCI_transaction_collector::finish() {
    if (!open_)
        return;
    current_.termination = PCI_transaction_end::unfinished;
    close(-1);
}

void PCI_transaction_collector::close(int32_t cycle) {
    if (!open_)
        return;
    current_.end = cycle;
    ++counts_[current_.card][static_cast<int>(current_.termination)];
    if (current_.master >= 0 && current_.master < static_cast<int>(command_counts_.size()))
        ++command_counts_[current_.master][current_.command & 0xFu];
    open_ = false;
    if (on_record_)
        on_record_(current_);
}
