#pragma once
// A PCI target device. Each clock it watches the bus; on an address phase it
// decodes the command and address against the base address registers of its
// configuration header (or IDSEL for configuration commands), claims the
// transaction with DEVSEL# after a per-command decode delay, inserts the wait
// states its latency hooks ask for, supplies read data from its pattern
// source and hands write data to it, and ends each data phase normally or
// with Retry, Disconnect with data or Disconnect without data.
//
// After a Retry (or Disconnect without data) it remembers the stopped
// transaction and stops every other one until that one is repeated; the
// repeat then waits out the rest of its first attempt's latency.
//
// This class is the neutral target (no wait states, no burst limit); derived
// classes override the virtual decision hooks to give it a character.

#include <cstdint>

#include "kernel/signal.h"
#include "pci/agent.h"
#include "pci/defaults.h"
#include "pci/pattern.h"

class PCI_target : public PCI_agent, public PCI_pattern {
  public:
    // States of the target machine. The decode states count down to DATA, so
    // a decode speed selects the state entered after the address phase.
    enum State : int32_t {
        IDLE = 0,          // bus not claimed; watching for an address phase
        DECODE_SUB = 1,    // decode delay; next DECODE_SLOW
        DECODE_SLOW = 2,   // decode delay; next DECODE_MED
        DECODE_MED = 3,    // decode delay; next DATA with the first data phase
        DATA = 4,          // DEVSEL# asserted; data phases
        BACKOFF = 5,       // STOP# given; waiting for FRAME# to go high
        NOT_SELECTED = 6,  // someone else's transaction; waiting for FRAME# high
    };

    // The state entered after the address phase at a decode speed.
    static constexpr State decode_state(PCI_decode_speed speed) {
        return static_cast<State>(DATA - speed_index(speed));
    }

    // Entries of decode_speed, one per class of claimed command.
    enum Speed_entry : int {
        SPEED_CONFIG_READ = 0,
        SPEED_CONFIG_WRITE = 1,
        SPEED_MEMORY_READ = 2,
        SPEED_MEMORY_WRITE = 3,
        SPEED_IO_READ = 4,
        SPEED_IO_WRITE = 5,
        SPEED_ENTRIES = 6,
    };

    static constexpr int config_registers = 64;           // 256-byte header
    static constexpr uint32_t no_register = 0xFFFFFFFFu;  // read of a missing register

    PCI_target(const char* name, SIM_instance* parent);

    // Releases every port, returns to IDLE and clears the transfer count; the
    // configuration, thresholds, decode speeds and the remembered transaction
    // survive.
    void reset() override;
    // One cycle of the state machine.
    void clock() override;

    // ---- Configuration space. ----

    // Configuration register at address / 4; address + 4. A register beyond
    // the header reads as all ones.
    virtual uint32_t config_read(uint32_t& address);
    // Masked write of the enabled byte lanes; address + 4. A register beyond
    // the header is left alone.
    virtual void config_write(uint32_t& byte_enables, uint32_t& address, uint32_t& data);

    // ---- Configuration and options. ----

    void set_init_retry_threshold(int32_t value) { init_retry_threshold = value; }
    void set_burst_retry_threshold(int32_t value) { burst_retry_threshold = value; }
    // Sets all six entries; values other than the four speeds are ignored.
    void set_decode_speeds(PCI_decode_speed speed);
    // Sets the entry serving a command code; other codes and speeds are ignored.
    void set_decode_speed(uint32_t cmd, PCI_decode_speed speed);
    // The speed serving a class of commands.
    PCI_decode_speed decode_speed_of(Speed_entry entry) const { return decode_speed[entry]; }
    // Register and write mask; an index beyond the header is ignored.
    void set_config(int index, uint32_t value, uint32_t mask);

    // Completed data transfers since reset.
    int32_t trans_done() const { return trans_done_; }
    // Current state of the machine.
    State current_state() const { return state; }
    // The retry thresholds in effect.
    int32_t init_threshold() const { return init_retry_threshold; }
    int32_t burst_threshold() const { return burst_retry_threshold; }

    SIM_port idsel;                               // IDSEL input, never attached here
    uint32_t config[config_registers] = {};       // configuration header, dword i
    uint32_t config_mask[config_registers] = {};  // writable bits of each register

  protected:
    // ---- Decision hooks (derived classes override some of them). ----

    // Whether the data phase is stopped without data (Retry / Disconnect).
    virtual bool should_stop();
    // Whether the pending ready cycle is further away than the threshold.
    virtual bool latency_exceeded();
    // Whether the data phase given TRDY# also gets STOP#.
    virtual bool stop_with_data();
    // The word driven on AD when a read is stopped without data.
    virtual uint32_t retry_data();
    // Clocks to wait before the pending data phase.
    virtual int32_t wait_states(bool first);
    // Wait before the first data phase of a transaction.
    virtual int32_t initial_wait();
    // Wait before each later data phase of a burst.
    virtual int32_t burst_wait();
    // Data phases before a Disconnect with data, less one; negative = none.
    virtual int32_t burst_limit();
    // Whether the pending data phase may be answered in this cycle.
    virtual bool data_ready(logic_value irdy_level);

    // The data-phase driver: DEVSEL#, wait states, TRDY#/STOP#, AD.
    void prepare_data();
    // The state entered after an address phase with this command and address.
    State decode(uint32_t cmd, uint32_t addr);

    int32_t ready_cycle = -1;  // first cycle the pending phase may complete; -1 none
    PCI_decode_speed decode_speed[SPEED_ENTRIES];  // claim speed per class of command
    State state = IDLE;                            // state of the machine
    uint32_t range_end = 0;                        // last byte of the window of the matching BAR
    uint32_t stopped_address = 0;                  // running address of the remembered transaction
    uint32_t stopped_command = 0;                  // command of the remembered transaction
    bool stopping = false;                         // latest decision was STOP# without TRDY#
    int32_t burst_count = -1;                      // data phases left before a burst disconnect
    int32_t init_retry_threshold = pci_defaults::init_retry_threshold;  // first phase: most clocks
    int32_t burst_retry_threshold =
        pci_defaults::burst_retry_threshold;  // later phase: most clocks
    int32_t trans_done_ = 0;                  // completed data transfers

  private:
    static bool valid_speed(PCI_decode_speed speed) {
        return speed_index(speed) >= 0 && speed_index(speed) < pci_decode_speeds;
    }
    // Prints the consistency warning of the given operation.
    void warn(const char* where) const;
    // An idle target's clock would change nothing but the parity sample:
    // the lines it drives are at Z (its clock would drive the Z they hold,
    // which they would keep undriven), AD[0] is at Z, PAR on the wire is
    // neither 0 nor 1, FRAME# is not low.
    bool idle_at_rest() const {
        for (const SIM_port* p : {&devsel, &trdy, &stop, &par, &perr})
            if (p->own_level() != VZ)
                return false;
        const logic_value bus_par = par.read();
        return ad[0]->own_level() == VZ && bus_par != V0 && bus_par != V1 && !frame.is_low();
    }
    // clock() past an idle target at rest: the parity services, then the
    // state machine. Out of line, so that a clock at rest stays short.
    [[gnu::noinline]] void clock_states();

    // No pin of this target is on a wire (a master's own configuration
    // function): set by reset(). Only this target's own clock drives such
    // pins, and no other agent's level reaches them.
    bool detached_ = false;
    // A detached target that a clock found at rest: it stays so, as nothing
    // reaches its pins, and its clocks have nothing to do until the next
    // reset().
    bool resting_ = false;
};
