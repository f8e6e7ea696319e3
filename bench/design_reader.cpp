// The design file reader: the TOML tree of a design, key by key, into a
// design value, with every problem of a key reported at its place.
#include <array>
#include <cstring>

#include "bench/design_file.h"
#include "bench/design_set.h"
#include "bench/design_table_reader.h"
#include "bench/toml.h"
#include "bench/toml_guard.h"
#include "pci/target.h"

namespace {
constexpr int64_t max_int32 = 2147483647;
constexpr int64_t max_clocks = 1023;   // waits and retry thresholds
constexpr int64_t max_length = 65536;  // data phases of a burst
constexpr uint64_t max_bar = uint64_t{1} << 31;

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
        const std::string shown = format->is_string() ? "\"" + format->as_string()->get() + "\""
                                                      : toml_type_name(*format);
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
            diagnostics_.error(where,
                               "version must be an integer, not " + toml_type_name(*version));
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
                                                      "]]), not " + toml_type_name(*n));
        return result;
    }
    for (size_t i = 0; i < a->size(); ++i) {
        const toml::node& element = (*a)[i];
        if (!element.is_table()) {
            diagnostics_.error(place_of(element.source()), what + ' ' + std::to_string(i + 1) +
                                                               " must be a table, not " +
                                                               toml_type_name(element));
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
    if (const std::optional<TOML_stray_character> stray = find_stray_character(text)) {
        diagnostics.error(PCI_design_place{source, stray->line, stray->column}, stray->message);
        return false;
    }
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
