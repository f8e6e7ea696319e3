#include "pci/master.h"

#include <ostream>

#include "kernel/sim_time.h"

namespace {
// The error of a REQ# high for one clock only. Out of line, so that the
// clock that finds nothing to report stays short.
[[gnu::noinline]] void report_short_req(std::ostream& out, const SIM_port& req) {
    char buffer[SIM_name::buffer_size];
    out << "ERROR: " << req.name.full_name(buffer, SIM_name::buffer_size - 1)
        << " deasserted for only 1 clock" << std::endl;
}

// The debug line of the master's own end of a transaction. Out of line, as
// the report above.
[[gnu::noinline]] void report_termination(std::ostream& out, bool expired) {
    out << (expired ? "MLT timeout!" : "Master termination!") << std::endl;
}
}  // namespace

PCI_master::PCI_master(const char* name_text, SIM_instance* parent)
    : PCI_agent(name_text, parent), t("t", this), req("req", this), gnt("gnt", this) {}

void PCI_master::reset() {
    PCI_agent::reset();
    req.force(V1);
    gnt.force(VZ);
    t.reset();
    state = IDLE;
    frame_ctl = VZ;
    irdy_ctl = VZ;
    remaining = -2;  // nothing left: the first address phase fetches a transaction
    retry_pending = false;
    fbb_armed = false;
    restart_latency = true;
    if (done && running_ != nullptr)
        ++*running_;
    done = false;
    wait_until = 0;
    total_latency_ = 0;
    latency_.clear();
    retries_ = 0;
    data_words_ = 0;
    req_prev = V1;
    req_prev2 = V1;
}

// Inline: most clocks of a master are idle ones.
inline void PCI_master::idle_step() {
    // No stopped transaction to issue again, none to fetch, no data phase
    // left. Asked once: the hooks are pure, and nothing below changes it
    // before the address phase.
    const bool finished = !retry_pending && all_done() && last_phase();

    // Request: REQ# is asserted only after it has read high for two clocks.
    if (req.is_high() && req_prev == V1) {
        if (!finished && can_start()) {
            req.drive(V0);
            req_cycle = sim_cycle();
            restart_latency = false;
        }
    } else if (restart_latency) {
        req_cycle = sim_cycle();
        restart_latency = false;
    }

    if (finished) {
        if (!done)
            finish_work();
    } else if (frame.is_high() && (irdy.is_high() || fbb_armed) && can_start() && gnt.is_low()) {
        // Address phase. REQ# is not tested: a parked GNT# is used at once.
        start_address_phase();
    }

    if (gnt.is_high())
        fbb_armed = false;
}

void PCI_master::start_address_phase() {
    fbb_armed = false;
    if (!retry_pending && last_phase()) {
        address = next_address();
        command = next_command();
        remaining = burst_length();
        // A read counts the word in progress separately.
        if (is_read())
            --remaining;
    }
    ad_lines.drive(address);
    cbe_lines.drive(command);
    first_phase = true;
    address_cycle = sim_cycle();
    frame_ctl = V0;
    irdy_ctl = VZ;
    state = ADDR;
}

// Inline: called once per clock, from clock() only.
inline void PCI_master::drive_frame_irdy() {
    // The only drives of FRAME# and IRDY# in a clock.
    if (frame_ctl != VZ) {
        drive_first(frame, frame_ctl);
    } else {
        // Released lines are driven high for a clock first; FRAME# also stays
        // high while IRDY# is asserted.
        drive_first(frame, frame.own_level() == V0 || irdy_ctl == V0 ? V1 : VZ);
    }
    if (irdy_ctl != VZ) {
        drive_first(irdy, irdy_ctl);
    } else {
        drive_first(irdy, irdy.own_level() == V0 ? V1 : VZ);
    }
}

void PCI_master::clock() {
    clock_parity();
    // Most clocks of a master are idle ones, and most others data phases:
    // those go to their step without the dispatch.
    if (state == IDLE)
        idle_step();
    else if (state == DATA)
        data_step();
    else
        step();
    drive_frame_irdy();
    watch_req();
}

void PCI_master::count_running_in(int32_t& running) {
    running_ = &running;
    if (!done)
        ++running;
}

void PCI_master::finish_work() {
    done = true;
    if (running_ != nullptr)
        --*running_;
}

void PCI_master::set_latency_timer(int32_t value) {
    uint32_t& reg = t.config[latency_timer_register];
    reg = (reg & ~0xFF00u) | ((static_cast<uint32_t>(value) & 0xFFu) << 8);
}

void PCI_master::step() {
    switch (state) {
        case IDLE:
            idle_step();
            break;
        case ADDR:
            data_step();
            // Our own address is still on the bus: nobody may claim it yet.
            if (devsel.is_low()) {
                sim_out() << "ERROR: target responded too early!" << std::endl;
            } else {
                state = DEVSEL_FAST;
            }
            break;
        case DEVSEL_FAST:
            data_step();
            if (!devsel.is_low())
                state = DEVSEL_MED;
            break;
        case DEVSEL_MED:
            data_step();
            if (!devsel.is_low())
                state = DEVSEL_SLOW;
            break;
        case DEVSEL_SLOW:
            data_step();
            if (!devsel.is_low())
                state = DEVSEL_SUB;
            break;
        case DEVSEL_SUB:
            data_step();
            if (!devsel.is_low()) {
                // Master Abort: nobody claimed the address in four clocks.
                frame_ctl = VZ;
                irdy_ctl = V0;
                req.drive(V1);
                state = TURNAROUND;
            }
            break;
        case DATA:
            data_step();
            break;
        case TURNAROUND:
            retry_pending = false;
            fbb_armed = false;
            irdy_ctl = VZ;
            release_data_lines();
            state = IDLE;
            break;
        default:
            break;
    }
}

// Inline: called once per data step, from data_step() only.
inline bool PCI_master::should_terminate() {
    const bool last = last_phase();
    const bool expired = sim_cycle() - address_cycle > latency_timer() && gnt.is_high() &&
                         !(expire_after_phase && irdy.is_low() && !trdy.is_low());
    if (debug && (expired || last)) [[unlikely]]
        report_termination(sim_out(), expired);
    return expired || last;
}

void PCI_master::data_step() {
    const bool ready = ready_for_data(trdy.read());
    const bool irdy_low = irdy.is_low(), irdy_high = irdy.is_high();
    const bool trdy_low = trdy.is_low(), trdy_high = trdy.is_high();
    const bool devsel_low = devsel.is_low(), devsel_high = devsel.is_high();
    const bool stop_low = stop.is_low(), stop_high = stop.is_high();
    const bool frame_low = frame.is_low(), frame_high = frame.is_high();
    const bool transfer = devsel_low && irdy_low && trdy_low;

    // Next data: after a completed data phase, or before the first one.
    if (frame_low && stop_high && ready && (transfer || irdy_high)) {
        if (is_write()) {
            ad_lines.drive(next_data(address));
            --remaining;
        }
        cbe_lines.drive(byte_enables(address));
    }

    // A read never drives AD in its data phases; take the word on a transfer.
    if (is_read()) {
        ad_lines.release();
        if (transfer) {
            uint32_t data = 0;
            read_ad(data);
            --remaining;
            uint32_t lanes = 0;
            accept_data(lanes, address, data);
        }
    }

    const bool term = should_terminate();
    // The address phase's clock shows the previous transaction's bus.
    if (transfer && state != ADDR)
        ++data_words_;

    // Latency: from the request to the first completed data phase.
    if (irdy_low && trdy_low) {
        if (req_cycle != 0) {
            total_latency_ += sim_cycle() - req_cycle;
            latency_.add(sim_cycle() - req_cycle);
        }
        req_cycle = 0;
    }

    if (stop_low && trdy_high && devsel_low) {
        // Retry or Disconnect without data. With FRAME# still low the master
        // first deasserts it; the next clock sees this case again.
        if (frame_low || stop_cycle != sim_cycle() - 1)
            ++retries_;
        stop_cycle = sim_cycle();
        stop_ad = 0;
        read_ad(stop_ad);
        retry_pending = true;
        req.drive(V1);
        if (frame_low) {
            frame_ctl = VZ;
            irdy_ctl = V0;
            state = DATA;
        } else {
            irdy_ctl = VZ;
            release_data_lines();
            // The write word on AD was refused: generate it again next time.
            if (irdy_low && is_write()) {
                step_back(address);
                ++remaining;
            }
            state = IDLE;
        }
    } else if (stop_low && devsel_high && state == DATA) {
        // Target Abort: the transaction is dropped.
        retry_pending = false;
        frame_ctl = VZ;
        irdy_ctl = V0;
        req.drive(V1);
        state = TURNAROUND;
    } else if ((ready || irdy_low) && (term || (stop_low && devsel_low))) {
        // End of the transaction: the master's own, or Disconnect with data.
        retry_pending = false;
        frame_ctl = VZ;
        irdy_ctl = V0;
        bool finish = true;
        if (term && !all_done() && holds_request()) {
            // More to do: REQ# stays asserted. A write may be followed by the
            // next address phase without an idle clock.
            const bool fast_back_to_back =
                is_write() && gnt.is_low() && !all_done() && !(stop_low && frame_low) &&
                (t.config[command_register] & fast_back_to_back_enable) != 0;
            if (fast_back_to_back) {
                fbb_armed = true;
                finish = false;
                if (frame_high && trdy_low) {
                    // The final data phase completes now: drive the next
                    // address in this very clock.
                    idle_step();
                    return;
                }
            }
        } else {
            req.drive(V1);
        }
        if (finish) {
            if (trdy_low) {
                fbb_armed = false;
                if (frame_high) {
                    irdy_ctl = VZ;
                    release_data_lines();
                    state = IDLE;
                } else if (stop_low) {
                    state = TURNAROUND;
                } else {
                    state = DATA;
                }
            } else {
                state = DATA;
            }
        }
    } else {
        // Continue with the next data phase.
        if (ready) {
            first_phase = false;
            irdy_ctl = V0;
        } else {
            irdy_ctl = V1;
        }
        state = DATA;
    }

    restart_latency = true;
}

bool PCI_master::ready_for_data(logic_value trdy_level) {
    if (wait_until >= sim_cycle())
        return false;
    if (trdy_level == V0)
        wait_until = sim_cycle() + wait_states(first_phase);
    return true;
}

void PCI_master::watch_req() {
    if (req.is_low() && req_prev == V1 && req_prev2 == V0)
        report_short_req(sim_out(), req);
    req_prev2 = req_prev;
    req_prev = req.read();
}

void PCI_master::release_data_lines() {
    if (is_write())
        ad_lines.release();
    cbe_lines.release();
}
