#include "monitor/report.h"

#include <cstdint>
#include <iomanip>

namespace {
// A division carried out at run time. A card without transactions, or
// without latency data, divides 0 by 0 here; the processor's NaN is printed
// as the stream prints it, so the division must not be folded at compile
// time into a NaN of another sign.
double quotient(double numerator, double denominator) {
    volatile double divisor = denominator;
    return numerator / divisor;
}

void print_card(std::ostream& out, int card, const PCI_address_map& map,
                const PCI_target_statistics& s) {
    constexpr int max_initial = PCI_target_statistics::max_initial_latency;
    constexpr int max_burst = PCI_target_statistics::max_burst_latency;

    const PCI_card_figures f = s.figures(card);

    out << std::setprecision(2) << "Card " << std::dec << card << " Base: " << std::hex
        << std::setw(8) << map.base(card) << " Mask: " << std::setw(8) << map.mask(card)
        << " Transfers: " << std::dec << f.claimed << std::endl;
    out << "\tDecode:\n";
    for (int speed = 0; speed < pci_decode_speeds; ++speed) {
        out << (speed == 0 ? "\t" : " ") << pci_decode_speed_names[speed] << ": " << std::dec
            << std::setw(6) << s.decode_count[speed][card];
    }
    out << std::endl;
    out << "\tAvarage burst length: " << quotient(s.data_count[card], f.claimed) << std::endl;

    for (int latency = 0; latency <= max_initial; ++latency) {
        const int32_t count = s.initial_latency[latency][card];
        if (count == 0)
            continue;
        out << "\tInitial latency:" << std::dec << latency << " count:" << count << " => "
            << quotient(count * 100.0, f.claimed) << "%" << std::endl;
    }
    out << "\tInitial Latency avarage: " << quotient(f.initial_weighted, f.first_phases)
        << std::endl;

    for (int latency = 0; latency <= max_burst; ++latency) {
        const int32_t count = s.burst_latency[latency][card];
        if (count == 0)
            continue;
        out << "\tBurst Latency:" << std::dec << latency << " count:" << count << " => "
            << std::fixed << quotient(count * 100.0, f.later_phases) << "%" << std::endl;
    }
    out << "\tBurst Latency avarage: " << quotient(f.burst_weighted, f.later_phases) << std::endl;
}
}  // namespace

void print_target_report(std::ostream& out, const PCI_address_map& map,
                         const PCI_target_statistics& stats) {
    out << "Total transfers: " << std::dec << stats.total_transfers << "\n\n";
    for (int card = 0; card < map.count(); ++card) print_card(out, card, map, stats);
}
