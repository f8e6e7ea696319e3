#include "bench/design_table_reader.h"

#include <algorithm>

#include "bench/design_rules.h"

std::string toml_type_name(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::string:
            return "a string";
        case toml::node_type::integer:
            return "an integer";
        case toml::node_type::floating_point:
            return "a float";
        case toml::node_type::boolean:
            return "a boolean";
        case toml::node_type::array:
            return "an array";
        case toml::node_type::table:
            return "a table";
        case toml::node_type::date:
            return "a date";
        case toml::node_type::time:
            return "a time";
        case toml::node_type::date_time:
            return "a date-time";
        case toml::node_type::none:
            break;
    }
    return "nothing";
}

namespace {
size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string range_text(int64_t lo, int64_t hi) {
    return std::to_string(lo) + ".." + std::to_string(hi);
}

}  // namespace

PCI_design_place table_reader::place(const char* key) const {
    const toml::node* n = table_.get(key);
    return n != nullptr ? place_of(n->source()) : place_of(table_.source());
}

PCI_design_place table_reader::key_place(const char* key) const {
    const auto it = table_.find(key);
    return it != table_.end() ? place_of(it->first.source()) : place_of(table_.source());
}

void table_reader::error(const PCI_design_place& where, const std::string& text) {
    error_plain(where, who_ + text);
}

void table_reader::error_plain(const PCI_design_place& where, const std::string& text) {
    failed_ = true;
    diagnostics_.error(where, text);
}

void table_reader::wrong_type(const char* key, const toml::node& n, const char* expected) {
    error(key, prefix_ + key + " must be " + expected + ", not " + toml_type_name(n));
}

void table_reader::missing(const char* key, const std::string& text) {
    error(place_of(table_.source()), text.empty() ? "no " + prefix_ + key : text);
}

std::optional<int64_t> table_reader::integer(const char* key, int64_t lo, int64_t hi) {
    const toml::node* n = node(key);
    if (n == nullptr)
        return std::nullopt;
    if (!n->is_integer()) {
        wrong_type(key, *n, "an integer");
        return std::nullopt;
    }
    const int64_t value = n->as_integer()->get();
    if (value < lo || value > hi) {
        error(key, prefix_ + key + ' ' + std::to_string(value) + " is out of range " +
                       range_text(lo, hi));
        return std::nullopt;
    }
    return value;
}

std::optional<bool> table_reader::boolean(const char* key) {
    const toml::node* n = node(key);
    if (n == nullptr)
        return std::nullopt;
    if (!n->is_boolean()) {
        wrong_type(key, *n, "true or false");
        return std::nullopt;
    }
    return n->as_boolean()->get();
}

std::optional<std::string> table_reader::string(const char* key) {
    const toml::node* n = node(key);
    if (n == nullptr)
        return std::nullopt;
    if (!n->is_string()) {
        wrong_type(key, *n, "a string");
        return std::nullopt;
    }
    return n->as_string()->get();
}

std::optional<size_t> table_reader::choice(const char* key,
                                           const std::vector<const char*>& choices) {
    const std::optional<std::string> text = string(key);
    if (!text)
        return std::nullopt;
    for (size_t i = 0; i < choices.size(); ++i)
        if (*text == choices[i])
            return i;
    std::string list;
    for (const char* c : choices) list += (list.empty() ? "" : ", ") + std::string(c);
    error(key, prefix_ + key + " '" + *text + "' is not one of " + list);
    return std::nullopt;
}

std::optional<PCI_draw> table_reader::draw(const char* key, int64_t lo, int64_t hi) {
    const toml::node* n = node(key);
    if (n == nullptr)
        return std::nullopt;
    if (n->is_integer()) {
        const std::optional<int64_t> value = integer(key, lo, hi);
        return value ? std::optional<PCI_draw>(PCI_draw::fixed(*value)) : std::nullopt;
    }
    const toml::array* a = n->as_array();
    if (a == nullptr || a->size() != 2 || !(*a)[0].is_integer() || !(*a)[1].is_integer()) {
        const std::string what = a == nullptr
                                     ? toml_type_name(*n)
                                     : "an array of " + std::to_string(a->size()) + " element" +
                                           (a->size() == 1 ? "" : "s") +
                                           (a->size() == 2 ? " that are not both integers" : "");
        error(key, prefix_ + key + " must be an integer or [lo, hi], not " + what);
        return std::nullopt;
    }
    const int64_t low = (*a)[0].as_integer()->get();
    const int64_t high = (*a)[1].as_integer()->get();
    const std::string shown =
        prefix_ + key + " [" + std::to_string(low) + ", " + std::to_string(high) + "]: ";
    for (const int64_t v : {low, high})
        if (v < lo || v > hi) {
            error(key, shown + std::to_string(v) + " is out of range " + range_text(lo, hi));
            return std::nullopt;
        }
    if (low > high) {
        error(key, shown + std::to_string(low) + " is above " + std::to_string(high));
        return std::nullopt;
    }
    return PCI_draw::range(low, high);
}

void table_reader::draw(const char* key, int64_t lo, int64_t hi, PCI_draw& out) {
    if (const std::optional<PCI_draw> d = draw(key, lo, hi))
        out = *d;
}

std::optional<uint64_t> table_reader::size(const char* key, uint64_t lo, uint64_t hi) {
    const toml::node* n = node(key);
    if (n == nullptr)
        return std::nullopt;
    std::optional<uint64_t> bytes;
    if (n->is_integer()) {
        const int64_t v = n->as_integer()->get();
        if (v < 0) {
            error(key, prefix_ + key + ' ' + std::to_string(v) + " is out of range " +
                           format_size(lo) + ".." + format_size(hi));
            return std::nullopt;
        }
        bytes = static_cast<uint64_t>(v);
    } else if (n->is_string()) {
        const std::string& text = n->as_string()->get();
        bytes = parse_size(text);
        if (!bytes) {
            error(key, prefix_ + key + " '" + text +
                           "' not understood: use B, KiB, MiB or GiB (e.g. \"64KiB\")");
            return std::nullopt;
        }
    } else {
        wrong_type(key, *n, "a size (bytes, or a string like \"64KiB\")");
        return std::nullopt;
    }
    if (*bytes < lo || *bytes > hi) {
        error(key, prefix_ + key + ' ' + format_size(*bytes) + " is out of range " +
                       format_size(lo) + ".." + format_size(hi));
        return std::nullopt;
    }
    return bytes;
}

const toml::table* table_reader::subtable(const char* key) {
    const toml::node* n = node(key);
    if (n == nullptr)
        return nullptr;
    if (!n->is_table()) {
        wrong_type(key, *n, "a table");
        return nullptr;
    }
    return n->as_table();
}

std::optional<uint64_t> table_reader::parse_size(const std::string& text) {
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        if (digits >= 12)
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(text[digits] - '0');
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    const std::string unit = text.substr(digits);
    if (unit == "B")
        return value;
    if (unit == "KiB")
        return value << 10;
    if (unit == "MiB")
        return value << 20;
    if (unit == "GiB")
        return value << 30;
    return std::nullopt;
}

void table_reader::check_unknown() {
    for (const auto& [key, value] : table_) {
        bool found = false;
        for (const char* k : known_) found = found || key.str() == k;
        if (found)
            continue;
        std::string text = "unknown key '" + std::string(key.str()) + "' in " + label_ + " (";
        const char* best = nullptr;
        size_t best_distance = 3;
        for (const char* k : known_) {
            const size_t d = edit_distance(key.str(), k);
            if (d < best_distance && d < key.str().size()) {
                best = k;
                best_distance = d;
            }
        }
        if (best != nullptr)
            text += "did you mean '" + std::string(best) + "'? ";
        text += "known: ";
        for (size_t i = 0; i < known_.size(); ++i) text += (i ? ", " : "") + std::string(known_[i]);
        failed_ = true;
        diagnostics_.error(place_of(key.source()), text + ')');
    }
}
