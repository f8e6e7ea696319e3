#include "pci/target.h"

#include <ostream>

#include "kernel/sim_time.h"

PCI_target::PCI_target(const char* name_text, SIM_instance* parent)
    : PCI_agent(name_text, parent), idsel("idsel", this) {
    for (PCI_decode_speed& speed : decode_speed) speed = PCI_decode_speed::fast;
    for (int i = 0; i < 16; ++i) config_mask[i] = 0;
    // The Command register is the only writable part of the plain header.
    config_mask[1] |= 0xFFFFu;
}

void PCI_target::reset() {
    PCI_agent::reset();
    idsel.force(VZ);
    ready_cycle = -1;
    stopping = false;
    burst_count = -1;
    trans_done_ = 0;
    state = IDLE;
    detached_ = detached() && idsel.attached_net() == nullptr;
    resting_ = false;
}

void PCI_target::warn(const char* where) const {
    sim_out() << "Warning! Bug in PCI_target::" << where << "()" << std::endl;
}

// ---- Address decode ----

PCI_target::State PCI_target::decode(uint32_t cmd, uint32_t addr) {
    if (idsel.is_low() && is_config_command(cmd))
        return decode_state(
            decode_speed[is_read_command(cmd) ? SPEED_CONFIG_READ : SPEED_CONFIG_WRITE]);

    const uint32_t command_register = config[1];
    for (int k = 0; k < 6; ++k) {
        const uint32_t base = config[4 + k];
        const uint32_t mask = config_mask[4 + k];
        if (mask == 0 || ((base ^ addr) & mask) != 0)
            continue;
        // Kept even if the space test below fails.
        range_end = (base & ~0xFu) | ~mask;
        const bool io_address = (addr & 1u) != 0;
        if (io_address && is_io_command(cmd) && (command_register & 1u))
            return decode_state(
                decode_speed[is_read_command(cmd) ? SPEED_IO_READ : SPEED_IO_WRITE]);
        if (!io_address && is_memory_command(cmd) && (command_register & 2u))
            return decode_state(
                decode_speed[is_read_command(cmd) ? SPEED_MEMORY_READ : SPEED_MEMORY_WRITE]);
    }
    return NOT_SELECTED;
}

// ---- The state machine ----

void PCI_target::clock() {
    if (resting_)
        return;
    if (state == IDLE && first_phase && idle_at_rest()) {
        // The clock would release PAR, give no PERR# verdict, drive the Z
        // its lines hold and find FRAME# not low: only the parity sample
        // for the next cycle's check is taken. With PAR on no wire (a
        // master's own configuration function) no check ever reads it: PAR
        // then reads this target's own Z.
        if (par.attached_net() != nullptr) {
            bool complete = false;
            prev_parity = sample_parity(complete);
            prev_valid = complete;
        } else {
            resting_ = detached_;
        }
        return;
    }
    clock_states();
}

void PCI_target::clock_states() {
    clock_parity();

    // Most clocks of a bus target are another target's transactions: those
    // skip the dispatch.
    if (state == NOT_SELECTED) {
        if (frame.is_high())
            state = IDLE;
        return;
    }
    switch (state) {
        case IDLE:
            devsel.drive(VZ);
            trdy.drive(VZ);
            stop.drive(VZ);
            first_phase = true;
            // The address and command are packed straight into the
            // transaction record; a failed packing just waits for next cycle.
            if (frame.is_low() && read_ad(address) && read_cbe(command)) {
                address_cycle = sim_cycle();
                state = decode(command, address);
                if (state == DATA)
                    prepare_data();
            }
            break;

        case DECODE_SUB:
            state = DECODE_SLOW;
            break;
        case DECODE_SLOW:
            state = DECODE_MED;
            break;
        case DECODE_MED:
            state = DATA;
            prepare_data();
            break;

        case DATA: {
            // Z or X on a line makes it neither high nor low.
            const bool trdy_low = trdy.is_low(), trdy_high = trdy.is_high();
            const bool irdy_low = irdy.is_low(), irdy_high = irdy.is_high();
            const bool frame_low = frame.is_low(), frame_high = frame.is_high();
            const bool stop_low = stop.is_low();
            if (trdy_high && stop_low) {
                // A stop without data is on the bus.
                if (is_read())
                    ad_lines.release();
                if (frame_high) {
                    stop.drive(V1);
                    devsel.drive(V1);
                }
                state = BACKOFF;
            } else if (trdy_high || irdy_high) {
                // No transfer this cycle: keep waiting or decide.
                prepare_data();
            } else if (trdy_low && irdy_low && frame_high) {
                // Last transfer of the transaction.
                uint32_t enables = 0;
                if (!read_cbe(enables))
                    warn("clock");
                if (is_write()) {
                    uint32_t data = 0;
                    if (!read_ad(data))
                        warn("clock");
                    accept_data(enables, address, data);
                }
                if (is_read())
                    ad_lines.release();
                devsel.drive(V1);
                trdy.drive(V1);
                stop.drive(V1);
                ++trans_done_;
                state = IDLE;
            } else if (trdy_low && irdy_low && frame_low && stop_low) {
                // Transfer with STOP#: the master must end the burst.
                if (is_read())
                    ad_lines.release();
                trdy.drive(V1);
                ++trans_done_;
                state = BACKOFF;
            } else if (trdy_low && irdy_low && frame_low) {
                // Transfer inside a burst; a write word is taken in prepare_data().
                prepare_data();
                ++trans_done_;
            } else {
                warn("clock");
            }
            break;
        }

        case BACKOFF:
            // The target does not check parity while it backs off.
            perr.drive(VZ);
            if (trdy.read() == V1)
                trdy.drive(VZ);
            if (frame.is_high()) {
                devsel.drive(V1);
                trdy.drive(VZ);
                stop.drive(V1);
                state = IDLE;
            }
            // Lines already high at the start of the cycle are released.
            if (stop.is_high())
                stop.drive(VZ);
            if (devsel.is_high())
                devsel.drive(VZ);
            break;

        case NOT_SELECTED:  // handled above
        default:
            break;
    }
}

void PCI_target::prepare_data() {
    if (ready_cycle == -1)
        ready_cycle = sim_cycle() + wait_states(first_phase);
    devsel.drive(V0);

    if (is_write() && irdy.is_low() && trdy.is_low()) {
        uint32_t data = 0;
        uint32_t enables = 0;
        if (!read_ad(data))
            warn("prepare_data");
        read_cbe(enables);
        accept_data(enables, address, data);
    }

    if (!data_ready(irdy.read())) {
        trdy.drive(V1);
        stop.drive(V1);
        return;
    }
    // TRDY# already given and the master not ready: hold everything.
    if (irdy.is_high() && trdy.is_low())
        return;

    const bool was_stopping = stopping;
    stopping = should_stop();
    if (stopping) {
        // Retry / Disconnect without data; the ready cycle stays standing.
        stop.drive(V0);
        trdy.drive(V1);
        if (is_read())
            ad_lines.drive(retry_data());
    } else {
        stop.drive(stop_with_data() ? V0 : V1);
        trdy.drive(V0);
        uint32_t enables = 0;
        if (!read_cbe(enables))
            warn("clock");
        if (is_read())
            ad_lines.drive(next_data(address));
        first_phase = false;
        ready_cycle = -1;
    }
    if (!was_stopping) {
        stopped_address = address;
        stopped_command = command;
    }
}

// ---- Decision hooks ----

bool PCI_target::data_ready(logic_value) {
    // Never in the address cycle of a read: AD needs its turnaround clock.
    if (is_read() && sim_cycle() == address_cycle)
        return false;
    if (ready_cycle <= sim_cycle())
        return true;
    return latency_exceeded();
}

bool PCI_target::latency_exceeded() {
    // Exact, in 64 bits: a threshold near the top of the 32-bit range means
    // "never", not a limit wrapped negative.
    const int64_t threshold = first_phase ? init_retry_threshold : burst_retry_threshold;
    return int64_t{ready_cycle} > int64_t{sim_cycle()} + threshold;
}

bool PCI_target::should_stop() {
    if (stopping && (address != stopped_address || command != stopped_command))
        return true;
    return latency_exceeded();
}

bool PCI_target::stop_with_data() {
    if (address == range_end)
        return true;
    // The count runs on across transactions; only reaching -1 reloads it.
    if (burst_count < 0)
        burst_count = burst_limit();
    --burst_count;
    return burst_count == -1;
}

uint32_t PCI_target::retry_data() {
    return 0;
}

int32_t PCI_target::wait_states(bool first) {
    return first ? initial_wait() : burst_wait();
}

int32_t PCI_target::initial_wait() {
    return 0;
}

int32_t PCI_target::burst_wait() {
    return 0;
}

int32_t PCI_target::burst_limit() {
    return -2;
}

// ---- Configuration space ----

uint32_t PCI_target::config_read(uint32_t& addr) {
    const uint32_t index = addr / 4;
    addr += 4;
    return index < config_registers ? config[index] : no_register;
}

void PCI_target::config_write(uint32_t& byte_enables, uint32_t& addr, uint32_t& data) {
    const uint32_t index = addr / 4;
    addr += 4;
    if (index >= config_registers)
        return;
    uint32_t mask = config_mask[index];
    // C/BE# is active low: a set bit disables its byte lane.
    for (int lane = 0; lane < 4; ++lane)
        if ((byte_enables >> lane) & 1u)
            mask &= ~(0xFFu << (8 * lane));
    config[index] = (config[index] & ~mask) | (data & mask);
}

void PCI_target::set_decode_speeds(PCI_decode_speed speed) {
    if (!valid_speed(speed))
        return;
    for (PCI_decode_speed& entry : decode_speed) entry = speed;
}

void PCI_target::set_decode_speed(uint32_t cmd, PCI_decode_speed speed) {
    if (!valid_speed(speed))
        return;
    switch (cmd) {
        case CMD_IO_READ:
            decode_speed[SPEED_IO_READ] = speed;
            break;
        case CMD_IO_WRITE:
            decode_speed[SPEED_IO_WRITE] = speed;
            break;
        case CMD_MEMORY_READ:
        case CMD_MEMORY_READ_MULTIPLE:
        case CMD_MEMORY_READ_LINE:
            decode_speed[SPEED_MEMORY_READ] = speed;
            break;
        case CMD_MEMORY_WRITE:
        case CMD_MEMORY_WRITE_INVALIDATE:
            decode_speed[SPEED_MEMORY_WRITE] = speed;
            break;
        case CMD_CONFIG_READ:
            decode_speed[SPEED_CONFIG_READ] = speed;
            break;
        case CMD_CONFIG_WRITE:
            decode_speed[SPEED_CONFIG_WRITE] = speed;
            break;
        default:
            break;
    }
}

void PCI_target::set_config(int index, uint32_t value, uint32_t mask) {
    if (index < 0 || index >= config_registers)
        return;
    config[index] = value;
    config_mask[index] = mask;
}
