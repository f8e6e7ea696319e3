#include "outputs/stats_json.h"

#include <algorithm>
#include <cstdio>

#include "monitor/compliance.h"
#include "monitor/monitor.h"
#include "outputs/bus_activity.h"
#include "outputs/design_json.h"
#include "outputs/transaction_collector.h"
#include "outputs/transaction_log.h"

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

template <class T>
json optional_json(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

std::string hex32(uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

json config_of(const PCI_stats_sources& s) {
    const PCI_design_view& v = s.view;
    json masters = json::array();
    for (size_t i = 0; i < v.masters.size(); ++i) {
        const PCI_random_master& m = *v.masters[i];
        masters.push_back({{"name", v.design.masters[i].name},
                           {"transactions", m.transaction_count()},
                           {"latency_timer", m.latency_timer()},
                           {"retry_overhead", m.retry_overhead_value()},
                           {"seed", v.master_seeds[i].seed},
                           {"multiplier", v.master_seeds[i].multiplier}});
    }
    json targets = json::array();
    for (size_t i = 0; i < v.targets.size(); ++i) {
        const PCI_target& t = *v.targets[i];
        json speeds = json::object();
        for (int e = 0; e < PCI_target::SPEED_ENTRIES; ++e)
            speeds[speed_entry_names[e]] =
                pci_decode_speed_name(t.decode_speed_of(static_cast<PCI_target::Speed_entry>(e)));
        targets.push_back({{"name", v.design.targets[i].name},
                           {"init_retry_threshold", t.init_threshold()},
                           {"burst_retry_threshold", t.burst_threshold()},
                           {"decode_speed", pci_decode_speed_name(
                                                t.decode_speed_of(PCI_target::SPEED_MEMORY_READ))},
                           {"decode_speeds", speeds},
                           {"seed", v.target_seeds[i].seed},
                           {"multiplier", v.target_seeds[i].multiplier}});
    }
    json design_file = nullptr;
    if (s.request.design_file)
        design_file = {{"path", s.request.design_file->path},
                       {"sha256", s.request.design_file->sha256}};
    return {{"arguments", s.request.arguments},
            {"seed", optional_json(s.request.seed)},
            {"max_cycles", s.request.max_cycles},
            {"mtt", v.design.arbiter.mtt},
            {"masters", masters},
            {"targets", targets},
            {"design", design_json(v.design)},
            {"design_file", design_file}};
}

// A master's figures; all_words: the data words of every master.
json master_figures(const PCI_random_master& m, const std::string& name, int64_t all_words,
                    int64_t cycles, const json& commands) {
    const PCI_latency_record& r = m.latency_record();
    const bool any = r.count > 0;
    json latency = {{"count", r.count},
                    {"total", r.total},
                    {"mean", ratio(static_cast<double>(r.total), r.count)},
                    {"min", any ? json(r.min) : json(nullptr)},
                    {"max", any ? json(r.max) : json(nullptr)},
                    {"p95", optional_json(percentile(r.values, 95))},
                    {"histogram", r.histogram}};
    return {{"name", name},
            {"transactions", m.issued_count()},
            {"done", m.is_done()},
            {"latency", latency},
            {"retries", m.retries()},
            {"data_words", m.data_words()},
            {"data_share", ratio(m.data_words(), static_cast<double>(all_words))},
            {"throughput_mb_s", optional_json(throughput_mb_s(m.data_words(), cycles))},
            {"commands", commands}};
}

// The commands a master's transactions carried, by name, with their counts
// (attempts of a retried transaction each count).
json commands_of(const PCI_transaction_collector& collector, int master) {
    json commands = json::object();
    for (uint32_t code = 0; code < 16; ++code)
        if (const int32_t n = collector.command_count(master, code); n != 0)
            commands[pci_command_name(code)] = n;
    return commands;
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
    const PCI_address_map& map = s.view.monitor.address_map();
    const PCI_target_statistics& st = s.view.monitor.statistics();
    const PCI_card_figures f = st.figures(card);
    json decode = json::object();
    for (int speed = 0; speed < PCI_target_statistics::decode_speeds; ++speed)
        decode[pci_decode_speed_names[speed]] = st.decode_count[speed][card];
    json terminations = json::object();
    for (const PCI_transaction_end kind : termination_kinds)
        terminations[transaction_end_name(kind)] = s.collector.count(card, kind);
    const std::vector<PCI_card_spec> named = all_cards(s.view.design);
    const bool has_name = card < static_cast<int>(named.size());
    return {{"card", card},
            {"name", has_name ? json(named[card].name) : json(nullptr)},
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

// The monitor's rules, then the rulebook's when it ran.
json rule_figures(const PCI_rule_checker& rules, const PCI_compliance_checker* compliance) {
    json list = json::array();
    for (int i = 0; i < PCI_rule_checker::rule_count; ++i) {
        const auto which = static_cast<PCI_rule_checker::rule>(i);
        const PCI_rule_checker::counts& c = rules.count_of(which);
        list.push_back({{"rule", PCI_rule_checker::rule_name(which)},
                        {"checked", c.checked},
                        {"violated", c.violated}});
    }
    if (compliance == nullptr)
        return list;
    for (int i = 0; i < PCI_compliance_checker::rule_count; ++i) {
        const auto which = static_cast<PCI_compliance_checker::rule>(i);
        const PCI_compliance_checker::counts& c = compliance->count_of(which);
        list.push_back({{"rule", PCI_compliance_checker::rule_name(which)},
                        {"checked", c.checked},
                        {"violated", c.violated}});
    }
    return list;
}
}  // namespace

std::optional<double> jain_index(const std::vector<double>& values) {
    double sum = 0, squares = 0;
    for (const double x : values) {
        sum += x;
        squares += x * x;
    }
    if (squares == 0)
        return std::nullopt;
    // Rounding may carry equal values a hair above 1.
    return std::min(1.0, sum * sum / (static_cast<double>(values.size()) * squares));
}

std::optional<double> throughput_mb_s(int64_t words, int64_t cycles) {
    // 4 bytes a word, 33 * 10^6 clocks a second, 10^6 bytes a megabyte.
    constexpr double bytes_per_word = 4, clock_mhz = 33;
    if (cycles <= 0)
        return std::nullopt;
    return static_cast<double>(words) * bytes_per_word * clock_mhz / static_cast<double>(cycles);
}

std::optional<int32_t> percentile(std::vector<int32_t> values, int percent) {
    if (values.empty())
        return std::nullopt;
    // Rank ceil(percent / 100 * n), counted from 1.
    const size_t rank = (values.size() * static_cast<size_t>(percent) + 99) / 100;
    const size_t index = rank == 0 ? 0 : rank - 1;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                     values.end());
    return values[index];
}

json stats_document(const PCI_stats_sources& s) {
    const PCI_design_view& v = s.view;
    int64_t all_words = 0;
    for (const PCI_random_master* m : v.masters) all_words += m->data_words();
    const int64_t cycles = s.activity.cycles();
    json masters = json::array();
    std::vector<double> throughputs;
    for (size_t i = 0; i < v.masters.size(); ++i) {
        masters.push_back(master_figures(*v.masters[i], v.design.masters[i].name, all_words, cycles,
                                         commands_of(s.collector, static_cast<int>(i))));
        throughputs.push_back(throughput_mb_s(v.masters[i]->data_words(), cycles).value_or(0));
    }
    json targets = json::array();
    for (size_t i = 0; i < v.targets.size(); ++i)
        targets.push_back(
            {{"name", v.design.targets[i].name}, {"transfers", v.targets[i]->trans_done()}});
    json cards = json::array();
    for (int card = 0; card < v.monitor.address_map().count(); ++card)
        cards.push_back(card_figures(card, s));
    return {{"format", "pcisim-stats"},
            {"version", 2},
            {"config", config_of(s)},
            {"run",
             {{"cycles", cycles},
              {"closing_index", s.activity.closing_index()},
              {"finished", v.all_done()},
              {"stopped_by", s.activity.stopped_by()}}},
            {"masters", masters},
            {"targets", targets},
            {"total_transfers", v.monitor.statistics().total_transfers},
            {"cards", cards},
            {"bus", bus_figures(s.activity)},
            {"rules", rule_figures(v.monitor.rule_checker(), s.compliance)},
            {"fairness", {{"jain_throughput", optional_json(jain_index(throughputs))}}}};
}
