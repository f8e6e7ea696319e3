#include "outputs/stats_json.h"

#include <cstdio>

#include "bench/testbench.h"
#include "outputs/bus_activity.h"
#include "outputs/transaction_collector.h"

namespace {
using json = nlohmann::ordered_json;

// Keys of the target's decode-speed entries, indexed by PCI_target::Speed_entry.
constexpr const char* speed_entry_names[PCI_target::SPEED_ENTRIES] = {
    "config_read", "config_write", "memory_read", "memory_write", "io_read", "io_write"};

// The ends counted under "terminations", with their keys.
constexpr PCI_transaction_end termination_kinds[] = {
    PCI_transaction_end::completed,
    PCI_transaction_end::retry,
    PCI_transaction_end::disconnect_with_data,
    PCI_transaction_end::disconnect_without_data,
    PCI_transaction_end::target_abort,
    PCI_transaction_end::master_abort,
    PCI_transaction_end::unfinished,
};

// numerator / denominator, or null when the denominator is 0.
json ratio(double numerator, double denominator) {
    return denominator == 0 ? json(nullptr) : json(numerator / denominator);
}

std::string hex32(uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

json config_of(const PCI_stats_sources& s) {
    const PCI_testbench& b = s.bench;
    json masters = json::array();
    for (int i = 0; i < PCI_testbench::units; ++i) {
        const PCI_random_master& m = *b.masters[i];
        masters.push_back({{"name", m.name.own_name()},
                           {"transactions", m.transaction_count()},
                           {"latency_timer", m.latency_timer()},
                           {"retry_overhead", m.retry_overhead_value()},
                           {"seed", b.master_seeds[i].seed},
                           {"multiplier", b.master_seeds[i].multiplier}});
    }
    json targets = json::array();
    for (int i = 0; i < PCI_testbench::units; ++i) {
        const PCI_target& t = *b.targets[i];
        json speeds = json::object();
        for (int e = 0; e < PCI_target::SPEED_ENTRIES; ++e)
            speeds[speed_entry_names[e]] =
                pci_decode_speed_name(t.decode_speed_of(static_cast<PCI_target::Speed_entry>(e)));
        targets.push_back({{"name", t.name.own_name()},
                           {"init_retry_threshold", t.init_threshold()},
                           {"burst_retry_threshold", t.burst_threshold()},
                           {"decode_speed", pci_decode_speed_name(
                                                t.decode_speed_of(PCI_target::SPEED_MEMORY_READ))},
                           {"decode_speeds", speeds},
                           {"seed", b.target_seeds[i].seed},
                           {"multiplier", b.target_seeds[i].multiplier}});
    }
    return {{"arguments", s.arguments},
            {"seed", s.extensions.seed ? json(*s.extensions.seed) : json(nullptr)},
            {"max_cycles", s.extensions.max_cycles},
            {"mtt", b.pa.mtt_value()},
            {"masters", masters},
            {"targets", targets}};
}

json master_figures(const PCI_random_master& m) {
    const PCI_latency_record& r = m.latency_record();
    const bool any = r.count > 0;
    json latency = {{"count", r.count},
                    {"total", r.total},
                    {"mean", ratio(static_cast<double>(r.total), r.count)},
                    {"min", any ? json(r.min) : json(nullptr)},
                    {"max", any ? json(r.max) : json(nullptr)},
                    {"histogram", r.histogram}};
    return {{"name", m.name.own_name()}, {"transactions", m.issued_count()},
            {"done", m.is_done()},       {"latency", latency},
            {"retries", m.retries()},    {"data_words", m.data_words()}};
}

// Every bin of one latency histogram of a card, zeros included.
template <size_t Bins>
json bins_of(const int32_t (&table)[Bins][PCI_target_statistics::cards], int card) {
    json counts = json::array();
    for (size_t latency = 0; latency < Bins; ++latency) counts.push_back(table[latency][card]);
    return counts;
}

// One card's figures: the text report's sums, with every bin.
json card_figures(int card, const PCI_stats_sources& s) {
    const PCI_address_map& map = s.bench.pmon.address_map();
    const PCI_target_statistics& st = s.bench.pmon.statistics();
    const PCI_card_figures f = st.figures(card);
    json decode = json::object();
    for (int speed = 0; speed < PCI_target_statistics::decode_speeds; ++speed)
        decode[pci_decode_speed_names[speed]] = st.decode_count[speed][card];
    json terminations = json::object();
    for (const PCI_transaction_end kind : termination_kinds)
        terminations[transaction_end_name(kind)] = s.collector.count(card, kind);
    return {{"card", card},
            {"base", hex32(map.base(card))},
            {"mask", hex32(map.mask(card))},
            {"claimed", f.claimed},
            {"decode", decode},
            {"data_phases", st.data_count[card]},
            {"average_burst_length", ratio(st.data_count[card], f.claimed)},
            {"initial_latency", bins_of(st.initial_latency, card)},
            {"initial_latency_average", ratio(f.initial_weighted, f.first_phases)},
            {"burst_latency", bins_of(st.burst_latency, card)},
            {"burst_latency_average", ratio(f.burst_weighted, f.later_phases)},
            {"terminations", terminations}};
}

json bus_figures(const PCI_bus_activity& a) {
    const double cycles = static_cast<double>(a.cycles());
    return {{"cycles", a.cycles()},
            {"busy", a.busy()},
            {"idle", a.idle()},
            {"turnaround", a.turnaround()},
            {"busy_share", ratio(static_cast<double>(a.busy()), cycles)},
            {"idle_share", ratio(static_cast<double>(a.idle()), cycles)},
            {"turnaround_share", ratio(static_cast<double>(a.turnaround()), cycles)}};
}

json rule_figures(const PCI_rule_checker& rules) {
    json list = json::array();
    for (int i = 0; i < PCI_rule_checker::rule_count; ++i) {
        const auto which = static_cast<PCI_rule_checker::rule>(i);
        const PCI_rule_checker::counts& c = rules.count_of(which);
        list.push_back({{"rule", PCI_rule_checker::rule_name(which)},
                        {"checked", c.checked},
                        {"violated", c.violated}});
    }
    return list;
}
}  // namespace

json stats_document(const PCI_stats_sources& s) {
    const PCI_testbench& b = s.bench;
    json masters = json::array();
    for (const PCI_random_master* m : b.masters) masters.push_back(master_figures(*m));
    json targets = json::array();
    for (const PCI_target* t : b.targets)
        targets.push_back({{"name", t->name.own_name()}, {"transfers", t->trans_done()}});
    json cards = json::array();
    for (int card = 0; card < b.pmon.address_map().count(); ++card)
        cards.push_back(card_figures(card, s));
    return {{"format", "pcisim-stats"},
            {"version", 1},
            {"config", config_of(s)},
            {"run",
             {{"cycles", s.activity.cycles()},
              {"closing_index", s.activity.closing_index()},
              {"finished", b.all_done()},
              {"stopped_by", s.activity.stopped_by()}}},
            {"masters", masters},
            {"targets", targets},
            {"total_transfers", b.pmon.statistics().total_transfers},
            {"cards", cards},
            {"bus", bus_figures(s.activity)},
            {"rules", rule_figures(b.pmon.rule_checker())}};
}
