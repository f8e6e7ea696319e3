#include "bench/design_writer.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

#include "bench/design_rules.h"
#include "pci/target.h"

namespace {
// Lines of one table, key and value, written with the values aligned.
class key_lines {
  public:
    void add(std::string key, std::string value) {
        lines_.emplace_back(std::move(key), std::move(value));
    }
    // A line kept as it is (a comment), in its place among the keys.
    void note(std::string text) { lines_.emplace_back(std::move(text), std::string()); }

    void write(std::ostream& os) const {
        size_t width = 0;
        for (const auto& [key, value] : lines_)
            if (!value.empty())
                width = std::max(width, key.size());
        for (const auto& [key, value] : lines_) {
            if (value.empty()) {
                os << key << '\n';
                continue;
            }
            os << key << std::string(width - key.size(), ' ') << " = " << value << '\n';
        }
    }

  private:
    std::vector<std::pair<std::string, std::string>> lines_;  // key and value; value empty: note
};

std::string quoted(const std::string& text) {
    return '"' + text + '"';
}

std::string boolean(bool value) {
    return value ? "true" : "false";
}

std::string draw(const PCI_draw& d) {
    if (!d.ranged)
        return std::to_string(d.lo);
    return '[' + std::to_string(d.lo) + ", " + std::to_string(d.hi) + ']';
}

// 0x0010_0000: an address with its halves apart.
std::string address(uint32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%04X_%04X", value >> 16, value & 0xFFFF);
    return text.data();
}

std::string multiplier(uint32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%04X", value);
    return text.data();
}

std::string size(uint64_t bytes) {
    return quoted(format_size(bytes));
}

// The seed keys of an agent, or a note that they are derived.
void seeds(key_lines& lines, const std::optional<int32_t>& seed,
           const std::optional<uint32_t>& mult) {
    if (seed)
        lines.add("seed", std::to_string(*seed));
    if (mult)
        lines.add("multiplier", multiplier(*mult));
    if (!seed || !mult)
        lines.note("# seed or multiplier not given: derived from the run's seed");
}

std::string window_inline(const PCI_window_spec& w) {
    return "{ target = " + quoted(w.target) + ", offset = " + address(w.offset) +
           ", size = " + size(w.size) + ", weight = " + std::to_string(w.weight) + " }";
}

void write_master(std::ostream& os, const PCI_master_spec& m) {
    os << "\n[[master]]\n";
    key_lines lines;
    lines.add("name", quoted(m.name));
    lines.add("transactions", std::to_string(m.transactions));
    lines.add("latency_timer", std::to_string(m.latency_timer));
    lines.add("latency_timer_expiry", m.latency_timer_expiry == PCI_timer_expiry::immediate
                                          ? quoted("immediate")
                                          : quoted("after_data_phase"));
    lines.add("retry_overhead", std::to_string(m.retry_overhead));
    lines.add("fast_back_to_back", boolean(m.fast_back_to_back));
    lines.add("reads", std::to_string(m.reads));
    lines.add("read_command", quoted(read_command_name(m.read_command)));
    lines.add("write_command", quoted(write_command_name(m.write_command)));
    lines.add("read_length", draw(m.read_length));
    lines.add("write_length", draw(m.write_length));
    lines.add("address", quoted(m.address == PCI_address_mode::random ? "random" : "sequential"));
    if (m.windows.size() == 1)
        lines.add("window", window_inline(m.windows[0]));
    lines.add("gap", draw(m.gap));
    lines.add("initial_wait", draw(m.initial_wait));
    lines.add("burst_wait", draw(m.burst_wait));
    seeds(lines, m.seed, m.multiplier);
    lines.write(os);
    if (m.windows.size() == 1)
        return;
    for (const PCI_window_spec& w : m.windows) {
        os << "  [[master.window]]\n";
        key_lines window;
        window.add("  target", quoted(w.target));
        window.add("  offset", address(w.offset));
        window.add("  size", size(w.size));
        window.add("  weight", std::to_string(w.weight));
        window.write(os);
    }
}

std::string decode_speeds(const std::array<PCI_decode_speed, 6>& speeds) {
    bool same = true;
    for (const PCI_decode_speed s : speeds) same = same && s == speeds[0];
    if (same)
        return quoted(decode_speed_name(speeds[0]));
    const auto entry = [&](const char* key, int index) {
        return std::string(key) + " = " + quoted(decode_speed_name(speeds[index]));
    };
    return "{ " + entry("memory_read", PCI_target::SPEED_MEMORY_READ) + ", " +
           entry("memory_write", PCI_target::SPEED_MEMORY_WRITE) + ", " +
           entry("io_read", PCI_target::SPEED_IO_READ) + ", " +
           entry("io_write", PCI_target::SPEED_IO_WRITE) + ", " +
           entry("config_read", PCI_target::SPEED_CONFIG_READ) + ", " +
           entry("config_write", PCI_target::SPEED_CONFIG_WRITE) + " }";
}

void write_target(std::ostream& os, const PCI_target_spec& t) {
    os << "\n[[target]]\n";
    key_lines lines;
    lines.add("name", quoted(t.name));
    lines.add("bar", "{ base = " + address(t.bar_base) + ", size = " + size(t.bar_size) +
                         ", prefetchable = " + boolean(t.prefetchable) + " }");
    lines.add("decode_speed", decode_speeds(t.decode_speed));
    if (t.initial_wait_split)
        lines.add("initial_wait", "{ read = " + draw(t.initial_wait_read) +
                                      ", write = " + draw(t.initial_wait_write) + " }");
    else
        lines.add("initial_wait", draw(t.initial_wait_read));
    if (t.burst_wait_every != 0)
        lines.add("burst_wait", "{ every = " + size(t.burst_wait_every) +
                                    ", clocks = " + draw(t.burst_wait) + " }");
    else
        lines.add("burst_wait", draw(t.burst_wait));
    switch (t.disconnect) {
        case PCI_disconnect_kind::none:
            lines.add("disconnect", quoted("none"));
            break;
        case PCI_disconnect_kind::after:
            lines.add("disconnect", "{ after = " + draw(t.disconnect_after) + " }");
            break;
        case PCI_disconnect_kind::at_boundary:
            lines.add("disconnect", "{ at_boundary = " + size(t.disconnect_boundary) + " }");
            break;
    }
    lines.add("init_retry_threshold", std::to_string(t.init_retry_threshold));
    lines.add("burst_retry_threshold", std::to_string(t.burst_retry_threshold));
    lines.add("retry_hint", boolean(t.retry_hint));
    seeds(lines, t.seed, t.multiplier);
    lines.write(os);
}
}  // namespace

std::string read_command_name(uint32_t command) {
    switch (command) {
        case CMD_MEMORY_READ:
            return "memory_read";
        case CMD_MEMORY_READ_LINE:
            return "memory_read_line";
        case CMD_MEMORY_READ_MULTIPLE:
            return "memory_read_multiple";
        default:
            return {};
    }
}

std::string write_command_name(uint32_t command) {
    switch (command) {
        case CMD_MEMORY_WRITE:
            return "memory_write";
        case CMD_MEMORY_WRITE_INVALIDATE:
            return "memory_write_and_invalidate";
        default:
            return {};
    }
}

const char* decode_speed_name(PCI_decode_speed speed) {
    switch (speed) {
        case PCI_decode_speed::fast:
            return "FAST";
        case PCI_decode_speed::med:
            return "MED";
        case PCI_decode_speed::slow:
            return "SLOW";
        case PCI_decode_speed::sub:
            return "SUB";
    }
    return "FAST";
}

std::string design_to_toml(const PCI_design& design) {
    std::ostringstream os;
    os << "# A pcisim design: every key with its value (pcisim --write-design).\n"
       << "format  = \"pcisim-design\"\n"
       << "version = 1\n";

    os << "\n[run]\n";
    key_lines run;
    run.add("max_cycles", std::to_string(design.max_cycles));
    if (design.seed)
        run.add("seed", std::to_string(*design.seed));
    else
        run.note("# seed not given: agents without their own seeds derive them from 0");
    run.write(os);

    os << "\n[arbiter]\n";
    key_lines arbiter;
    if (design.arbiter.policy == PCI_arbiter_policy::rotating) {
        arbiter.add("policy", quoted("rotating"));
        arbiter.add("mtt", std::to_string(design.arbiter.mtt));
        arbiter.add("idle_limit", std::to_string(design.arbiter.idle_limit));
    } else {
        arbiter.add("policy", quoted("fixed"));
    }
    arbiter.write(os);

    for (const PCI_master_spec& m : design.masters) write_master(os, m);
    for (const PCI_target_spec& t : design.targets) write_target(os, t);

    os << "\n[monitor]\n";
    key_lines monitor;
    monitor.add("cards", quoted(design.cards_from_targets ? "targets" : "none"));
    monitor.write(os);
    for (const PCI_card_spec& card : design.cards) {
        os << "\n[[monitor.card]]\n";
        key_lines lines;
        lines.add("name", quoted(card.name));
        lines.add("base", address(card.base));
        lines.add("size", size(uint64_t{~card.mask} + 1));
        lines.write(os);
    }
    return os.str();
}
