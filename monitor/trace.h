#pragma once
// The monitor's debug trace (option -dm): one line per step of a transaction,
// printed on the simulation's stream while the monitor's debug flag is set.

#include "monitor/events.h"

class SIM_instance;

class PCI_trace_printer : public PCI_transaction_listener {
  public:
    // Prints through owner's stream while owner's debug flag is set.
    explicit PCI_trace_printer(const SIM_instance& owner) : owner_(owner) {}

    void on_address(const PCI_address_event& event) override;
    void on_claim(int32_t cycle, PCI_decode_speed speed) override;
    void on_master_abort(int32_t cycle) override;
    void on_data_phase(const PCI_data_event& event) override;
    void on_termination(const PCI_termination_event& event) override;
    void on_end(int32_t cycle, int32_t data_phases) override;
    void on_notice(int32_t cycle, const char* text) override;

  private:
    // One line: text alone, or text and a decimal number.
    void line(const char* text) const;
    void line(const char* text, int32_t count) const;
    bool active() const;

    const SIM_instance& owner_;  // the monitor whose flag and stream are used
};
