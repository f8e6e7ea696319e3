#include "outputs/transaction_log.h"

#include <cstdio>
#include <ostream>

#include "outputs/csv_field.h"

namespace {
// A number, or an empty field for a negative one (none).
std::string optional_number(int64_t value) {
    return value < 0 ? std::string() : std::to_string(value);
}
}  // namespace

PCI_transaction_log::PCI_transaction_log(std::string path, std::vector<std::string> master_names,
                                         std::vector<std::string> card_names)
    : file_(std::move(path)),
      master_names_(std::move(master_names)),
      card_names_(std::move(card_names)) {}

std::string PCI_transaction_log::open() {
    std::string error = file_.open();
    if (error.empty())
        file_.stream() << header << "\r\n";
    return error;
}

void PCI_transaction_log::write(const PCI_transaction_record& r) {
    char address[11];
    std::snprintf(address, sizeof address, "0x%08x", r.address);
    const bool known_master = r.master >= 0 && r.master < static_cast<int>(master_names_.size());
    const bool mapped = r.card != PCI_address_map::no_card;
    const bool named = r.card >= 0 && r.card < static_cast<int>(card_names_.size());
    file_.stream() << r.start << ',' << optional_number(r.end) << ','
                   << csv_field(known_master ? master_names_[r.master] : std::string()) << ','
                   << (mapped ? std::to_string(r.card) : std::string()) << ','
                   << csv_field(pci_command_name(r.command)) << ',' << address << ','
                   << r.data_phases << ',' << optional_number(r.initial_wait) << ','
                   << transaction_end_name(r.termination) << ','
                   << csv_field(named ? card_names_[r.card] : std::string()) << "\r\n";
}
