#include "monitor/trace.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <ostream>

#include "kernel/instance.h"
#include "pci/commands.h"

bool PCI_trace_printer::active() const {
    return owner_.debug_flag() != 0;
}

void PCI_trace_printer::line(const char* text) const {
    if (active())
        owner_.sim_out() << text << std::endl;
}

void PCI_trace_printer::line(const char* text, int32_t count) const {
    if (!active())
        return;
    std::ostream& out = owner_.sim_out();
    const std::size_t length = std::strlen(text);
    char buffer[128];
    // Formatted in place and written once, as the inserts would print it:
    // no width pending, no sign for positive numbers; anything else takes
    // the inserts.
    if (out.width() != 0 || (out.flags() & std::ios_base::showpos) || length + 13 > sizeof buffer) {
        out << text << std::dec << count << std::endl;
        return;
    }
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): written by length, not a string
    std::memcpy(buffer, text, length);
    char* at = buffer + length;
    uint32_t magnitude = static_cast<uint32_t>(count);
    if (count < 0) {
        *at++ = '-';
        magnitude = 0u - magnitude;
    }
    char digits[10];
    int used = 0;
    do {
        digits[used++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (used > 0) *at++ = digits[--used];
    *at++ = '\n';
    out.setf(std::ios_base::dec, std::ios_base::basefield);
    out.write(buffer, at - buffer);
    out.flush();
}

void PCI_trace_printer::on_address(const PCI_address_event& event) {
    if (!event.decoded) {
        line("Unhandled cycle. Skipping,,,");
        return;
    }
    if (!active())
        return;
    // The fill stays "0" on the stream afterwards.
    owner_.sim_out() << pci_command_names[event.command & 0xFu].trace << "Add: " << std::hex
                     << std::setfill('0') << std::setw(8) << event.address << std::dec << std::endl;
}

void PCI_trace_printer::on_claim(int32_t, PCI_decode_speed speed) {
    if (!active())
        return;
    char text[32];
    std::snprintf(text, sizeof text, "  %s decode", pci_decode_speed_name(speed));
    line(text);
}

void PCI_trace_printer::on_master_abort(int32_t) {
    line("  Master abort");
}

void PCI_trace_printer::on_data_phase(const PCI_data_event& event) {
    // A word that came with STOP# was announced by the termination line.
    if (!event.stopped)
        line("Data transfer at ", event.elapsed);
}

void PCI_trace_printer::on_termination(const PCI_termination_event& event) {
    line(event.kind == PCI_termination::with_data ? "Target abort w/data after "
                                                  : "Target abort w/o data after ",
         event.elapsed);
}

void PCI_trace_printer::on_end(int32_t, int32_t data_phases) {
    line("Burst Length: ", data_phases);
}

void PCI_trace_printer::on_notice(int32_t, const char* text) {
    line(text);
}
