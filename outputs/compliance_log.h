#pragma once
// The compliance file (option --compliance): the protocol rulebook's checker
// run after every cycle, each violation written as one row of CSV after
// RFC 4180 (CRLF line ends, a header row) in cycle order. The checker's
// counts go to the statistics document too.

#include <string>

#include "kernel/context.h"
#include "monitor/compliance.h"
#include "outputs/csv_field.h"
#include "outputs/observer.h"
#include "outputs/output_file.h"

class PCI_compliance_log : public SIM_observer {
  public:
    // The column names of the header row.
    static constexpr const char* header = "cycle,rule,agents,detail";

    // Checks bus, whose agents are found in context, writing to path.
    PCI_compliance_log(std::string path, const PCI_bus& bus, const SIM_context& context);
    PCI_compliance_log(const PCI_compliance_log&) = delete;
    PCI_compliance_log& operator=(const PCI_compliance_log&) = delete;

    // Creates the file and writes the header; returns an error text or "".
    std::string open();
    void on_cycle(const SIM_cycle_info& info) override { checker_.check(info.cycle); }
    // Closes the file; returns an error text or "".
    std::string on_finish() override { return file_.close(); }

    const PCI_compliance_checker& checker() const { return checker_; }

  private:
    // Writes one row.
    void write(const PCI_compliance_violation& violation);

    PCI_output_file file_;            // the CSV file
    PCI_compliance_checker checker_;  // the rules, writing through write()
};
