#pragma once
// The machine-readable outputs of a run (options --stats-json and
// --transactions): a listener on the monitor collects the transactions, the
// main loop hands over every cycle, and at the end of the run the statistics
// document and the transaction file are completed.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/long_options.h"
#include "outputs/bus_activity.h"
#include "outputs/observer.h"
#include "outputs/output_file.h"
#include "outputs/transaction_collector.h"
#include "outputs/transaction_log.h"

class PCI_testbench;
class PCI_compliance_checker;

class PCI_data_exporter : public SIM_observer {
  public:
    // Joins bench's monitor as a listener; the exporter must outlive the run.
    // The rules of compliance, if not null, follow the monitor's in the
    // statistics document.
    PCI_data_exporter(PCI_testbench& bench, std::vector<std::string> arguments,
                      const extension_settings& extensions,
                      const PCI_compliance_checker* compliance = nullptr);
    PCI_data_exporter(const PCI_data_exporter&) = delete;
    PCI_data_exporter& operator=(const PCI_data_exporter&) = delete;

    // Creates the files the settings name; returns the first error text or "".
    std::string open();

    void on_cycle(const SIM_cycle_info& info) override { activity_.count(info); }
    // Writes the statistics document and closes the files.
    std::string on_finish() override;

  private:
    PCI_testbench& bench_;                                  // the design watched
    std::vector<std::string> arguments_;                    // argv[1..] as given
    const extension_settings& extensions_;                  // the long options' settings
    const PCI_compliance_checker* compliance_;              // the rulebook's checker, if any
    PCI_bus_activity activity_;                             // the run's cycles
    std::optional<PCI_output_file> stats_file_;             // the statistics document, if asked for
    std::optional<PCI_transaction_log> log_;                // the transaction file, if asked for
    std::unique_ptr<PCI_transaction_collector> collector_;  // the monitor's listener
};

// Whether the settings ask for any of these outputs.
bool wants_data_outputs(const extension_settings& extensions);
