#include "monitor/monitor.h"

#include <cstdint>
#include <iomanip>
#include <limits>

#include "kernel/output.h"
#include "kernel/sim_time.h"
#include "monitor/report.h"

namespace {
// Trace name of each command code, padded to 22 characters; null for the
// codes no agent decodes.
constexpr const char* command_names[16] = {
    nullptr,
    nullptr,
    "I/O Read              ",
    "I/O Write             ",
    nullptr,
    nullptr,
    "Memory Read           ",
    "Memory Write          ",
    nullptr,
    nullptr,
    "Config Read           ",
    "Config Write          ",
    "Memory Read Mult      ",
    nullptr,
    "Memory Read Long      ",
    "Memory Write & Inv    ",
};

// Trace line of each decode speed.
constexpr const char* decode_names[4] = {
    "  FAST decode",
    "  MED decode",
    "  SLOW decode",
    "  SUB decode",
};
}  // namespace

PCI_monitor::PCI_monitor(const char* name, SIM_instance* parent) : PCI_agent(name, parent) {}

void PCI_monitor::reset() {
    PCI_agent::reset();
    stats.clear();
    burst_len = 0;
    state = MON_IDLE;
}

void PCI_monitor::clock() {
    check_rules();
    // A pack that meets Z or X gives a partial value; it is used as it is.
    uint32_t command = 0;
    uint32_t address = 0;
    signals_to_int(cbe, cbe_width, command);
    signals_to_int(ad, ad_width, address);
    // Saturates instead of overflowing on an endless idle bus; the
    // histograms clamp far below this anyway.
    if (wait_count < std::numeric_limits<int32_t>::max())
        ++wait_count;
    decode(command, address);
}

void PCI_monitor::report() {
    print_target_report(sim_out(), map, stats);
}

void PCI_monitor::decode(uint32_t command, uint32_t address) {
    // Transitions that carry on in the same cycle loop; the others return.
    for (;;) {
        switch (state) {
            case MON_IDLE: {
                if (!frame.is_low())
                    return;
                first_data = true;
                txn_start = sim_cycle;
                burst_len = 0;
                const char* name = command_names[command & 0xF];
                if (name == nullptr) {
                    trace("Unhandled cycle. Skipping,,,");
                    state = MON_WAIT_END;
                    continue;
                }
                if (debug)
                    sim_out() << name;
                state = MON_FAST;
                // The fill stays "0" on the stream afterwards.
                if (debug) {
                    sim_out() << "Add: " << std::hex << std::setfill('0') << std::setw(8) << address
                              << std::dec << std::endl;
                }
                card = find_range(address);
                ++stats.total_transfers;
                return;
            }
            case MON_FAST:
            case MON_MED:
            case MON_SLOW:
            case MON_SUB: {
                const int speed = state - MON_FAST;
                if (devsel.is_low()) {
                    wait_count = 0;
                    ++stats.decode_count[speed][card];
                    trace(decode_names[speed]);
                    state = MON_DATA;
                    continue;
                }
                if (state == MON_SUB) {
                    trace("  Master abort");
                    state = MON_WAIT_END;
                } else {
                    ++state;
                }
                return;
            }
            case MON_WAIT_END:
                if (frame.is_high())
                    state = MON_IDLE;
                return;
            case MON_DATA:
                data_phase();
                return;
            case MON_WAIT_IRDY:
                if (!trdy.is_low()) {
                    trace("TRDY deasserted before IRDY asserted");
                    return;
                }
                if (!irdy.is_low())
                    return;
                state = MON_DATA;
                continue;
            case MON_WAIT_TRDY:
                if (!irdy.is_low()) {
                    trace("IRDY deasserted before TRDY asserted");
                    return;
                }
                if (!trdy.is_low() && !stop.is_low())
                    return;
                state = MON_DATA;
                continue;
            default:
                return;
        }
    }
}

void PCI_monitor::data_phase() {
    const bool stopping = stop.is_low();
    const bool target_ready = trdy.is_low();
    const bool master_ready = irdy.is_low();
    const int32_t elapsed = sim_cycle - txn_start;

    if (stopping && target_ready) {
        // Disconnect with data: this phase transfers, then the target stops.
        record_latency();
        trace("Target abort w/data after ", elapsed);
        ++stats.data_count[card];
        ++burst_len;
        trace("Burst Length: ", burst_len);
        state = MON_WAIT_END;
    } else if (stopping) {
        // Retry or disconnect without data.
        trace("Target abort w/o data after ", elapsed);
        trace("Burst Length: ", burst_len);
        state = MON_WAIT_END;
    } else if (master_ready && target_ready) {
        record_latency();
        wait_count = 0;
        trace("Data transfer at ", elapsed);
        ++stats.data_count[card];
        ++burst_len;
        // FRAME# already deasserted: this was the last data phase.
        if (frame.is_high()) {
            state = MON_IDLE;
            trace("Burst Length: ", burst_len);
        }
    } else if (master_ready) {
        state = MON_WAIT_TRDY;
    } else if (target_ready) {
        state = MON_WAIT_IRDY;
    }
}

void PCI_monitor::record_latency() {
    if (first_data) {
        first_data = false;
        if (wait_count > PCI_target_statistics::max_initial_latency) {
            wait_count = PCI_target_statistics::max_initial_latency;
        }
        ++stats.initial_latency[wait_count][card];
    } else {
        if (wait_count > PCI_target_statistics::max_burst_latency) {
            wait_count = PCI_target_statistics::max_burst_latency;
        }
        ++stats.burst_latency[wait_count][card];
    }
}

void PCI_monitor::trace(const char* text) {
    if (debug)
        sim_out() << text << std::endl;
}

void PCI_monitor::trace(const char* text, int32_t count) {
    if (debug)
        sim_out() << text << std::dec << count << std::endl;
}
