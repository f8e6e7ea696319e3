#pragma once
// The transaction file (option --transactions): CSV after RFC 4180 (CRLF line
// ends, a header row), one row per transaction the monitor saw, in the order
// they ended.

#include <string>
#include <vector>

#include "outputs/output_file.h"
#include "outputs/transaction_collector.h"
#include "pci/commands.h"

class PCI_transaction_log {
  public:
    // The column names of the header row.
    static constexpr const char* header =
        "start_cycle,end_cycle,master,card,command,address,data_phases,initial_wait,termination,"
        "card_name";

    // Writes to path; master_names names master index i, card_names card i.
    PCI_transaction_log(std::string path, std::vector<std::string> master_names,
                        std::vector<std::string> card_names);

    // Creates the file and writes the header; returns an error text or "".
    std::string open();
    // Writes one row.
    void write(const PCI_transaction_record& record);
    // Closes the file; returns an error text or "".
    std::string close() { return file_.close(); }

  private:
    PCI_output_file file_;                   // the CSV file
    std::vector<std::string> master_names_;  // name of each master index
    std::vector<std::string> card_names_;    // name of each card
};
