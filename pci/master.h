#pragma once
// A PCI bus master. It requests the bus on REQ#, waits for GNT#, drives the
// address phase, waits up to four clocks for a target to claim it on DEVSEL#
// and then runs the data phases with the IRDY#/TRDY# handshake. It ends a
// transaction by itself (last data phase, or Latency Timer expired after GNT#
// was taken away) or because the target stopped it (Retry, Disconnect, Target
// Abort) or nobody claimed it (Master Abort). A stopped transaction is issued
// again from where it stopped. Back-to-back writes may skip the idle clock
// when the Fast Back-to-Back Enable bit of the master's own Command register
// is set.
//
// Which transactions are run comes from the virtual hooks, which derived
// classes fill in. The master also measures its bus-access latency.

#include <cstdint>

#include "kernel/signal.h"
#include "pci/agent.h"
#include "pci/latency_record.h"
#include "pci/pattern.h"
#include "pci/target.h"

class PCI_master : public PCI_agent, public PCI_pattern {
  public:
    // States of the master; the codes are the ones stored. The four DEVSEL#
    // states count down the clocks in which a target may still claim.
    enum State : int32_t {
        IDLE = 0,         // not on the bus: request, completion, address phase
        DEVSEL_SUB = 1,   // fourth clock for DEVSEL#; none means Master Abort
        DEVSEL_SLOW = 2,  // third clock in which a target may claim
        DEVSEL_MED = 3,   // second clock in which a target may claim
        DEVSEL_FAST = 4,  // first clock in which a target may claim
        DATA = 6,         // data phases, and the clocks that finish a stop
        TURNAROUND = 7,   // releases IRDY#, AD and C/BE# after an abort or stop
        ADDR = 8,         // the address phase is on the bus in this clock
    };

    // The DEVSEL# state in which a target of the given speed claims.
    static constexpr State devsel_state(PCI_decode_speed speed) {
        return static_cast<State>(DEVSEL_FAST - speed_index(speed));
    }

    // Configuration dword holding the Latency Timer (byte 0x0D, bits 15..8).
    static constexpr int latency_timer_register = 3;
    // Configuration dword holding the Command register (low 16 bits).
    static constexpr int command_register = 1;
    // Fast Back-to-Back Enable in the Command register.
    static constexpr uint32_t fast_back_to_back_enable = 0x0200;

    PCI_master(const char* name, SIM_instance* parent);

    // Releases the bus ports, deasserts REQ#, resets the own configuration
    // target and all transaction state; the pattern source keeps its count.
    void reset() override;
    // Parity services, then one step of the state machine, then FRAME#/IRDY#
    // and the REQ# watch.
    void clock() override;

    // Current state of the machine.
    State state_code() const { return state; }
    // All work finished (set by the idle step, cleared only by reset()).
    bool is_done() const { return done; }
    // Counts this master in running while its work is not finished: one up
    // now if it is not, one down when it finishes, one up when reset() takes
    // it back. Call once; running must outlive the master.
    void count_running_in(int32_t& running);
    // Sum of the measured bus-access latencies.
    int32_t total_latency() const { return total_latency_; }
    // Every measured bus-access latency since reset.
    const PCI_latency_record& latency_record() const { return latency_; }
    // Stops without data (Retry or Disconnect without data) seen since reset.
    int32_t retries() const { return retries_; }
    // Data words moved in completed data phases since reset.
    int32_t data_words() const { return data_words_; }
    // Stores the low 8 bits in the Latency Timer byte of the own header.
    void set_latency_timer(int32_t value);
    // The Latency Timer byte of the own header (0 to 255).
    int32_t latency_timer() const {
        return static_cast<int32_t>((t.config[latency_timer_register] >> 8) & 0xFFu);
    }

    PCI_target t;  // own configuration function "t"; its ports stay unattached
    SIM_port req;  // REQ#, driven by the master
    SIM_port gnt;  // GNT#, read by the master

  protected:
    // ---- Hooks that decide which transactions run. ----

    // Whether the master may request the bus and start an address phase.
    virtual bool can_start() { return true; }
    // Whether every transaction has been fetched.
    virtual bool all_done() { return false; }
    // Start address of a new transaction.
    virtual uint32_t next_address() = 0;
    // Bus command of a new transaction.
    virtual uint32_t next_command() = 0;
    // Master wait states before the next data phase.
    virtual int32_t wait_states(bool first) { return first ? initial_wait() : burst_wait(); }
    // Wait states before the first data phase.
    virtual int32_t initial_wait() { return 0; }
    // Wait states before each later data phase.
    virtual int32_t burst_wait() { return 0; }
    // Whether the data phase in progress is the last one.
    virtual bool last_phase() { return remaining <= 0; }
    // Data phases of a new transaction (called after next_command()).
    virtual int32_t burst_length() { return -2; }
    // Whether REQ# stays asserted after the master's own end of a transaction
    // when more work follows; asked in every clock of that end.
    virtual bool holds_request() { return true; }

    // ---- The state machine. ----

    // Dispatches on the state at the start of the step.
    void step();
    // Request, completion test and address phase.
    void idle_step();
    // The address phase of a new or stopped transaction: drives its address
    // and command. Out of line, so that the idle step stays short.
    [[gnu::noinline]] void start_address_phase();
    // One clock of a data phase, with the decision how to go on.
    void data_step();
    // Whether the master is ready for a data phase; starts the wait states
    // of the next one when the target is ready (TRDY# exactly 0).
    bool ready_for_data(logic_value trdy_level);
    // Whether the master ends the transaction: last data phase, or Latency
    // Timer expired with GNT# taken away (with expire_after_phase, only
    // where no data phase is held open: IRDY# low without TRDY#).
    bool should_terminate();
    // Turns frame_ctl and irdy_ctl into levels; an asserted line is driven
    // high for one clock before it is released.
    void drive_frame_irdy();
    // Reports REQ# high for exactly one clock between two low ones.
    void watch_req();
    // Sets done and counts the master out of the running count.
    [[gnu::noinline]] void finish_work();

    // Levels frame_ctl and irdy_ctl use: V0 assert, V1 deassert, VZ release.

    State state = IDLE;           // current state
    logic_value frame_ctl = VZ;   // what FRAME# should do
    logic_value irdy_ctl = VZ;    // what IRDY# should do
    int32_t remaining = -2;       // write: words not driven; read: not taken - 1
    bool retry_pending = false;   // stopped by the target; to be issued again
    bool fbb_armed = false;       // next address may come with IRDY# asserted
    bool restart_latency = true;  // next idle step restarts the measurement
    bool done = false;            // all work finished
    int32_t* running_ = nullptr;  // count of unfinished masters this one is in; null none
    int32_t wait_until = 0;       // not ready while this is >= sim_cycle
    int32_t req_cycle = 0;        // start of the running measurement; 0 none
    int32_t total_latency_ = 0;   // sum of the measured latencies
    PCI_latency_record latency_;  // each measured latency, counted
    int32_t retries_ = 0;         // stops without data seen
    int32_t data_words_ = 0;      // words moved in completed data phases
    int32_t stop_cycle = 0;       // cycle of the last stop without data
    uint32_t stop_ad = 0;         // AD word read in that cycle (retry hint)
    logic_value req_prev = V1;    // REQ# one cycle earlier
    logic_value req_prev2 = V1;   // REQ# two cycles earlier
    // On Latency Timer expiry a data phase held by the target completes
    // before FRAME# goes high (else FRAME# goes high at once).
    bool expire_after_phase = false;

  private:
    // Releases AD (for writes) and C/BE# at the end of the master's tenure.
    void release_data_lines();
};
