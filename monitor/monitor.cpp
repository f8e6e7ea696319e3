#include "monitor/monitor.h"

#include <cstdint>
#include <limits>

#include "monitor/report.h"

PCI_monitor::PCI_monitor(const char* name_text, SIM_instance* parent)
    : PCI_agent(name_text, parent), tracer(*this), listeners{&recorder, &tracer} {}

void PCI_monitor::reset() {
    PCI_agent::reset();
    recorder.clear();
    rules.clear_counts();
    burst_len = 0;
    state = MON_IDLE;
}

void PCI_monitor::clock() {
    check_rules();
    // Saturates instead of overflowing on an endless idle bus; the
    // histograms clamp far below this anyway.
    if (wait_count < std::numeric_limits<int32_t>::max())
        ++wait_count;
    // Most cycles are data phases: those skip the decoder's dispatch.
    if (state == MON_DATA)
        data_phase();
    else
        decode();
}

void PCI_monitor::report() {
    print_target_report(sim_out(), map, statistics());
}

void PCI_monitor::decode() {
    const int32_t now = sim_cycle();
    // Transitions that carry on in the same cycle loop; the others return.
    for (;;) {
        switch (state) {
            case MON_IDLE: {
                if (!frame.is_low())
                    return;
                // An address phase: the command and address on the bus. A
                // pack that meets Z or X gives a partial value; it is used
                // as it is.
                uint32_t command = 0;
                uint32_t address = 0;
                read_cbe(command);
                read_ad(address);
                first_data = true;
                txn_start = now;
                burst_len = 0;
                const uint32_t code = command & 0xFu;
                const bool decoded =
                    is_io_command(code) || is_config_command(code) || is_memory_command(code);
                const PCI_address_event event{
                    now, command, address, decoded ? find_range(address) : PCI_address_map::no_card,
                    decoded};
                publish([&](PCI_transaction_listener& l) { l.on_address(event); });
                if (!decoded) {
                    state = MON_WAIT_END;
                    continue;
                }
                state = MON_FAST;
                return;
            }
            case MON_FAST:
            case MON_MED:
            case MON_SLOW:
            case MON_SUB: {
                if (devsel.is_low()) {
                    wait_count = 0;
                    const auto speed = static_cast<PCI_decode_speed>(state - MON_FAST);
                    publish([&](PCI_transaction_listener& l) { l.on_claim(now, speed); });
                    state = MON_DATA;
                    continue;
                }
                if (state == MON_SUB) {
                    publish([&](PCI_transaction_listener& l) { l.on_master_abort(now); });
                    state = MON_WAIT_END;
                } else {
                    state = static_cast<state_code>(state + 1);
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
                    publish([&](PCI_transaction_listener& l) {
                        l.on_notice(now, "TRDY deasserted before IRDY asserted");
                    });
                    return;
                }
                if (!irdy.is_low())
                    return;
                state = MON_DATA;
                continue;
            case MON_WAIT_TRDY:
                if (!irdy.is_low()) {
                    publish([&](PCI_transaction_listener& l) {
                        l.on_notice(now, "IRDY deasserted before TRDY asserted");
                    });
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
    const int32_t now = sim_cycle();
    const int32_t elapsed = now - txn_start;

    if (stopping) {
        // Disconnect with data (this phase transfers, then the target
        // stops), or a stop without data: Retry, Disconnect, Target-Abort.
        const PCI_termination_event event{
            now, elapsed, target_ready ? PCI_termination::with_data : PCI_termination::without_data,
            devsel.is_low(), burst_len};
        publish([&](PCI_transaction_listener& l) { l.on_termination(event); });
        if (target_ready)
            publish_data(true, elapsed);
        publish([&](PCI_transaction_listener& l) { l.on_end(now, burst_len); });
        state = MON_WAIT_END;
    } else if (master_ready && target_ready) {
        publish_data(false, elapsed);
        wait_count = 0;
        // FRAME# already deasserted: this was the last data phase.
        if (frame.is_high()) {
            state = MON_IDLE;
            publish([&](PCI_transaction_listener& l) { l.on_end(now, burst_len); });
        }
    } else if (master_ready) {
        state = MON_WAIT_TRDY;
    } else if (target_ready) {
        state = MON_WAIT_IRDY;
    }
}

void PCI_monitor::publish_data(bool stopped, int32_t elapsed) {
    const PCI_data_event event{sim_cycle(), wait_count, elapsed, first_data, stopped};
    first_data = false;
    ++burst_len;
    publish([&](PCI_transaction_listener& l) { l.on_data_phase(event); });
}
