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

    // Transactions a target of this range claimed, at any decode speed.
    int32_t claimed = 0;
    for (int speed = 0; speed < PCI_target_statistics::decode_speeds; ++speed) {
        claimed += s.decode_count[speed][card];
    }
    // Data phases after the first one.
    int32_t later_phases = 0;
    for (int latency = 0; latency <= max_burst; ++latency) {
        later_phases += s.burst_latency[latency][card];
    }

    out << std::setprecision(2) << "Card " << std::dec << card << " Base: " << std::hex
        << std::setw(8) << map.base(card) << " Mask: " << std::setw(8) << map.mask(card)
        << " Transfers: " << std::dec << claimed << std::endl;
    out << "\tDecode:\n";
    out << "\tFAST: " << std::dec << std::setw(6)
        << s.decode_count[speed_index(PCI_decode_speed::fast)][card] << " MED: " << std::setw(6)
        << s.decode_count[speed_index(PCI_decode_speed::med)][card] << " SLOW: " << std::setw(6)
        << s.decode_count[speed_index(PCI_decode_speed::slow)][card] << " SUB: " << std::setw(6)
        << s.decode_count[speed_index(PCI_decode_speed::sub)][card] << std::endl;
    out << "\tAvarage burst length: " << quotient(s.data_count[card], claimed) << std::endl;

    double weighted = 0;  // sum of latency x count
    int32_t first_phases = 0;
    for (int latency = 0; latency <= max_initial; ++latency) {
        const int32_t count = s.initial_latency[latency][card];
        if (count == 0)
            continue;
        out << "\tInitial latency:" << std::dec << latency << " count:" << count << " => "
            << quotient(count * 100.0, claimed) << "%" << std::endl;
        weighted += static_cast<double>(static_cast<int64_t>(latency) * count);
        first_phases += count;
    }
    out << "\tInitial Latency avarage: " << quotient(weighted, first_phases) << std::endl;

    weighted = 0;
    for (int latency = 0; latency <= max_burst; ++latency) {
        const int32_t count = s.burst_latency[latency][card];
        if (count == 0)
            continue;
        out << "\tBurst Latency:" << std::dec << latency << " count:" << count << " => "
            << std::fixed << quotient(count * 100.0, later_phases) << "%" << std::endl;
        weighted += static_cast<double>(static_cast<int64_t>(latency) * count);
    }
    out << "\tBurst Latency avarage: " << quotient(weighted, later_phases) << std::endl;
}
}  // namespace

void print_target_report(std::ostream& out, const PCI_address_map& map,
                         const PCI_target_statistics& stats) {
    out << "Total transfers: " << std::dec << stats.total_transfers << "\n\n";
    for (int card = 0; card < map.count(); ++card) print_card(out, card, map, stats);
}
