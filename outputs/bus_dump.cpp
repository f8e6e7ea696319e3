#include "outputs/bus_dump.h"

#include "pci/bus.h"

namespace {
// Distance of cycle from the window's centre, in 64 bits: loc and rad may be
// any 32-bit value.
int64_t offset_from_centre(int32_t cycle, const run_settings& settings) {
    return int64_t{cycle} - settings.loc;
}
}  // namespace

bool PCI_bus_dump::in_window(int32_t cycle, const run_settings& settings) {
    const int64_t offset = offset_from_centre(cycle, settings);
    return (offset < 0 ? -offset : offset) <= settings.rad;
}

bool PCI_bus_dump::window_passed(int32_t cycle, const run_settings& settings) {
    return offset_from_centre(cycle, settings) > settings.rad;
}

void PCI_bus_dump::on_cycle(const SIM_cycle_info& info) {
    // Without a dump the cycle ends here, before the line's frame is built.
    if (info.end == SIM_cycle_end::masters_done || settings_.dump_mode == dump_mode_t::none)
        return;
    dump_cycle(info);
}

void PCI_bus_dump::dump_cycle(const SIM_cycle_info& info) {
    if (settings_.dump_mode == dump_mode_t::window && !in_window(info.cycle, settings_))
        return;
    // The cycle prefix is zero-filled; the fill and the decimal base stay
    // set on the stream for the rest of the run.
    if (settings_.counter_width != 0) {
        out_.fill('0');
        out_.setf(std::ios_base::dec, std::ios_base::basefield);
        const int32_t prefix = info.cycle % settings_.counter_modulus;
        if (prefix < 0 || settings_.counter_width > max_prefix_width) {
            out_.width(settings_.counter_width);
            out_ << prefix;
            bus_.dump(out_);
            return;
        }
    }
    // Zero-filled prefix and bus levels as one write.
    char line[max_prefix_width + PCI_bus::dump_size];
    char* at = line;
    if (settings_.counter_width != 0) {
        char digits[16];
        int count = 0;
        for (int32_t rest = info.cycle % settings_.counter_modulus; count == 0 || rest != 0;
             rest /= 10)
            digits[count++] = static_cast<char>('0' + rest % 10);
        for (int pad = settings_.counter_width - count; pad > 0; --pad) *at++ = '0';
        while (count > 0) *at++ = digits[--count];
    }
    at += bus_.format_dump(at);
    write_line(line, at - line);
}

void PCI_bus_dump::write_line(const char* line, std::streamsize length) {
    std::streambuf* buffer = out_.rdbuf();
    // A good stream tied to none, without unitbuf or exceptions: write()
    // and flush() come down to the buffer's sputn and pubsync, a short
    // write or a failed sync setting badbit. Anything else takes the
    // stream's own calls.
    if (!out_.good() || out_.tie() || !buffer || (out_.flags() & std::ios_base::unitbuf) ||
        out_.exceptions() != std::ios_base::goodbit) {
        out_.write(line, length);
        out_.flush();
        return;
    }
    if (buffer->sputn(line, length) != length) {
        out_.setstate(std::ios_base::badbit);
        return;
    }
    if (buffer->pubsync() == -1)
        out_.setstate(std::ios_base::badbit);
}
