#pragma once
// The machine-readable outputs of a run (options --stats-json and
// --transactions): a listener on the monitor collects the transactions, the
// main loop hands over every cycle, and at the end of the run the statistics
// document and the transaction file are completed.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outputs/bus_activity.h"
#include "outputs/design_view.h"
#include "outputs/observer.h"
#include "outputs/output_file.h"
#include "outputs/transaction_collector.h"
#include "outputs/transaction_log.h"

class PCI_monitor;

// The design file a run read: where, and the SHA-256 of its bytes.
struct PCI_design_file_id {
    std::string path;    // as given on the command line
    std::string sha256;  // 64 lower-case hex digits
};

// What the data outputs are asked to do, and the run's settings they record.
struct PCI_data_request {
    std::string stats_json;                         // statistics document's file; empty none
    std::string transactions;                       // transaction CSV's file; empty none
    std::vector<std::string> arguments;             // argv[1..] as given
    std::optional<uint32_t> seed;                   // --seed, if given
    int32_t max_cycles = 0;                         // most main-loop iterations
    std::optional<PCI_design_file_id> design_file;  // the design file read, if any
};

class PCI_data_exporter : public SIM_observer {
  public:
    // Joins monitor (the view's) as a listener; the exporter must outlive
    // the run, and the view's design and parts the exporter.
    PCI_data_exporter(PCI_design_view view, PCI_monitor& monitor, PCI_data_request request);
    PCI_data_exporter(const PCI_data_exporter&) = delete;
    PCI_data_exporter& operator=(const PCI_data_exporter&) = delete;

    // Creates the files the request names; returns the first error text or "".
    std::string open();

    void on_cycle(const SIM_cycle_info& info) override { activity_.count(info); }
    // Writes the statistics document and closes the files.
    std::string on_finish() override;

  private:
    PCI_design_view view_;                                  // the design watched
    PCI_data_request request_;                              // files and recorded settings
    PCI_bus_activity activity_;                             // the run's cycles
    std::optional<PCI_output_file> stats_file_;             // the statistics document, if asked for
    std::optional<PCI_transaction_log> log_;                // the transaction file, if asked for
    std::unique_ptr<PCI_transaction_collector> collector_;  // the monitor's listener
};
