// The design file reader: the TOML tree of a design, key by key, into a
// design value, with every problem of a key reported at its place.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>

#include "bench/design_file.h"
#include "bench/design_set.h"
#include "bench/design_writer.h"
#include "bench/sha256.h"
#include "bench/toml.h"
#include "pci/target.h"

namespace {
constexpr int64_t max_int32 = 2147483647;
constexpr int64_t max_clocks = 1023;   // waits and retry thresholds
constexpr int64_t max_length = 65536;  // data phases of a burst
constexpr uint64_t max_bar = uint64_t{1} << 31;

std::string type_name(const toml::node& node) {
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

// Reads the keys of one table: each value checked for type and range, the
// problems reported with the table's subject ("master 'pm1': ").
class table_reader {
  public:
    table_reader(const toml::table& table, std::string label, std::string who,
                 std::vector<const char*> known, PCI_design_diagnostics& diagnostics,
                 std::string key_prefix = {})
        : table_(table),
          label_(std::move(label)),
          who_(std::move(who)),
          prefix_(std::move(key_prefix)),
          known_(std::move(known)),
          diagnostics_(diagnostics) {
        check_unknown();
    }

    const toml::table& table() const { return table_; }
    const std::string& who() const { return who_; }
    // Whether any value of the table was wrong.
    bool failed() const { return failed_; }
    bool has(const char* key) const { return table_.get(key) != nullptr; }
    const toml::node* node(const char* key) const { return table_.get(key); }
    PCI_design_place place(const char* key) const {
        const toml::node* n = table_.get(key);
        return n != nullptr ? place_of(n->source()) : place_of(table_.source());
    }
    PCI_design_place key_place(const char* key) const {
        const auto it = table_.find(key);
        return it != table_.end() ? place_of(it->first.source()) : place_of(table_.source());
    }

    void error(const PCI_design_place& where, const std::string& text) {
        error_plain(where, who_ + text);
    }
    // An error without the subject in front.
    void error_plain(const PCI_design_place& where, const std::string& text) {
        failed_ = true;
        diagnostics_.error(where, text);
    }
    // An error about key's value.
    void error(const char* key, const std::string& text) { error(place(key), text); }
    void wrong_type(const char* key, const toml::node& n, const char* expected) {
        error(key, prefix_ + key + " must be " + expected + ", not " + type_name(n));
    }
    void missing(const char* key, const std::string& text) {
        error(place_of(table_.source()), text.empty() ? "no " + prefix_ + key : text);
    }

    std::optional<int64_t> integer(const char* key, int64_t lo, int64_t hi) {
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
    template <typename T>
    void integer(const char* key, int64_t lo, int64_t hi, T& out) {
        if (const std::optional<int64_t> v = integer(key, lo, hi))
            out = static_cast<T>(*v);
    }

    std::optional<bool> boolean(const char* key) {
        const toml::node* n = node(key);
        if (n == nullptr)
            return std::nullopt;
        if (!n->is_boolean()) {
            wrong_type(key, *n, "true or false");
            return std::nullopt;
        }
        return n->as_boolean()->get();
    }

    std::optional<std::string> string(const char* key) {
        const toml::node* n = node(key);
        if (n == nullptr)
            return std::nullopt;
        if (!n->is_string()) {
            wrong_type(key, *n, "a string");
            return std::nullopt;
        }
        return n->as_string()->get();
    }

    // A string among choices; the index of the one given.
    std::optional<size_t> choice(const char* key, const std::vector<const char*>& choices) {
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

    // An integer (drawn nothing) or [lo, hi] (one draw per use).
    std::optional<PCI_draw> draw(const char* key, int64_t lo, int64_t hi) {
        const toml::node* n = node(key);
        if (n == nullptr)
            return std::nullopt;
        if (n->is_integer()) {
            const std::optional<int64_t> value = integer(key, lo, hi);
            return value ? std::optional<PCI_draw>(PCI_draw::fixed(*value)) : std::nullopt;
        }
        const toml::array* a = n->as_array();
        if (a == nullptr || a->size() != 2 || !(*a)[0].is_integer() || !(*a)[1].is_integer()) {
            const std::string what =
                a == nullptr ? type_name(*n)
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
    void draw(const char* key, int64_t lo, int64_t hi, PCI_draw& out) {
        if (const std::optional<PCI_draw> d = draw(key, lo, hi))
            out = *d;
    }

    // Bytes: an integer, or "<n>B", "<n>KiB", "<n>MiB", "<n>GiB".
    std::optional<uint64_t> size(const char* key, uint64_t lo, uint64_t hi) {
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

    // A nested table (inline or not) read with its own reader.
    const toml::table* subtable(const char* key) {
        const toml::node* n = node(key);
        if (n == nullptr)
            return nullptr;
        if (!n->is_table()) {
            wrong_type(key, *n, "a table");
            return nullptr;
        }
        return n->as_table();
    }
    // Folds a nested reader's outcome into this one.
    void absorb(const table_reader& inner) { failed_ = failed_ || inner.failed(); }

    static std::optional<uint64_t> parse_size(const std::string& text) {
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

  private:
    void check_unknown() {
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
            for (size_t i = 0; i < known_.size(); ++i)
                text += (i ? ", " : "") + std::string(known_[i]);
            failed_ = true;
            diagnostics_.error(place_of(key.source()), text + ')');
        }
    }

    const toml::table& table_;             // the table read
    std::string label_;                    // the table in unknown-key texts ("[arbiter]")
    std::string who_;                      // prefix of every problem ("master 'pm1': ")
    std::string prefix_;                   // before key names ("bar ")
    std::vector<const char*> known_;       // the table's keys
    PCI_design_diagnostics& diagnostics_;  // where problems go
    bool failed_ = false;                  // some value was wrong
};

// The whole design, table by table.
class design_reader {
  public:
    design_reader(const toml::table& root, PCI_design& design, PCI_design_places& places,
                  PCI_design_diagnostics& diagnostics)
        : root_(root), design_(design), places_(places), diagnostics_(diagnostics) {}

    // Reads every table; false when the text is no design of this version
    // (nothing else was read then).
    bool read();

  private:
    bool read_header();
    void read_run(const toml::table& t);
    void read_arbiter(const toml::table& t);
    void read_master(const toml::table& t, size_t index);
    bool read_window(const toml::table& t, const std::string& who, PCI_window_spec& w);
    void read_target(const toml::table& t, size_t index);
    void read_target_timing(table_reader& r, PCI_target_spec& s);
    void read_monitor(const toml::table& t);
    // The tables of an array of tables under key of root or parent;
    // reports anything else.
    std::vector<const toml::table*> tables(const toml::table& parent, const char* key,
                                           const std::string& what);

    const toml::table& root_;              // the document
    PCI_design& design_;                   // filled
    PCI_design_places& places_;            // filled
    PCI_design_diagnostics& diagnostics_;  // problems
};

bool design_reader::read_header() {
    const PCI_design_place start{places_.file};
    const toml::node* format = root_.get("format");
    if (format == nullptr) {
        diagnostics_.error(start, "not a pcisim design (no format = \"pcisim-design\")");
        return false;
    }
    if (!format->is_string() || format->as_string()->get() != "pcisim-design") {
        const std::string shown =
            format->is_string() ? "\"" + format->as_string()->get() + "\"" : type_name(*format);
        diagnostics_.error(place_of(format->source()),
                           "not a pcisim design (format = " + shown + ")");
        return false;
    }
    const toml::node* version = root_.get("version");
    if (version == nullptr) {
        diagnostics_.error(start, "no version: this pcisim reads version = 1");
        return false;
    }
    if (!version->is_integer() || version->as_integer()->get() != 1) {
        const PCI_design_place where = place_of(version->source());
        if (!version->is_integer())
            diagnostics_.error(where, "version must be an integer, not " + type_name(*version));
        else if (version->as_integer()->get() > 1)
            diagnostics_.error(where, "version " + std::to_string(version->as_integer()->get()) +
                                          " needs a newer pcisim (this one reads 1)");
        else
            diagnostics_.error(where, "version " + std::to_string(version->as_integer()->get()) +
                                          " is not a version of the design file (this pcisim "
                                          "reads 1)");
        return false;
    }
    return true;
}

std::vector<const toml::table*> design_reader::tables(const toml::table& parent, const char* key,
                                                      const std::string& what) {
    std::vector<const toml::table*> result;
    const toml::node* n = parent.get(key);
    if (n == nullptr)
        return result;
    const toml::array* a = n->as_array();
    if (a == nullptr) {
        diagnostics_.error(place_of(n->source()), what + " must be an array of tables ([[" + what +
                                                      "]]), not " + type_name(*n));
        return result;
    }
    for (size_t i = 0; i < a->size(); ++i) {
        const toml::node& element = (*a)[i];
        if (!element.is_table()) {
            diagnostics_.error(
                place_of(element.source()),
                what + ' ' + std::to_string(i + 1) + " must be a table, not " + type_name(element));
            continue;
        }
        result.push_back(element.as_table());
    }
    return result;
}

bool design_reader::read() {
    if (!read_header())
        return false;
    table_reader top(root_, "the design", "",
                     {"format", "version", "run", "arbiter", "master", "target", "monitor"},
                     diagnostics_);
    for (const char* key : {"run", "arbiter", "monitor"}) {
        const toml::table* t = top.subtable(key);
        if (t == nullptr)
            continue;
        if (std::strcmp(key, "run") == 0)
            read_run(*t);
        else if (std::strcmp(key, "arbiter") == 0)
            read_arbiter(*t);
        else
            read_monitor(*t);
    }
    // Absent tables keep their defaults; masters and targets come in order.
    const std::vector<const toml::table*> masters = tables(root_, "master", "master");
    design_.masters.resize(masters.size());
    places_.masters.resize(masters.size());
    for (size_t i = 0; i < masters.size(); ++i) read_master(*masters[i], i);
    const std::vector<const toml::table*> targets = tables(root_, "target", "target");
    design_.targets.resize(targets.size());
    places_.targets.resize(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) read_target(*targets[i], i);
    return true;
}

void design_reader::read_run(const toml::table& t) {
    table_reader r(t, "[run]", "run: ", {"max_cycles", "seed"}, diagnostics_);
    r.integer("max_cycles", 1, 2000000000, design_.max_cycles);
    if (const std::optional<int64_t> seed = r.integer("seed", 0, 4294967295))
        design_.seed = static_cast<uint32_t>(*seed);
}

void design_reader::read_arbiter(const toml::table& t) {
    table_reader r(t, "[arbiter]", "arbiter: ", {"policy", "mtt", "idle_limit"}, diagnostics_);
    if (const std::optional<size_t> policy = r.choice("policy", {"rotating", "fixed"}))
        design_.arbiter.policy =
            *policy == 0 ? PCI_arbiter_policy::rotating : PCI_arbiter_policy::fixed;
    if (design_.arbiter.policy == PCI_arbiter_policy::fixed) {
        for (const char* key : {"mtt", "idle_limit"})
            if (r.has(key))
                r.error(r.key_place(key), std::string(key) + " applies only to policy 'rotating'");
        return;
    }
    r.integer("mtt", 0, 65535, design_.arbiter.mtt);
    r.integer("idle_limit", 1, 255, design_.arbiter.idle_limit);
}

bool design_reader::read_window(const toml::table& t, const std::string& who, PCI_window_spec& w) {
    table_reader r(t, "a window of " + who, who + ": window ",
                   {"target", "offset", "size", "weight"}, diagnostics_);
    if (const std::optional<std::string> target = r.string("target"))
        w.target = *target;
    else if (!r.has("target"))
        r.missing("target", "window has no target");
    if (const std::optional<int64_t> offset = r.integer("offset", 0, 0xFFFFFFFF))
        w.offset = static_cast<uint32_t>(*offset);
    if (const std::optional<uint64_t> size = r.size("size", 4, max_bar))
        w.size = static_cast<uint32_t>(*size);
    r.integer("weight", 1, 1000, w.weight);
    return !r.failed();
}

void design_reader::read_master(const toml::table& t, size_t index) {
    PCI_master_spec& m = design_.masters[index];
    PCI_design_places::agent& place = places_.masters[index];
    place.table = place_of(t.source());
    std::string who = "master " + std::to_string(index + 1);
    if (const toml::node* name = t.get("name"); name != nullptr && name->is_string()) {
        m.name = name->as_string()->get();
        who = "master '" + m.name + "'";
        place.name = place_of(name->source());
    }
    table_reader r(t, who, who + ": ",
                   {"name", "transactions", "latency_timer", "latency_timer_expiry",
                    "retry_overhead", "fast_back_to_back", "reads", "read_command", "write_command",
                    "length", "read_length", "write_length", "address", "window", "gap",
                    "initial_wait", "burst_wait", "seed", "multiplier"},
                   diagnostics_);
    if (!r.has("name"))
        r.error_plain(place.table, who + " has no name");
    else
        r.string("name");
    r.integer("transactions", 0, max_int32, m.transactions);
    r.integer("latency_timer", 0, 255, m.latency_timer);
    if (const std::optional<size_t> e =
            r.choice("latency_timer_expiry", {"immediate", "after_data_phase"}))
        m.latency_timer_expiry =
            *e == 0 ? PCI_timer_expiry::immediate : PCI_timer_expiry::after_data_phase;
    r.integer("retry_overhead", -1, max_clocks, m.retry_overhead);
    if (const std::optional<bool> fbb = r.boolean("fast_back_to_back"))
        m.fast_back_to_back = *fbb;
    if (!r.has("reads"))
        r.error(place.table, "no reads: give the share of reads in percent, 0..100");
    r.integer("reads", 0, 100, m.reads);
    static constexpr std::array<uint32_t, 3> reads = {CMD_MEMORY_READ, CMD_MEMORY_READ_LINE,
                                                      CMD_MEMORY_READ_MULTIPLE};
    if (const std::optional<size_t> c =
            r.choice("read_command", {"memory_read", "memory_read_line", "memory_read_multiple"}))
        m.read_command = reads[*c];
    if (const std::optional<size_t> c =
            r.choice("write_command", {"memory_write", "memory_write_and_invalidate"}))
        m.write_command = *c == 0 ? CMD_MEMORY_WRITE : CMD_MEMORY_WRITE_INVALIDATE;

    const bool split = r.has("read_length") || r.has("write_length");
    if (r.has("length") && split)
        r.error(r.key_place("length"), "give length or read_length and write_length, not both");
    else if (r.has("length")) {
        if (const std::optional<PCI_draw> length = r.draw("length", 1, max_length))
            m.read_length = m.write_length = *length;
    } else if (r.has("read_length") != r.has("write_length"))
        r.error(place.table, "give both read_length and write_length, or length");
    else if (!split)
        r.error(place.table, "no length: give length, or read_length and write_length");
    else {
        r.draw("read_length", 1, max_length, m.read_length);
        r.draw("write_length", 1, max_length, m.write_length);
    }
    if (const std::optional<size_t> a = r.choice("address", {"random", "sequential"}))
        m.address = *a == 0 ? PCI_address_mode::random : PCI_address_mode::sequential;

    bool windows_ok = true;
    if (const toml::node* window = t.get("window"); window == nullptr) {
        r.error(place.table, "has no window: give window = { target = ... } or [[master.window]]");
    } else if (window->is_table()) {
        m.windows.resize(1);
        place.windows.push_back(place_of(window->source()));
        windows_ok = read_window(*window->as_table(), who, m.windows[0]);
    } else {
        const std::vector<const toml::table*> list = tables(t, "window", who + ": window");
        if (list.empty() && window->is_array()) {
            r.error(r.place("window"), "has no window: the list of windows is empty");
        }
        windows_ok = window->is_array() && list.size() == window->as_array()->size();
        m.windows.resize(list.size());
        for (size_t i = 0; i < list.size(); ++i) {
            place.windows.push_back(place_of(list[i]->source()));
            windows_ok = read_window(*list[i], who, m.windows[i]) && windows_ok;
        }
    }
    r.draw("gap", 0, 1000000, m.gap);
    r.draw("initial_wait", 0, max_clocks, m.initial_wait);
    r.draw("burst_wait", 0, max_clocks, m.burst_wait);
    if (const std::optional<int64_t> seed = r.integer("seed", 0, max_int32))
        m.seed = static_cast<int32_t>(*seed);
    if (const std::optional<int64_t> mult = r.integer("multiplier", 0, 0xFFFF))
        m.multiplier = static_cast<uint32_t>(*mult);
    place.usable = windows_ok;
}

void design_reader::read_target(const toml::table& t, size_t index) {
    PCI_target_spec& s = design_.targets[index];
    PCI_design_places::agent& place = places_.targets[index];
    place.table = place_of(t.source());
    std::string who = "target " + std::to_string(index + 1);
    if (const toml::node* name = t.get("name"); name != nullptr && name->is_string()) {
        s.name = name->as_string()->get();
        who = "target '" + s.name + "'";
        place.name = place_of(name->source());
    }
    table_reader r(
        t, who, who + ": ",
        {"name", "bar", "decode_speed", "initial_wait", "burst_wait", "disconnect",
         "init_retry_threshold", "burst_retry_threshold", "retry_hint", "seed", "multiplier"},
        diagnostics_);
    if (!r.has("name"))
        r.error_plain(place.table, who + " has no name");
    else
        r.string("name");

    place.usable = false;
    if (!r.has("bar"))
        r.error(place.table, "has no bar: give bar = { base = ..., size = ... }");
    else if (const toml::table* bar = r.subtable("bar")) {
        place.bar = place_of(bar->source());
        table_reader b(*bar, "the bar of " + who, who + ": ", {"base", "size", "prefetchable"},
                       diagnostics_, "bar ");
        if (!b.has("base"))
            b.missing("base", "bar has no base");
        if (!b.has("size"))
            b.missing("size", "bar has no size");
        if (const std::optional<int64_t> base = b.integer("base", 0, 0xFFFFFFFF))
            s.bar_base = static_cast<uint32_t>(*base);
        if (const std::optional<uint64_t> size = b.size("size", 16, max_bar))
            s.bar_size = static_cast<uint32_t>(*size);
        if (const std::optional<bool> p = b.boolean("prefetchable"))
            s.prefetchable = *p;
        r.absorb(b);
        place.usable = !b.failed();
        // A value given by --set is where a problem of the window starts.
        for (const char* key : {"base", "size"})
            if (const toml::node* n = b.node(key); n != nullptr && place_of(n->source()).line == 0)
                place.bar = place_of(n->source());
    }

    static const std::vector<const char*> speeds = {"FAST", "MED", "SLOW", "SUB"};
    if (const toml::node* n = r.node("decode_speed"); n != nullptr && n->is_table()) {
        table_reader d(
            *n->as_table(), "decode_speed of " + who, who + ": ",
            {"memory_read", "memory_write", "io_read", "io_write", "config_read", "config_write"},
            diagnostics_, "decode_speed ");
        const std::array<std::pair<const char*, int>, 6> entries = {{
            {"memory_read", PCI_target::SPEED_MEMORY_READ},
            {"memory_write", PCI_target::SPEED_MEMORY_WRITE},
            {"io_read", PCI_target::SPEED_IO_READ},
            {"io_write", PCI_target::SPEED_IO_WRITE},
            {"config_read", PCI_target::SPEED_CONFIG_READ},
            {"config_write", PCI_target::SPEED_CONFIG_WRITE},
        }};
        for (const auto& [key, entry] : entries)
            if (const std::optional<size_t> c = d.choice(key, speeds))
                s.decode_speed[static_cast<size_t>(entry)] = static_cast<PCI_decode_speed>(*c);
        r.absorb(d);
    } else if (const std::optional<size_t> c = r.choice("decode_speed", speeds)) {
        s.decode_speed.fill(static_cast<PCI_decode_speed>(*c));
    }
    read_target_timing(r, s);
    r.integer("init_retry_threshold", 0, max_clocks, s.init_retry_threshold);
    r.integer("burst_retry_threshold", 0, max_clocks, s.burst_retry_threshold);
    if (const std::optional<bool> hint = r.boolean("retry_hint"))
        s.retry_hint = *hint;
    if (const std::optional<int64_t> seed = r.integer("seed", 0, max_int32))
        s.seed = static_cast<int32_t>(*seed);
    if (const std::optional<int64_t> mult = r.integer("multiplier", 0, 0xFFFF))
        s.multiplier = static_cast<uint32_t>(*mult);
}

void design_reader::read_target_timing(table_reader& r, PCI_target_spec& s) {
    const std::string& who = r.who();
    if (const toml::node* n = r.node("initial_wait"); n != nullptr && n->is_table()) {
        table_reader w(*n->as_table(), "initial_wait of " + who, who, {"read", "write"},
                       diagnostics_, "initial_wait ");
        for (const char* key : {"read", "write"})
            if (!w.has(key))
                w.missing(key, std::string("initial_wait has no ") + key);
        w.draw("read", 0, max_clocks, s.initial_wait_read);
        w.draw("write", 0, max_clocks, s.initial_wait_write);
        s.initial_wait_split = true;
        r.absorb(w);
    } else if (const std::optional<PCI_draw> wait = r.draw("initial_wait", 0, max_clocks)) {
        s.initial_wait_read = s.initial_wait_write = *wait;
    }

    if (const toml::node* n = r.node("burst_wait"); n != nullptr && n->is_table()) {
        table_reader w(*n->as_table(), "burst_wait of " + who, who, {"every", "clocks"},
                       diagnostics_, "burst_wait ");
        for (const char* key : {"every", "clocks"})
            if (!w.has(key))
                w.missing(key, std::string("burst_wait has no ") + key);
        if (const std::optional<uint64_t> every = w.size("every", 8, max_bar)) {
            if (!is_power_of_two(*every))
                w.error("every",
                        "burst_wait every " + format_size(*every) + " is not a power of two");
            s.burst_wait_every = static_cast<uint32_t>(*every);
        }
        w.draw("clocks", 0, max_clocks, s.burst_wait);
        r.absorb(w);
    } else {
        r.draw("burst_wait", 0, max_clocks, s.burst_wait);
    }

    if (const toml::node* n = r.node("disconnect"); n != nullptr && n->is_table()) {
        table_reader d(*n->as_table(), "disconnect of " + who, who, {"after", "at_boundary"},
                       diagnostics_, "disconnect ");
        if (d.has("after") == d.has("at_boundary"))
            d.error(d.place("after"), "disconnect needs one of after or at_boundary");
        else if (d.has("after")) {
            s.disconnect = PCI_disconnect_kind::after;
            d.draw("after", 1, max_length, s.disconnect_after);
        } else if (const std::optional<uint64_t> b = d.size("at_boundary", 4, max_bar)) {
            s.disconnect = PCI_disconnect_kind::at_boundary;
            if (!is_power_of_two(*b))
                d.error("at_boundary",
                        "disconnect at_boundary " + format_size(*b) + " is not a power of two");
            s.disconnect_boundary = static_cast<uint32_t>(*b);
        }
        r.absorb(d);
    } else if (r.choice("disconnect", {"none"})) {
        s.disconnect = PCI_disconnect_kind::none;
    }
}

void design_reader::read_monitor(const toml::table& t) {
    table_reader r(t, "[monitor]", "monitor: ", {"cards", "card"}, diagnostics_);
    if (const std::optional<size_t> cards = r.choice("cards", {"targets", "none"}))
        design_.cards_from_targets = *cards == 0;
    const std::vector<const toml::table*> cards = tables(t, "card", "monitor.card");
    for (size_t i = 0; i < cards.size(); ++i) {
        PCI_card_spec card;
        std::string who = "card " + std::to_string(i + 1);
        if (const toml::node* name = cards[i]->get("name"); name != nullptr && name->is_string())
            who = "card '" + name->as_string()->get() + "'";
        table_reader c(*cards[i], who, who + ": ", {"name", "base", "size"}, diagnostics_);
        for (const char* key : {"name", "base", "size"})
            if (!c.has(key))
                c.missing(key, std::string("has no ") + key);
        if (const std::optional<std::string> name = c.string("name"))
            card.name = *name;
        const std::optional<int64_t> base = c.integer("base", 0, 0xFFFFFFFF);
        const std::optional<uint64_t> size = c.size("size", 4, uint64_t{1} << 32);
        if (base && size) {
            if (!is_power_of_two(*size))
                c.error("size", "size " + format_size(*size) + " is not a power of two");
            else if ((static_cast<uint64_t>(*base) & (*size - 1)) != 0)
                c.error("base", "base " + format_address(static_cast<uint64_t>(*base)) +
                                    " is not aligned to its size " + format_size(*size));
            card.base = static_cast<uint32_t>(*base);
            card.mask = static_cast<uint32_t>(~(*size - 1));
        }
        design_.cards.push_back(card);
        places_.cards.push_back(place_of(cards[i]->source()));
    }
}
}  // namespace

bool read_design_text(std::string_view text, const std::string& source,
                      const std::vector<std::string>& sets, PCI_design& design,
                      PCI_design_diagnostics& diagnostics, PCI_design_places* places) {
    PCI_design_places own;
    PCI_design_places& p = places != nullptr ? *places : own;
    p = PCI_design_places{};
    p.file = PCI_design_place{source, 1, 1};
    design = PCI_design{};
    toml::parse_result parsed = toml::parse(text, source);
    if (!parsed) {
        const toml::parse_error& error = parsed.error();
        diagnostics.error(place_of(error.source()), std::string(error.description()));
        return false;
    }
    toml::table& root = parsed.table();
    // A --set that fails is left out; the design is still read and checked.
    for (const std::string& set : sets) apply_design_set(root, set, diagnostics);
    design_reader reader(root, design, p, diagnostics);
    if (!reader.read())
        return false;
    // The rules skip the parts whose own values were wrong.
    check_design_rules(design, p, diagnostics);
    return !diagnostics.has_errors();
}

namespace {
// The whole file, or the reason it cannot be read.
std::optional<std::string> read_file(const std::string& path, std::string& reason) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    std::array<char, 65536> block{};
    size_t n = 0;
    while ((n = std::fread(block.data(), 1, block.size(), file)) > 0) text.append(block.data(), n);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) {
        reason = std::strerror(error);
        return std::nullopt;
    }
    return text;
}
}  // namespace

std::optional<PCI_loaded_design> load_design(const std::string& path,
                                             const std::vector<std::string>& sets,
                                             std::ostream& err) {
    PCI_loaded_design loaded;
    std::string text;
    std::string source = builtin_design_source;
    if (path.empty()) {
        text = design_to_toml(builtin_design());
    } else {
        std::string reason;
        std::optional<std::string> file = read_file(path, reason);
        if (!file) {
            err << "pcisim: cannot read " << path << ": " << reason << std::endl;
            return std::nullopt;
        }
        text = std::move(*file);
        source = path;
        loaded.path = path;
        loaded.sha256 = sha256_hex(text);
    }
    PCI_design_diagnostics diagnostics;
    const bool ok = read_design_text(text, source, sets, loaded.design, diagnostics);
    diagnostics.print(err);
    if (!ok)
        return std::nullopt;
    return loaded;
}

std::string save_design(const std::string& path, const PCI_design& design) {
    const std::string text = design_to_toml(design);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return "cannot write " + path + ": " + std::strerror(errno);
    const size_t written = std::fwrite(text.data(), 1, text.size(), file);
    int error = written == text.size() ? 0 : errno;
    if (std::fclose(file) != 0 && error == 0)
        error = errno;
    if (error != 0)
        return "cannot write " + path + ": " + std::strerror(error);
    return {};
}
