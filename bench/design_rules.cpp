#include "bench/design_rules.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

namespace {
// Names the bench gives its own instances, and the transaction file's "t".
constexpr std::array<const char*, 5> reserved_names = {"tb", "pa", "pb", "pmon", "t"};

bool name_reserved(const std::string& name) {
    for (const char* reserved : reserved_names)
        if (name == reserved)
            return true;
    return false;
}

bool name_shaped(const std::string& name) {
    if (name.empty() || name.size() > 16 || name[0] < 'a' || name[0] > 'z')
        return false;
    for (const char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

// "0x00100000-0x0010ffff" for the bytes [base, base + size).
std::string span(uint64_t base, uint64_t size) {
    return format_address(base) + '-' + format_address(base + size - 1);
}

// Checks one name: shape, reserved, unique (first use recorded in used).
void check_name(const std::string& name, const PCI_design_place& place,
                std::map<std::string, PCI_design_place>& used,
                PCI_design_diagnostics& diagnostics) {
    if (name.empty())
        return;  // missing: reported by the reader
    if (!name_shaped(name)) {
        diagnostics.error(place, "name '" + name + "' must match [a-z][a-z0-9_]{0,15}");
        return;
    }
    if (name_reserved(name)) {
        diagnostics.error(place, "name '" + name + "' is reserved");
        return;
    }
    const auto [it, inserted] = used.emplace(name, place);
    if (!inserted) {
        std::string text = "name '" + name + "' is already used";
        if (!it->second.text().empty())
            text += " (" + it->second.text() + ')';
        diagnostics.error(place, text);
    }
}

void check_counts(const PCI_design& design, const PCI_design_places& places,
                  PCI_design_diagnostics& diagnostics) {
    const size_t masters = design.masters.size();
    const size_t targets = design.targets.size();
    if (masters == 0)
        diagnostics.error(places.file, "no [[master]]: a design needs at least one");
    else if (masters > PCI_design::max_masters)
        diagnostics.error(places.master(PCI_design::max_masters).table,
                          std::to_string(masters) + " masters; the arbiter serves at most " +
                              std::to_string(PCI_design::max_masters));
    if (targets == 0)
        diagnostics.error(places.file, "no [[target]]: a design needs at least one");
    else if (targets > PCI_design::max_targets)
        diagnostics.error(places.target(PCI_design::max_targets).table,
                          std::to_string(targets) + " targets; at most " +
                              std::to_string(PCI_design::max_targets));
    const size_t cards = (design.cards_from_targets ? targets : 0) + design.cards.size();
    if (cards > PCI_design::max_cards)
        diagnostics.error(places.cards.empty() ? places.file : places.card(0),
                          std::to_string(cards) + " monitor cards; at most " +
                              std::to_string(PCI_design::max_cards));
}

// Returns which targets have a valid BAR.
std::vector<bool> check_bars(const PCI_design& design, const PCI_design_places& places,
                             PCI_design_diagnostics& diagnostics) {
    std::vector<bool> valid(design.targets.size(), false);
    for (size_t i = 0; i < design.targets.size(); ++i) {
        const PCI_target_spec& t = design.targets[i];
        const PCI_design_place& place = places.target(i).bar;
        if (!places.target(i).usable)
            continue;
        const std::string who = "target '" + t.name + "': ";
        if (!is_power_of_two(t.bar_size) || t.bar_size < 16) {
            diagnostics.error(place, who + "bar size " + format_size(t.bar_size) +
                                         " is not a power of two of 16B or more");
            continue;
        }
        if ((t.bar_base & (t.bar_size - 1)) != 0) {
            diagnostics.error(place, who + "bar base " + format_address(t.bar_base) +
                                         " is not aligned to its size " + format_size(t.bar_size));
            continue;
        }
        valid[i] = true;
        for (size_t j = 0; j < i; ++j) {
            const PCI_target_spec& o = design.targets[j];
            if (!valid[j])
                continue;
            const uint64_t a0 = t.bar_base, a1 = a0 + t.bar_size;
            const uint64_t b0 = o.bar_base, b1 = b0 + o.bar_size;
            if (a0 < b1 && b0 < a1) {
                std::string text = "target '" + t.name + "' window " + span(a0, t.bar_size) +
                                   " overlaps target '" + o.name + "' window " +
                                   span(b0, o.bar_size);
                if (!places.target(j).bar.text().empty())
                    text += " (" + places.target(j).bar.text() + ')';
                diagnostics.error(place, text);
            }
        }
    }
    return valid;
}

std::string target_list(const PCI_design& design) {
    std::string list;
    for (const PCI_target_spec& t : design.targets) list += (list.empty() ? "" : ", ") + t.name;
    return list;
}

void check_windows(const PCI_design& design, const PCI_design_places& places,
                   const std::vector<bool>& valid_bars, PCI_design_diagnostics& diagnostics,
                   std::vector<bool>& addressed) {
    for (size_t i = 0; i < design.masters.size(); ++i) {
        const PCI_master_spec& m = design.masters[i];
        const std::string who = "master '" + m.name + "': ";
        if (!places.master(i).usable)
            continue;
        for (size_t w = 0; w < m.windows.size(); ++w) {
            const PCI_window_spec& window = m.windows[w];
            const std::vector<PCI_design_place>& ws = places.master(i).windows;
            const PCI_design_place place = w < ws.size() ? ws[w] : places.master(i).table;
            size_t target = design.targets.size();
            for (size_t t = 0; t < design.targets.size(); ++t)
                if (design.targets[t].name == window.target)
                    target = t;
            if (target == design.targets.size()) {
                diagnostics.error(place, who + "window target '" + window.target +
                                             "' is not a target (targets: " + target_list(design) +
                                             ')');
                continue;
            }
            addressed[target] = true;
            if (!valid_bars[target])
                continue;
            if (!is_power_of_two(window.size) || window.size < 4) {
                diagnostics.error(place, who + "window size " + format_size(window.size) +
                                             " is not a power of two of 4B or more");
                continue;
            }
            if (window.offset % 4 != 0) {
                diagnostics.error(place, who + "window offset " + format_address(window.offset) +
                                             " is not a multiple of 4");
                continue;
            }
            const PCI_target_spec& t = design.targets[target];
            if (uint64_t{window.offset} + window.size > t.bar_size)
                diagnostics.error(
                    place,
                    who + "window " + span(uint64_t{t.bar_base} + window.offset, window.size) +
                        " leaves target '" + t.name + "' (" + span(t.bar_base, t.bar_size) + ')');
        }
    }
}

void check_cards(const PCI_design& design, const PCI_design_places& places,
                 PCI_design_diagnostics& diagnostics) {
    // Every card in report order: the targets' first when they have cards.
    std::vector<PCI_card_spec> earlier;
    if (design.cards_from_targets)
        for (const PCI_target_spec& t : design.targets)
            earlier.push_back(PCI_card_spec{t.name, t.bar_base, ~(t.bar_size - 1)});
    for (size_t i = 0; i < design.cards.size(); ++i) {
        const PCI_card_spec& card = design.cards[i];
        for (const PCI_card_spec& e : earlier) {
            // Inside an earlier card: every address matching this one matches it first.
            if ((card.mask & e.mask) == e.mask && (card.base & e.mask) == e.base) {
                diagnostics.error(places.card(i), "card '" + card.name + "' lies inside card '" +
                                                      e.name + "' and would never count");
                break;
            }
        }
        earlier.push_back(card);
    }
}

void warn(const PCI_design& design, const PCI_design_places& places,
          const std::vector<bool>& addressed, PCI_design_diagnostics& diagnostics) {
    // A burst that starts at a window's last word and runs past its target's
    // BAR continues where no target answers.
    for (size_t i = 0; i < design.masters.size(); ++i) {
        const PCI_master_spec& m = design.masters[i];
        const int64_t longest = std::max(m.read_length.hi, m.write_length.hi);
        for (const PCI_window_spec& w : m.windows)
            for (const PCI_target_spec& t : design.targets) {
                if (t.name != w.target)
                    continue;
                const uint64_t end = uint64_t{w.offset} + w.size - 4 + uint64_t(longest) * 4;
                if (end > t.bar_size)
                    diagnostics.warning(
                        places.master(i).table,
                        "master '" + m.name + "': a burst of " + std::to_string(longest) +
                            " data phases from the end of its window " + "can run past target '" +
                            t.name + "' (" + span(t.bar_base, t.bar_size) + ')');
            }
    }
    for (size_t i = 0; i < design.targets.size(); ++i) {
        const PCI_target_spec& t = design.targets[i];
        if (!addressed[i])
            diagnostics.warning(places.target(i).table,
                                "target '" + t.name + "' is in no master's window");
        const int64_t longest = std::max(t.initial_wait_read.hi, t.initial_wait_write.hi);
        if (t.retry_hint && longest > 255)
            diagnostics.warning(places.target(i).table, "target '" + t.name +
                                                            "': initial_wait up to " +
                                                            std::to_string(longest) +
                                                            " clocks; the retry hint holds 8 bits");
    }
}
}  // namespace

const PCI_design_places::agent& PCI_design_places::master(size_t i) const {
    static const agent nowhere;
    return i < masters.size() ? masters[i] : nowhere;
}

const PCI_design_places::agent& PCI_design_places::target(size_t i) const {
    static const agent nowhere;
    return i < targets.size() ? targets[i] : nowhere;
}

PCI_design_place PCI_design_places::card(size_t i) const {
    return i < cards.size() ? cards[i] : PCI_design_place{};
}

bool design_name_valid(const std::string& name) {
    return name_shaped(name) && !name_reserved(name);
}

bool is_power_of_two(uint64_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

std::string format_size(uint64_t bytes) {
    static constexpr std::array<const char*, 4> units = {"B", "KiB", "MiB", "GiB"};
    size_t unit = 0;
    while (unit + 1 < units.size() && bytes != 0 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    return std::to_string(bytes) + units[unit];
}

std::string format_address(uint64_t address) {
    std::array<char, 24> text{};
    std::snprintf(text.data(), text.size(), "0x%08llx", static_cast<unsigned long long>(address));
    return text.data();
}

void check_design_rules(const PCI_design& design, const PCI_design_places& places,
                        PCI_design_diagnostics& diagnostics) {
    check_counts(design, places, diagnostics);
    std::map<std::string, PCI_design_place> used;
    for (size_t i = 0; i < design.masters.size(); ++i)
        check_name(design.masters[i].name, places.master(i).name, used, diagnostics);
    for (size_t i = 0; i < design.targets.size(); ++i)
        check_name(design.targets[i].name, places.target(i).name, used, diagnostics);
    for (size_t i = 0; i < design.cards.size(); ++i)
        check_name(design.cards[i].name, places.card(i), used, diagnostics);
    const std::vector<bool> valid_bars = check_bars(design, places, diagnostics);
    std::vector<bool> addressed(design.targets.size(), false);
    check_windows(design, places, valid_bars, diagnostics, addressed);
    check_cards(design, places, diagnostics);
    if (!diagnostics.has_errors())
        warn(design, places, addressed, diagnostics);
}
